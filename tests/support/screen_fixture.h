#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "component/date.h"
#include "host/headless/headless_host.h"
#include "support/test_database.h"

namespace nv407::testing {

// The in-process component for a HeadlessHost: each call starts a component of its own
// on the given host library, kept alive by the Pantalla handed out.
host::PantallaFactory InProcessComponent();

// A headless host on `database` with the in-process component, its clock the database's.
std::unique_ptr<host::HeadlessHost> MakeHost(TestDatabase& database,
                                             const std::string& user = kOperatorWithPermissions);

// Scenario tests of the screen read Given / When / Then:
//
//   TEST_F(FolioLoadTest, ShowsAStoredPolicy) {
//     GivenPolicy({.folio = "MTY-000007"});
//     GivenOpenScreen();
//     WhenType("txtFolio", "mty-7");
//     EXPECT_EQ(Text("txt_Sc_Cve_Sucursal"), "MTY");
//     EXPECT_THAT(Messages(), IsEmpty());
//   }
//
// `db` holds the demo data; the statement trace, messages and snapshots are all at hand. The host
// is made on first use (the operator must be chosen before that).
class ScreenTest : public ::testing::Test {
 protected:
  explicit ScreenTest(TestDatabase::Storage storage = TestDatabase::Storage::kMemory)
      : db(storage) {}

  // Given
  void GivenOperator(const std::string& user);
  void GivenNow(const Date& now) { db.SetNow(now); }
  void GivenPolicy(const PolicyRow& policy) { db.AddPolicy(policy); }
  // Opens the screen as the host does (Padre.iParametros = parameters); the messages shown
  // while opening stay recorded.
  host::HeadlessHost& GivenOpenScreen(const std::string& parameters = "") {
    host().Open(parameters);
    return host();
  }

  // When: the user's actions (each raises an Error when the screen refuses it).
  void WhenType(const std::string& control, const std::string& text) { host().Type(control, text); }
  void WhenPick(const std::string& control, const Date& date) { host().PickDate(control, date); }
  void WhenChoose(const std::string& control, const std::string& text) {
    host().Choose(control, text);
  }
  void WhenClick(const std::string& control) { host().Click(control); }
  void WhenPress(const std::string& command) { host().Press(command); }
  // The answer that the next message box gets: "yes", "no" or "ok" (may come before
  // GivenOpenScreen, for the messages of opening).
  void WhenNextAnswerIs(const std::string& button);
  void WhenEditorReturns(const std::string& concept_text, const std::string& text) {
    host().dialogs().QueueEditorResult(concept_text, text);
  }

  // Then
  host::HeadlessHost& host();
  host::ScreenSnapshot Screen() { return host().Snapshot(); }
  // A text box's or the combo's text.
  std::string Text(const std::string& control) { return Screen().Find(control).text; }
  std::optional<Date> DateIn(const std::string& control);
  bool Enabled(const std::string& control) { return Screen().Find(control).enabled; }
  std::string Focus() { return host().focus().FocusedName(); }
  std::vector<host::MessageCall> Messages() { return host().dialogs().Messages(); }
  // The services list as rows [key, text, description, unit, included, used].
  std::vector<host::ListRow> Services() { return Screen().services; }

  TestDatabase db;

 private:
  std::string user_ = kOperatorWithPermissions;
  std::unique_ptr<host::HeadlessHost> host_;
};

}  // namespace nv407::testing
