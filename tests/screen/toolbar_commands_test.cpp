#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "screen_steps.h"

namespace nv407::testing {
namespace {

using ::testing::IsEmpty;
using ::testing::SizeIs;

class ToolbarCommandsTest : public PolicyScreenTest {
 protected:
  void SetUp() override { GivenNow(Date::FromYmd(2024, 7, 9, 8, 5, 0)); }
};

struct OperatorCase {
  std::string user;
  bool date_enabled;
  std::string nuevo_focus;
  friend void PrintTo(const OperatorCase& c, std::ostream* os) { *os << c.user; }
};

class OperatorTest : public ToolbarCommandsTest,
                     public ::testing::WithParamInterface<OperatorCase> {};

TEST_P(OperatorTest, NuevoEmptiesTheShownPolicyAndDatesItToday) {
  GivenOperator(GetParam().user);
  GivenShownPolicy();

  WhenPress("Nuevo");

  // The fields empty and editable, the folio box locked, every date today
  EXPECT_FALSE(Enabled("txtFolio"));
  for (const char* name : {"txt_Sc_Cve_Sucursal", "txt_Tps_Cve_Tipo_Poliza", "txtComentario",
                           "txt_Concepto", "txtReferencia", "cbCorte"})
    EXPECT_EQ(Text(name) + (Enabled(name) ? "open" : "locked"), "open") << name;
  EXPECT_THAT(Services(), IsEmpty());
  for (const char* name : {"dp_Ps_Fecha", "dp_Ps_Fecha_Inicio", "dp_Ps_Fecha_Fin"})
    EXPECT_EQ(DateIn(name), Date::FromYmd(2024, 7, 9, 8, 5, 0)) << name;
  EXPECT_EQ(Enabled("dp_Ps_Fecha"), GetParam().date_enabled);
  EXPECT_EQ(Focus(), GetParam().nuevo_focus);
  // The shown policy's extended description is forgotten; only the editor is offered.
  EXPECT_EQ(Screen().state.extendedDescription + Screen().state.conceptText, "");
  EXPECT_TRUE(Enabled("cmdDescripcion"));
  EXPECT_FALSE(Enabled("cmdInicializa"));
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_P(OperatorTest, ModificarUnlocksTheShownPolicyAsItIsExceptItsBranch) {
  GivenOperator(GetParam().user);
  GivenShownPolicy();
  host().focus().Focus(host().Get<host::HeadlessListView>("lvServicios"));
  const std::string shown = Fields();
  const auto services = Services();

  WhenPress("Modificar");

  EXPECT_EQ(Fields(), shown);
  EXPECT_EQ(Services(), services);
  EXPECT_EQ(Screen().state.extendedDescription, "Cubre las dos plantas");
  EXPECT_FALSE(Enabled("txtFolio") || Enabled("txt_Sc_Cve_Sucursal"));
  for (const char* name :
       {"txt_Vn_Cve_Vendedor", "txt_Cl_Cve_Cliente", "txt_Tps_Cve_Tipo_Poliza", "txtReferencia",
        "txtComentario", "cbCorte", "dp_Ps_Fecha_Inicio", "cmdDescripcion"})
    EXPECT_TRUE(Enabled(name)) << name;
  EXPECT_EQ(Enabled("dp_Ps_Fecha"), GetParam().date_enabled);
  EXPECT_FALSE(Enabled("cmdInicializa"));
  EXPECT_EQ(Focus(), "lvServicios");
  EXPECT_THAT(Messages(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Operators, OperatorTest,
    ::testing::Values(OperatorCase{kOperatorWithPermissions, true, "dp_Ps_Fecha"},
                      OperatorCase{kOperatorWithoutPermissions, false, "txtReferencia"}),
    [](const ::testing::TestParamInfo<OperatorCase>& info) { return info.param.user; });

TEST_F(ToolbarCommandsTest, ConsultarShowsTheFolioInTheBoxEachTimeEvenWhenEmpty) {
  GivenShownPolicy();

  // Abandoning a new policy keeps the record loaded for the toolbar, with the box empty.
  WhenPress("Consultar");
  WhenPress("Nuevo");
  WhenPress("Cancelar");
  WhenPress("Consultar");

  std::vector<std::string> calls;
  for (const host::ViewerCall& c : host().dialogs().ViewerCalls())
    calls.push_back(c.table + "|" + c.key_column + "|" + c.key);
  EXPECT_EQ(calls, (Row{"POLIZA_SERVICIO|Ps_Folio|MTY-000007", "POLIZA_SERVICIO|Ps_Folio|"}));
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(ToolbarCommandsTest, BajaCancelsTheShownPolicyLogsItAndResets) {
  GivenShownPolicy();

  WhenPress("Baja");

  // Cancelled by this operator now, nothing else of it changed; the note on its record
  EXPECT_EQ(Header(kFolio),
            "'MTY-000007','2024-02-20','','','2024-03-01','2025-02-28','MTY','V002','C00003',"
            "'Atención prioritaria',17,'OC-1','SOPANUAL','F-1','Soporte anual','CA','ADMIN',"
            "'2024-03-15 10:30:00',NULL,NULL,'ADMIN','2024-07-09 08:05:00'");
  EXPECT_EQ(ServicesOf(kFolio), "CAPACIT 2.0/4.0/0.0;SOPREM 120.0/2.5/7.0;VISITA 12.0/9.0/1.0");
  EXPECT_EQ(RowsOf("record_log"),
            "1,'Poliza_Servicio','MTY-000007','Baja','ADMIN','2024-07-09 08:05:00'");
  ExpectFolioEntry();
  EXPECT_THAT(Messages(), IsEmpty());

  // and the same folio now loads as a cancelled policy
  WhenType("txtFolio", kFolio);
  EXPECT_EQ(Flags(), "loaded - - - -");
}

class BajaFailureTest : public ToolbarCommandsTest,
                        public ::testing::WithParamInterface<const char*> {};

TEST_P(BajaFailureTest, RollsBackAndShowsTheFailure) {
  GivenShownPolicy();
  db.Execute(std::string("CREATE TRIGGER refuse BEFORE ") + GetParam() +
             " BEGIN SELECT RAISE(ABORT, 'póliza en revisión'); END");
  const std::string shown = Fields();
  const std::vector<std::string> stored = Stored();

  WhenPress("Baja");

  // The failure's own text under the application's title; nothing of it remains.
  EXPECT_EQ(OnlyMessage(), "Zembrel|16|ERR-ID:7500013|póliza en revisión");
  EXPECT_EQ(Stored(), stored);
  EXPECT_FALSE(host().database().InTransaction());
  EXPECT_EQ(Fields(), shown);
  EXPECT_TRUE(Toolbar().activeFlag1);
}

INSTANTIATE_TEST_SUITE_P(UpdateOrNote, BajaFailureTest,
                         ::testing::Values("UPDATE ON Poliza_Servicio", "INSERT ON record_log"));

TEST_F(ToolbarCommandsTest, CancelarAbandonsAnEditButKeepsTheRecordLoaded) {
  GivenShownPolicy();
  WhenPress("Modificar");
  WhenType("txtReferencia", "CAMBIO");
  WhenEditorReturns("Otro concepto", "Otro texto");
  WhenClick("cmdDescripcion");
  const std::vector<std::string> stored = Stored();

  WhenPress("Cancelar");

  ExpectFolioEntry();
  EXPECT_TRUE(Toolbar().loadedFlag);
  EXPECT_EQ(Stored(), stored);
  EXPECT_EQ(Column("Ps_Referencia", kFolio), "OC-1");
  EXPECT_THAT(Messages(), IsEmpty());
}

}  // namespace
}  // namespace nv407::testing
