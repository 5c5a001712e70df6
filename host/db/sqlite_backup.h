#pragma once

#include <functional>
#include <string>

#include "host/db/database.h"

namespace nv407::host {

// Copies an open SQLite database into the new file `target`, while other programs go on
// reading and writing it: the copy is what was committed when it began, the log's latest
// commits included (a copy of the file alone would lack them, and one taken during a
// checkpoint would be torn). The copy is made beside `target` in a file named for what it is
// (TARGET.partial-XXXXXX), synced to the disk, handed to `read_back` to check, and only then
// renamed `target`: `target` is never a part of a copy. Throws Error, saying why, for a
// `target` that exists (left as it is) or has files SQLite keeps beside a database left
// beside it (which it would take for the copy's), before the copy is made and again before
// it is renamed, or cannot be written, and passes on what `read_back`
// throws; the partial file is removed then, and by SIGINT, SIGTERM or SIGHUP while it is
// made (the handlers, installed for the copy's time, then end the program as the signal
// would have). Only a program killed outright (kill -9) leaves it, under that name.
void BackUpSqliteDatabase(Database& source, const std::string& target,
                          const std::function<void(const std::string& copy)>& read_back = {});

}  // namespace nv407::host
