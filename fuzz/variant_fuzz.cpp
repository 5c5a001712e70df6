// Variant conversions. Input: a line naming the kind (l whole number, d floating number,
// b boolean, s text, t date as text, n Null, e Empty), then the value as text.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>

#include "component/error.h"
#include "component/variant.h"
#include "fuzz/fuzz_support.h"

namespace nv407::fuzz {
namespace {

std::optional<Variant> Make(std::string_view kind, const std::string& text) {
  if (kind == "l") {
    if (const auto n = Integer(text)) return Variant(*n);
  } else if (kind == "d") {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str()) return Variant(value);
  } else if (kind == "b") {
    return Variant(text == "1");
  } else if (kind == "s") {
    return Variant(text);
  } else if (kind == "t") {
    if (const auto date = Date::Parse(text)) return Variant(*date);
  } else if (kind == "n") {
    return Variant::MakeNull();
  } else if (kind == "e") {
    return Variant();
  }
  return std::nullopt;
}

template <typename T>
std::optional<T> Converted(const std::function<T()>& convert) {
  try {
    return convert();
  } catch (const Error&) {
    return std::nullopt;  // a refusal is an Error; anything else ends the run
  }
}

// Half to even, worked out without the rounding mode that the conversion relies on.
double HalfToEven(double value) {
  const double below = std::floor(value);
  const double fraction = value - below;
  if (fraction < 0.5) return below;
  if (fraction > 0.5) return below + 1;
  return std::fmod(below, 2) == 0 ? below : below + 1;
}

void CheckNumberConversions(const Variant& value, const std::string& detail) {
  if (value.kind() == Variant::Kind::kLong) return;
  const auto number = Converted<double>([&] { return value.ToDouble(); });
  const auto whole = Converted<std::int64_t>([&] { return value.ToLong(); });
  if (!number) {
    Check(!whole, "what is no number is no whole number either", detail);
    return;
  }
  const bool fits = std::isfinite(*number) && std::fabs(*number) <= 9.2e18;
  Check(whole.has_value() == fits, "a number converts to a whole number when it fits", detail);
  if (whole) {
    Check(static_cast<double>(*whole) == HalfToEven(*number), "a fraction rounds half to even",
          detail + " -> " + std::to_string(*whole));
  }
}

// A text read as a number as the C library reads it in the "C" locale (this program's),
// blanks before it and spaces after it allowed; nothing when it is no number.
std::optional<double> CReading(const std::string& text) {
  const char* begin = text.c_str();
  while (*begin == ' ') ++begin;
  char* end = nullptr;
  const double value = std::strtod(begin, &end);
  if (end == begin) return std::nullopt;
  while (*end == ' ') ++end;
  if (end != text.c_str() + text.size()) return std::nullopt;
  return value;
}

// The screen reads numbers as the C locale writes them, in any locale its host runs in.
void CheckTextReadsAsCDoes(const Variant& value, const std::string& detail) {
  if (value.kind() != Variant::Kind::kString) return;
  const auto read = Converted<double>([&] { return value.ToDouble(); });
  const std::optional<double> expected = CReading(value.ToText());
  Check(read.has_value() == expected.has_value(), "a text is a number where strtod reads one",
        detail);
  if (!read || !expected) return;
  const bool same = std::signbit(*read) == std::signbit(*expected) &&
                    (std::isnan(*read) ? std::isnan(*expected) : *read == *expected);
  Check(same, "a text reads as the number strtod reads", detail);
}

void CheckTextRoundTrip(const Variant& value, const std::string& text, const std::string& detail) {
  const Variant again(text);
  switch (value.kind()) {
    case Variant::Kind::kLong: {
      const std::int64_t n = value.ToLong();
      constexpr std::int64_t kExact = std::int64_t{1} << 53;  // whole in a double
      if (n >= -kExact && n <= kExact) {
        Check(again.ToLong() == n, "a whole number reads back from its text", detail);
      }
      break;
    }
    case Variant::Kind::kDouble: {
      const double x = value.ToDouble();
      if (!std::isfinite(x)) break;
      const double back = again.ToDouble();
      Check(std::fabs(back - x) <= std::fabs(x) * 1e-14, "a number reads back to 15 digits",
            detail + " -> " + text);
      // As printf's "%.15G" writes it, but for a negative zero: that is written "0".
      char printed[40];
      std::snprintf(printed, sizeof printed, "%.15G", x == 0 ? 0.0 : x);
      Check(text == printed, "a number is written as printf's %.15G writes it",
            detail + " -> " + text + " / " + printed);
      break;
    }
    case Variant::Kind::kBoolean:
      Check(again.ToBool() == value.ToBool(), "a boolean reads back from its text", detail);
      break;
    case Variant::Kind::kDate:
      Check(again.ToDate() == value.ToDate(), "a date reads back from its text", detail);
      break;
    default:
      break;
  }
}

}  // namespace
}  // namespace nv407::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nv407::fuzz;
  using nv407::Variant;
  const std::vector<std::string_view> lines = Lines(data, size, 2);
  const std::string text(lines[1]);
  const std::optional<Variant> value = Make(lines[0], text);
  if (!value) return 0;
  const std::string detail = std::string(lines[0]) + " " + Shown(text);

  const auto shown = Converted<std::string>([&] { return value->ToText(); });
  Check(shown.has_value() != value->IsNull(), "every value but Null has a text", detail);
  Converted<bool>([&] { return value->ToBool(); });
  Converted<nv407::Date>([&] { return value->ToDate(); });
  CheckNumberConversions(*value, detail);
  CheckTextReadsAsCDoes(*value, detail);
  if (shown) CheckTextRoundTrip(*value, *shown, detail + " -> " + Shown(*shown));
  return 0;
}
