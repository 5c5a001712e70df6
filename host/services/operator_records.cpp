#include "host/services/operator_records.h"

namespace nv407::host {
namespace {

constexpr const char* kColumns =
    "SELECT user_code, name, password_hash, failed_attempts, locked_until, locked FROM operator";

OperatorRow RowOf(Recordset& result) {
  const auto text = [&](const char* column) {
    const Variant value = result.Fields(column).Value();
    return value.IsNull() ? std::optional<std::string>() : value.ToText();
  };
  OperatorRow row;
  row.code = *text("user_code");
  row.name = text("name").value_or("");
  row.password_hash = text("password_hash");
  row.failed_attempts = static_cast<int>(result.Fields("failed_attempts").Value().ToLong());
  const Variant until = result.Fields("locked_until").Value();
  if (!until.IsNull()) row.locked_until = until.ToDate();
  row.locked = result.Fields("locked").Value().ToLong() != 0;
  return row;
}

}  // namespace

std::optional<OperatorRow> OperatorRecords::Find(const std::string& code) {
  auto result = database_.HostQuery(std::string(kColumns) + " WHERE user_code = ?", {code});
  std::optional<OperatorRow> row;
  if (!result->Eof()) row = RowOf(*result);
  result->Close();
  return row;
}

std::vector<OperatorRow> OperatorRecords::All() {
  std::vector<OperatorRow> rows;
  auto result = database_.HostQuery(std::string(kColumns) + " ORDER BY user_code", {});
  for (; !result->Eof(); result->MoveNext()) rows.push_back(RowOf(*result));
  result->Close();
  return rows;
}

std::vector<HeldPermission> OperatorRecords::PermissionsOf(const std::string& code) {
  std::vector<HeldPermission> held;
  auto result = database_.HostQuery(
      "SELECT module, permission_key FROM operator_permission WHERE user_code = ? ORDER BY "
      "module, permission_key",
      {code});
  for (; !result->Eof(); result->MoveNext()) {
    held.push_back({result->Fields("module").Value().ToText(),
                    result->Fields("permission_key").Value().ToText()});
  }
  result->Close();
  return held;
}

std::vector<std::string> OperatorRecords::Holders(std::string_view module, std::string_view key) {
  std::vector<std::string> codes;
  auto result = database_.HostQuery(
      "SELECT user_code FROM operator_permission WHERE module = ? AND permission_key = ? ORDER "
      "BY user_code",
      {std::string(module), std::string(key)});
  for (; !result->Eof(); result->MoveNext())
    codes.push_back(result->Fields("user_code").Value().ToText());
  result->Close();
  return codes;
}

void OperatorRecords::Add(const std::string& code, const std::string& name,
                          const std::string& password_hash) {
  database_
      .HostQuery("INSERT INTO operator (user_code, name, password_hash) VALUES (?, ?, ?)",
                 {code, name, password_hash})
      ->Close();
}

void OperatorRecords::SetPassword(const std::string& code, const std::string& password_hash) {
  database_
      .HostQuery(
          "UPDATE operator SET password_hash = ?, failed_attempts = 0, locked_until = NULL "
          "WHERE user_code = ?",
          {password_hash, code})
      ->Close();
}

void OperatorRecords::SetFailures(const std::string& code, int failed_attempts,
                                  const std::optional<Date>& locked_until) {
  if (locked_until) {
    database_
        .HostQuery(
            "UPDATE operator SET failed_attempts = ?, locked_until = ? WHERE user_code = ?",
            {std::int64_t{failed_attempts}, DateTimeText(database_.Dialect(), *locked_until), code})
        ->Close();
    return;
  }
  database_
      .HostQuery("UPDATE operator SET failed_attempts = ?, locked_until = NULL WHERE user_code = ?",
                 {std::int64_t{failed_attempts}, code})
      ->Close();
}

void OperatorRecords::SetLocked(const std::string& code, bool locked) {
  database_
      .HostQuery(locked ? "UPDATE operator SET locked = 1 WHERE user_code = ?"
                        : "UPDATE operator SET locked = 0, failed_attempts = 0, locked_until = "
                          "NULL WHERE user_code = ?",
                 {code})
      ->Close();
}

bool OperatorRecords::Grant(const std::string& code, std::string_view module,
                            std::string_view key) {
  for (const HeldPermission& held : PermissionsOf(code))
    if (held.module == module && held.key == key) return false;
  database_
      .HostQuery(
          "INSERT INTO operator_permission (user_code, module, permission_key) VALUES (?, ?, ?)",
          {code, std::string(module), std::string(key)})
      ->Close();
  return true;
}

bool OperatorRecords::Revoke(const std::string& code, std::string_view module,
                             std::string_view key) {
  for (const HeldPermission& held : PermissionsOf(code)) {
    if (held.module != module || held.key != key) continue;
    database_
        .HostQuery(
            "DELETE FROM operator_permission WHERE user_code = ? AND module = ? AND "
            "permission_key = ?",
            {code, std::string(module), std::string(key)})
        ->Close();
    return true;
  }
  return false;
}

}  // namespace nv407::host
