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

// Both open the fields of group 1 and the editor, the policy date only to an operator who
// holds CHFECHA.
struct OperatorCase {
  std::string user, date, nuevo_focus;
  friend void PrintTo(const OperatorCase& c, std::ostream* os) { *os << c.user; }
};

class OperatorTest : public ToolbarCommandsTest,
                     public ::testing::WithParamInterface<OperatorCase> {
 protected:
  // The controls the user can change, in layout order (the locked ones only show results).
  std::string Open() {
    std::string open;
    for (const host::ControlSnapshot& c : Screen().controls)
      if (c.enabled && Form().FindControl(c.name)->Layout().Setting("locked") != "SI")
        open += c.name + " ";
    return open;
  }
};

TEST_P(OperatorTest, ModificarUnlocksThePolicyAsItIsAndNuevoEmptiesIt) {
  GivenOperator(GetParam().user);
  GivenShownPolicy();
  host().focus().Focus(host().Get<host::HeadlessListView>("lvServicios"));
  const std::string shown = Fields();
  const auto services = Services();

  // Every value stays, the branch locked, the focus where it was.
  WhenPress("Modificar");
  EXPECT_EQ(Fields(), shown);
  EXPECT_EQ(Services(), services);
  EXPECT_EQ(Screen().state.extendedDescription, "Cubre las dos plantas");
  EXPECT_EQ(Open(), GetParam().date +
                        "txtReferencia dp_Ps_Fecha_Inicio cbCorte txt_Vn_Cve_Vendedor "
                        "txt_Cl_Cve_Cliente txt_Tps_Cve_Tipo_Poliza txtComentario txt_Concepto "
                        "txt_ID_Facturacion cmdDescripcion ");
  EXPECT_EQ(Focus(), "lvServicios");

  // Every field empty but the dates, which are today; the extended description forgotten.
  WhenPress("Cancelar");
  WhenType("txtFolio", kFolio);
  WhenPress("Nuevo");
  for (const host::ControlSnapshot& c : Screen().controls) {
    if (c.kind != ControlKind::kFlatButton) {
      EXPECT_EQ(c.date.value_or(c.text), c.date ? "2024-07-09T08:05:00" : "") << c.name;
    }
  }
  EXPECT_THAT(Services(), IsEmpty());
  EXPECT_EQ(Open(), GetParam().date +
                        "txtReferencia dp_Ps_Fecha_Inicio cbCorte txt_Sc_Cve_Sucursal "
                        "txt_Vn_Cve_Vendedor txt_Cl_Cve_Cliente txt_Tps_Cve_Tipo_Poliza "
                        "txtComentario txt_Concepto txt_ID_Facturacion cmdDescripcion ");
  EXPECT_EQ(Focus(), GetParam().nuevo_focus);
  EXPECT_EQ(Screen().state.extendedDescription + Screen().state.conceptText, "");
  EXPECT_THAT(Messages(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Operators, OperatorTest,
    ::testing::Values(OperatorCase{kOperatorWithPermissions, "dp_Ps_Fecha ", "dp_Ps_Fecha"},
                      OperatorCase{kOperatorWithoutPermissions, "", "txtReferencia"}),
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
