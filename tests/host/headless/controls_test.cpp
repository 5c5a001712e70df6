#include <gmock/gmock.h>
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
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;
using Names = std::vector<std::string>;

// The screen's controls as designed, on the demo database, without the screen's handlers:
// the folio and branch keys are enabled and record their notifications, the toolbar its
// commands; the data-entry group takes input as while capturing.
class ControlsTest : public ::testing::Test {
 protected:
  ControlsTest() {
    factory.Context(form).SetDataEntryOpen(true);
    auto record = [this](std::string what) { return [this, what] { events.push_back(what); }; };
    for (const char* name : {"txtFolio", "txt_Sc_Cve_Sucursal"}) {
      Box(name).SetEnabled(true);
      Box(name).OnLookupReset(record("reset"));
      Box(name).OnLookupDone(record("done"));
      Box(name).OnLookupRepeated(record("repeated"));
    }
    auto command = [this](std::string name) {
      return [this, name] { events.push_back(name + (Toolbar().Busy() ? " busy" : " idle")); };
    };
    auto aceptar = [this](std::int16_t& argument) {
      events.push_back("Aceptar " + std::to_string(argument));
    };
    Toolbar().SetEvents({command("Nuevo"), command("Modificar"), command("Consultar"),
                         command("Baja"), command("Cancelar"), command("Salir"), aceptar});
  }

  HeadlessTextBox& Box(const std::string& name) { return form.Get<HeadlessTextBox>(name); }
  std::string Description() { return Box("txt_Sc_Descripcion").Text(); }
  host::HeadlessToolbar& Toolbar() { return form.Get<host::HeadlessToolbar>("Controles"); }
  host::FocusTracker& Focus() { return factory.Focus(form); }
  std::string Available() {
    std::string names;
    for (host::ToolbarCommand command : host::kToolbarCommands)
      if (Toolbar().CommandEnabled(command)) {
        if (!names.empty()) names += ' ';
        names += host::ToolbarCommandName(command);
      }
    return names;
  }

  // As the folio load sets the flags of the policy it finds: the folio shown, loadedFlag, the
  // additional fields of that folio, then activeFlag1 for a live one.
  void Load(const std::string& folio, bool live) {
    Box("txtFolio").SetText(folio);
    Toolbar().SetFlag(ToolbarFlag::kLoaded, true);
    Toolbar().LoadAdditionalFields(folio);
    if (live) Toolbar().SetFlag(ToolbarFlag::kActive1, true);
  }
  void ShowLiveRecord() { Load("MTY-000001", true); }

  TestDatabase db;
  host::ScriptedDialogs dialogs;
  host::HeadlessControlFactory factory{db.db(), dialogs};
  TestForm form{factory, frmNV407Layout().controls};
  Names events;
};

TEST_F(ControlsTest, TypingAppliesTheFieldsCaseAndLength) {
  using namespace std::string_literals;
  const struct {
    std::string field, typed, shown;
  } cases[] = {
      {"txtFolio", "mty-000001", "MTY-000001"},
      // A one-line box drops control characters; a NUL would cut a statement.
      {"txtComentario", "Planta\0 norte\r\n\tsur\x7f\u0085 é\u00a0"s, "Planta nortesur é\u00a0"},
      {"txt_Cl_Cve_Cliente", "c0000ñ", "C0000Ñ"},
      // Fifteen characters, not fifteen bytes: no letter is cut in half.
      {"txtReferencia", "ñññññññññññññññññ", "ñññññññññññññññ"},
      {"txt_ID_Facturacion", "FAC-12345678", "FAC-123456"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    Box(c.field).SetEnabled(true);
    Box(c.field).UserType(c.typed);
    EXPECT_EQ(Box(c.field).Text(), c.shown);
  }
}

TEST_F(ControlsTest, KeyRaisesResetBeforeItsLookUpAndDoneOnlyWhenAccepted) {
  const struct {
    const char* typed;
    Names events;
    const char* description;
    std::size_t lookups;
  } steps[] = {{"gdl", {"reset", "done"}, "Guadalajara Providencia", 1},
               {"MTY", {"reset", "done"}, "Monterrey Centro", 1},
               {"mty", {"repeated"}, "Monterrey Centro", 0},
               // A withdrawn branch exists but is not offered; the old description goes.
               {"PUE", {"reset"}, "", 1},
               {"PUE", {}, "", 0},
               {"NOPE", {"reset"}, "", 1},
               {"MTY", {"reset", "done"}, "Monterrey Centro", 1},
               {"", {"reset"}, "", 0}};
  for (const auto& step : steps) {
    SCOPED_TRACE(std::string("typed \"") + step.typed + "\"");
    events.clear();
    const auto& trace = db.TraceStatements();
    Box("txt_Sc_Cve_Sucursal").UserType(step.typed);
    EXPECT_EQ(events, step.events);
    EXPECT_EQ(Description(), step.description);
    EXPECT_EQ(trace.size(), step.lookups);
  }
  EXPECT_TRUE(dialogs.Calls().empty());
}

TEST_F(ControlsTest, KeyWithApostrophesCannotEndTheLiteral) {
  db.AddBranch("O'B", "Sucursal O'Brien");
  const auto& trace = db.TraceStatements();
  Box("txt_Sc_Cve_Sucursal").UserType("o'b");
  EXPECT_EQ(Description(), "Sucursal O'Brien");
  ASSERT_EQ(trace.size(), 1u);
  EXPECT_EQ(trace[0].first + ": " + trace[0].second,
            "host: select sc_descripcion from Sucursal where Sc_Cve_Sucursal ='O''B' AND "
            "Es_Cve_Estado <> 'BA'");
}

TEST_F(ControlsTest, TextFromCodeFillsTheResultAndRaisesNothing) {
  HeadlessTextBox& branch = Box("txt_Sc_Cve_Sucursal");
  branch.SetText("GDL");
  EXPECT_EQ(Description(), "Guadalajara Providencia");
  branch.SetText("PUE");
  EXPECT_EQ(Description(), "");
  branch.SetText("MTY");
  EXPECT_TRUE(events.empty());
  // A value written by code counts as accepted: confirming it is a repetition.
  branch.UserType("MTY");
  EXPECT_EQ(events, Names{"repeated"});
}

TEST_F(ControlsTest, ErrorsLeavingTheNotificationsAreShownOnceAsERROR) {
  HeadlessTextBox& branch = Box("txt_Sc_Cve_Sucursal");
  branch.OnLookupReset([] { throw Error("Tabla bloqueada"); });
  branch.UserType("MTY");
  EXPECT_TRUE(events.empty()) << "LookupDone ran after a failed LookupReset";
  branch.OnLookupReset([] {});
  branch.OnLookupDone([] { throw std::runtime_error("bad_alloc"); });
  branch.UserType("GDL");
  // A failing look-up refuses the value.
  db.Execute("DROP TABLE Sucursal");
  branch.OnLookupDone([this] { events.push_back("done"); });
  branch.UserType("MTY");
  EXPECT_TRUE(events.empty());

  ASSERT_EQ(dialogs.Messages().size(), 3u);
  for (const host::MessageCall& shown : dialogs.Messages()) {
    const host::MessageRequest& r = shown.request;
    EXPECT_EQ(r.title + "|" + std::to_string(r.style) + "|" + r.module + "|" + r.error_id + "|" +
                  std::to_string(r.owner),
              "ERROR|16|NV407|ERR-ID:0000000|4070");
  }
  EXPECT_EQ(dialogs.Messages()[0].request.text, "Tabla bloqueada");
  EXPECT_EQ(dialogs.Messages()[1].request.text, "bad_alloc");
  EXPECT_THAT(Lowercase(dialogs.Messages()[2].request.text), HasSubstr("sucursal"));
}

TEST_F(ControlsTest, TabGoesOverTheEnabledStopsInTabOrderAndOnlyFocusableControlsTakeIt) {
  ShowLiveRecord();
  for (Control* control : form.Controls()) control->SetEnabled(true);
  std::string visited;
  for (int i = 0; i < 16; ++i, visited += Focus().FocusedName() + " ") Focus().Tab();
  EXPECT_EQ(visited,
            "txtFolio dp_Ps_Fecha txtReferencia dp_Ps_Fecha_Inicio dp_Ps_Fecha_Fin cbCorte "
            "txt_Sc_Cve_Sucursal txt_Vn_Cve_Vendedor txt_Cl_Cve_Cliente txt_Tps_Cve_Tipo_Poliza "
            "txtComentario txt_Concepto txt_ID_Facturacion cmdDescripcion cmdInicializa txtFolio ");

  form.FindControl("txt_Concepto")->SetFocus();
  form.FindControl("txt_Concepto")->SetEnabled(false);
  EXPECT_EQ(Focus().FocusedName(), "txt_ID_Facturacion") << "disabling passes the focus on";

  // Disabled controls and labels refuse the focus.
  for (const char* name : {"txtReferencia", "cmdInicializa"})
    form.FindControl(name)->SetEnabled(false);
  for (Control* control : {form.FindControl("txtReferencia"), form.FindControl("cmdInicializa"),
                           form.FindControl("Label10", 3)}) {
    SCOPED_TRACE(control->Name());
    EXPECT_THAT([&] { control->SetFocus(); }, ThrowsMessage<Error>("Invalid procedure call"));
  }
  EXPECT_EQ(Focus().FocusedName(), "txt_ID_Facturacion");
  // Locked and list controls take the focus by a click, never by Tab.
  form.FindControl("txt_Sc_Descripcion")->SetFocus();
  EXPECT_EQ(Focus().FocusedName(), "txt_Sc_Descripcion");
}

TEST_F(ControlsTest, TypingMovesTheFocusOnExceptFromARefusedKey) {
  Box("txt_Vn_Cve_Vendedor").SetEnabled(true);
  HeadlessTextBox& branch = Box("txt_Sc_Cve_Sucursal");
  branch.UserType("NOPE");
  EXPECT_EQ(Focus().FocusedName(), "txt_Sc_Cve_Sucursal");
  branch.UserType("MTY");
  EXPECT_EQ(Focus().FocusedName(), "txt_Vn_Cve_Vendedor");

  // Leaving an accepted key by Tab confirms it again; leaving a refused one does not.
  events.clear();
  branch.SetFocus();
  Focus().Tab();
  branch.UserType("NOPE");
  Focus().Tab();
  EXPECT_EQ(events, (Names{"repeated", "reset"}));
}

TEST_F(ControlsTest, ToolbarOffersTheCommandsThatFitWhatTheScreenShows) {
  EXPECT_EQ(Available(), "Salir") << "before the screen is ready";
  Toolbar().SetReady(true);
  EXPECT_EQ(Available(), "Nuevo Salir");
  EXPECT_THAT([&] { Toolbar().UserPress("Consultar"); },
              ThrowsMessage<Error>("Consultar is not available"));
  // A load sets loadedFlag, then activeFlag1 for a live policy; a reset of the form clears
  // activeFlag1 and leaves loadedFlag.
  Load("MTY-000002", false);
  EXPECT_EQ(Available(), "Nuevo Consultar Salir") << "a cancelled policy is shown";
  Toolbar().SetFlag(ToolbarFlag::kActive1, false);
  EXPECT_EQ(Available(), "Nuevo Salir") << "the form emptied";
  ShowLiveRecord();
  EXPECT_EQ(Available(), "Nuevo Modificar Consultar Baja Salir");
  Toolbar().SetFlag(ToolbarFlag::kActive1, false);
  EXPECT_EQ(Available(), "Nuevo Salir") << "the form emptied after a save or a Baja";

  // Code writes another folio and its load finds none, or a cancelled one: the flags of
  // the live policy stay set, but they no longer describe the folio shown.
  ShowLiveRecord();
  Box("txtFolio").SetText("MTY-000099");
  EXPECT_EQ(Available(), "Nuevo Salir") << "no policy MTY-000099";
  Toolbar().StartEdit();
  EXPECT_EQ(Toolbar().Mode(), host::ToolbarMode::kIdle);
  Box("txtFolio").SetText("MTY-000001");
  EXPECT_EQ(Available(), "Nuevo Modificar Consultar Baja Salir") << "its folio shown again";
  Toolbar().SetFlag(ToolbarFlag::kLoaded, true);
  Box("txtFolio").SetText("GDL-000004");
  Toolbar().LoadAdditionalFields("GDL-000004");
  EXPECT_EQ(Available(), "Nuevo Consultar Salir") << "a cancelled policy found over a live one";
  EXPECT_TRUE(Toolbar().ShowsInactiveRecord());
  Box("txtFolio").SetText("MTY-000001");
  EXPECT_EQ(Available(), "Nuevo Salir") << "the live one is not the record the flags describe";

  ShowLiveRecord();
  Toolbar().UserPress("Modificar");
  EXPECT_EQ(Available(), "Aceptar Cancelar Salir");
  EXPECT_THAT([&] { Toolbar().UserPress("Baja"); }, ThrowsMessage<Error>("Baja is not available"));
  EXPECT_EQ(events, Names{"Modificar busy"});
}

TEST_F(ControlsTest, DataEntryGroupTakesInputOnlyWhileTheToolbarCaptures) {
  ShowLiveRecord();
  Toolbar().SetReady(true);
  Toolbar().UserPress("Nuevo");
  for (Control* control : form.Controls()) control->SetEnabled(true);
  Box("txt_Tps_Cve_Tipo_Poliza").SetFocus();
  Toolbar().UserPress("Cancelar");
  EXPECT_EQ(Focus().FocusedName(), "cmdDescripcion") << "the focus leaves the closed group";
  EXPECT_THAT([&] { Box("txt_Tps_Cve_Tipo_Poliza").UserType("MANT90"); },
              ThrowsMessage<Error>("txt_Tps_Cve_Tipo_Poliza is disabled"));
  EXPECT_THAT([&] { form.Get<host::HeadlessComboBox>("cbCorte").UserChoose("5"); },
              ThrowsMessage<Error>("cbCorte is disabled"));
  std::string open;
  for (Control* control : form.Controls())
    if (control->Enabled() && control->Kind() != ControlKind::kLabel) open += control->Name() + " ";
  EXPECT_EQ(open,
            "Controles txtFolio dp_Ps_Fecha_Fin txt_Sc_Descripcion txt_Vn_Vendedor txt_Cl_Cliente "
            "txt_Tps_Descripcion cmdDescripcion lvServicios cmdInicializa lvPeriodos colorKIV ")
      << "outside the group nothing changes, and the lists stay readable";
  Toolbar().UserPress("Nuevo");
  Box("txt_Tps_Cve_Tipo_Poliza").UserType("MANT90");
  EXPECT_EQ(Box("txt_Tps_Descripcion").Text(), "Mantenimiento preventivo 90 días");
}

// The screen enables the counter reset when it loads a live policy and leaves it alone when
// a load finds a cancelled policy or none: the host offers it only while the toolbar shows a
// live record, and takes the focus off it when that ends.
TEST_F(ControlsTest, CounterResetIsOfferedOnlyWhileTheToolbarShowsALiveRecord) {
  auto& reset = form.Get<host::HeadlessFlatButton>("cmdInicializa");
  reset.SetEnabled(true);
  EXPECT_FALSE(reset.Enabled()) << "nothing shown";
  EXPECT_THAT([&] { reset.UserClick(); }, ThrowsMessage<Error>("cmdInicializa is disabled"));

  ShowLiveRecord();
  EXPECT_TRUE(reset.Enabled());
  reset.SetFocus();
  // A load of a cancelled policy clears the flags and sets loadedFlag alone.
  Toolbar().SetFlag(ToolbarFlag::kActive1, false);
  Toolbar().SetFlag(ToolbarFlag::kLoaded, false);
  Toolbar().SetFlag(ToolbarFlag::kLoaded, true);
  EXPECT_FALSE(reset.Enabled()) << "a cancelled policy shown";
  EXPECT_NE(Focus().FocusedName(), "cmdInicializa");
  EXPECT_THAT([&] { reset.UserClick(); }, ThrowsMessage<Error>("cmdInicializa is disabled"));

  ShowLiveRecord();
  EXPECT_TRUE(reset.Enabled());
  reset.SetFocus();
  Box("txtFolio").SetText("MTY-000099");  // from code: no look-up event
  EXPECT_FALSE(reset.Enabled()) << "another folio shown";
  EXPECT_NE(Focus().FocusedName(), "cmdInicializa");
  Box("txtFolio").SetText("MTY-000001");
  EXPECT_TRUE(reset.Enabled());
  reset.SetEnabled(false);  // an operator without the permission
  EXPECT_FALSE(reset.Enabled());
}

// A calendar pick is a day: another day replaces the value, the day shown changes nothing
// (the field keeps its time of day) and is no unsaved work.
TEST_F(ControlsTest, PickingTheDayShownKeepsTheValueAndIsNoChange) {
  Toolbar().SetReady(true);
  Toolbar().UserPress("Nuevo");
  auto& start = form.Get<host::HeadlessDateField>("dp_Ps_Fecha_Inicio");
  start.SetEnabled(true);
  const Date server_time = Date::FromYmd(2024, 3, 15, 10, 30);
  start.SetValue(Variant(server_time));

  start.UserPick(Date::FromYmd(2024, 3, 15));
  EXPECT_EQ(start.Value().ToDate().ToText(), "2024-03-15 10:30:00");
  EXPECT_FALSE(Toolbar().HasUnsavedChanges());
  EXPECT_EQ(Focus().FocusedName(), "dp_Ps_Fecha_Inicio");

  start.UserPick(Date::FromYmd(2024, 3, 16));
  EXPECT_EQ(start.Value().ToDate().ToText(), "2024-03-16");
  EXPECT_TRUE(Toolbar().HasUnsavedChanges());
}

TEST_F(ControlsTest, ToolbarModeDecidesBusyAndTheAceptarArgument) {
  Toolbar().SetReady(true);
  Toolbar().StartEdit();  // no live policy to edit
  Toolbar().UserPress("Nuevo");
  Toolbar().UserPress("Aceptar");
  Toolbar().AcceptFailed();  // the capture stays open
  Toolbar().UserPress("Aceptar");
  Toolbar().AcceptSucceeded();
  ShowLiveRecord();
  Toolbar().StartEdit();
  Toolbar().StartNew();  // already capturing
  Toolbar().UserPress("Aceptar");
  Toolbar().UserPress("Cancelar");
  Toolbar().UserPress("Baja");
  Toolbar().UserPress("Consultar");
  Toolbar().StartNew();
  EXPECT_EQ(events, (Names{"Nuevo busy", "Aceptar 1", "Aceptar 1", "Modificar busy", "Aceptar 0",
                           "Cancelar idle", "Baja idle", "Consultar idle", "Nuevo busy"}));
}

}  // namespace
}  // namespace nv407::testing
