#include "host/services/replacement_chain.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/headless/control_factory.h"
#include "host/headless/scripted_dialogs.h"
#include "host/services/reference_host.h"
#include "support/test_database.h"

namespace nv407::testing {
namespace {

TEST(ChainNote, ReadsBackTheFolioOfEitherNote) {
  const auto successor = host::ReadChainNote(host::ReplacedByNote("MTY-000012"));
  ASSERT_TRUE(successor);
  EXPECT_EQ(successor->points, host::ChainNote::Points::kToSuccessor);
  EXPECT_EQ(successor->folio, "MTY-000012");
  const auto predecessor = host::ReadChainNote(host::ReplacesNote("GDL-000003"));
  ASSERT_TRUE(predecessor);
  EXPECT_EQ(predecessor->points, host::ChainNote::Points::kToPredecessor);
  EXPECT_EQ(predecessor->folio, "GDL-000003");
  for (const char* other : {"Baja", "Sustituida por ", "sustituye a MTY-000001", ""})
    EXPECT_FALSE(host::ReadChainNote(other)) << other;
}

// The chain through the services alone, as any screen would use them: the notes need a
// cancellation and a policy folio in one transaction that commits.
class ChainTransactionTest : public ::testing::Test {
 protected:
  ChainTransactionTest() {
    PolicyRow policy;
    for (const char* folio : {"GDL-000001", "GDL-000002", "GDL-000003"})
      db.AddPolicy((policy.folio = folio, policy));
  }
  // Cancels the policy (none: no cancellation) and has a folio of the table issued (none:
  // no folio), then commits or rolls back.
  void Transaction(const std::string& cancelled, const std::string& folio_table, bool commit) {
    Connection& connection = app->GetConnection();
    connection.BeginTrans();
    if (!cancelled.empty())
      connection.Execute("UPDATE Poliza_Servicio SET Es_Cve_Estado = 'CA' WHERE Ps_Folio = '" +
                         cancelled + "'");
    if (!folio_table.empty()) {
      const std::string issued = utility->NextFolio("MTY", folio_table, 10, -1).ToText();
      // A new policy is stored under its folio before the transaction ends.
      PolicyRow policy;
      if (folio_table == "POLIZA_SERVICIO") db.AddPolicy((policy.folio = issued, policy));
    }
    commit ? connection.CommitTrans() : connection.RollbackTrans();
  }
  std::string Notes() {
    return db.Joined("SELECT record_key || ': ' || note AS v FROM record_log ORDER BY id", "; ");
  }

  TestDatabase db;
  host::ScriptedDialogs dialogs;
  host::HeadlessControlFactory factory{db.db(), dialogs};
  host::ReferenceHost library{db.db(), dialogs, factory, {kOperatorWithPermissions, db.clock()}};
  std::unique_ptr<AppServices> app = library.CreateAppServices();
  std::unique_ptr<UtilityServices> utility = library.CreateUtilityServices();
};

TEST_F(ChainTransactionTest, OnlyACommittedCancellationWithANewPolicyFolioIsAChain) {
  Transaction("GDL-000001", "Poliza_Servicio", false);  // rolled back
  Transaction("GDL-000001", "Otra_Tabla", true);        // a folio of another table
  Transaction("", "Poliza_Servicio", true);             // a new policy alone: MTY-000001
  Transaction("GDL-000002", "", true);                  // a cancellation alone
  EXPECT_EQ(Notes(), "");

  Transaction("GDL-000003", "POLIZA_SERVICIO", true);
  EXPECT_EQ(Notes(), "GDL-000003: Sustituida por MTY-000002; MTY-000002: Sustituye a GDL-000003");
}

}  // namespace
}  // namespace nv407::testing
