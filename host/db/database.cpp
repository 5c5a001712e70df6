#include "host/db/database.h"

namespace nv407::host {

std::string OneLine(std::string_view description) {
  std::string line;
  bool broken = false;  // inside a run of blanks that holds a line break
  for (char c : description) {
    if (c == '\n' || c == '\r') {
      broken = true;
    } else if (broken && (c == ' ' || c == '\t')) {
      continue;
    } else {
      if (broken && !line.empty() && line.back() != ' ') line += ' ';
      broken = false;
      line += c;
    }
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
