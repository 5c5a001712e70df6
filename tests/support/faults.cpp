#include "support/faults.h"

#include "component/error.h"

namespace nv407::testing {

class FaultyDatabase::FaultyConnection final : public Connection {
 public:
  FaultyConnection(Connection& real, FaultyDatabase& owner) : real_(real), owner_(owner) {}

  std::unique_ptr<Recordset> Execute(const std::string& sql) override {
    owner_.Count(sql);
    return real_.Execute(sql);
  }
  void BeginTrans() override {
    owner_.Count("BEGIN");
    real_.BeginTrans();
  }
  void CommitTrans() override {
    owner_.Count("COMMIT");
    real_.CommitTrans();
  }
  void RollbackTrans() override { real_.RollbackTrans(); }

 private:
  Connection& real_;
  FaultyDatabase& owner_;
};

FaultyDatabase::FaultyDatabase(host::Database& real)
    : real_(real),
      screen_(std::make_unique<FaultyConnection>(real.ForScreen(), *this)),
      host_(std::make_unique<FaultyConnection>(real.ForHost(), *this)) {}

FaultyDatabase::~FaultyDatabase() = default;

void FaultyDatabase::Arm(int fail_at) {
  plan_.Arm(fail_at);
  calls_.clear();
}

std::string FaultyDatabase::FailureText(int call) {
  return "disk I/O error (call " + std::to_string(call) + " refused)";
}

Connection& FaultyDatabase::ForScreen() {
  return *screen_;
}

Connection& FaultyDatabase::ForHost() {
  return *host_;
}

std::unique_ptr<Recordset> FaultyDatabase::HostQuery(const std::string& sql,
                                                     std::vector<host::StatementValue> values) {
  Count(sql);
  return real_.HostQuery(sql, std::move(values));
}

void FaultyDatabase::Count(const std::string& call) {
  calls_.push_back(call);
  if (plan_.Next()) throw Error(FailureText(plan_.count));
}

std::string FaultyClock::FailureText(int reading) {
  return "the server's clock cannot be read (reading " + std::to_string(reading) + " refused)";
}

host::Clock FaultyClock::clock() {
  return [this] {
    if (plan_.Next()) throw Error(FailureText(plan_.count));
    return real_();
  };
}

}  // namespace nv407::testing
