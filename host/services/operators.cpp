#include "host/services/operators.h"

#include "component/error.h"
#include "host/services/host_records.h"

namespace nv407::host {
namespace {

// Enough of a code to recognise it in a message that must stay one line.
std::string Shown(const std::string& code) {
  constexpr std::size_t kLongest = 40;
  std::string shown;
  for (char c : code.substr(0, kLongest))
    shown += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  return "\"" + shown + (code.size() > kLongest ? "...\"" : "\"");
}

}  // namespace

void RequireOperator(Database& database, const std::string& user_code) {
  if (user_code.empty()) throw Error("no operator given: the operator code is empty");
  if (!HostRecords(database).OperatorExists(user_code)) {
    throw Error("unknown operator " + Shown(user_code) +
                ": only an operator of the database's operator table may work");
  }
}

}  // namespace nv407::host
