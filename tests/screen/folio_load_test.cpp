#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "data/statements.h"
#include "screen/frm_nv407.h"
#include "support/screen_fixture.h"

namespace nv407::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;
using ::testing::SizeIs;

using Row = std::vector<std::string>;

constexpr const char* kFolio = "MTY-000001";

// A policy with a service of each unit and one of each odd case, as an operator types
// its folio on a freshly opened screen.
class FolioLoadTest : public ScreenTest {
 protected:
  PolicyRow Policy(const std::string& folio = kFolio, const std::string& state = "AC") {
    return {.folio = folio,
            .branch = "GDL",
            .seller = "V002",
            .client = "C00003",
            .type = "SOPANUAL",
            .date = "2024-02-20",
            .start = "2024-03-01",
            .end = "2025-02-28",
            .cut_off_day = 17,
            .reference = "OC-7781",
            .comment = "Atención prioritaria",
            .invoice_id = "FAC-0091",
            .concept_text = "Soporte anual 2024",
            .state = state,
            .services = {{"SOPREM", 120, 2.5, 7},  // hours: the used hours count
                         {"VISITA", 12, 9, 1},     // events: the used events count
                         {"CAPACIT", 2, 4, 0}}};   // unit NULL: events
  }

  frmNV407& Form() { return dynamic_cast<frmNV407&>(host().screen()); }
  // The database returns the services in no fixed order.
  std::vector<Row> SortedServices() {
    std::vector<Row> rows = Services();
    std::sort(rows.begin(), rows.end());
    return rows;
  }
  host::ToolbarSnapshot Toolbar() { return Screen().toolbar; }
  int ListFormatted() { return host().Get<host::HeadlessListView>("lvServicios").FitCount(); }
  std::vector<std::string> Statements(const std::vector<std::pair<std::string, std::string>>& trace,
                                      const std::string& who = "screen") {
    std::vector<std::string> texts;
    for (const auto& [origin, text] : trace)
      if (origin == who) texts.push_back(text);
    return texts;
  }
};

TEST_F(FolioLoadTest, TypedFolioShowsTheStoredPolicyWithItsServicesAndRecords) {
  // Given a live policy with used amounts, a NULL included quantity, an extended
  // description and additional fields
  GivenPolicy(Policy());
  db.Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Cantidad_Incluida = NULL "
      "WHERE Ts_Cve_Tipo_Servicio = 'CAPACIT'");
  db.Execute(
      "INSERT INTO extended_text (table_name, record_key, entry_code, text) "
      "VALUES ('Poliza_Servicio', 'MTY-000001', '0001', 'Cubre las dos plantas')");
  db.Execute(
      "INSERT INTO additional_field_value (table_name, record_key, field_name, value) "
      "VALUES ('POLIZA_SERVICIO', 'MTY-000001', 'CONTACTO', 'Ing. Rosales')");
  GivenOpenScreen();
  const int formatted = ListFormatted();

  // When the operator types the folio in lower case and without its leading zeros
  WhenType("txtFolio", "mty-1");

  // Then the folio is shown in stored form and every header field as stored
  EXPECT_EQ(Text("txtFolio"), kFolio);
  EXPECT_EQ(Text("txt_Sc_Cve_Sucursal"), "GDL");
  EXPECT_EQ(Text("txt_Vn_Cve_Vendedor"), "V002");
  EXPECT_EQ(Text("txt_Cl_Cve_Cliente"), "C00003");
  EXPECT_EQ(Text("txtComentario"), "Atención prioritaria");
  EXPECT_EQ(Text("txt_Tps_Cve_Tipo_Poliza"), "SOPANUAL");
  EXPECT_EQ(Text("txt_Tps_Descripcion"), "Soporte anual");
  EXPECT_EQ(DateIn("dp_Ps_Fecha"), Date::FromYmd(2024, 2, 20));
  EXPECT_EQ(DateIn("dp_Ps_Fecha_Inicio"), Date::FromYmd(2024, 3, 1));
  EXPECT_EQ(DateIn("dp_Ps_Fecha_Fin"), Date::FromYmd(2025, 2, 28));
  EXPECT_EQ(Text("txtReferencia"), "OC-7781");
  EXPECT_EQ(Text("cbCorte"), "17");
  EXPECT_EQ(Text("txt_ID_Facturacion"), "FAC-0091");
  EXPECT_EQ(Text("txt_Concepto"), "Soporte anual 2024");

  // and one row per service with its unit, included and used quantity
  EXPECT_THAT(
      SortedServices(),
      ElementsAre(Row{"KCAPACIT", "CAPACIT", "Curso de capacitación", "EV", "0", "0"},
                  Row{"KSOPREM", "SOPREM", "Soporte remoto", "HR", "120", "2.5"},
                  Row{"KVISITA", "VISITA", "Visita de mantenimiento preventivo", "EV", "12", "1"}));
  EXPECT_EQ(ListFormatted(), formatted + 1);

  // and the host's records of the policy, and the commands of a live policy
  EXPECT_EQ(Screen().state.extendedDescription, "Cubre las dos plantas");
  EXPECT_THAT(host().toolbar().AdditionalFields(),
              ElementsAre(Pair("CONTACTO", "Ing. Rosales"), Pair("ORDEN_COMPRA", "")));
  EXPECT_TRUE(Toolbar().loadedFlag);
  EXPECT_TRUE(Toolbar().activeFlag1);
  EXPECT_TRUE(Toolbar().activeFlag2);
  EXPECT_FALSE(Toolbar().extraFlag1);
  EXPECT_FALSE(Toolbar().extraFlag2);
  EXPECT_TRUE(Enabled("cmdInicializa"));
  EXPECT_FALSE(Enabled("cmdDescripcion"));
  EXPECT_FALSE(Enabled("txtComentario"));
  EXPECT_THAT(Messages(), IsEmpty());
}

// Only exactly "CA" is cancelled. A live policy's cmdInicializa follows the operator's
// permission; a cancelled one leaves it as the policy shown before had it.
struct StateCase {
  std::string name;
  std::string state;
  std::string user;
  bool live;
  bool can_reset;
};

void PrintTo(const StateCase& c, std::ostream* os) {
  *os << c.name;
}

class FolioLoadStateTest : public FolioLoadTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(FolioLoadStateTest, StateDecidesTheRecordCommands) {
  const StateCase& c = GetParam();
  // Given a live policy shown before, so that its flags were set
  GivenOperator(c.user);
  GivenPolicy(Policy("MTY-000002"));
  GivenPolicy(Policy(kFolio, c.state));
  GivenOpenScreen();
  WhenType("txtFolio", "MTY-000002");
  ASSERT_TRUE(Toolbar().activeFlag1);
  const bool could_reset = Enabled("cmdInicializa");

  // When the operator types the folio of the policy in the given state
  WhenType("txtFolio", kFolio);

  // Then all of it is shown, and only a live policy becomes active
  EXPECT_EQ(Text("txt_Sc_Cve_Sucursal"), "GDL");
  EXPECT_THAT(Services(), SizeIs(3));
  EXPECT_TRUE(Toolbar().loadedFlag);
  EXPECT_EQ(Toolbar().activeFlag1, c.live);
  EXPECT_EQ(Toolbar().activeFlag2, c.live);
  EXPECT_EQ(Enabled("cmdInicializa"), c.live ? c.can_reset : could_reset);
  EXPECT_THAT(Messages(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    States, FolioLoadStateTest,
    ::testing::Values(
        StateCase{"Cancelled", "CA", kOperatorWithPermissions, false, true},
        StateCase{"CancelledNoPermission", "CA", kOperatorWithoutPermissions, false, false},
        StateCase{"LowerCase", "ca", kOperatorWithPermissions, true, true},
        StateCase{"TrailingBlank", "CA ", kOperatorWithPermissions, true, true},
        StateCase{"LiveNoPermission", "AC", kOperatorWithoutPermissions, true, false}),
    [](const ::testing::TestParamInfo<StateCase>& info) { return info.param.name; });

TEST_F(FolioLoadTest, PolicyWithoutListableServicesShowsItsHeaderOnly) {
  // Given a policy without services, and one whose only other service's type is gone
  PolicyRow bare = Policy("MTY-000003");
  bare.services.clear();
  GivenPolicy(bare);
  PolicyRow orphan = Policy("MTY-000004");
  orphan.services = {{"SOPREM", 10, 1, 0}};
  GivenPolicy(orphan);
  db.Execute("PRAGMA foreign_keys = OFF");
  db.Execute(
      "INSERT INTO Poliza_Servicio_Tipo_Servicio VALUES ('MTY-000004', 'RETIRADO', 5, 0, 0)");
  GivenOpenScreen();

  // When each is typed
  WhenType("txtFolio", "MTY-000003");
  // Then the header is there, the list empty, and the policy active
  EXPECT_EQ(Text("txt_Cl_Cve_Cliente"), "C00003");
  EXPECT_THAT(Services(), IsEmpty());
  EXPECT_TRUE(Toolbar().loadedFlag);
  EXPECT_TRUE(Toolbar().activeFlag1);

  WhenType("txtFolio", "MTY-000004");
  EXPECT_THAT(Services(), ElementsAre(Row{"KSOPREM", "SOPREM", "Soporte remoto", "HR", "10", "1"}));
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(FolioLoadTest, UnknownFolioLeavesTheScreenAsItWas) {
  // Given a policy on the screen
  GivenPolicy(Policy());
  GivenOpenScreen();
  WhenType("txtFolio", kFolio);
  const host::ToolbarSnapshot flags = Toolbar();
  const auto& trace = db.TraceStatements();

  // When the screen is asked to load a folio that no policy has (as a start with a
  // folio does, without the reset that typing runs first)
  host().Get<host::HeadlessTextBox>("txtFolio").SetText("gdl-0042");
  Form().LoadPolicyByFolio();

  // Then the folio is in stored form, the list is empty and nothing else changed
  EXPECT_EQ(Text("txtFolio"), "GDL-000042");
  EXPECT_THAT(Services(), IsEmpty());
  EXPECT_EQ(Text("txt_Sc_Cve_Sucursal"), "GDL");
  EXPECT_EQ(DateIn("dp_Ps_Fecha_Inicio"), Date::FromYmd(2024, 3, 1));
  EXPECT_EQ(Toolbar().loadedFlag, flags.loadedFlag);
  EXPECT_EQ(Toolbar().activeFlag1, flags.activeFlag1);
  EXPECT_EQ(Toolbar().activeFlag2, flags.activeFlag2);
  EXPECT_THAT(Statements(trace), ElementsAre(statements::PolicyByFolio("GDL-000042")));
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(FolioLoadTest, BusyToolbarSkipsTheLoadEntirely) {
  // Given a new capture with a policy type chosen
  GivenPolicy(Policy());
  GivenOpenScreen();
  WhenPress("Nuevo");
  WhenType("txt_Tps_Cve_Tipo_Poliza", "SOPMEN");
  const std::vector<Row> services = Services();
  ASSERT_THAT(services, SizeIs(2));
  const auto& trace = db.TraceStatements();

  // When the folio load runs while the toolbar is busy
  host().Get<host::HeadlessTextBox>("txtFolio").SetText("mty-1");
  Form().LoadPolicyByFolio();

  // Then the folio stays as typed, the list is kept and no query runs
  EXPECT_EQ(Text("txtFolio"), "mty-1");
  EXPECT_EQ(Services(), services);
  EXPECT_THAT(trace, IsEmpty());
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(FolioLoadTest, NullUsedCounterStopsTheLoadKeepingWhatWasShown) {
  // Given a policy whose used events of one service are NULL
  GivenPolicy(Policy());
  db.Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Evento_Utilizado = NULL "
      "WHERE Ts_Cve_Tipo_Servicio = 'VISITA'");
  // The rows that the database returns up to the bad one are the ones listed.
  std::vector<std::string> listed;
  {
    auto result = db.sql().Execute(statements::PolicyByFolio(kFolio));
    for (; !result->Eof(); result->MoveNext()) {
      const std::string code = result->Fields("Ts_Cve_Tipo_Servicio").Value().ToText();
      listed.push_back("K" + code);
      if (code == "VISITA") break;
    }
  }
  GivenOpenScreen();
  const int formatted = ListFormatted();

  // When the folio is typed
  WhenType("txtFolio", kFolio);

  // Then the failure is shown once, with the header and the rows so far kept, the bad
  // one without its used quantity
  const auto messages = Messages();
  ASSERT_THAT(messages, SizeIs(1));
  EXPECT_EQ(messages[0].request.text, "Se detectó el siguiente error: \r\nInvalid use of Null");
  EXPECT_EQ(messages[0].request.style, 16);
  EXPECT_EQ(messages[0].request.title, "ERROR");
  EXPECT_EQ(messages[0].request.module, "NV407");
  EXPECT_EQ(messages[0].request.error_id, "ERR-ID:7500014");
  EXPECT_EQ(messages[0].request.owner, host().screen().WindowHandle());
  std::vector<std::string> keys;
  for (const Row& row : Services()) keys.push_back(row.at(0));
  EXPECT_EQ(keys, listed);
  EXPECT_EQ(Services().back(),
            (Row{"KVISITA", "VISITA", "Visita de mantenimiento preventivo", "EV", "12", ""}));
  EXPECT_EQ(Text("txt_Concepto"), "Soporte anual 2024");
  EXPECT_TRUE(Toolbar().loadedFlag);
  EXPECT_FALSE(Toolbar().activeFlag1);
  EXPECT_FALSE(Enabled("cmdInicializa"));
  EXPECT_EQ(ListFormatted(), formatted);

  // and the screen still loads another folio
  PolicyRow other = Policy("MTY-000009");
  GivenPolicy(other);
  WhenType("txtFolio", "MTY-000009");
  EXPECT_THAT(Services(), SizeIs(3));
  EXPECT_TRUE(Toolbar().activeFlag1);
}

TEST_F(FolioLoadTest, ApostropheInTheFolioStaysInsideItsLiteral) {
  // Given a policy whose folio holds an apostrophe, and another policy
  GivenPolicy(Policy("O'HARA"));
  GivenPolicy(Policy());
  GivenOpenScreen();
  const auto& trace = db.TraceStatements();

  // When the operator types that folio, then one that would widen the search
  WhenType("txtFolio", "o'hara");
  EXPECT_EQ(Text("txtFolio"), "O'HARA");
  EXPECT_EQ(Text("txt_Sc_Cve_Sucursal"), "GDL");
  EXPECT_THAT(Services(), SizeIs(3));
  EXPECT_EQ(Screen().toolbar.activeFlag1, true);

  WhenType("txtFolio", "x' or '1'='1");

  // Then only the first finds a policy, and no statement fails
  EXPECT_THAT(Services(), IsEmpty());
  EXPECT_EQ(Text("txt_Sc_Cve_Sucursal"), "");
  EXPECT_FALSE(Toolbar().loadedFlag);
  const std::vector<std::string> screen = Statements(trace);
  ASSERT_THAT(screen, SizeIs(2));
  EXPECT_TRUE(screen[0].ends_with("WHERE Poliza_Servicio.Ps_Folio = 'O''HARA' "));
  EXPECT_TRUE(screen[1].ends_with("WHERE Poliza_Servicio.Ps_Folio = 'X'' OR ''1''=''1' "));
  EXPECT_THAT(Messages(), IsEmpty());
}

}  // namespace
}  // namespace nv407::testing
