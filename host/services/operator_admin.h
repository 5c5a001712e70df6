#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/db/database.h"
#include "host/services/operator_records.h"

namespace nv407::host {

struct OperatorListing {
  OperatorRow row;
  std::vector<HeldPermission> permissions;
};

// Changes to a database's operators (polizas-db operator) made by an administrator, whose
// code goes into the record-log note each change leaves on the operator changed. Each
// change is one transaction, checked in it so that a change made meanwhile by another program
// counts; a refused one raises an Error saying why and changes nothing.
// The database keeps its last administrator: it cannot lose the administration permission,
// nor be locked by an administrator.
class OperatorAdministration {
 public:
  OperatorAdministration(Database& database, std::string by, Clock clock);

  void Add(const std::string& code, const std::string& name, const std::string& password);
  void ChangePassword(const std::string& code, const std::string& password);
  void Grant(const std::string& code, std::string_view module, std::string_view key);
  void Revoke(const std::string& code, std::string_view module, std::string_view key);
  void Lock(const std::string& code);  // refused for one locked already
  // Lifts an administrator's lock or one for failed attempts; refused for one under neither.
  void Unlock(const std::string& code);
  std::vector<OperatorListing> List();
  // Asked again inside each change's transaction, under the write lock: whether the operator
  // making it may still (another administrator may have revoked or locked it meanwhile).
  void CheckEachChange(std::function<void()> still_allowed) {
    still_allowed_ = std::move(still_allowed);
  }

 private:
  void StillAllowed() {
    if (still_allowed_) still_allowed_();
  }
  OperatorRow Existing(const std::string& code);
  void Note(const std::string& code, const std::string& note);
  bool AnotherAdministratorUnlocked(const std::string& code);

  Database& database_;
  std::string by_;
  Clock clock_;
  OperatorRecords records_;
  std::function<void()> still_allowed_;
};

// What is wrong with a new operator code, or "" when it will do: not empty, UTF-8, at most
// 60 characters, no control characters, no blanks at its ends (no-break and other Unicode
// spaces among them), no invisible character nor accent written apart from its letter, and
// written in printable ASCII and Latin-1's letters alone. Add also refuses a code that differs
// from an operator's only in the case of its letters, and a name that is not UTF-8 or holds
// control characters.
std::string OperatorCodeProblem(std::string_view code);

// Refuses `code` unless it holds the administration permission and no administrator has
// locked it.
void RequireAdministrator(Database& database, const std::string& code);

}  // namespace nv407::host
