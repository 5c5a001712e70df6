#include "host/db/database.h"

namespace nv407::host {

std::string OneLine(std::string_view description) {
  std::string line;
  for (char c : description) {
    const bool is_break = c == '\n' || c == '\r';
    if (!is_break)
      line += c;
    else if (!line.empty() && line.back() != ' ')
      line += ' ';
  }
  return line;
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
