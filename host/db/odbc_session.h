#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "component/date.h"
#include "component/variant.h"
#include "host/db/database.h"
#include "host/db/odbc_connection_string.h"
#include "host/db/odbc_handles.h"

namespace nv407::host::odbc {

// What one statement gave: its column names and all of its rows, read when it ran.
struct Result {
  std::vector<std::string> columns;
  std::deque<std::vector<Variant>> rows;
};

// The one connection that the screen's and the host's sides share.
//
// A transaction is all or nothing: when a statement in it fails, the session rolls it back
// at once (the driver may have undone part of it already) and refuses every statement and
// the commit until the caller rolls back, which then has nothing left to do. The same
// happens when the connection is lost in a transaction. A connection lost outside one is
// made again for the next statement; one idle for a second or more (a user between two
// commands), or on which a call failed, is asked first whether it is still there, so that
// the next statement does not fail for a connection dropped meanwhile.
class Session {
 public:
  Session(OdbcConnectionString connection, OdbcOptions options);
  Session(const Session&) = delete;  // its transaction refers to its connection
  Session& operator=(const Session&) = delete;

  SqlDialect Dialect() const { return dialect_; }
  bool InTransaction() const { return transaction_.has_value() || undone_.has_value(); }
  bool ReadOnly() const { return read_only_; }
  void SetLockWaitObserver(LockWaitObserver observer);

  Result Execute(const std::string& sql);
  void Begin();
  void Commit();
  void Rollback();
  // As Database::TransactionSaves and Database::CaptureLeft.
  void TransactionSaves(std::string policy);
  // A commit still unsettled (not yet found made, be it still in progress) is dropped, not
  // asked about: the capture it would have been saved twice from is gone, and the operator
  // was told to look at the database.
  void CaptureLeft() {
    unsettled_.reset();
    earlier_commit_made_.reset();
  }

 private:
  void Connect();
  DbHandle& Live();
  void Prepare();
  void PinClock(DbHandle& db);
  bool ObservesWaits() const;
  void ApplyLockTimeout(DbHandle& db, int milliseconds);
  Result RunWaiting(DbHandle& db, const std::string& sql);
  std::optional<std::string> WrittenTransaction();
  std::string OutcomeOf(const std::string& transaction);
  void SettleEarlierCommit(DbHandle& db);
  void Failed(const char* why);
  void Drop();
  void EndTransaction(const char* why);

  OdbcConnectionString connection_;
  OdbcOptions options_;
  SqlDialect dialect_ = SqlDialect::kPostgreSql;
  LockWaitObserver lock_wait_;
  bool read_only_ = false;
  EnvHandle env_;
  std::optional<DbHandle> db_;
  std::optional<Transaction> transaction_;
  std::optional<std::string> undone_;  // why the open transaction was undone
  // A transaction whose commit was lost, its outcome not known: the server's number of it,
  // and the policy it saved ("" when not told).
  struct Unsettled {
    std::string transaction, policy;
  };
  std::optional<Unsettled> unsettled_;
  std::string saves_;  // the policy the open transaction saves
  // Why every transaction is refused: an unsettled commit was found made.
  std::optional<std::string> earlier_commit_made_;
  // Session settings sent since the transaction began: its rollback undoes them.
  bool settings_in_transaction_ = false;
  bool settings_stale_ = false;  // to be sent again before the next statement
  std::optional<Date> pinned_;   // what GetDate() returns on the server now
  std::chrono::steady_clock::time_point last_used_{};
  bool doubtful_ = false;  // a call failed on it: asked before the next statement
};

}  // namespace nv407::host::odbc
