#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "host/db/database.h"

namespace nv407::testing {

// A SQLite database file with the schema and the demo data, in a folder of its own that
// goes with this object, for several processes to open at once. This object keeps no
// session open: a child forked from its process must not inherit one (SQLite's locks
// belong to the process that took them).
class DatabaseFile {
 public:
  DatabaseFile();
  ~DatabaseFile();
  DatabaseFile(const DatabaseFile&) = delete;
  DatabaseFile& operator=(const DatabaseFile&) = delete;

  std::string Path() const { return (folder_ / "polizas.db").string(); }
  const std::filesystem::path& Folder() const { return folder_; }
  // A session of its own, as an operator's program opens it.
  std::unique_ptr<host::Database> Open(host::Clock clock = {}) const;

 private:
  std::filesystem::path folder_;
};

}  // namespace nv407::testing
