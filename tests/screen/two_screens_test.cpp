#include <functional>
#include <memory>

#include "screen_steps.h"

namespace nv407::testing {
namespace {

// Two operators' screens on one database file, both showing the same live policy. The first
// acts on it; the second, still showing it as it was, then acts on it too.
struct StaleCase {
  const char* name;
  std::function<void(host::HeadlessHost&)> first, second;
  std::string refused;  // the second screen's message: "title|style|error id|text"
};

void Edit(host::HeadlessHost& screen) {
  screen.Press("Modificar");
  screen.Type("txtReferencia", "OC-EDITADA");
  screen.Press("Aceptar");
}
void Cancel(host::HeadlessHost& screen) {
  screen.Press("Baja");
}
void ResetCounters(host::HeadlessHost& screen) {
  screen.dialogs().QueueAnswer(message_answer::kYes);
  screen.Click("cmdInicializa");
}

const std::string kCancelled = Refused("La póliza MTY-000007 ya fue cancelada; cárguela de nuevo");

class TwoScreensTest : public PolicyScreenTest, public ::testing::WithParamInterface<StaleCase> {
 protected:
  TwoScreensTest() : PolicyScreenTest(TestDatabase::Storage::kFile) {}

  void SetUp() override {
    GivenShownPolicy();
    other_session_ = db.OpenAnotherSession();
    other_ = std::make_unique<host::HeadlessHost>(
        *other_session_, host::SessionSettings{kOperatorWithPermissions, db.clock()},
        InProcessComponent());
    other_->Open();
    other_->Type("txtFolio", kFolio);
  }

  std::unique_ptr<host::Database> other_session_;
  std::unique_ptr<host::HeadlessHost> other_;
};

TEST_P(TwoScreensTest, TheStaleScreenIsRefusedAndWritesNothing) {
  GetParam().first(*other_);
  ASSERT_EQ(Column("Es_Cve_Estado", kFolio), "CA");
  const std::vector<std::string> stored = Stored();

  GetParam().second(host());

  EXPECT_EQ(LastMessage(), GetParam().refused);
  EXPECT_EQ(Stored(), stored);
  EXPECT_FALSE(db.db().InTransaction());
  // Loaded again, the policy shows as cancelled and offers nothing that would change it.
  if (host().toolbar().Busy()) WhenPress("Cancelar");
  WhenType("txtFolio", "");
  WhenType("txtFolio", kFolio);
  EXPECT_EQ(Flags(), "loaded - - - -");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TwoScreensTest,
    ::testing::Values(
        StaleCase{"EditAfterAnEdit", Edit,
                  [](host::HeadlessHost& screen) {
                    screen.Press("Modificar");
                    screen.Press("Aceptar");
                  },
                  "Controles_Aceptar()|16|ERR-ID:7500012|" + kCancelled},
        StaleCase{"BajaAfterAnEdit", Edit, Cancel, "Zembrel|16|ERR-ID:7500013|" + kCancelled},
        StaleCase{"ResetAfterABaja", Cancel, ResetCounters,
                  "ERROR|16|ERR-ID:7500001|Operación cancelada debido al siguiente error: \r\n" +
                      kCancelled}),
    kByName);

// Another client of the database, without this host's session, is refused too.
TEST_F(PolicyScreenTest, TheSchemaRefusesEveryChangeToACancelledPolicy) {
  GivenStoredPolicy(kFolio, "CA");
  for (const char* change :
       {"UPDATE Poliza_Servicio SET Es_Cve_Estado = 'CA' WHERE Ps_Folio = 'MTY-000007'",
        "UPDATE Poliza_Servicio SET Oper_Ult_Modif = 'X' WHERE Ps_Folio = 'MTY-000007'",
        "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = 0 "
        "WHERE Ps_Folio = 'MTY-000007'"}) {
    SCOPED_TRACE(change);
    EXPECT_THAT([&] { db.Execute(change); }, ::testing::ThrowsMessage<Error>(kCancelled));
  }
  // A live policy ("ca" is not "CA") still changes.
  GivenStoredPolicy("MTY-000008", "ca");
  db.Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Evento_Utilizado = 2 "
      "WHERE Ps_Folio = 'MTY-000008'");
  db.Execute("UPDATE Poliza_Servicio SET Es_Cve_Estado = 'CA' WHERE Ps_Folio = 'MTY-000008'");
  EXPECT_EQ(Column("Es_Cve_Estado", "MTY-000008"), "CA");
}

}  // namespace
}  // namespace nv407::testing
