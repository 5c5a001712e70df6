#include "host/db/database.h"

#include <cstdio>

namespace nv407::host {

std::string DateText(SqlDialect dialect, const Date& date) {
  if (dialect == SqlDialect::kSqlServer) {
    // The unseparated form is the one SQL Server reads the same under every language setting.
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02d%02d", date.Year(), date.Month(), date.Day());
    return text;
  }
  return date.ToIsoDate();
}

std::string DateTimeText(SqlDialect dialect, const Date& date) {
  return date.ToIsoDateTime(dialect == SqlDialect::kSqlServer ? 'T' : ' ');
}

TransactionScope::TransactionScope(Connection& connection) : connection_(&connection) {
  connection_->BeginTrans();
}

TransactionScope::~TransactionScope() {
  if (!open_) return;
  try {
    connection_->RollbackTrans();
  } catch (...) {
    // Destructors must not throw; the connection undoes an unfinished transaction when it
    // closes.
  }
}

void TransactionScope::Commit() {
  connection_->CommitTrans();
  open_ = false;
}

}  // namespace nv407::host
