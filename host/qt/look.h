#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRect>
#include <QString>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "component/control_layout.h"
#include "host/lists/policy_usage.h"

namespace nv407::host {

// The screen was drawn at 15 twips a pixel (96 dots an inch); fonts keep that scale too,
// so that text sized for a field still fits it whatever the display's own density.
inline constexpr int kTwipsPerPixel = 15;

int ToPixels(int twips);
QRect ToPixels(const Rect& position);

QString ToQString(const std::string& text);
std::string ToStdString(const QString& text);

// A stored text as a widget shows it. Bytes that are not UTF-8 show as U+FFFD and would come
// back changed: a widget still showing what it was given gives back the stored bytes.
class ShownText {
 public:
  ShownText() = default;
  explicit ShownText(std::string stored) { Take(std::move(stored)); }
  void Take(std::string stored);
  const std::string& Stored() const { return stored_; }
  const QString& Shown() const { return shown_; }
  bool EditedIn(const QString& now) const { return now != shown_; }
  // What the widget holding `now` gives back.
  std::string Kept(const QString& now) const;

 private:
  std::string stored_;
  QString shown_;
};

// System colours come from the palette the widget is drawn with.
QColor ToQColor(const Colour& colour, const QPalette& palette);
// "#rrggbb", for style sheets.
QString ColourName(const Colour& colour, const QPalette& palette);

// How a use or an end date stands, in colour: the window's blue, amber from a warning,
// the refused key's red for an alarm.
QString GradeColour(Grade grade);

// A colour setting written "r,g,b" (the colour scheme's); nothing when unset or unreadable.
std::optional<Colour> ColourSetting(const ControlLayout& layout, std::string_view key);

// The design font, or the nearest family this machine has (Calibri, Franklin Gothic and
// Fixedsys are rarely installed outside the platform they came with).
QFont ToQFont(const Font& font);
// The font made smaller, a step at a time, until `text` fits `width` pixels.
QFont FittingFont(QFont font, const QString& text, int width);

}  // namespace nv407::host
