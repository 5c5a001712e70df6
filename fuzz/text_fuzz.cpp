// What text boxes, notes and report tables do to text. Input: the first byte a count of
// characters, the rest the text.
#include "fuzz/fuzz_support.h"
#include "host/db/text.h"

namespace nv407::fuzz {
namespace {

// No control character (C0, DEL, C1) as a character of UTF-8.
bool HoldsNoControl(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte == 0x7f) return false;
    if (byte == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9f)
      return false;
  }
  return true;
}

void CheckMarked(std::string_view text) {
  const std::string detail = Shown(text);
  const std::string marked = host::ControlsMarked(text, "?");
  Check(host::IsUtf8(marked), "marked text is UTF-8", detail + " -> " + Shown(marked));
  Check(HoldsNoControl(marked), "marked text holds no control character", detail);
  const std::string dropped = host::ControlsMarked(text, "");
  Check(host::ControlsMarked(dropped, "") == dropped, "dropping controls twice changes nothing",
        detail);
  Check(dropped.size() <= text.size(), "dropping controls never adds", detail);
  if (host::IsUtf8(text) && HoldsNoControl(text))
    Check(marked == text, "text without controls is kept whole", detail);
}

void CheckCut(std::string_view text, int count) {
  const std::string detail = Shown(text) + " to " + std::to_string(count);
  const std::string cut = host::FirstCharacters(text, count);
  Check(text.starts_with(cut), "a cut text is the text's start", detail);
  Check(host::FirstCharacters(cut, count) == cut, "a cut text is cut no further", detail);
  if (!host::IsUtf8(text)) return;
  Check(host::IsUtf8(cut), "a cut never splits a character", detail + " -> " + Shown(cut));
  Check(host::CharacterCount(cut) <= count, "a cut keeps at most the count", detail);
  if (host::CharacterCount(text) <= count)
    Check(cut == text, "a text within the count is kept whole", detail);
}

}  // namespace
}  // namespace nv407::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nv407::fuzz;
  if (size == 0) return 0;
  const std::string_view text = Text(data + 1, size - 1);
  CheckMarked(text);
  CheckCut(text, data[0] % 64);
  return 0;
}
