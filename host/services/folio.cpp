#include "host/services/folio.h"

#include <algorithm>
#include <limits>

#include "host/db/text.h"

namespace nv407::host {
namespace {

std::string Padded(std::string_view digits, int count) {
  std::string out;
  if (static_cast<int>(digits.size()) < count) out.assign(count - digits.size(), '0');
  out += digits;
  return out;
}

}  // namespace

std::string FolioBranch(std::string_view branch) {
  return UpperCaseText(TrimmedView(branch));
}

// The width is in characters: a branch "PEÑ" takes three of them, not four.
int FolioDigits(std::string_view branch, int width) {
  return std::max(1, width - CharacterCount(branch) - 1);
}

std::int64_t LargestFolioNumber(std::string_view branch, int width) {
  const int digits = FolioDigits(branch, width);
  // Eighteen nines still fit in 64 bits; from nineteen digits every number that fits does.
  if (digits > std::numeric_limits<std::int64_t>::digits10)
    return std::numeric_limits<std::int64_t>::max();
  std::int64_t largest = 1;
  for (int i = 0; i < digits; ++i) largest *= 10;
  return largest - 1;
}

std::optional<std::string> MakeFolio(std::string_view branch, std::int64_t number, int width) {
  if (number < 0 || number > LargestFolioNumber(branch, width)) return std::nullopt;
  return std::string(branch) + "-" + Padded(std::to_string(number), FolioDigits(branch, width));
}

std::string FormatFolio(std::string_view typed, int width) {
  const std::string text = UpperCaseText(TrimmedView(typed));
  const auto dash = text.rfind('-');
  if (dash == std::string::npos) return text;
  const std::string_view prefix = TrimmedView(std::string_view(text).substr(0, dash));
  std::string_view digits = TrimmedView(std::string_view(text).substr(dash + 1));
  if (prefix.empty() || digits.empty() || !std::all_of(digits.begin(), digits.end(), IsAsciiDigit))
    return text;
  while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  return std::string(prefix) + "-" + Padded(digits, FolioDigits(prefix, width));
}

}  // namespace nv407::host
