#include <tuple>

#include "component/error.h"
#include "data/schema.h"
#include "data/statements.h"
#include "host/headless/renewal.h"
#include "screen_steps.h"

namespace nv407::testing {
namespace {

class LoadingTest : public PolicyScreenTest {
 protected:
  // What the start modes show of the stored policy.
  std::string Shown() {
    return std::string(Toolbar().busy ? "busy" : "idle") +
           (Toolbar().loadedFlag ? " loaded|" : "|") + Text("txtFolio") + "|" +
           Text("txtComentario") + "|folio " + (Enabled("txtFolio") ? "open" : "locked") +
           "|branch " + (Enabled("txt_Sc_Cve_Sucursal") ? "open" : "locked");
  }
};

TEST_F(LoadingTest, PreparesTheFieldsFromTheHostForThisOperator) {
  nv407::Screen& unloaded = *host().LoadComponent().GetPantalla();
  EXPECT_THROW(unloaded.Transaccion(), Error);  // no Padre yet
  EXPECT_THROW(unloaded.Activate(), Error);     // nor the list formatter that loading makes
  host::HeadlessHost& screen = GivenOpenScreen();

  auto& days = screen.Get<host::HeadlessComboBox>("cbCorte");
  std::string listed = days.Text() + "|";
  for (int i = 0; i < days.ItemCount(); ++i) listed += days.ItemText(i) + " ";
  EXPECT_EQ(listed, "|1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 ");
  for (const char* field : {"dp_Ps_Fecha", "dp_Ps_Fecha_Inicio", "dp_Ps_Fecha_Fin"})
    EXPECT_EQ(DateIn(field), PinnedNow()) << field;
  std::string formats;
  for (const char* field : {"txt_Cl_Cve_Cliente", "txt_Sc_Cve_Sucursal", "txt_Tps_Cve_Tipo_Poliza",
                            "txt_Vn_Cve_Vendedor"})
    formats += screen.Get<host::HeadlessTextBox>(field).Formato().ToText() + "|";
  EXPECT_EQ(formats, db.Joined("SELECT value FROM host_parameter WHERE name IN ('FTO_CLIENTE', "
                               "'FTO_SUCURSAL', 'FTO_TIPO_POLIZA_SERVICIO', 'FTO_VENDEDOR') "
                               "ORDER BY name",
                               "|") +
                         "|");
  EXPECT_TRUE(screen.toolbar().Ready());
  EXPECT_EQ(Focus(), "txtFolio");
  EXPECT_EQ(screen.screen().Transaccion(), "SERV0407");
  EXPECT_TRUE(Screen().state.canChangeDate && Screen().state.canInitServices);
}

// The mode word is matched without regard to case but not trimmed; the folio is.
struct StartCase {
  const char* parameters;
  const char* shown;
};

class StartModeTest : public LoadingTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartModeTest, ActivationStartsTheModeItsParametersName) {
  GivenStoredPolicy();
  GivenOpenScreen(GetParam().parameters);
  EXPECT_EQ(Shown(), GetParam().shown);
  EXPECT_TRUE(Messages().empty());
}

constexpr const char* kPlain = "idle|||folio open|branch locked";
constexpr const char* kNew = "busy|||folio locked|branch open";
constexpr const char* kEdit =
    "busy loaded|MTY-000007|Atención prioritaria|folio locked|branch locked";

INSTANTIATE_TEST_SUITE_P(
    Parameters, StartModeTest,
    ::testing::Values(StartCase{"", kPlain}, StartCase{"NUEVO", kNew}, StartCase{"nuevo", kNew},
                      StartCase{"Nuevo,MTY-000007", kNew}, StartCase{" NUEVO", kPlain},
                      StartCase{"NUEVO ", kPlain}, StartCase{"CONSULTA", kPlain},
                      StartCase{"EDICION,MTY-000007", kEdit},
                      StartCase{"edicion,mty-7,extra", kEdit}, StartCase{"EDICION, mty-7 ", kEdit},
                      StartCase{"EDICION", kPlain}, StartCase{"EDICION,", kPlain}));

// Each return to the window loads the start folio again, from code, without the look-up's
// reset. When it names no policy, or a cancelled one, the flags of the live policy the user
// loaded since stay set: the toolbar must not take them for the folio now shown (an edit of
// it would replace a policy that is not there, or a cancelled one, with a copy of the other).
struct ReturnCase {
  const char* name;
  const char* start;  // the folio of the parameters "EDICION,<folio>"
  const char* typed;  // what the user loaded before the window came back
  const char* folio;  // shown after the return
  const char* available;
  bool cancelled_shown;
};

class ReturnToWindowTest : public LoadingTest, public ::testing::WithParamInterface<ReturnCase> {
 protected:
  std::string Available() {
    std::string names;
    for (host::ToolbarCommand command : Toolbar().available)
      names +=
          std::string(names.empty() ? "" : " ") + std::string(host::ToolbarCommandName(command));
    return names;
  }
};

TEST_P(ReturnToWindowTest, OffersEditingOnlyOfTheLivePolicyItShows) {
  GivenStoredPolicy();
  GivenStoredPolicy("MTY-000008", schema::kStateCancelled);
  GivenOpenScreen(std::string("EDICION,") + GetParam().start);
  if (Toolbar().busy) WhenPress("Cancelar");
  WhenType("txtFolio", GetParam().typed);
  const std::vector<std::string> before = Stored();

  host().Activate();

  EXPECT_EQ(Text("txtFolio"), GetParam().folio);
  EXPECT_EQ(Available(), GetParam().available);
  EXPECT_EQ(host().toolbar().ShowsInactiveRecord(), GetParam().cancelled_shown);
  EXPECT_FALSE(Enabled("cmdInicializa")) << "the counter reset acts on a live policy shown idle";
  EXPECT_FALSE(host::CanRenew(host().screen())) << "nor is Renovar offered";
  if (!Toolbar().busy) {
    for (const char* command : {"Modificar", "Baja", "Aceptar"})
      EXPECT_THROW(WhenPress(command), Error) << command;
  }
  EXPECT_EQ(Stored(), before);
}

INSTANTIATE_TEST_SUITE_P(StartFolios, ReturnToWindowTest,
                         ::testing::Values(ReturnCase{"Unknown", "mty-99", "mty-7", "MTY-000099",
                                                      "Nuevo Salir", false},
                                           ReturnCase{"Cancelled", "mty-8", "mty-7", "MTY-000008",
                                                      "Nuevo Consultar Salir", true},
                                           ReturnCase{"Live", "mty-7", "mty-8", "MTY-000007",
                                                      "Aceptar Cancelar Salir", false}),
                         kByName);

TEST_F(LoadingTest, ABusyScreenIgnoresActivationAndFolioLoads) {
  GivenStoredPolicy();
  GivenOpenScreen("NUEVO");
  WhenType("txtReferencia", "tecleado");
  WhenType("txt_Tps_Cve_Tipo_Poliza", "SOPMEN");
  const auto& trace = db.TraceStatements();

  host().Activate();  // a new capture started again would empty the fields
  host().Get<host::HeadlessTextBox>("txtFolio").SetText("mty-7");
  Form().LoadPolicyByFolio();

  EXPECT_EQ(Text("txtReferencia") + "|" + Text("txtFolio"), "tecleado|mty-7");
  EXPECT_THAT(Services(), SizeIs(2));
  EXPECT_THAT(trace, IsEmpty());
}

constexpr const char* kLive = "loaded active1 active2 - -";

using FolioLoadTest = PolicyScreenTest;

TEST_F(FolioLoadTest, TypedFolioShowsTheStoredPolicyWithItsServicesAndRecords) {
  GivenStoredPolicy();
  GivenStoredPolicy("MTY-000008", "AC", {{"VISITA", 12, 0, 0}});
  db.Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Cantidad_Incluida = NULL "
      "WHERE Ts_Cve_Tipo_Servicio = 'CAPACIT'");
  db.Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Evento_Utilizado = NULL "
      "WHERE Ps_Folio = 'MTY-000008'");
  GivenOpenScreen();

  // A NULL used counter stops the load in its trap: the header and the rows so far stay
  // shown, and the policy does not become active.
  WhenType("txtFolio", "MTY-000008");
  EXPECT_EQ(OnlyMessage(),
            "ERROR|16|ERR-ID:7500014|Se detectó el siguiente error: \r\nInvalid use of Null");
  EXPECT_THAT(Services(), ElementsAre(Row{"KVISITA", "VISITA", "Visita de mantenimiento preventivo",
                                          "EV", "12", ""}));
  EXPECT_EQ(Text("txtReferencia") + "|" + Flags(), "OC-1|loaded - - - -");
  EXPECT_FALSE(Enabled("cmdInicializa"));

  // The folio typed in lower case and without its leading zeros
  WhenType("txtFolio", "mty-7");

  EXPECT_EQ(
      Fields(),
      "txtFolio=MTY-000007 dp_Ps_Fecha=2024-02-20 txtReferencia=OC-1 "
      "dp_Ps_Fecha_Inicio=2024-03-01 dp_Ps_Fecha_Fin=2025-02-28 cbCorte=17 "
      "txt_Sc_Cve_Sucursal=MTY txt_Sc_Descripcion=Monterrey Centro "
      "txt_Vn_Cve_Vendedor=V002 txt_Vn_Vendedor=José Luis Hernández Ríos txt_Cl_Cve_Cliente=C00003 "
      "txt_Cl_Cliente=Hospital San José de Monterrey, A.C. txt_Tps_Cve_Tipo_Poliza=SOPANUAL "
      "txt_Tps_Descripcion=Soporte anual txtComentario=Atención prioritaria "
      "txt_Concepto=Soporte anual txt_ID_Facturacion=F-1 ");
  // The used quantity is the hours of an hours service, the events of any other.
  EXPECT_THAT(
      SortedServices(),
      ElementsAre(Row{"KCAPACIT", "CAPACIT", "Curso de capacitación", "EV", "0", "0"},
                  Row{"KSOPREM", "SOPREM", "Soporte remoto", "HR", "120", "2.5"},
                  Row{"KVISITA", "VISITA", "Visita de mantenimiento preventivo", "EV", "12", "1"}));
  EXPECT_EQ(Screen().state.extendedDescription, "Cubre las dos plantas");
  EXPECT_THAT(host().toolbar().AdditionalFields(),
              ElementsAre(Pair("CONTACTO", "Ing. Rosales"), Pair("ORDEN_COMPRA", "")));
  EXPECT_EQ(Flags(), kLive);
  EXPECT_TRUE(Enabled("cmdInicializa"));
  EXPECT_FALSE(Enabled("txtComentario"));

  // An unknown folio, loaded as a start with a folio does (without the reset that typing
  // runs first): its one query, and the screen as it was.
  const auto& trace = db.TraceStatements();
  host().Get<host::HeadlessTextBox>("txtFolio").SetText("gdl-0042");
  Form().LoadPolicyByFolio();
  EXPECT_EQ(Text("txtFolio") + "|" + Text("txtReferencia"), "GDL-000042|OC-1");
  EXPECT_THAT(Services(), IsEmpty());
  EXPECT_EQ(Flags(), kLive);
  EXPECT_THAT(ByScreen(trace), ElementsAre(statements::PolicyByFolio("GDL-000042")));
  EXPECT_THAT(Messages(), SizeIs(1));  // the trap's
}

// Usage recorded on a service moves its row, on a server, behind the others: the list (and
// the counter report written from it) still follows the services' keys.
TEST_F(FolioLoadTest, ListsTheServicesByTheirKeysWhereverTheDatabaseKeepsThem) {
  GivenStoredPolicy();
  db.Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Evento_Utilizado = 1 "
      "WHERE Ts_Cve_Tipo_Servicio = 'CAPACIT'");
  GivenOpenScreen();

  WhenType("txtFolio", "MTY-000007");

  EXPECT_THAT(ServiceCodes(), ElementsAre("CAPACIT", "SOPREM", "VISITA"));
}

// The folio shown typed again loads its policy again, as another folio would: one cancelled
// meanwhile shows cancelled, and is no longer offered Baja.
TEST_F(FolioLoadTest, TheFolioShownTypedAgainLoadsItsPolicyAgain) {
  GivenStoredPolicy();
  GivenOpenScreen();
  WhenType("txtFolio", "MTY-000007");
  ASSERT_EQ(Flags(), kLive);
  db.Execute("UPDATE Poliza_Servicio SET Es_Cve_Estado = 'CA' WHERE Ps_Folio = 'MTY-000007'");
  const auto& trace = db.TraceStatements();

  WhenType("txtFolio", "MTY-000007");

  EXPECT_THAT(ByScreen(trace), ::testing::Contains(statements::PolicyByFolio("MTY-000007")));
  EXPECT_EQ(Flags(), "loaded - - - -");
  EXPECT_FALSE(host().toolbar().CommandEnabled(host::ToolbarCommand::kBaja));
  EXPECT_EQ(Text("txtReferencia"), "OC-1");
  EXPECT_THAT(Services(), SizeIs(3));
  EXPECT_THAT(Messages(), IsEmpty());
}

// Only exactly "CA" is cancelled. A live policy's cmdInicializa follows the operator's
// permission; a cancelled one is not offered it.
// The stored state, the operator, and the flags and cmdInicializa shown.
using StateCase = std::tuple<const char*, const char*, const char*>;

class FolioLoadStateTest : public FolioLoadTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(FolioLoadStateTest, StateDecidesTheRecordCommands) {
  const auto& [state, user, shown] = GetParam();
  GivenOperator(user);
  GivenStoredPolicy("MTY-000002");
  GivenStoredPolicy(kFolio, state);
  GivenOpenScreen();
  WhenType("txtFolio", "MTY-000002");  // a live policy shown before sets the flags

  WhenType("txtFolio", kFolio);

  EXPECT_EQ(Text("txtReferencia"), "OC-1");
  EXPECT_THAT(Services(), SizeIs(3));
  EXPECT_EQ(Flags() + (Enabled("cmdInicializa") ? " reset" : " -"), shown);
  EXPECT_THAT(Messages(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    States, FolioLoadStateTest,
    ::testing::Values(
        StateCase{"CA", kOperatorWithPermissions, "loaded - - - - -"},
        StateCase{"ca", kOperatorWithPermissions, "loaded active1 active2 - - reset"},
        StateCase{"CA ", kOperatorWithPermissions, "loaded active1 active2 - - reset"},
        StateCase{"AC", kOperatorWithoutPermissions, "loaded active1 active2 - - -"}));

}  // namespace
}  // namespace nv407::testing
