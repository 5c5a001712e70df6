#pragma once

#include <optional>
#include <string>

#include "component/date.h"
#include "host/headless/headless_host.h"

namespace nv407::testing {

// A policy as an operator types it on the screen.
struct TypedPolicy {
  std::string branch = "MTY", seller = "V002", client = "C00003", type = "SOPMEN";
  std::string reference{}, cut_off_day = "12";
  std::string extended_text{};  // written through the editor when not empty
  std::optional<Date> date{};   // picked (which takes CHFECHA) when given
};

// What came of a command: done, with the folio a save issued, or stopped, with the message
// that stopped it ("id|text") or the user action that the screen refused.
struct Outcome {
  bool done = false;
  std::string folio;
  std::string problem;
};

// The steps an operator takes before the command that writes, from folio entry.
void TypeNewPolicy(host::HeadlessHost& host, const TypedPolicy& policy);
void ShowPolicy(host::HeadlessHost& host, const std::string& folio);
// Shows the policy, presses Modificar and types another reference.
void TypeEdit(host::HeadlessHost& host, const std::string& folio, const std::string& reference);

// Whole commands, each from folio entry (reached first with Cancelar when a failed command
// left the screen busy).
Outcome SaveNewPolicy(host::HeadlessHost& host, const TypedPolicy& policy);
Outcome SaveEdit(host::HeadlessHost& host, const std::string& folio, const std::string& reference);
Outcome CancelPolicy(host::HeadlessHost& host, const std::string& folio);
Outcome ResetCounters(host::HeadlessHost& host, const std::string& folio);

}  // namespace nv407::testing
