#include "host/headless/renewal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "component/error.h"
#include "screen/screen_steps.h"
#include "support/test_backend.h"

namespace nv407::testing {
namespace {

class RenewalTest : public PolicyScreenTest {
 protected:
  using PolicyScreenTest::PolicyScreenTest;
  bool CanRenew() { return host::CanRenew(host().screen()); }
  void WhenRenew() { host::Renew(host().screen(), host().database()); }
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

  // The keys, dates, reference and comment show in the header saved below; here, that their
  // look-ups ran.
  EXPECT_EQ(Toolbar().mode, host::ToolbarMode::kNew);
  EXPECT_EQ(Shown("txtFolio") + "|" + Shown("txt_Sc_Descripcion") + "|" + Shown("txt_Cl_Cliente"),
            "|Monterrey Centro|Hospital San José de Monterrey, A.C.");
  EXPECT_EQ(SortedServices().size(), 4u) << "the type's services, from the type";
  EXPECT_EQ(Stored(), stored);
  EXPECT_THAT(Messages(), IsEmpty());

  WhenPress("Aceptar");
  EXPECT_THAT(Header("MTY-000001"),
              StartsWith("'MTY-000001','2024-03-15','','','2025-03-01','2026-02-28','MTY','V002',"
                         "'C00003','',17,'','SOPANUAL',"));
  EXPECT_EQ(Column("Es_Cve_Estado", kFolio), "AC") << "the renewed policy stays as it was";
}

// The screen computes an end date only from a type's services: renewing to a type that
// includes none says that the end stayed at the start, and saves nothing.
TEST_F(RenewalTest, SaysSoWhenTheTypeIncludesNoServicesToTakeTheEndFrom) {
  GivenShownPolicy();
  db.Execute(
      "DELETE FROM Tipo_Poliza_Servicio_Tipo_Servicio WHERE Tps_Cve_Tipo_Poliza_Servicio = "
      "'SOPANUAL'");
  const std::vector<std::string> stored = Stored();

  try {
    WhenRenew();
    ADD_FAILURE() << "renewed to an end of " << Shown("dp_Ps_Fecha_Fin") << " without a word";
  } catch (const Error& refused) {
    EXPECT_THAT(refused.what(), HasSubstr("SOPANUAL no incluye servicios"));
  }
  EXPECT_EQ(Toolbar().mode, host::ToolbarMode::kNew) << "the capture stays for review";
  EXPECT_EQ(Shown("dp_Ps_Fecha_Fin"), Shown("dp_Ps_Fecha_Inicio"));
  EXPECT_EQ(Stored(), stored);
}

// A client or type withdrawn since the policy was saved is refused as when typed, and the
// renewal names them, the capture left to review; a seller the policy lacked is Aceptar's
// to ask for.
TEST_F(RenewalTest, NamesTheKeysTheCataloguesNoLongerTake) {
  GivenStoredPolicy();
  db.Execute("UPDATE Poliza_Servicio SET Vn_Cve_Vendedor = NULL");
  GivenOpenScreen();
  WhenType("txtFolio", kFolio);
  db.Execute("UPDATE Cliente SET Es_Cve_Estado = 'BA' WHERE Cl_Cve_Cliente = 'C00003'");
  db.Execute(
      "UPDATE Tipo_Poliza_Servicio SET Es_Cve_Estado = 'BA' WHERE "
      "Tps_Cve_Tipo_Poliza_Servicio = 'SOPANUAL'");
  const std::vector<std::string> stored = Stored();
  try {
    WhenRenew();
    ADD_FAILURE() << "renewed with withdrawn keys without a word";
  } catch (const Error& refused) {
    EXPECT_THAT(refused.what(),
                HasSubstr("Renovar: Cliente C00003 inexistente o dada de baja, Tipo póliza "
                          "SOPANUAL inexistente o dada de baja; revise la captura"));
  }
  EXPECT_EQ(Toolbar().mode, host::ToolbarMode::kNew) << "the capture stays for review";
  EXPECT_EQ(Stored(), stored);
}

// A type the catalogue holds but the screen cannot take (a year from the new start passes
// the last year dates reach) is named for what it is, not as withdrawn.
TEST_F(RenewalTest, SaysATypeTheScreenCouldNotTakeExists) {
  GivenStoredPolicy();
  db.Execute("UPDATE Poliza_Servicio SET Ps_Fecha_Finaliza = '9999-06-30'");
  GivenOpenScreen();
  WhenType("txtFolio", kFolio);
  try {
    WhenRenew();
    ADD_FAILURE() << "renewed past the last year";
  } catch (const Error& refused) {
    EXPECT_THAT(refused.what(),
                HasSubstr("Renovar: Tipo póliza SOPANUAL existe, pero no se pudo usar"));
  }
}

// Another program wrote the catalogues and the policy in a file of its own, keys in lower
// case among them, that no operator can type into the screen's upper-casing key fields.
class ForeignKeyRenewalTest : public RenewalTest {
 protected:
  ForeignKeyRenewalTest() : RenewalTest(TestDatabase::Storage::kFile) {}
  void GivenPolicyKeys(const std::string& client, const std::string& type) {
    GivenStoredPolicy();
    db.Execute("UPDATE Poliza_Servicio SET Cl_Cve_Cliente = " + Quote(client) +
               ", Tps_Cve_Tipo_Poliza_Servicio = " + Quote(type));
    GivenOpenScreen();
    WhenType("txtFolio", kFolio);
  }
  std::string Refusal() {
    try {
      WhenRenew();
    } catch (const Error& refused) {
      return refused.what();
    }
    return "renewed as " + Shown("txt_Cl_Cve_Cliente") + " " + Shown("txt_Tps_Cve_Tipo_Poliza");
  }
};

// The field would make the key of another record of them: the renewal carries neither that
// record nor the key, says which it could not carry, and Aceptar then saves nothing for them.
TEST_F(ForeignKeyRenewalTest, RefusesAKeyTheFieldWouldTurnIntoAnother) {
  db.AddClient("c00003", "Clínica Menor de Monterrey");
  db.AddPolicyType("sopanual", "Soporte anual menor", "POL-SOP-ANU", 3, 1, {{"VISITA", 1}});
  GivenPolicyKeys("c00003", "sopanual");
  ASSERT_EQ(Shown("txt_Cl_Cliente"), "Clínica Menor de Monterrey");
  const std::vector<std::string> stored = Stored();

  EXPECT_EQ(Refusal(),
            "Renovar: Cliente c00003 existe, pero no se pudo usar (el campo no la admite tal como "
            "está guardada), Tipo póliza sopanual existe, pero no se pudo usar (el campo no la "
            "admite tal como está guardada); revise la captura antes de Aceptar, o Cancelar");
  EXPECT_EQ(Toolbar().mode, host::ToolbarMode::kNew) << "the capture stays for review";
  EXPECT_EQ(Shown("txt_Sc_Cve_Sucursal") + "|" + Shown("txt_Cl_Cve_Cliente") + "|" +
                Shown("txt_Cl_Cliente") + "|" + Shown("txt_Tps_Cve_Tipo_Poliza") + "|" +
                Shown("txt_Tps_Descripcion"),
            "MTY||||");
  EXPECT_THAT(Services(), IsEmpty()) << "SOPANUAL's services";
  EXPECT_EQ(Stored(), stored);

  WhenPress("Aceptar");
  EXPECT_THAT(LastMessage(), HasSubstr("Debe especificar el cliente"));
  EXPECT_EQ(Stored(), stored);
}

// Held only in lower case, the key is live all the same: the renewal says it could not carry
// it, not that it is gone; one withdrawn is still called so.
TEST_F(ForeignKeyRenewalTest, SaysALowerCaseKeyExistsThoughTheFieldCannotHoldIt) {
  db.AddClient("c00099", "Clínica del Valle");
  db.AddPolicyType("sopmenor", "Soporte menor", "POL-SOP-ANU", 3, 1, {{"VISITA", 1}}, "BA");
  GivenPolicyKeys("c00099", "sopmenor");
  const std::vector<std::string> stored = Stored();

  EXPECT_EQ(Refusal(),
            "Renovar: Cliente c00099 existe, pero no se pudo usar (el campo no la admite tal como "
            "está guardada), Tipo póliza sopmenor inexistente o dada de baja; revise la captura "
            "antes de Aceptar, o Cancelar");
  EXPECT_EQ(Shown("txt_Cl_Cve_Cliente") + "|" + Shown("txt_Tps_Cve_Tipo_Poliza"), "|");
  EXPECT_EQ(Stored(), stored);
}

// Keys that are typed as they are stored, quotes and capital Latin-1 letters in them, are
// carried and saved as they are.
TEST_F(ForeignKeyRenewalTest, CarriesKeysTypedAsTheyAreStored) {
  db.AddClient("O'BRIEN", "O'Brien y Asociados");
  db.AddClient("ÑANDÚ1", "Ñandú Servicios");
  db.AddPolicyType("SOPÁGIL", "Soporte ágil", "POL-SOP-ANU", 3, 1, {{"VISITA", 1}});
  GivenPolicyKeys("O'BRIEN", "SOPÁGIL");
  for (const std::string client : {"O'BRIEN", "ÑANDÚ1"}) {
    SCOPED_TRACE(client);
    db.Execute("UPDATE Poliza_Servicio SET Cl_Cve_Cliente = " + Quote(client) +
               " WHERE Ps_Folio = " + Quote(kFolio));
    WhenType("txtFolio", kFolio);

    WhenRenew();
    EXPECT_EQ(Shown("txt_Cl_Cve_Cliente") + "|" + Shown("txt_Tps_Descripcion"),
              client + "|Soporte ágil");
    WhenPress("Aceptar");
    EXPECT_EQ(db.Scalar("SELECT Cl_Cve_Cliente || '|' || Tps_Cve_Tipo_Poliza_Servicio AS v FROM "
                        "Poliza_Servicio WHERE Ps_Fecha = '2024-03-15' AND Cl_Cve_Cliente = " +
                        Quote(client)),
              client + "|SOPÁGIL");
  }
}

// Another operator's screen, on its own session of the same file, acts on the policy this
// screen still shows as it was loaded.
class StaleRenewalTest : public RenewalTest {
 protected:
  StaleRenewalTest() : RenewalTest(TestDatabase::Storage::kFile) {}
};

// What the screen shows may be stale: the policy is read again, and one replaced, cancelled or
// gone since it was loaded is not renewed from the terms shown; the screen stays as it was.
TEST_F(StaleRenewalTest, RefusesAPolicyNoLongerLiveInTheDatabase) {
  GivenShownPolicy();
  const std::unique_ptr<host::Database> session = db.OpenAnotherSession();
  host::HeadlessHost other(*session, host::SessionSettings{kOperatorWithPermissions, db.clock()},
                           InProcessComponent());
  other.Open();
  other.Type("txtFolio", kFolio);
  other.Press("Modificar");
  other.Type("txt_Vn_Cve_Vendedor", "V001");
  other.Press("Aceptar");
  ASSERT_EQ(Column("Es_Cve_Estado", kFolio), "CA");
  const std::vector<std::string> stored = Stored();

  ASSERT_TRUE(CanRenew()) << "the screen itself cannot tell";
  EXPECT_THAT(
      [&] { WhenRenew(); },
      ::testing::ThrowsMessage<Error>("La póliza MTY-000007 ya fue cancelada; cárguela de nuevo"));
  EXPECT_EQ(Toolbar().mode, host::ToolbarMode::kIdle);
  EXPECT_EQ(Shown("txtFolio") + "|" + Shown("txt_Vn_Cve_Vendedor"), "MTY-000007|V002");
  EXPECT_EQ(Stored(), stored);

  // Gone altogether, by a hand outside the host.
  WhenType("txtFolio", "MTY-000001");
  ASSERT_TRUE(CanRenew());
  for (const char* table : {"Poliza_Servicio_Tipo_Servicio", "Poliza_Servicio"})
    db.Execute(std::string("DELETE FROM ") + table + " WHERE Ps_Folio = 'MTY-000001'");
  EXPECT_THAT([&] { WhenRenew(); },
              ::testing::ThrowsMessage<Error>(HasSubstr("MTY-000001 ya no existe")));
  EXPECT_EQ(Toolbar().mode, host::ToolbarMode::kIdle);
}

// A live policy without an end date is offered Renovar as it is Modificar, and told when it
// chooses it that there is no day to start the renewal after, the screen left as it was.
TEST_F(RenewalTest, SaysAPolicyWithoutAnEndHasNoDayToRenewFrom) {
  GivenStoredPolicy();
  db.Execute("UPDATE Poliza_Servicio SET Ps_Fecha_Finaliza = NULL WHERE Ps_Folio = 'MTY-000007'");
  std::vector<std::string> folios = {kFolio};
  // A file another program wrote may hold an empty text; a server's date column cannot.
  if (TestBackend() == Backend::kSqlite) {
    GivenStoredPolicy("MTY-000008");
    db.Execute("UPDATE Poliza_Servicio SET Ps_Fecha_Finaliza = '' WHERE Ps_Folio = 'MTY-000008'");
    folios.push_back("MTY-000008");
  }
  GivenOpenScreen();
  const std::vector<std::string> stored = Stored();
  for (const std::string& folio : folios) {
    SCOPED_TRACE(folio);
    WhenType("txtFolio", folio);
    ASSERT_TRUE(Toolbar().activeFlag1) << "a live policy, that Modificar changes";
    EXPECT_TRUE(CanRenew());
    EXPECT_THAT([&] { WhenRenew(); },
                ::testing::ThrowsMessage<Error>(HasSubstr("no tiene fecha final")));
    EXPECT_EQ(Toolbar().mode, host::ToolbarMode::kIdle);
    EXPECT_EQ(Shown("txtFolio"), folio);
  }
  EXPECT_EQ(Stored(), stored);
}

TEST_F(RenewalTest, NeedsALivePolicyShownAndTheScreenIdle) {
  GivenStoredPolicy("MTY-000008", "CA");
  GivenShownPolicy();
  EXPECT_TRUE(CanRenew());
  // Ending on the last day a date can be, it has no day to renew from.
  db.Execute(
      "UPDATE Poliza_Servicio SET Ps_Fecha_Finaliza = '9999-12-31' WHERE Ps_Folio = "
      "'MTY-000007'");
  WhenType("txtFolio", "MTY-000008");
  WhenType("txtFolio", kFolio);
  ASSERT_TRUE(CanRenew());
  try {
    WhenRenew();
    ADD_FAILURE() << "renewed from the last day";
  } catch (const Error& refused) {
    EXPECT_THAT(refused.what(), HasSubstr("vence el 31/12/9999"));
  }
  EXPECT_EQ(Toolbar().mode, host::ToolbarMode::kIdle);
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
