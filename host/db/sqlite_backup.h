#pragma once

#include <string>

#include "host/db/database.h"

namespace nv407::host {

// Copies an open SQLite database into the new file `target`, while other programs go on
// reading and writing it: the copy is what was committed when it began, the log's latest
// commits included (a copy of the file alone would lack them, and one taken during a
// checkpoint would be torn). The copy is synced to the disk before this returns. Throws
// Error, saying why, for a `target` that exists (left as it is) or cannot be written (no
// file is left behind).
void BackUpSqliteDatabase(Database& source, const std::string& target);

}  // namespace nv407::host
