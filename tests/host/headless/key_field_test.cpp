#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "component/error.h"
#include "host/headless/control_factory.h"
#include "host/headless/scripted_dialogs.h"
#include "screen/layout.h"
#include "support/test_database.h"
#include "support/test_form.h"

namespace nv407::testing {
namespace {

using host::HeadlessTextBox;

// The screen's own rows, so the fields carry their designed settings.
std::vector<ControlLayout> ScreenRows(const std::vector<std::string>& names) {
  std::vector<ControlLayout> rows;
  for (const std::string& name : names)
    for (const ControlLayout& row : frmNV407Layout().controls)
      if (row.name == name) rows.push_back(row);
  return rows;
}

class KeyFieldTest : public ::testing::Test {
 protected:
  KeyFieldTest() {
    for (const char* name : {"txtFolio", "txt_Sc_Cve_Sucursal"}) {
      HeadlessTextBox& box = Box(name);
      box.SetEnabled(true);
      box.OnLookupReset([this, name] { events.push_back(std::string("reset ") + name); });
      box.OnLookupDone([this, name] { events.push_back(std::string("done ") + name); });
      box.OnLookupRepeated([this, name] { events.push_back(std::string("repeated ") + name); });
    }
  }

  HeadlessTextBox& Box(const std::string& name) { return form.Get<HeadlessTextBox>(name); }
  std::string Description() { return Box("txt_Sc_Descripcion").Text(); }

  TestDatabase db;
  host::ScriptedDialogs dialogs;
  host::HeadlessControlFactory factory{db.db(), dialogs};
  TestForm form{factory, ScreenRows({"txtFolio", "txtReferencia", "txt_Sc_Cve_Sucursal",
                                     "txt_Sc_Descripcion", "txtComentario", "txt_Cl_Cve_Cliente",
                                     "txt_Cl_Cliente", "txt_ID_Facturacion"})};
  std::vector<std::string> events;
};

struct TypingCase {
  std::string field, typed, shown;
};

class TypingRulesTest : public KeyFieldTest, public ::testing::WithParamInterface<TypingCase> {};

TEST_P(TypingRulesTest, FieldAppliesItsOwnRules) {
  HeadlessTextBox& box = Box(GetParam().field);
  box.SetEnabled(true);
  box.UserType(GetParam().typed);
  EXPECT_EQ(box.Text(), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, TypingRulesTest,
    ::testing::Values(TypingCase{"txtFolio", "mty-000001", "MTY-000001"},
                      TypingCase{"txt_Cl_Cve_Cliente", "c0000ñ", "C0000Ñ"},
                      TypingCase{"txtComentario", "Sin cambios, ñandú", "Sin cambios, ñandú"},
                      TypingCase{"txtReferencia", "REF-0123456789ABCDEF", "REF-0123456789A"},
                      // Fifteen characters, not fifteen bytes: no letter is cut in half.
                      TypingCase{"txtReferencia", "ñññññññññññññññññ", "ñññññññññññññññ"},
                      TypingCase{"txt_ID_Facturacion", "FAC-12345678", "FAC-123456"}));

TEST_F(KeyFieldTest, RefusesTypingIntoADisabledOrLockedField) {
  struct Case {
    std::string field, error;
  };
  const Case cases[] = {{"txt_Cl_Cve_Cliente", "txt_Cl_Cve_Cliente is disabled"},
                        {"txt_Sc_Descripcion", "txt_Sc_Descripcion is read-only"}};
  const std::string focus_before = factory.Focus(form).FocusedName();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    Box(c.field).SetText("BEFORE");
    try {
      Box(c.field).UserType("AFTER");
      ADD_FAILURE() << "typing was accepted";
    } catch (const Error& error) {
      EXPECT_EQ(error.Description(), c.error);
    }
    EXPECT_EQ(Box(c.field).Text(), "BEFORE");
    EXPECT_EQ(factory.Focus(form).FocusedName(), focus_before);
  }
  EXPECT_TRUE(events.empty());
}

struct Step {
  std::string typed;
  std::vector<std::string> events;
  std::string description;
};

struct LookupScenario {
  std::string name;
  std::vector<Step> steps;
};

class LookupNotificationTest : public KeyFieldTest,
                               public ::testing::WithParamInterface<LookupScenario> {};

TEST_P(LookupNotificationTest, RaisesResetBeforeTheLookUpAndDoneOnlyWhenAccepted) {
  for (const Step& step : GetParam().steps) {
    SCOPED_TRACE("typed \"" + step.typed + "\"");
    events.clear();
    Box("txt_Sc_Cve_Sucursal").UserType(step.typed);
    EXPECT_EQ(events, step.events);
    EXPECT_EQ(Description(), step.description);
  }
  EXPECT_TRUE(dialogs.Calls().empty());
}

const std::string kReset = "reset txt_Sc_Cve_Sucursal";
const std::string kDone = "done txt_Sc_Cve_Sucursal";
const std::string kRepeated = "repeated txt_Sc_Cve_Sucursal";

INSTANTIATE_TEST_SUITE_P(
    Scenarios, LookupNotificationTest,
    ::testing::Values(
        LookupScenario{"Found",
                       {{"gdl", {kReset, kDone}, "Guadalajara Providencia"},
                        {"MTY", {kReset, kDone}, "Monterrey Centro"}}},
        // A withdrawn branch exists but is not offered; the old description goes with it.
        LookupScenario{"WithdrawnOrUnknown",
                       {{"MTY", {kReset, kDone}, "Monterrey Centro"},
                        {"PUE", {kReset}, ""},
                        {"NOPE", {kReset}, ""}}},
        LookupScenario{"Emptied",
                       {{"MTY", {kReset, kDone}, "Monterrey Centro"}, {"", {kReset}, ""}}},
        LookupScenario{"SameValueAgain",
                       {{"MTY", {kReset, kDone}, "Monterrey Centro"},
                        {"mty", {kRepeated}, "Monterrey Centro"}}},
        LookupScenario{"SameRefusedValueAgain", {{"PUE", {kReset}, ""}, {"PUE", {}, ""}}}),
    [](const auto& info) { return info.param.name; });

TEST_F(KeyFieldTest, KeyWithApostrophesCannotEndTheLiteral) {
  db.AddBranch("O'B", "Sucursal O'Brien");
  const auto& trace = db.TraceStatements();

  Box("txt_Sc_Cve_Sucursal").UserType("o'b");
  EXPECT_EQ(events, (std::vector<std::string>{kReset, kDone}));
  EXPECT_EQ(Description(), "Sucursal O'Brien");
  ASSERT_EQ(trace.size(), 1u);
  EXPECT_EQ(trace[0].first, "host");
  EXPECT_EQ(trace[0].second,
            "select sc_descripcion from Sucursal where Sc_Cve_Sucursal ='O''B' AND "
            "Es_Cve_Estado <> 'BA'");

  // Would match every branch if the apostrophe closed the literal.
  events.clear();
  Box("txt_Sc_Cve_Sucursal").UserType("X' OR '1'='1");
  EXPECT_EQ(events, std::vector<std::string>{kReset});
  EXPECT_EQ(Description(), "");
}

TEST_F(KeyFieldTest, EmptyKeyIsNotLookedUp) {
  Box("txt_Sc_Cve_Sucursal").UserType("MTY");
  const auto& trace = db.TraceStatements();
  Box("txt_Sc_Cve_Sucursal").UserType("");
  EXPECT_TRUE(trace.empty());
  EXPECT_FALSE(Box("txt_Sc_Cve_Sucursal").Accepted());
}

TEST_F(KeyFieldTest, KeyFieldWithoutStatementAcceptsAnyValueButEmpty) {
  Box("txtFolio").UserType("anything");
  EXPECT_EQ(events, (std::vector<std::string>{"reset txtFolio", "done txtFolio"}));
  events.clear();
  Box("txtFolio").UserType("");
  EXPECT_EQ(events, std::vector<std::string>{"reset txtFolio"});
}

TEST_F(KeyFieldTest, TextFromCodeFillsTheResultAndRaisesNothing) {
  HeadlessTextBox& branch = Box("txt_Sc_Cve_Sucursal");
  branch.SetText("GDL");
  EXPECT_EQ(Description(), "Guadalajara Providencia");
  EXPECT_TRUE(branch.Accepted());
  branch.SetText("PUE");
  EXPECT_EQ(Description(), "");
  EXPECT_FALSE(branch.Accepted());
  branch.SetText("MTY");
  EXPECT_TRUE(events.empty());

  // A value written by code counts as accepted: confirming it is a repetition.
  branch.UserType("MTY");
  EXPECT_EQ(events, std::vector<std::string>{kRepeated});
}

TEST_F(KeyFieldTest, FailingHandlerIsShownOnceAndEndsTheNotifications) {
  HeadlessTextBox& branch = Box("txt_Sc_Cve_Sucursal");
  branch.OnLookupReset([] { throw Error("Tabla bloqueada"); });
  branch.UserType("MTY");
  EXPECT_TRUE(events.empty()) << "LookupDone ran after a failed LookupReset";
  EXPECT_EQ(branch.Text(), "MTY");

  branch.OnLookupReset([] {});
  branch.OnLookupDone([] { throw std::runtime_error("bad_alloc"); });
  branch.UserType("GDL");

  const auto messages = dialogs.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].request.text, "Tabla bloqueada");
  EXPECT_EQ(messages[1].request.text, "bad_alloc");
  for (const auto& message : messages) {
    EXPECT_EQ(message.request.style, 16);
    EXPECT_EQ(message.request.title, "ERROR");
    EXPECT_EQ(message.request.module, "NV407");
    EXPECT_EQ(message.request.error_id, "ERR-ID:0000000");
    EXPECT_EQ(message.request.owner, form.WindowHandle());
  }
}

TEST_F(KeyFieldTest, FailingLookUpStatementIsShownAndRefusesTheValue) {
  db.Execute("DROP TABLE Sucursal");
  Box("txt_Sc_Cve_Sucursal").UserType("MTY");
  EXPECT_EQ(events, std::vector<std::string>{kReset});
  ASSERT_EQ(dialogs.Messages().size(), 1u);
  EXPECT_NE(dialogs.Messages()[0].request.text.find("Sucursal"), std::string::npos);
  EXPECT_FALSE(Box("txt_Sc_Cve_Sucursal").Accepted());
}

}  // namespace
}  // namespace nv407::testing
