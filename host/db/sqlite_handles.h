#pragma once

#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// Owners of the SQLite C handles. Every call into the C library that can fail goes
// through Check, so a failure surfaces as an nv407::Error with SQLite's own message.
namespace nv407::host::sqlite {

// Throws Error(sqlite3_errmsg(db)) unless rc is SQLITE_OK, SQLITE_ROW or SQLITE_DONE.
void Check(sqlite3* db, int rc);

// The name under which SQLite opens or writes the file at `path`: SQLite reads ":memory:" as
// its database in memory and a name that starts with "file:" as a URI (where
// "file:x.db?mode=rwc" is x.db), so such a path is named from its folder.
std::string FileName(const std::string& path);

// One open database connection. Shared: a prepared statement keeps its connection alive.
class DbHandle {
 public:
  // Opens with the given sqlite3_open_v2 flags; a failure names the path. `path` is a URI
  // only with SQLITE_OPEN_URI among them, and no file's with SQLITE_OPEN_MEMORY.
  DbHandle(const std::string& path, int flags);
  sqlite3* get() const { return db_.get(); }

  // Runs a statement that the host itself issues (pragmas, transaction commands),
  // discarding any rows.
  void Run(const char* sql);

 private:
  struct Closer {
    void operator()(sqlite3* db) const noexcept;
  };
  std::unique_ptr<sqlite3, Closer> db_;
};

// One prepared statement.
class Statement {
 public:
  // Prepares the first statement of sql; a second statement in the text is refused.
  // `persistent`: the statement will be kept and run many times.
  Statement(std::shared_ptr<DbHandle> db, std::string_view sql, bool persistent = false);
  Statement(Statement&&) noexcept = default;
  Statement& operator=(Statement&&) noexcept = default;

  // Steps once: true when a row is current, false when the statement has run to its end.
  bool Step();
  // Releases the statement (and any read snapshot it holds) before destruction.
  void Finalize() noexcept { stmt_.reset(); }
  // Makes it ready to run again, its values unbound; also ends any read it was doing.
  void Reset() noexcept;
  bool Finalized() const { return !stmt_; }

  sqlite3_stmt* get() const { return stmt_.get(); }
  sqlite3* db() const { return db_->get(); }

 private:
  struct Finalizer {
    void operator()(sqlite3_stmt* stmt) const noexcept;
  };
  std::shared_ptr<DbHandle> db_;
  std::unique_ptr<sqlite3_stmt, Finalizer> stmt_;
};

// BEGIN IMMEDIATE on construction; rolls back on destruction unless committed or
// rolled back already.
class Transaction {
 public:
  explicit Transaction(std::shared_ptr<DbHandle> db);
  ~Transaction();
  Transaction(Transaction&& other) noexcept;
  Transaction& operator=(Transaction&&) = delete;
  Transaction(const Transaction&) = delete;

  void Commit();
  void Rollback();
  // False once committed or rolled back, also when SQLite rolled back by itself after
  // an error (a full disk, an interrupted statement).
  bool Open() const;

 private:
  std::shared_ptr<DbHandle> db_;
};

}  // namespace nv407::host::sqlite
