#include "host/db/sqlite_handles.h"

#include <sqlite3.h>

#include "component/error.h"
#include "host/db/lock_wait.h"
#include "host/db/text.h"

namespace nv407::host::sqlite {
namespace {

// A lock another session held past the busy timeout is told apart, so that what waited for
// it can say so.
[[noreturn]] void Raise(int rc, const std::string& said) {
  if ((rc & 0xFF) == SQLITE_BUSY) throw LockWaitExpired(said);
  throw Error(said);
}

}  // namespace

void Check(sqlite3* db, int rc) {
  if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE) return;
  const std::string said = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  // SQLite's words for a full disk where it grows the index it keeps beside the file read
  // as a failing disk.
  if (rc == SQLITE_IOERR_SHMSIZE && db) {
    throw Error("the disk is full: there is no room beside " +
                std::string(sqlite3_db_filename(db, "main")) +
                " for the index SQLite keeps there (" + said + ")");
  }
  Raise(rc, said);
}

std::string FileName(const std::string& path) {
  return path == ":memory:" || path.starts_with("file:") ? "./" + path : path;
}

DbHandle::DbHandle(const std::string& path, int flags) {
  sqlite3* raw = nullptr;
  const std::string name =
      (flags & (SQLITE_OPEN_URI | SQLITE_OPEN_MEMORY)) != 0 ? path : FileName(path);
  const int rc = sqlite3_open_v2(name.c_str(), &raw, flags, nullptr);
  // The handle is owned even when the open fails: SQLite allocates it to carry the message.
  db_.reset(raw);
  if (rc != SQLITE_OK) {
    throw Error(path + ": " + (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
  }
  Check(get(), sqlite3_extended_result_codes(get(), 1));
}

void DbHandle::Closer::operator()(sqlite3* db) const noexcept {
  // close_v2 never fails for a valid handle; statements still open keep it alive until
  // they are finalised.
  sqlite3_close_v2(db);
}

void DbHandle::Run(const char* sql) {
  Check(get(), sqlite3_exec(get(), sql, nullptr, nullptr, nullptr));
}

namespace {

bool OnlyBlanksAndComments(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (IsAsciiSpace(c) || c == ';') {
      ++i;
    } else if (text.substr(i, 2) == "--") {
      const std::size_t end = text.find('\n', i);
      if (end == std::string_view::npos) return true;
      i = end + 1;
    } else if (text.substr(i, 2) == "/*") {
      const std::size_t end = text.find("*/", i + 2);
      if (end == std::string_view::npos) return true;
      i = end + 2;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

Statement::Statement(std::shared_ptr<DbHandle> db, std::string_view sql, bool persistent)
    : db_(std::move(db)) {
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  const int rc = sqlite3_prepare_v3(db_->get(), sql.data(), static_cast<int>(sql.size()),
                                    persistent ? SQLITE_PREPARE_PERSISTENT : 0, &raw, &tail);
  stmt_.reset(raw);
  Check(db_->get(), rc);
  const std::string_view rest(tail, static_cast<std::size_t>(sql.data() + sql.size() - tail));
  if (!OnlyBlanksAndComments(rest)) {
    stmt_.reset();
    throw Error("only one statement can be run at a time; refused: " + std::string(rest));
  }
  // A text of blanks or comments prepares to no statement: it runs as one without rows.
}

bool Statement::Step() {
  if (!stmt_) return false;
  const int rc = sqlite3_step(stmt_.get());
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  // The step's own message; resetting would replace it with a generic one.
  const std::string message = sqlite3_errmsg(db_->get());
  stmt_.reset();
  Raise(rc, message);
}

void Statement::Reset() noexcept {
  if (!stmt_) return;
  // reset reports the last step's error again, which was raised already.
  sqlite3_reset(stmt_.get());
  sqlite3_clear_bindings(stmt_.get());
}

void Statement::Finalizer::operator()(sqlite3_stmt* stmt) const noexcept {
  // finalize reports the last step's error again, which was raised already.
  sqlite3_finalize(stmt);
}

Transaction::Transaction(std::shared_ptr<DbHandle> db) : db_(std::move(db)) {
  db_->Run("BEGIN IMMEDIATE");
}

Transaction::Transaction(Transaction&& other) noexcept : db_(std::move(other.db_)) {}

Transaction::~Transaction() {
  if (!Open()) return;
  try {
    db_->Run("ROLLBACK");
  } catch (...) {
    // A destructor must not throw; a failed rollback leaves the transaction to be undone
    // when the connection closes, which SQLite does for an unfinished transaction.
  }
}

bool Transaction::Open() const {
  return db_ && !sqlite3_get_autocommit(db_->get());
}

void Transaction::Commit() {
  db_->Run("COMMIT");
  db_.reset();
}

void Transaction::Rollback() {
  if (Open()) db_->Run("ROLLBACK");
  db_.reset();
}

}  // namespace nv407::host::sqlite
