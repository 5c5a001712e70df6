#include "component/variant.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <utility>

#include "component/error.h"

namespace nv407 {
namespace {

[[noreturn]] void TypeMismatch() {
  throw Error("Type mismatch");
}
[[noreturn]] void InvalidNull() {
  throw Error("Invalid use of Null");
}

double ParseNumber(const std::string& text) {
  const char* begin = text.c_str();
  while (*begin == ' ') ++begin;
  char* end = nullptr;
  const double value = std::strtod(begin, &end);
  if (end == begin) TypeMismatch();
  while (*end == ' ') ++end;
  if (*end != '\0') TypeMismatch();
  return value;
}

// A number of one to four decimals (a quantity of hours, mostly) as "%.15G" writes it, from
// its digits: when the decimal number reads back as this very value, it is the nearest one of
// fifteen digits, and at least a ten-thousandth, so that no exponent shows.
std::optional<std::string> FewDecimalsText(double value) {
  std::int64_t scale = 1;
  for (int places = 1; places <= 4; ++places) {
    scale *= 10;
    const double scaled = std::nearbyint(value * static_cast<double>(scale));
    if (std::fabs(scaled) >= 1e15) return std::nullopt;
    if (scaled / static_cast<double>(scale) != value) continue;
    char digits[24];
    const std::int64_t whole = static_cast<std::int64_t>(std::fabs(scaled));
    const auto count =
        static_cast<int>(std::to_chars(digits, digits + sizeof digits, whole).ptr - digits);
    std::string text(value < 0 ? "-" : "");
    if (count <= places) {
      text += "0.";
      text.append(static_cast<std::size_t>(places - count), '0');
      text.append(digits, static_cast<std::size_t>(count));
    } else {
      text.append(digits, static_cast<std::size_t>(count - places));
      text += '.';
      text.append(digits + count - places, static_cast<std::size_t>(places));
    }
    return text;
  }
  return std::nullopt;
}

}  // namespace

std::string NumberText(double value) {
  if (value == 0) return "0";
  // Whole numbers of up to 15 digits print as their digits in either form; most quantities are.
  if (value == std::trunc(value) && std::fabs(value) < 1e15)
    return std::to_string(static_cast<std::int64_t>(value));
  if (std::optional<std::string> text = FewDecimalsText(value)) return std::move(*text);
  // As printf's "%.15G" writes it, without reading a format each time.
  char text[40];
  const auto end =
      std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15).ptr;
  std::string shown(text, end);
  for (char& c : shown)  // "E", "INF", "NAN" in capitals as there
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return shown;
}

std::string Variant::ToText() const& {
  switch (kind()) {
    case Kind::kEmpty:
      return "";
    case Kind::kNull:
      InvalidNull();
    case Kind::kBoolean:
      return std::get<bool>(value_) ? "True" : "False";
    case Kind::kLong:
      return std::to_string(std::get<std::int64_t>(value_));
    case Kind::kDouble:
      return NumberText(std::get<double>(value_));
    case Kind::kString:
      return std::get<std::string>(value_);
    case Kind::kDate:
      return std::get<Date>(value_).ToText();
  }
  TypeMismatch();
}

std::string Variant::ToText() && {
  if (auto* text = std::get_if<std::string>(&value_)) return std::move(*text);
  return std::as_const(*this).ToText();
}

double Variant::ToDouble() const {
  switch (kind()) {
    case Kind::kEmpty:
      return 0;
    case Kind::kNull:
      InvalidNull();
    case Kind::kBoolean:
      return std::get<bool>(value_) ? -1 : 0;
    case Kind::kLong:
      return static_cast<double>(std::get<std::int64_t>(value_));
    case Kind::kDouble:
      return std::get<double>(value_);
    case Kind::kString:
      return ParseNumber(std::get<std::string>(value_));
    case Kind::kDate:
      break;
  }
  TypeMismatch();
}

std::int64_t Variant::ToLong() const {
  if (kind() == Kind::kLong) return std::get<std::int64_t>(value_);
  const double value = ToDouble();
  if (!std::isfinite(value) || std::fabs(value) > 9.2e18) throw Error("Overflow");
  return static_cast<std::int64_t>(std::nearbyint(value));
}

bool Variant::ToBool() const {
  if (kind() == Kind::kBoolean) return std::get<bool>(value_);
  if (kind() == Kind::kString) {
    const std::string& s = std::get<std::string>(value_);
    if (s == "True" || s == "true" || s == "TRUE") return true;
    if (s == "False" || s == "false" || s == "FALSE") return false;
  }
  return ToDouble() != 0;
}

Date Variant::ToDate() const {
  switch (kind()) {
    case Kind::kDate:
      return std::get<Date>(value_);
    case Kind::kNull:
      InvalidNull();
    case Kind::kString:
      if (auto date = Date::Parse(std::get<std::string>(value_))) return *date;
      break;
    default:
      break;
  }
  TypeMismatch();
}

}  // namespace nv407
