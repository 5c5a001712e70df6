#pragma once

#include <string>

namespace nv407::host {

// Whether the two paths name one file: by any name (a symbolic or a hard link), or, where
// neither is there yet, the same place once their links are followed. An output a program
// is given must not be a file it reads, which opening it for writing would empty.
bool SameFile(const std::string& a, const std::string& b);

// What `path` would write over of the SQLite database `database`: "the database PATH" or
// "PATH-wal, which SQLite keeps beside the database" (-shm, -journal likewise), whether
// SQLite has made that file yet or not; "" for none.
std::string DatabaseFileAt(const std::string& path, const std::string& database);

}  // namespace nv407::host
