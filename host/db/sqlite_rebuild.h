#pragma once

#include <string>
#include <vector>

#include "host/db/database.h"

namespace nv407::host {

// The tables that the schema keys by text (WITHOUT ROWID) but that an older SQLite file
// stores with row numbers, in the file's order.
std::vector<std::string> TablesStoredByRowNumber(Database& database);

// Rebuilds those tables WITHOUT ROWID, in one transaction: each table's rows copied as they
// are into a table made from its own definition, its indexes and every trigger of the file
// made again. A failure (another program writing, a row the key refuses) leaves the file as
// it was. Returns the tables rebuilt; none when the file is up to date. The space the old
// tables held is reused by later writes (VACUUM returns it to the disk).
std::vector<std::string> RebuildTablesStoredByRowNumber(Database& database);

// Makes, in one transaction, every index of the schema that the file lacks (one made before
// the index was, say), as a new file has it. Returns the indexes made.
std::vector<std::string> AddMissingIndexes(Database& database);

// Makes, in one transaction, every trigger of the schema that the file lacks, and writes again
// one it holds in another text, as a new file has them: the guards that refuse any program's
// change to a cancelled policy, say, which a file made before them lacks. Returns the triggers
// made or written again.
std::vector<std::string> AddMissingGuards(Database& database);

// Drops, in one transaction, the indexes an earlier version made and this one replaced
// (replaced_indexes.h), once AddMissingIndexes has made their replacements. Returns the
// indexes dropped.
std::vector<std::string> DropReplacedIndexes(Database& database);

}  // namespace nv407::host
