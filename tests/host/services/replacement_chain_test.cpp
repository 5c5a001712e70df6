#include "host/services/replacement_chain.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "host/headless/control_factory.h"
#include "host/headless/scripted_dialogs.h"
#include "host/services/reference_host.h"
#include "support/test_database.h"

namespace nv407::testing {
namespace {

struct Statement {
  const char* sql;
  std::optional<std::string> cancels;
};

// Only a statement that sets one policy's state to 'CA' is a cancellation, written in any
// case and spacing; its folio comes back as stored.
TEST(CancelledFolio, IsTheFolioOfAnUpdateThatSetsThePolicyCancelled) {
  const Statement statements[] = {
      {"UPDATE Poliza_Servicio SET    Oper_Baja = 'ADMIN',    Fecha_Baja = '2024-03-15 10:30:00',"
       "    Es_Cve_Estado = 'CA' WHERE Ps_Folio = 'MTY-000007'",
       "MTY-000007"},
      {"  update poliza_servicio set es_cve_estado='CA' where ps_folio='O''K-1'  ", "O'K-1"},
      {"UPDATE Poliza_Servicio\nSET Es_Cve_Estado = 'CA'\nWHERE Ps_Folio = 'GDL-000002'",
       "GDL-000002"},
      {"UPDATE Poliza_Servicio SET Es_Cve_Estado = 'AC' WHERE Ps_Folio = 'MTY-000007'", {}},
      {"UPDATE Poliza_Servicio SET Oper_Ult_Modif = 'CA', Fecha_Ult_Modif = GetDate() "
       "WHERE Ps_Folio = 'MTY-000007'",
       {}},
      {"UPDATE Poliza_Servicio_Tipo_Servicio SET Es_Cve_Estado = 'CA' WHERE Ps_Folio = 'X'", {}},
      {"UPDATE Poliza_Servicio SET Es_Cve_Estado = 'CA' WHERE Cl_Cve_Cliente = 'C00001'", {}},
      {"SELECT 'UPDATE Poliza_Servicio SET Es_Cve_Estado = ''CA'' WHERE Ps_Folio = ''X'''", {}},
  };
  for (const Statement& statement : statements)
    EXPECT_EQ(host::CancelledFolio(statement.sql), statement.cancels) << statement.sql;
}

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
    if (!folio_table.empty()) utility->NextFolio("MTY", folio_table, 10, -1);
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
