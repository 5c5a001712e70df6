#pragma once

#include <string>
#include <utility>
#include <vector>

#include "component/variant.h"
#include "host/db/database.h"
#include "host/lists/policy_usage.h"

namespace nv407::host {

struct RecordNote {
  std::string logged_at, user_code, note;
};

// One record as the record viewer shows it: every column of its table with its value
// (Null where the column holds none), the notes that the record log holds for it, oldest
// first, and for a policy its services.
struct RecordView {
  std::string table, key_column, key;
  bool found = false;
  std::vector<std::pair<std::string, Variant>> columns;
  std::vector<RecordNote> notes;
  std::vector<ServiceUsage> services;
};

// Reads through the host's side of the database. The table and key column are names
// (letters, digits and underscores: anything else raises an Error); the key is a value,
// quoted into the statement.
RecordView ReadRecord(Database& database, const std::string& table, const std::string& key_column,
                      const std::string& key);

}  // namespace nv407::host
