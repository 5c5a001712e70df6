#pragma once

#include <string>
#include <vector>

#include "host/db/database.h"

namespace nv407::host {

// One policy of a replacement chain, with the chain notes that tie it to its neighbours.
struct ChainLink {
  std::string folio;
  std::string replaces, replaced_by;  // "" at either end of the chain
};

// The chain of edits a policy belongs to, oldest first: from the folio (in stored form)
// back through each "Sustituye a" note and on through each "Sustituida por" note of the
// record log. A link holds only when both sides agree: the old policy is cancelled, it says
// "Sustituida por" the new one and the new one "Sustituye a" it; a note without its
// counterpart is no link. Empty when there is no such policy. A chain that turns back on
// itself (notes written by hand) stops at the first folio seen again.
std::vector<ChainLink> ReplacementChainOf(Database& database, const std::string& folio);

}  // namespace nv407::host
