#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "host/db/literal_lifter.h"

struct sqlite3;
struct sqlite3_stmt;

namespace polizas_bench {

// A statement one command ran, as the statement trace gave it, and whether the screen ran it
// inside its transaction.
struct TracedStatement {
  std::string sql;
  bool in_transaction = false;
};
// The statements that one command ran, in order.
using CommandTrace = std::vector<TracedStatement>;

// The floor a command's statements can reach: libsqlite3 directly, as a well-built data
// layer would use it. Each statement shape is prepared once and kept, its values bound;
// every row is stepped and every column read; the statements the screen ran inside its
// transaction run inside one here, and those it ran on their own (a key's look-up while the
// operator types) run on their own. The connection is opened as the host opens its own (WAL,
// synchronous FULL, no memory map, no mutex).
class RawReplay {
 public:
  explicit RawReplay(const std::filesystem::path& database);
  ~RawReplay();
  RawReplay(const RawReplay&) = delete;
  RawReplay& operator=(const RawReplay&) = delete;

  // Prepares every statement of the commands and binds nothing yet (not to be timed).
  void Prepare(const std::vector<CommandTrace>& commands);
  // Runs the i-th prepared command.
  void Run(std::size_t command);

 private:
  struct Step {
    sqlite3_stmt* statement;
    std::vector<nv407::host::LiftedValue> values;
    bool in_transaction;
  };
  sqlite3_stmt* Prepared(const std::string& shape);

  sqlite3* db_ = nullptr;
  std::map<std::string, sqlite3_stmt*> statements_;
  std::vector<std::vector<Step>> commands_;
  long long sink_ = 0;  // what was read, so that no read is optimised away
};

}  // namespace polizas_bench
