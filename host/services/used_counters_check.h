#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "component/controls.h"
#include "host/db/database.h"

namespace nv407::host {

// The rows a list of the open screen shows, found by the list's name; nullptr where the
// screen shows no such list.
using ShownList = std::function<const ListItems*(std::string_view name)>;

// The screen logs a counter reset from what its services list showed when the policy was
// loaded. Just before the reset runs, in its transaction, this reads the used amounts as the
// load shows them, locked against other sessions until the transaction ends, and refuses the
// reset when the list shows anything else: the log must say what was reset.
class UsedCountersCheck {
 public:
  explicit UsedCountersCheck(Database& database) : database_(database) {}

  // Without them (a host with no screen) nothing is checked.
  void ReadListsWith(ShownList lists) { lists_ = std::move(lists); }
  // A statement of the screen's about to run; raises an Error when it must not.
  void BeforeStatement(const std::string& sql);

 private:
  Database& database_;
  ShownList lists_;
};

}  // namespace nv407::host
