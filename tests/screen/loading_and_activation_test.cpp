#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "component/error.h"
#include "screen/layout.h"
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
  EXPECT_EQ(formats, db.Scalar("SELECT group_concat(value || '|', '') AS v FROM (SELECT value "
                               "FROM host_parameter WHERE name IN ('FTO_CLIENTE', 'FTO_SUCURSAL', "
                               "'FTO_TIPO_POLIZA_SERVICIO', 'FTO_VENDEDOR') ORDER BY name)"));
  EXPECT_TRUE(screen.toolbar().Ready());
  EXPECT_EQ(Focus(), "txtFolio");
  EXPECT_EQ(screen.screen().Transaccion(), "SERV0407");
  EXPECT_TRUE(Screen().state.canChangeDate && Screen().state.canInitServices);

  TestDatabase plain;
  auto other = MakeHost(plain, kOperatorWithoutPermissions);
  other->Open();
  EXPECT_FALSE(other->Snapshot().state.canChangeDate || other->Snapshot().state.canInitServices);
}

// The table the screen is built from: its tab stops in order, the fields of group 1.
TEST(ScreenLayoutTest, HoldsEveryControlWithItsTabOrderAndTags) {
  const ScreenLayout& layout = frmNV407Layout();
  EXPECT_EQ(layout.caption, "Captura de pólizas de servicio");
  EXPECT_EQ(layout.controls.size(), 38u);  // 36 controls, the label array Label10 of three
  std::map<int, std::string> stops;
  std::string tagged;
  for (const ControlLayout& row : layout.controls) {
    if (row.tab_stop) stops[row.tab_index] = row.name;
    if (row.tag == "1") tagged += row.name + " ";
  }
  std::string order;
  for (const auto& [index, name] : stops) order += name + " ";
  EXPECT_EQ(order,
            "txtFolio dp_Ps_Fecha txtReferencia dp_Ps_Fecha_Inicio dp_Ps_Fecha_Fin cbCorte "
            "txt_Sc_Cve_Sucursal txt_Vn_Cve_Vendedor txt_Cl_Cve_Cliente txt_Tps_Cve_Tipo_Poliza "
            "txtComentario txt_Concepto txt_ID_Facturacion cmdDescripcion cmdInicializa ");
  EXPECT_EQ(tagged,
            "dp_Ps_Fecha txtReferencia dp_Ps_Fecha_Inicio cbCorte txt_Sc_Cve_Sucursal "
            "txt_Vn_Cve_Vendedor txt_Cl_Cve_Cliente txt_Tps_Cve_Tipo_Poliza txtComentario "
            "txt_Concepto txt_ID_Facturacion lvServicios lvPeriodos ");
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

TEST_F(LoadingTest, ABusyScreenIgnoresActivation) {
  GivenOpenScreen("NUEVO");
  WhenType("txtReferencia", "tecleado");
  const auto& trace = db.TraceStatements();

  host().Activate();

  // A new capture started again would have emptied the field.
  EXPECT_EQ(Text("txtReferencia"), "tecleado");
  EXPECT_TRUE(trace.empty());
}

}  // namespace
}  // namespace nv407::testing
