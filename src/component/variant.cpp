#include "component/variant.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
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

}  // namespace

std::string NumberText(double value) {
  if (value == 0) return "0";
  // Whole numbers of up to 15 digits print as their digits in either form; most quantities are.
  if (value == std::trunc(value) && std::fabs(value) < 1e15)
    return std::to_string(static_cast<std::int64_t>(value));
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
