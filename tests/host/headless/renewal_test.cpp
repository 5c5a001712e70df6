#include "host/headless/renewal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "component/error.h"
#include "screen/screen_steps.h"

namespace nv407::testing {
namespace {

class RenewalTest : public PolicyScreenTest {
 protected:
  bool CanRenew() { return host::CanRenew(host().screen()); }
  void WhenRenew() { host::Renew(host().screen()); }
  std::string Shown(const std::string& control) {
    const host::ControlSnapshot c = Screen().Find(control);
    return c.date.value_or(c.text);
  }
};

// The renewal is a new capture as the operator would type it: the same branch, seller,
// client, cut-off day and type, starting the day after the old end, the end following
// from the type; the rest empty, and nothing stored until Aceptar.
TEST_F(RenewalTest, StartsANewCaptureFromTheShownPolicyAndSavesOnlyOnAceptar) {
  GivenShownPolicy();  // MTY-000007: SOPANUAL from 2024-03-01 to 2025-02-28, day 17
  ASSERT_TRUE(CanRenew());
  const std::vector<std::string> stored = Stored();

  WhenRenew();

  EXPECT_EQ(Toolbar().mode, host::ToolbarMode::kNew);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"txtFolio", ""},
      {"txt_Sc_Cve_Sucursal", "MTY"},
      {"txt_Sc_Descripcion", "Monterrey Centro"},
      {"txt_Vn_Cve_Vendedor", "V002"},
      {"txt_Cl_Cve_Cliente", "C00003"},
      {"txt_Cl_Cliente", "Hospital San José de Monterrey, A.C."},
      {"cbCorte", "17"},
      {"dp_Ps_Fecha_Inicio", "2025-03-01"},
      {"dp_Ps_Fecha_Fin", "2026-02-28"},
      {"txt_Tps_Cve_Tipo_Poliza", "SOPANUAL"},
      {"txtReferencia", ""},
      {"txtComentario", ""},
  };
  for (const auto& [control, value] : expected) EXPECT_EQ(Shown(control), value) << control;
  EXPECT_EQ(SortedServices().size(), 4u) << "the type's services, from the type";
  EXPECT_EQ(Stored(), stored);
  EXPECT_THAT(Messages(), IsEmpty());

  WhenPress("Aceptar");
  EXPECT_THAT(Header("MTY-000001"),
              StartsWith("'MTY-000001','2024-03-15','','','2025-03-01','2026-02-28','MTY','V002',"
                         "'C00003','',17,'','SOPANUAL',"));
  EXPECT_EQ(Column("Es_Cve_Estado", kFolio), "AC") << "the renewed policy stays as it was";
}

TEST_F(RenewalTest, NeedsALivePolicyShownAndTheScreenIdle) {
  GivenStoredPolicy("MTY-000008", "CA");
  GivenShownPolicy();
  EXPECT_TRUE(CanRenew());
  WhenPress("Modificar");
  EXPECT_FALSE(CanRenew()) << "while editing";
  WhenPress("Cancelar");
  EXPECT_FALSE(CanRenew()) << "nothing shown";
  WhenType("txtFolio", "MTY-000008");
  EXPECT_FALSE(CanRenew()) << "a cancelled policy";
  EXPECT_THROW(WhenRenew(), Error);
  EXPECT_EQ(Toolbar().mode, host::ToolbarMode::kIdle);
}

}  // namespace
}  // namespace nv407::testing
