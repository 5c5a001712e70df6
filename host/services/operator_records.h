#pragma once

#include <optional>
#include <string>
#include <vector>

#include "component/date.h"
#include "host/db/database.h"

namespace nv407::host {

// An operator as the `operator` table keeps it.
struct OperatorRow {
  std::string code;
  std::string name;
  std::optional<std::string> password_hash;  // none: the operator cannot sign in
  int failed_attempts = 0;                   // in a row, since the last sign-in
  std::optional<Date> locked_until;          // refused until then after failed attempts
  bool locked = false;                       // by an administrator, until lifted

  // Whether failed attempts lock the operator at that time (UTC).
  bool LockedForFailures(const Date& utc_now) const {
    return locked_until && utc_now < *locked_until;
  }
};

struct HeldPermission {
  std::string module, key;
};

// The operator and permission tables, read and written through the host's side of the
// session, so that a caller's transaction takes them in.
class OperatorRecords {
 public:
  explicit OperatorRecords(Database& database) : database_(database) {}

  std::optional<OperatorRow> Find(const std::string& code);
  std::vector<OperatorRow> All();                                      // by code
  std::vector<HeldPermission> PermissionsOf(const std::string& code);  // by module and key
  // The operators holding the permission, by code.
  std::vector<std::string> Holders(std::string_view module, std::string_view key);

  void Add(const std::string& code, const std::string& name, const std::string& password_hash);
  // A new password also ends a lock for failed attempts.
  void SetPassword(const std::string& code, const std::string& password_hash);
  void SetFailures(const std::string& code, int failed_attempts,
                   const std::optional<Date>& locked_until);
  // Lifting an administrator's lock ends a lock for failed attempts too.
  void SetLocked(const std::string& code, bool locked);
  // False when the operator held it already (Grant) or did not hold it (Revoke).
  bool Grant(const std::string& code, std::string_view module, std::string_view key);
  bool Revoke(const std::string& code, std::string_view module, std::string_view key);

 private:
  Database& database_;
};

}  // namespace nv407::host
