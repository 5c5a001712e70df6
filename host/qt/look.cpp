#include "host/qt/look.h"

#include <QFontMetrics>
#include <QStringList>
#include <cmath>

namespace nv407::host {
namespace {

// Metric-compatible or look-alike families first, then what every Debian desktop has.
QStringList FamiliesFor(const std::string& family) {
  const QString design = ToQString(family);
  if (family == "Calibri") return {design, "Carlito", "DejaVu Sans", "Sans Serif"};
  if (family == "Franklin Gothic Medium")
    return {design, "Libre Franklin", "DejaVu Sans", "Sans Serif"};
  if (family == "Fixedsys") return {design, "DejaVu Sans Mono", "Liberation Mono", "Monospace"};
  return {design, "Sans Serif"};
}

constexpr int kSmallestPixelSize = 8;

}  // namespace

int ToPixels(int twips) {
  return static_cast<int>(std::lround(twips / static_cast<double>(kTwipsPerPixel)));
}

QRect ToPixels(const Rect& position) {
  return {ToPixels(position.left), ToPixels(position.top), ToPixels(position.width),
          ToPixels(position.height)};
}

QString GradeColour(Grade grade) {
  switch (grade) {
    case Grade::kNormal:
      return "#00538a";
    case Grade::kWarning:
      return "#b06f00";
    case Grade::kAlarm:
      return "#b00020";
  }
  return {};
}

QString ToQString(const std::string& text) {
  return QString::fromStdString(text);
}

std::string ToStdString(const QString& text) {
  return text.toStdString();
}

void ShownText::Take(std::string stored) {
  shown_ = ToQString(stored);
  stored_ = std::move(stored);
}

std::string ShownText::Kept(const QString& now) const {
  return EditedIn(now) ? ToStdString(now) : stored_;
}

QColor ToQColor(const Colour& colour, const QPalette& palette) {
  switch (colour.source) {
    case Colour::Source::kRgb:
      return QColor(colour.red, colour.green, colour.blue);
    case Colour::Source::kWindowText:
      return palette.color(QPalette::WindowText);
    case Colour::Source::kButtonText:
      return palette.color(QPalette::ButtonText);
    case Colour::Source::kWindow:
      return palette.color(QPalette::Base);
  }
  return {};
}

QString ColourName(const Colour& colour, const QPalette& palette) {
  return ToQColor(colour, palette).name(QColor::HexRgb);
}

std::optional<Colour> ColourSetting(const ControlLayout& layout, std::string_view key) {
  const QStringList parts = ToQString(layout.Setting(key)).split(',');
  if (parts.size() != 3) return std::nullopt;
  int rgb[3];
  for (int i = 0; i < 3; ++i) {
    bool ok = false;
    rgb[i] = parts[i].trimmed().toInt(&ok);
    if (!ok || rgb[i] < 0 || rgb[i] > 255) return std::nullopt;
  }
  return Colour::Rgb(rgb[0], rgb[1], rgb[2]);
}

QFont ToQFont(const Font& font) {
  QFont qfont;
  qfont.setFamilies(FamiliesFor(font.family));
  qfont.setPixelSize(static_cast<int>(std::lround(font.points * 96.0 / 72.0)));
  qfont.setBold(font.bold);
  return qfont;
}

QFont FittingFont(QFont font, const QString& text, int width) {
  while (font.pixelSize() > kSmallestPixelSize &&
         QFontMetrics(font).horizontalAdvance(text) > width) {
    font.setPixelSize(font.pixelSize() - 1);
  }
  return font;
}

}  // namespace nv407::host
