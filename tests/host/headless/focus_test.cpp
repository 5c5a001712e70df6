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

// The screen's controls as designed, without the screen's behaviour.
class FocusTest : public ::testing::Test {
 protected:
  host::FocusTracker& Focus() { return factory.Focus(form); }
  void Enable(const std::vector<std::string>& names) {
    for (const std::string& name : names) form.FindControl(name)->SetEnabled(true);
  }
  void EnableAll() {
    for (Control* control : form.Controls()) control->SetEnabled(true);
  }
  // Where the Tab key goes from the focused control, `count` times.
  std::vector<std::string> Tabs(int count) {
    std::vector<std::string> visited;
    for (int i = 0; i < count; ++i) {
      Focus().Tab();
      visited.push_back(Focus().FocusedName());
    }
    return visited;
  }

  TestDatabase db;
  host::ScriptedDialogs dialogs;
  host::HeadlessControlFactory factory{db.db(), dialogs};
  TestForm form{factory, frmNV407Layout().controls};
};

TEST_F(FocusTest, TabFollowsTheTabOrderOverEveryStopAndWrapsAround) {
  EnableAll();
  const std::vector<std::string> order = {"txtFolio",
                                          "dp_Ps_Fecha",
                                          "txtReferencia",
                                          "dp_Ps_Fecha_Inicio",
                                          "dp_Ps_Fecha_Fin",
                                          "cbCorte",
                                          "txt_Sc_Cve_Sucursal",
                                          "txt_Vn_Cve_Vendedor",
                                          "txt_Cl_Cve_Cliente",
                                          "txt_Tps_Cve_Tipo_Poliza",
                                          "txtComentario",
                                          "txt_Concepto",
                                          "txt_ID_Facturacion",
                                          "cmdDescripcion",
                                          "cmdInicializa",
                                          "txtFolio"};
  EXPECT_EQ(Tabs(static_cast<int>(order.size())), order);
}

TEST_F(FocusTest, TabPassesOverDisabledControls) {
  // As the design starts: only the folio among the stops is enabled.
  EXPECT_EQ(Tabs(2), (std::vector<std::string>{"txtFolio", "txtFolio"}));

  // A capture without the date permission: the tagged fields but the policy date.
  Enable({"txtReferencia", "dp_Ps_Fecha_Inicio", "cbCorte", "txt_Sc_Cve_Sucursal",
          "txt_ID_Facturacion"});
  EXPECT_EQ(Tabs(5), (std::vector<std::string>{"txtReferencia", "dp_Ps_Fecha_Inicio", "cbCorte",
                                               "txt_Sc_Cve_Sucursal", "txt_ID_Facturacion"}));
  EXPECT_EQ(Tabs(1), std::vector<std::string>{"txtFolio"});
}

TEST_F(FocusTest, ControlsThatCannotTakeTheFocusRefuseIt) {
  Focus().Focus(*form.FindControl("txtFolio"));
  for (const char* name : {"txtReferencia", "cmdInicializa"}) {
    SCOPED_TRACE(name);
    try {
      form.FindControl(name)->SetFocus();
      ADD_FAILURE() << "a disabled control took the focus";
    } catch (const Error& error) {
      EXPECT_EQ(error.Description(), "Invalid procedure call");
    }
  }
  EXPECT_THROW(form.FindControl("Label10", 3)->SetFocus(), Error);
  EXPECT_EQ(Focus().FocusedName(), "txtFolio");

  // Locked and list controls take the focus by a click, never by Tab.
  form.FindControl("txt_Sc_Descripcion")->SetFocus();
  EXPECT_EQ(Focus().FocusedName(), "txt_Sc_Descripcion");
}

TEST_F(FocusTest, DisablingTheFocusedControlPassesTheFocusOn) {
  EnableAll();
  form.FindControl("txt_Concepto")->SetFocus();
  form.FindControl("txt_Concepto")->SetEnabled(false);
  EXPECT_EQ(Focus().FocusedName(), "txt_ID_Facturacion");
}

TEST_F(FocusTest, TypingMovesOnExceptFromARefusedKey) {
  EnableAll();
  auto& branch = form.Get<host::HeadlessTextBox>("txt_Sc_Cve_Sucursal");
  branch.UserType("NOPE");
  EXPECT_EQ(Focus().FocusedName(), "txt_Sc_Cve_Sucursal");
  branch.UserType("MTY");
  EXPECT_EQ(Focus().FocusedName(), "txt_Vn_Cve_Vendedor");

  // A handler that puts the focus elsewhere decides where it goes.
  auto& seller = form.Get<host::HeadlessTextBox>("txt_Vn_Cve_Vendedor");
  seller.OnLookupDone([this] { form.FindControl("txtFolio")->SetFocus(); });
  seller.UserType("V001");
  EXPECT_EQ(Focus().FocusedName(), "txtFolio");
}

TEST_F(FocusTest, LeavingAnAcceptedKeyFieldByTabRaisesTheRepeatedNotification) {
  EnableAll();
  auto& type = form.Get<host::HeadlessTextBox>("txt_Tps_Cve_Tipo_Poliza");
  int repeated = 0;
  type.OnLookupRepeated([&repeated] { ++repeated; });

  type.SetFocus();
  Focus().Tab();
  EXPECT_EQ(repeated, 0) << "an empty field has no accepted value";

  type.SetText("SOPMEN");
  type.SetFocus();
  Focus().Tab();
  EXPECT_EQ(repeated, 1);
  EXPECT_EQ(Focus().FocusedName(), "txtComentario");
}

}  // namespace
}  // namespace nv407::testing
