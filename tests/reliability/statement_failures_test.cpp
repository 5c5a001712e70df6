// Every command that writes, with each of its database calls and clock readings failing in
// turn: nothing is half written, and the screen is as the command's error trap leaves it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "component/host_services.h"
#include "support/faults.h"
#include "support/operator_actions.h"
#include "support/policy_invariants.h"
#include "support/screen_fixture.h"

namespace nv407::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kFolio = "MTY-000007";

// A database, a host whose database calls and clock can be made to fail, and its screen.
struct World {
  World() {
    db.AddPolicy({.folio = kFolio,
                  .seller = "V002",
                  .client = "C00003",
                  .type = "SOPANUAL",
                  .date = "2024-02-20",
                  .start = "2024-03-01",
                  .end = "2025-02-28",
                  .cut_off_day = 17,
                  .reference = "OC-1",
                  .concept_text = "Soporte anual",
                  .services = {{"SOPREM", 120, 2.5, 0}, {"VISITA", 12, 0, 3}}});
    db.Execute(
        "INSERT INTO extended_text VALUES ('Poliza_Servicio', 'MTY-000007', '0001', "
        "'Cubre las dos plantas')");
    db.Execute(
        "INSERT INTO additional_field_value VALUES ('POLIZA_SERVICIO', 'MTY-000007', "
        "'CONTACTO', 'Ing. Rosales')");
    host.Open();
  }

  // Every row of every table.
  std::vector<std::string> Stored() {
    std::vector<std::string> rows;
    for (const std::string& table :
         Column(db.sql(), "SELECT name AS v FROM sqlite_master WHERE type = 'table' ORDER BY 1"))
      rows.push_back(table + ": " + db.Rows(table));
    return rows;
  }

  // Everything the screen shows but the folio last issued (a failed save keeps the one its
  // rollback took back; only the next save reads it, after issuing another).
  std::string Shown() {
    const host::ScreenSnapshot s = host.Snapshot();
    std::string shown = "focus " + s.focus + "\n";
    for (const host::ControlSnapshot& c : s.controls)
      shown += c.name + "=" + c.date.value_or(c.text) + (c.enabled ? "\n" : " (disabled)\n");
    for (const host::ListRow& row : s.services)
      for (const std::string& cell : row) shown += cell + (&cell == &row.back() ? "\n" : "|");
    const host::ToolbarSnapshot& t = s.toolbar;
    shown += std::string(host::ToolbarModeName(t.mode)) + (t.busy ? " busy" : "") +
             (t.loadedFlag ? " loaded" : "") + (t.activeFlag1 ? " active1" : "") +
             (t.activeFlag2 ? " active2" : "") + (t.extraFlag1 ? " extra1" : "") +
             (t.extraFlag2 ? " extra2" : "") + "\n";
    return shown + s.state.conceptText + "|" + s.state.extendedDescription;
  }

  // The messages shown since the last call, as "title|style|id|text", but the counter
  // reset's question.
  std::vector<std::string> Messages() {
    std::vector<std::string> shown;
    for (const host::HostEvent& event : host.TakeEvents()) {
      const auto* call = std::get_if<host::MessageCall>(&event);
      if (call && call->request.error_id != "ERR-ID:7500015") {
        const host::MessageRequest& m = call->request;
        shown.push_back(m.title + "|" + std::to_string(m.style) + "|" + m.error_id + "|" + m.text);
      }
    }
    return shown;
  }

  TestDatabase db;
  FaultyDatabase faulty{db.db()};
  FaultyClock clock{db.clock()};
  host::HeadlessHost host{faulty, {kOperatorWithPermissions, clock.clock()}, InProcessComponent()};
};

struct CommandCase {
  std::string name;
  std::function<void(World&)> given;  // up to the moment before the command
  std::function<void(World&)> when;   // the command
  std::string trap;  // "title|style|id|" and the start of the text of the trap's message
  // Calls whose failure the command reports with a message of its own instead of its trap's:
  // a part of the statement's text, and the whole message.
  std::vector<std::pair<std::string, std::string>> reported = {};
  friend void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }
};

// What the command shows when `failure` stops it in the call `statement`.
std::string Expected(const CommandCase& c, const std::string& statement,
                     const std::string& failure) {
  for (const auto& [part, message] : c.reported)
    if (statement.find(part) != std::string::npos) return message;
  return c.trap + failure;
}

class StatementFailureTest : public ::testing::TestWithParam<CommandCase> {
 protected:
  // Given, then the command with the one failure armed: the message the command showed,
  // with the database and the screen as they were before it; then the command once more.
  void RunFailing(const std::function<void(World&)>& arm, const std::string& expected_message,
                  const std::string& failure) {
    SCOPED_TRACE(failure);
    const CommandCase& c = GetParam();
    World world;
    c.given(world);
    const std::vector<std::string> stored = world.Stored();
    const std::string shown = world.Shown();
    world.Messages();
    arm(world);
    c.when(world);
    EXPECT_THAT(world.Messages(), ElementsAre(expected_message));
    EXPECT_EQ(world.Stored(), stored);
    EXPECT_FALSE(world.db.db().InTransaction());
    // The counter reset logs what the list shows: a list left zeroed would log zeros when
    // the command is run again.
    EXPECT_EQ(world.Shown(), shown);

    world.faulty.Arm(0);
    world.clock.Arm(0);
    c.when(world);
    EXPECT_THAT(world.Messages(), IsEmpty()) << "the command run again";
    EXPECT_NE(world.Stored(), stored) << "the command run again";
  }
};

TEST_P(StatementFailureTest, LeavesNothingHalfWrittenAndTheScreenAsItsTrapLeavesIt) {
  const CommandCase& c = GetParam();
  // Counting the calls of a run that succeeds
  std::vector<std::string> calls;
  int readings = 0;
  {
    World world;
    c.given(world);
    world.faulty.Arm(0);
    world.clock.Arm(0);
    c.when(world);
    ASSERT_THAT(world.Messages(), IsEmpty());
    calls = world.faulty.Calls();
    readings = world.clock.Readings();
  }
  ASSERT_GE(calls.size(), 3u);  // at least a begin, a write and a commit

  for (int call = 1; call <= static_cast<int>(calls.size()); ++call) {
    const std::string failure = FaultyDatabase::FailureText(call);
    RunFailing([call](World& w) { w.faulty.Arm(call); }, Expected(c, calls[call - 1], failure),
               failure + ": " + calls[call - 1]);
  }
  for (int reading = 1; reading <= readings; ++reading) {
    const std::string failure = FaultyClock::FailureText(reading);
    RunFailing([reading](World& w) { w.clock.Arm(reading); }, c.trap + failure, failure);
  }
}

const std::string kSaveTrap = "Controles_Aceptar()|16|ERR-ID:7500012|";
const std::vector<std::pair<std::string, std::string>> kSaveReports = {
    {"additional_field", "ERROR|48|ERR-ID:7500010|Imposible guardar campos adicionales"},
    {"extended_text", "ERROR|48|ERR-ID:7500011|Error al actualizar la descripción ampliada"}};

INSTANTIATE_TEST_SUITE_P(
    Commands, StatementFailureTest,
    ::testing::Values(
        CommandCase{"AceptarNew",
                    [](World& w) {
                      TypeNewPolicy(w.host, {.reference = "OC-9", .extended_text = "Dos plantas"});
                    },
                    [](World& w) { w.host.Press("Aceptar"); }, kSaveTrap, kSaveReports},
        CommandCase{"AceptarEdit", [](World& w) { TypeEdit(w.host, kFolio, "OC-2"); },
                    [](World& w) { w.host.Press("Aceptar"); }, kSaveTrap, kSaveReports},
        CommandCase{"Baja", [](World& w) { ShowPolicy(w.host, kFolio); },
                    [](World& w) { w.host.Press("Baja"); }, "Zembrel|16|ERR-ID:7500013|"},
        CommandCase{"CounterReset",
                    [](World& w) { ShowPolicy(w.host, kFolio); },
                    [](World& w) {
                      w.host.dialogs().QueueAnswer(message_answer::kYes);
                      w.host.Click("cmdInicializa");
                    },
                    "ERROR|16|ERR-ID:7500001|Operación cancelada debido al siguiente error: \r\n",
                    {}}),
    [](const ::testing::TestParamInfo<CommandCase>& info) { return info.param.name; });

}  // namespace
}  // namespace nv407::testing
