#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "component/error.h"
#include "screen/layout.h"
#include "support/screen_fixture.h"

namespace nv407::testing {
namespace {

class LoadingTest : public ScreenTest {};

TEST_F(LoadingTest, PreparesTheFieldsFromTheHost) {
  host::HeadlessHost& screen = GivenOpenScreen();

  auto& days = screen.Get<host::HeadlessComboBox>("cbCorte");
  ASSERT_EQ(days.ItemCount(), 28);
  for (int day = 1; day <= 28; ++day) EXPECT_EQ(days.ItemText(day - 1), std::to_string(day));
  EXPECT_EQ(days.Text(), "");

  for (const char* field : {"dp_Ps_Fecha", "dp_Ps_Fecha_Inicio", "dp_Ps_Fecha_Fin"})
    EXPECT_EQ(DateIn(field), PinnedNow()) << field;

  const std::pair<const char*, const char*> formats[] = {
      {"txt_Sc_Cve_Sucursal", "FTO_SUCURSAL"},
      {"txt_Vn_Cve_Vendedor", "FTO_VENDEDOR"},
      {"txt_Cl_Cve_Cliente", "FTO_CLIENTE"},
      {"txt_Tps_Cve_Tipo_Poliza", "FTO_TIPO_POLIZA_SERVICIO"}};
  for (const auto& [field, parameter] : formats) {
    EXPECT_EQ(screen.Get<host::HeadlessTextBox>(field).Formato(),
              Variant(db.Scalar(std::string("SELECT value FROM host_parameter WHERE name = '") +
                                parameter + "'")))
        << field;
  }
  EXPECT_TRUE(screen.toolbar().Ready());
  EXPECT_EQ(Focus(), "txtFolio");
}

TEST_F(LoadingTest, PermissionsFollowTheOperator) {
  GivenOpenScreen();
  EXPECT_TRUE(Screen().state.canChangeDate);
  EXPECT_TRUE(Screen().state.canInitServices);

  TestDatabase plain;
  auto host = MakeHost(plain, kOperatorWithoutPermissions);
  host->Open();
  EXPECT_FALSE(host->Snapshot().state.canChangeDate);
  EXPECT_FALSE(host->Snapshot().state.canInitServices);
}

TEST_F(LoadingTest, TransaccionNeedsThePadreAndIsResolvedByTheHost) {
  nv407::Screen& screen = *host().LoadComponent().GetPantalla();
  EXPECT_THROW(screen.Transaccion(), Error);

  GivenOpenScreen();
  EXPECT_EQ(host().screen().Transaccion(), "SERV0407");
}

TEST(ScreenLayoutTest, HoldsEveryControlWithItsTabOrderAndTags) {
  const ScreenLayout& layout = frmNV407Layout();
  EXPECT_EQ(layout.caption, "Captura de pólizas de servicio");
  ASSERT_EQ(layout.controls.size(), 38u);  // 36 controls, the label array Label10 of three

  std::map<int, std::string> stops;
  std::set<std::string> tagged;
  for (const ControlLayout& row : layout.controls) {
    if (row.tab_stop) stops[row.tab_index] = row.name;
    if (row.tag == "1") tagged.insert(row.name);
  }
  const std::vector<std::string> expected_order = {"txtFolio",
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
                                                   "cmdInicializa"};
  std::vector<std::string> order;
  for (const auto& [index, name] : stops) order.push_back(name);
  EXPECT_EQ(order, expected_order);
  EXPECT_EQ(tagged, (std::set<std::string>{"dp_Ps_Fecha", "txtReferencia", "dp_Ps_Fecha_Inicio",
                                           "cbCorte", "txt_Sc_Cve_Sucursal", "txt_Vn_Cve_Vendedor",
                                           "txt_Cl_Cve_Cliente", "txt_Tps_Cve_Tipo_Poliza",
                                           "txtComentario", "txt_Concepto", "txt_ID_Facturacion",
                                           "lvServicios", "lvPeriodos"}));
}

// kNothingToEdit: "EDICION" with an empty folio loads nothing, and the edit cannot start.
enum class Mode { kPlain, kNew, kEdit, kNothingToEdit };

struct StartCase {
  const char* parameters;
  Mode mode;
};

class StartModeTest : public ScreenTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartModeTest, ActivationStartsTheModeItsParametersName) {
  PolicyRow policy;
  policy.folio = "MTY-000007";
  policy.comment = "en sitio";
  GivenPolicy(policy);
  GivenOpenScreen(GetParam().parameters);

  EXPECT_TRUE(Messages().empty());
  switch (GetParam().mode) {
    case Mode::kPlain:
      EXPECT_FALSE(Screen().toolbar.busy);
      EXPECT_EQ(Focus(), "txtFolio");
      EXPECT_EQ(Text("txtComentario"), "");
      break;
    case Mode::kNew:
      EXPECT_TRUE(Screen().toolbar.busy);
      EXPECT_FALSE(Enabled("txtFolio"));
      EXPECT_EQ(Text("txtFolio"), "");
      EXPECT_TRUE(Enabled("txtReferencia"));
      break;
    case Mode::kNothingToEdit:
      EXPECT_FALSE(Screen().toolbar.busy);
      EXPECT_FALSE(Screen().toolbar.loadedFlag);
      EXPECT_TRUE(Enabled("txtFolio"));
      break;
    case Mode::kEdit:
      EXPECT_TRUE(Screen().toolbar.busy);
      EXPECT_EQ(Text("txtFolio"), "MTY-000007");
      EXPECT_EQ(Text("txtComentario"), "en sitio");
      EXPECT_TRUE(Enabled("txtComentario"));
      EXPECT_FALSE(Enabled("txt_Sc_Cve_Sucursal"));
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, StartModeTest,
    ::testing::Values(
        StartCase{"", Mode::kPlain}, StartCase{"NUEVO", Mode::kNew}, StartCase{"nuevo", Mode::kNew},
        StartCase{"Nuevo,MTY-000007", Mode::kNew}, StartCase{" NUEVO", Mode::kPlain},
        StartCase{"NUEVO ", Mode::kPlain}, StartCase{"CONSULTA", Mode::kPlain},
        StartCase{"EDICION,MTY-000007", Mode::kEdit}, StartCase{"edicion,mty-7,extra", Mode::kEdit},
        StartCase{"EDICION, MTY-000007 ", Mode::kEdit}, StartCase{"EDICION", Mode::kPlain},
        StartCase{"EDICION,", Mode::kNothingToEdit}));

TEST_F(StartModeTest, EditionReachesTheLoadWithTheFolioAsGiven) {
  PolicyRow policy;
  policy.folio = "MTY-000007";
  GivenPolicy(policy);
  const auto& trace = db.TraceStatements();
  GivenOpenScreen("EDICION, mty-7 ");
  bool queried = false;
  for (const auto& [by, sql] : trace)
    if (by == "screen" &&
        sql.find("WHERE Poliza_Servicio.Ps_Folio = 'MTY-000007' ") != std::string::npos)
      queried = true;
  EXPECT_TRUE(queried);
}

TEST_F(StartModeTest, ABusyScreenIgnoresActivation) {
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
