#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nv407 {

enum class ControlKind {
  kTextBox,
  kDateField,
  kComboBox,
  kFlatButton,
  kLabel,
  kToolbar,
  kListView,
  kColorScheme
};

// Positions are in twips, as the screen was designed.
struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
};

struct Colour {
  enum class Source { kRgb, kWindowText, kButtonText, kWindow };
  Source source = Source::kRgb;
  int red = 0, green = 0, blue = 0;
  static Colour Rgb(int r, int g, int b) { return {Source::kRgb, r, g, b}; }
  static Colour System(Source s) { return {s, 0, 0, 0}; }
};

struct Font {
  std::string family;
  double points = 8.25;
  bool bold = false;
};

struct Look {
  std::optional<Font> font;
  std::optional<Colour> fore, back;
  std::optional<Colour> enabled_back, disabled_back, focus_back;
  std::optional<Colour> border, focus_border;
  // Calendar pop-up of a date field.
  std::optional<Colour> calendar_back, calendar_fore, calendar_title_back, calendar_title_fore,
      calendar_trailing_fore;
  int alignment = 0;  // labels: 0 left, 1 right, 2 centre
};

enum class Alignment { kLeft, kRight, kCentre };

struct ListColumn {
  std::string header;
  Alignment alignment = Alignment::kLeft;
  int width = 0;  // twips
};

// Everything the designer set on one control: one row of a screen's layout table.
struct ControlLayout {
  ControlKind kind = ControlKind::kLabel;
  std::string name;
  int index = -1;  // element of a control array, -1 when the control is not in one
  Rect position;
  int tab_index = -1;  // -1 for controls without a tab index (labels, the colour scheme)
  bool tab_stop = false;
  std::string tag;
  bool enabled = true;
  bool visible = true;
  std::map<std::string, std::string, std::less<>> settings;  // design-time settings by name
  std::vector<ListColumn> columns;
  Look look;

  // An unset setting reads as empty.
  const std::string& Setting(std::string_view key) const {
    static const std::string kUnset;
    auto it = settings.find(key);
    return it == settings.end() ? kUnset : it->second;
  }
  bool Flag(std::string_view key) const { return Setting(key) == "SI"; }
  int IntSetting(std::string_view key, int fallback = 0) const {
    const std::string& value = Setting(key);
    return value.empty() ? fallback : std::stoi(value);
  }
};

}  // namespace nv407
