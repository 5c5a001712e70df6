#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "screen/frm_nv407.h"
#include "support/screen_fixture.h"

namespace nv407::testing {
namespace {

using ::testing::IsEmpty;
using ::testing::SizeIs;

const Date kNow = Date::FromYmd(2024, 7, 9, 8, 5, 0);
constexpr const char* kStamp = "2024-07-09 08:05:00";
constexpr const char* kFolio = "MTY-000004";

// Every text box, date and combo of the policy as the screen shows it.
constexpr const char* kDataFields[] = {"txtFolio",
                                       "txtReferencia",
                                       "cbCorte",
                                       "txt_Sc_Cve_Sucursal",
                                       "txt_Sc_Descripcion",
                                       "txt_Vn_Cve_Vendedor",
                                       "txt_Vn_Vendedor",
                                       "txt_Cl_Cve_Cliente",
                                       "txt_Cl_Cliente",
                                       "txt_Tps_Cve_Tipo_Poliza",
                                       "txt_Tps_Descripcion",
                                       "txtComentario",
                                       "txt_Concepto",
                                       "txt_ID_Facturacion"};
constexpr const char* kDateFields[] = {"dp_Ps_Fecha", "dp_Ps_Fecha_Inicio", "dp_Ps_Fecha_Fin"};

class ToolbarCommandsTest : public ScreenTest {
 protected:
  void SetUp() override { GivenNow(kNow); }

  // A live, partly used policy with an extended description, typed into the folio box.
  void GivenShownPolicy() {
    GivenPolicy({.folio = kFolio,
                 .branch = "MTY",
                 .seller = "V003",
                 .client = "C00002",
                 .type = "MANT90",
                 .date = "2024-06-01",
                 .start = "2024-06-03",
                 .end = "2024-08-31",
                 .cut_off_day = 20,
                 .reference = "REF-9",
                 .comment = "Bodega",
                 .invoice_id = "ID-3",
                 .concept_text = "Mantenimiento",
                 .services = {{"VISITA", 3, 0, 2}, {"RESPALDO", 3, 0, 1}}});
    db.Execute(
        "INSERT INTO extended_text (table_name, record_key, entry_code, text) "
        "VALUES ('Poliza_Servicio', 'MTY-000004', '0001', 'Dos equipos')");
    GivenOpenScreen();
    WhenType("txtFolio", kFolio);
  }

  std::vector<std::string> Fields() {
    std::vector<std::string> shown;
    for (const char* name : kDataFields) shown.push_back(Text(name));
    for (const char* name : kDateFields) shown.push_back(Screen().Find(name).date.value_or(""));
    return shown;
  }
  std::string Column(const std::string& column, const std::string& folio = kFolio) {
    return db.Scalar("SELECT " + column +
                     " AS v FROM Poliza_Servicio WHERE Ps_Folio = " + Quote(folio));
  }
  frmNV407& Form() { return dynamic_cast<frmNV407&>(host().screen()); }
  host::ToolbarSnapshot Toolbar() { return Screen().toolbar; }

  // The folio-entry state that Cancelar, and Aceptar and Baja after their commit, leave.
  void ExpectFolioEntry() {
    for (const char* name : kDataFields) EXPECT_EQ(Text(name), "") << name;
    // The end date is not a data-entry field: only the screen's code sets it.
    EXPECT_EQ(DateIn("dp_Ps_Fecha"), std::nullopt);
    EXPECT_EQ(DateIn("dp_Ps_Fecha_Inicio"), std::nullopt);
    EXPECT_THAT(Services(), IsEmpty());
    EXPECT_TRUE(Enabled("txtFolio"));
    EXPECT_EQ(Focus(), "txtFolio");
    EXPECT_FALSE(Enabled("cmdDescripcion"));
    EXPECT_FALSE(Enabled("cmdInicializa"));
    EXPECT_FALSE(Toolbar().activeFlag1);
    EXPECT_FALSE(Toolbar().activeFlag2);
    EXPECT_FALSE(Toolbar().extraFlag1);
    EXPECT_FALSE(Toolbar().extraFlag2);
    EXPECT_EQ(Screen().state.extendedDescription, "");
    EXPECT_EQ(Screen().state.conceptText, "");
  }
};

// --- Nuevo -------------------------------------------------------------------------------

struct NuevoCase {
  std::string user;
  bool date_enabled;
  std::string focus;
  friend void PrintTo(const NuevoCase& c, std::ostream* os) { *os << c.user; }
};

class NuevoTest : public ToolbarCommandsTest, public ::testing::WithParamInterface<NuevoCase> {};

TEST_P(NuevoTest, EmptiesTheShownPolicyAndDatesItToday) {
  const NuevoCase& c = GetParam();
  // Given a policy with its extended description shown to this operator
  GivenOperator(c.user);
  GivenShownPolicy();
  ASSERT_EQ(Screen().state.extendedDescription, "Dos equipos");

  // When the operator starts a new policy
  WhenPress("Nuevo");

  // Then the fields are empty and editable, the folio box locked, and every date today
  EXPECT_EQ(Text("txtFolio"), "");
  EXPECT_FALSE(Enabled("txtFolio"));
  for (const char* name : {"txt_Sc_Cve_Sucursal", "txt_Tps_Cve_Tipo_Poliza", "txtComentario",
                           "txt_Concepto", "txtReferencia", "cbCorte"}) {
    EXPECT_EQ(Text(name), "") << name;
    EXPECT_TRUE(Enabled(name)) << name;
  }
  EXPECT_THAT(Services(), IsEmpty());
  for (const char* name : kDateFields) EXPECT_EQ(DateIn(name), kNow) << name;
  EXPECT_EQ(Enabled("dp_Ps_Fecha"), c.date_enabled);
  EXPECT_EQ(Focus(), c.focus);

  // and the extended description and its concept are forgotten; only the editor is offered
  EXPECT_EQ(Screen().state.extendedDescription, "");
  EXPECT_EQ(Screen().state.conceptText, "");
  EXPECT_TRUE(Enabled("cmdDescripcion"));
  EXPECT_FALSE(Enabled("cmdInicializa"));
  EXPECT_THAT(Messages(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Operators, NuevoTest,
    ::testing::Values(NuevoCase{kOperatorWithPermissions, true, "dp_Ps_Fecha"},
                      NuevoCase{kOperatorWithoutPermissions, false, "txtReferencia"}),
    [](const ::testing::TestParamInfo<NuevoCase>& info) { return info.param.user; });

// --- Modificar ---------------------------------------------------------------------------

TEST_F(ToolbarCommandsTest, ModificarUnlocksTheShownPolicyAsItIs) {
  // Given a live policy shown to an operator who may reset its counters
  GivenShownPolicy();
  ASSERT_TRUE(Enabled("cmdInicializa"));
  const std::vector<std::string> shown = Fields();
  const auto services = Services();

  // When the operator edits it
  WhenPress("Modificar");

  // Then every value stays, the data fields open except the branch, and the folio is locked
  EXPECT_EQ(Fields(), shown);
  EXPECT_EQ(Services(), services);
  EXPECT_EQ(Screen().state.extendedDescription, "Dos equipos");
  EXPECT_FALSE(Enabled("txtFolio"));
  EXPECT_FALSE(Enabled("txt_Sc_Cve_Sucursal"));
  for (const char* name : {"txt_Vn_Cve_Vendedor", "txt_Cl_Cve_Cliente", "txt_Tps_Cve_Tipo_Poliza",
                           "txtReferencia", "txtComentario", "cbCorte", "dp_Ps_Fecha"})
    EXPECT_TRUE(Enabled(name)) << name;
  EXPECT_TRUE(Enabled("cmdDescripcion"));
  EXPECT_FALSE(Enabled("cmdInicializa"));
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(ToolbarCommandsTest, ModificarLeavesTheDateAndTheFocusToAnOperatorWithoutChfecha) {
  // Given a policy shown to an operator without CHFECHA, who clicked its services list
  GivenOperator(kOperatorWithoutPermissions);
  GivenShownPolicy();
  host().focus().Focus(host().Get<host::HeadlessListView>("lvServicios"));

  // When the operator edits it
  WhenPress("Modificar");

  // Then the policy date stays locked, the rest opens, and the focus stays put
  EXPECT_FALSE(Enabled("dp_Ps_Fecha"));
  EXPECT_TRUE(Enabled("dp_Ps_Fecha_Inicio"));
  EXPECT_EQ(Focus(), "lvServicios");
}

// --- Consultar ---------------------------------------------------------------------------

TEST_F(ToolbarCommandsTest, ConsultarShowsTheFolioInTheBoxEachTimeEvenWhenEmpty) {
  // Given a policy shown
  GivenShownPolicy();

  // When the operator views it, then starts and abandons a new one (the record stays
  // loaded for the toolbar, the folio box is empty) and views again
  WhenPress("Consultar");
  WhenPress("Nuevo");
  WhenPress("Cancelar");
  WhenPress("Consultar");

  // Then the viewer opened twice, on the shown folio and on the empty key
  const std::vector<host::ViewerCall> calls = host().dialogs().ViewerCalls();
  ASSERT_THAT(calls, SizeIs(2));
  EXPECT_EQ(calls[0].table, "POLIZA_SERVICIO");
  EXPECT_EQ(calls[0].key_column, "Ps_Folio");
  EXPECT_EQ(calls[0].key, kFolio);
  EXPECT_EQ(calls[1].table, "POLIZA_SERVICIO");
  EXPECT_EQ(calls[1].key, "");
  EXPECT_THAT(Messages(), IsEmpty());
}

// --- Baja --------------------------------------------------------------------------------

TEST_F(ToolbarCommandsTest, BajaCancelsTheShownPolicyLogsItAndResets) {
  // Given a live policy shown
  GivenShownPolicy();

  // When the operator cancels it
  WhenPress("Baja");

  // Then the row is cancelled by this operator at this time, nothing else of it changed
  EXPECT_EQ(Column("Es_Cve_Estado"), "CA");
  EXPECT_EQ(Column("Oper_Baja"), kOperatorWithPermissions);
  EXPECT_EQ(Column("Fecha_Baja"), kStamp);
  EXPECT_EQ(Column("Ps_Referencia"), "REF-9");
  EXPECT_EQ(db.Count("Poliza_Servicio_Tipo_Servicio",
                     "Ps_Folio = 'MTY-000004' AND Pst_Evento_Utilizado > 0"),
            2);
  // and the note is on the policy's record
  EXPECT_EQ(db.Scalar("SELECT note || '|' || user_code || '|' || logged_at AS v FROM record_log "
                      "WHERE table_name = 'POLIZA_SERVICIO' AND record_key = 'MTY-000004'"),
            std::string("Baja|ADMIN|") + kStamp);
  // and the screen waits for a folio, silently
  ExpectFolioEntry();
  EXPECT_THAT(Messages(), IsEmpty());

  // and the same folio now loads as a cancelled policy
  WhenType("txtFolio", kFolio);
  EXPECT_EQ(Text("txt_Cl_Cve_Cliente"), "C00002");
  EXPECT_FALSE(Toolbar().activeFlag1);
  EXPECT_FALSE(Toolbar().activeFlag2);
}

struct BajaFailure {
  std::string name;
  std::string sabotage;
  std::string description;
  friend void PrintTo(const BajaFailure& c, std::ostream* os) { *os << c.name; }
};

class BajaFailureTest : public ToolbarCommandsTest,
                        public ::testing::WithParamInterface<BajaFailure> {};

TEST_P(BajaFailureTest, RollsBackAndShowsTheFailure) {
  const BajaFailure& c = GetParam();
  // Given a live policy shown, and a database that refuses one step of the cancellation
  GivenShownPolicy();
  db.Execute(c.sabotage);
  const std::vector<std::string> shown = Fields();

  // When the operator cancels it
  WhenPress("Baja");

  // Then the failure's own text is shown under the application's title
  const std::vector<host::MessageCall> messages = Messages();
  ASSERT_THAT(messages, SizeIs(1));
  EXPECT_EQ(messages[0].request.text, c.description);
  EXPECT_EQ(messages[0].request.title, "Zembrel");
  EXPECT_EQ(messages[0].request.style, 16);
  EXPECT_EQ(messages[0].request.error_id, "ERR-ID:7500013");
  EXPECT_EQ(messages[0].request.module, "NV407");

  // and nothing of the cancellation remains; the policy is still shown and live
  EXPECT_EQ(Column("Es_Cve_Estado || '|' || IFNULL(Oper_Baja, '') || IFNULL(Fecha_Baja, '')"),
            "AC|");
  EXPECT_EQ(db.Count("record_log"), 0);
  EXPECT_FALSE(host().database().InTransaction());
  EXPECT_EQ(Fields(), shown);
  EXPECT_TRUE(Toolbar().activeFlag1);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, BajaFailureTest,
    ::testing::Values(BajaFailure{"Update",
                                  "CREATE TRIGGER refuse BEFORE UPDATE ON Poliza_Servicio "
                                  "BEGIN SELECT RAISE(ABORT, 'póliza en revisión'); END",
                                  "póliza en revisión"},
                      BajaFailure{"Note",
                                  "CREATE TRIGGER refuse BEFORE INSERT ON record_log "
                                  "BEGIN SELECT RAISE(ABORT, 'bitácora llena'); END",
                                  "bitácora llena"}),
    [](const ::testing::TestParamInfo<BajaFailure>& info) { return info.param.name; });

TEST_F(ToolbarCommandsTest, BajaWithAnEmptyFolioTouchesNoPolicy) {
  // Given a policy stored, and the screen at folio entry
  GivenShownPolicy();
  WhenPress("Nuevo");
  WhenPress("Cancelar");

  // When the screen's cancellation runs on the empty folio box (the toolbar offers Baja
  // only for a live policy shown)
  Form().Baja();

  // Then no policy changed, the note went to the empty key and the screen was reset
  EXPECT_EQ(Column("Es_Cve_Estado"), "AC");
  EXPECT_EQ(db.Scalar("SELECT record_key || '|' || note AS v FROM record_log"), "|Baja");
  ExpectFolioEntry();
  EXPECT_THAT(Messages(), IsEmpty());
}

// --- Cancelar and Salir ------------------------------------------------------------------

TEST_F(ToolbarCommandsTest, CancelarAbandonsAnEditButKeepsTheRecordLoaded) {
  // Given a policy being edited, with a changed reference and a rewritten description
  GivenShownPolicy();
  WhenPress("Modificar");
  WhenType("txtReferencia", "CAMBIO");
  WhenEditorReturns("Otro concepto", "Otro texto");
  WhenClick("cmdDescripcion");

  // When the operator abandons it
  WhenPress("Cancelar");

  // Then the screen waits for a folio, the toolbar still knows a record was loaded, and
  // nothing was stored
  ExpectFolioEntry();
  EXPECT_TRUE(Toolbar().loadedFlag);
  EXPECT_EQ(Column("Ps_Referencia"), "REF-9");
  EXPECT_EQ(db.Scalar("SELECT text AS v FROM extended_text"), "Dos equipos");
  EXPECT_EQ(db.Count("Poliza_Servicio"), 1);
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(ToolbarCommandsTest, SalirClosesTheWindowInTheMiddleOfANewPolicy) {
  // Given a new policy half typed
  GivenOpenScreen();
  WhenPress("Nuevo");
  WhenType("txt_Sc_Cve_Sucursal", "MTY");

  // When the operator leaves
  WhenPress("Salir");

  // Then the window is closed without a question and nothing was stored
  EXPECT_TRUE(host().Closed());
  EXPECT_THAT(Messages(), IsEmpty());
  EXPECT_EQ(db.Count("Poliza_Servicio"), 0);
}

}  // namespace
}  // namespace nv407::testing
