#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/db/database.h"

namespace nv407::testing {

// Which one of a run of calls fails: calls are counted from Arm, and the n-th (from 1)
// fails; none when n is 0.
struct FaultPlan {
  int fail_at = 0, count = 0;
  void Arm(int n) { *this = {n, 0}; }
  bool Next() { return ++count == fail_at; }  // counts a call: true for the one to fail
};

// The real database, one of whose calls fails as a full disk or a lost server would make it
// fail: an Execute, BeginTrans or CommitTrans of either connection or one of the host's own
// statements (HostQuery), all counted together. The failing call raises an Error and never
// reaches the database; every other call does. RollbackTrans is never refused, so that an
// error trap can always undo what it began.
class FaultyDatabase final : public host::Database {
 public:
  explicit FaultyDatabase(host::Database& real);
  ~FaultyDatabase() override;

  // Counts the calls from now on, and makes the n-th one fail (none when n is 0).
  void Arm(int fail_at);
  // The calls counted since Arm, as their statement texts ("BEGIN", "COMMIT").
  const std::vector<std::string>& Calls() const { return calls_; }
  // The description of the error the n-th call raises.
  static std::string FailureText(int call);

  Connection& ForScreen() override;
  Connection& ForHost() override;
  std::unique_ptr<Recordset> HostQuery(const std::string& sql,
                                       std::vector<host::StatementValue> values) override;
  host::SqlDialect Dialect() const override { return real_.Dialect(); }
  bool InTransaction() const override { return real_.InTransaction(); }
  bool ReadOnly() const override { return real_.ReadOnly(); }
  std::string WhyReadOnly() const override { return real_.WhyReadOnly(); }
  void SetTrace(host::StatementTrace trace) override { real_.SetTrace(std::move(trace)); }
  void SetLockWaitObserver(host::LockWaitObserver observer) override {
    real_.SetLockWaitObserver(std::move(observer));
  }
  void WorkFor(const std::string& user_code) override { real_.WorkFor(user_code); }
  void TransactionSaves(const std::string& policy) override { real_.TransactionSaves(policy); }
  void CaptureLeft() override { real_.CaptureLeft(); }

 private:
  class FaultyConnection;
  void Count(const std::string& call);

  host::Database& real_;
  FaultPlan plan_;
  std::vector<std::string> calls_;
  std::unique_ptr<FaultyConnection> screen_, host_;
};

// A host clock (the server's date and time) whose n-th reading, counted from Arm, raises an
// Error instead of answering.
class FaultyClock {
 public:
  explicit FaultyClock(host::Clock real) : real_(std::move(real)) {}
  void Arm(int fail_at) { plan_.Arm(fail_at); }
  int Readings() const { return plan_.count; }
  static std::string FailureText(int reading);
  // The clock to hand the host; it reads this object, which must outlive it.
  host::Clock clock();

 private:
  host::Clock real_;
  FaultPlan plan_;
};

}  // namespace nv407::testing
