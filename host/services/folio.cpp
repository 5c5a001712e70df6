#include "host/services/folio.h"

#include <algorithm>
#include <limits>

#include "host/db/text.h"

namespace nv407::host {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view TrimView(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string Padded(std::string_view digits, int count) {
  std::string out;
  if (static_cast<int>(digits.size()) < count) out.assign(count - digits.size(), '0');
  out += digits;
  return out;
}

}  // namespace

std::string Trim(std::string_view text) {
  return std::string(TrimView(text));
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string FolioBranch(std::string_view branch) {
  return UpperCaseText(TrimView(branch));
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
  const std::string text = UpperCaseText(TrimView(typed));
  const auto dash = text.rfind('-');
  if (dash == std::string::npos) return text;
  const std::string_view prefix = TrimView(std::string_view(text).substr(0, dash));
  std::string_view digits = TrimView(std::string_view(text).substr(dash + 1));
  if (prefix.empty() || digits.empty() || !std::all_of(digits.begin(), digits.end(), IsDigit))
    return text;
  while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  return std::string(prefix) + "-" + Padded(digits, FolioDigits(prefix, width));
}

}  // namespace nv407::host
