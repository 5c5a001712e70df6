#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nv407::host {

// The record-log notes that tie a policy an edit replaced to the policy that replaced it:
// "Sustituida por Y" on the old one, "Sustituye a X" on the new one. The host writes them
// (replacement_chain.h); the demo's edited policy carries them too. A note alone is no link:
// the history (policy_history.h) wants both notes and the old policy cancelled.
std::string ReplacedByNote(std::string_view successor);
std::string ReplacesNote(std::string_view predecessor);

// What a chain note says: which way it points, and the folio at the other end.
struct ChainNote {
  enum class Points { kToSuccessor, kToPredecessor };
  Points points;
  std::string folio;
};
std::optional<ChainNote> ReadChainNote(std::string_view note);

}  // namespace nv407::host
