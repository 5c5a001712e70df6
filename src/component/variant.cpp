#include "component/variant.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <string_view>
#include <system_error>
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

bool IsBlank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}

// Where the first significant digit of a number's text stands against the units, in digits
// (in bits for a hexadecimal text), its exponent counted in. Asked only of a number a double
// cannot hold, so only its sign tells: above the largest double, or below the smallest.
std::int64_t Magnitude(std::string_view text, bool hex) {
  const char exponent_mark = hex ? 'p' : 'e';
  std::int64_t lead = 0, zeros_after_point = 0;
  bool point = false, significant = false;
  std::size_t at = 0;
  for (; at < text.size() && (text[at] | 0x20) != exponent_mark; ++at) {
    if (text[at] == '.') {
      point = true;
    } else if (!significant && text[at] == '0') {
      zeros_after_point += point ? 1 : 0;
    } else if (!significant) {
      significant = true;
      lead = point ? -(zeros_after_point + 1) : 0;
    } else if (!point) {
      ++lead;
    }
  }
  std::int64_t exponent = 0;
  if (++at < text.size()) {
    const bool negative = text[at] == '-';
    if (text[at] == '-' || text[at] == '+') ++at;
    for (; at < text.size() && exponent < 1'000'000'000'000; ++at)
      exponent = exponent * 10 + (text[at] - '0');
    if (negative) exponent = -exponent;
  }
  return lead * (hex ? 4 : 1) + exponent;
}

// An exponent mark not followed by digits, with at most one sign before them: the C library
// stops before the mark, leaving text that is no number, where std::from_chars may read
// on ("0x1.8p+-2").
bool MalformedExponent(std::string_view read, bool hex) {
  const std::size_t mark = read.find_first_of(hex ? "pP" : "eE");
  if (mark == std::string_view::npos) return false;
  std::size_t at = mark + 1;
  if (at < read.size() && (read[at] == '+' || read[at] == '-')) ++at;
  return at >= read.size() || read[at] < '0' || read[at] > '9';
}

// A number's text read as the C library reads one in its "C" locale, whatever locale the
// program has set: a window sets the user's, which may write decimals with a comma, and
// every number the screen reads (stored, listed, typed into a list) has a point. Blanks
// may stand before it and spaces after it; nothing else.
double ParseNumber(const std::string& text) {
  const char* at = text.data();
  const char* const end = at + text.size();
  while (at < end && IsBlank(*at)) ++at;
  const bool negative = at < end && *at == '-';
  if (at < end && (*at == '-' || *at == '+')) ++at;
  if (at == end || *at == '-' || *at == '+') TypeMismatch();
  const bool hex = end - at > 2 && at[0] == '0' && (at[1] | 0x20) == 'x' &&
                   (IsHexDigit(at[2]) || (at[2] == '.' && end - at > 3 && IsHexDigit(at[3])));
  const char* const digits = hex ? at + 2 : at;
  double value = 0;
  const auto [stop, error] = std::from_chars(
      digits, end, value, hex ? std::chars_format::hex : std::chars_format::general);
  if (error == std::errc::invalid_argument) TypeMismatch();
  const std::string_view read(digits, static_cast<std::size_t>(stop - digits));
  if (MalformedExponent(read, hex)) TypeMismatch();
  if (error == std::errc::result_out_of_range)
    value = Magnitude(read, hex) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  for (at = stop; at < end && *at == ' ';) ++at;
  if (at != end) TypeMismatch();
  return negative ? -value : value;
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
