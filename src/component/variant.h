#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "component/date.h"

namespace nv407 {

// The value that crosses the boundary between the screen, the host and the database,
// converting as the old platform did where the screen relies on it.
class Variant {
 public:
  struct Empty {
    bool operator==(const Empty&) const = default;
  };
  struct Null {
    bool operator==(const Null&) const = default;
  };
  enum class Kind { kEmpty, kNull, kBoolean, kLong, kDouble, kString, kDate };

  Variant() = default;
  Variant(Null) : value_(Null{}) {}
  Variant(bool b) : value_(b) {}
  Variant(int n) : value_(static_cast<std::int64_t>(n)) {}
  Variant(std::int64_t n) : value_(n) {}
  Variant(double d) : value_(d) {}
  Variant(std::string s) : value_(std::move(s)) {}
  Variant(const char* s) : value_(std::string(s)) {}
  Variant(Date d) : value_(d) {}
  static Variant MakeNull() { return Variant(Null{}); }

  Kind kind() const { return static_cast<Kind>(value_.index()); }
  bool IsEmpty() const { return kind() == Kind::kEmpty; }
  bool IsNull() const { return kind() == Kind::kNull; }

  // Text in the plain default form: "8", "1.5", "True", "2024-03-15"; Empty gives "".
  // Null raises "Invalid use of Null". A variant about to go gives its text away.
  std::string ToText() const&;
  std::string ToText() &&;
  // The text a box or a cell shows: as ToText, with Null shown as nothing.
  std::string TextOrEmpty() const { return IsNull() ? std::string() : ToText(); }
  std::int64_t ToLong() const;  // rounds a fraction half to even, as the old platform did
  double ToDouble() const;
  bool ToBool() const;
  Date ToDate() const;

  bool operator==(const Variant&) const = default;

 private:
  std::variant<Empty, Null, bool, std::int64_t, double, std::string, Date> value_;
};

// The plain default text form of a floating number: up to 15 significant digits,
// no trailing zeros, no exponent for everyday magnitudes.
std::string NumberText(double value);

}  // namespace nv407
