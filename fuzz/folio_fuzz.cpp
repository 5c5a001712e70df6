// Folios as users type them and as the host issues them. Input lines: width, number, branch,
// then the typed text (the rest, line ends included).
#include <algorithm>

#include "fuzz/fuzz_support.h"
#include "host/db/text.h"
#include "host/services/folio.h"

namespace nv407::fuzz {
namespace {

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

void CheckTyped(std::string_view typed, int width) {
  const std::string stored = host::FormatFolio(typed, width);
  Check(host::FormatFolio(stored, width) == stored, "FormatFolio is idempotent",
        Shown(typed) + " -> " + Shown(stored));
  // Letter case and surrounding blanks never matter.
  std::string retyped = " \t";
  retyped += AsciiLower(typed);
  retyped += "\r\n";
  Check(host::FormatFolio(retyped, width) == stored, "FormatFolio ignores case and blanks",
        Shown(typed) + " -> " + Shown(stored));
}

void CheckIssued(std::string_view typed_branch, std::int64_t number, int width) {
  const std::string branch = host::FolioBranch(typed_branch);
  const std::int64_t largest = host::LargestFolioNumber(branch, width);
  const std::optional<std::string> folio = host::MakeFolio(branch, number, width);
  Check(folio.has_value() == (number >= 0 && number <= largest),
        "a folio is issued exactly for the numbers that fit",
        Shown(branch) + " " + std::to_string(number) + " width " + std::to_string(width));
  if (!folio) return;
  const std::string detail = Shown(*folio) + " width " + std::to_string(width);
  Check(host::FormatFolio(*folio, width) == *folio, "an issued folio is in stored form", detail);
  // Widths are in characters: a branch "PEÑ" takes three.
  Check(host::CharacterCount(*folio) == std::max(width, host::CharacterCount(branch) + 2),
        "an issued folio is as wide as asked, with at least one digit", detail);
  Check(folio->starts_with(branch + "-") &&
            Integer(std::string_view(*folio).substr(branch.size() + 1)) == number,
        "an issued folio is its branch, a dash and its number", detail);
}

}  // namespace
}  // namespace nv407::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nv407::fuzz;
  const std::vector<std::string_view> lines = Lines(data, size, 4);
  // Widths the host could be asked for; the number as written.
  const int width =
      static_cast<int>(std::clamp<std::int64_t>(Integer(lines[0]).value_or(10), -2, 40));
  CheckTyped(lines[3], width);
  if (const auto number = Integer(lines[1])) CheckIssued(lines[2], *number, width);
  return 0;
}
