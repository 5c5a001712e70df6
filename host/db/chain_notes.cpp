#include "host/db/chain_notes.h"

namespace nv407::host {
namespace {

constexpr std::string_view kReplacedBy = "Sustituida por ";
constexpr std::string_view kReplaces = "Sustituye a ";

}  // namespace

std::string ReplacedByNote(std::string_view successor) {
  return std::string(kReplacedBy) + std::string(successor);
}

std::string ReplacesNote(std::string_view predecessor) {
  return std::string(kReplaces) + std::string(predecessor);
}

std::optional<ChainNote> ReadChainNote(std::string_view note) {
  if (note.starts_with(kReplacedBy) && note.size() > kReplacedBy.size())
    return ChainNote{ChainNote::Points::kToSuccessor, std::string(note.substr(kReplacedBy.size()))};
  if (note.starts_with(kReplaces) && note.size() > kReplaces.size())
    return ChainNote{ChainNote::Points::kToPredecessor, std::string(note.substr(kReplaces.size()))};
  return std::nullopt;
}

}  // namespace nv407::host
