#include <set>

#include "screen_steps.h"

namespace nv407::testing {
namespace {

// Every statement that opening the screen, loading a policy, resetting its counters,
// editing it, cancelling it and saving a new one sends, the host's included, finds its rows
// through a key: its cost does not grow with the number of policies.
TEST_F(PolicyScreenTest, EveryStatementOfTheCommandsSearchesByKey) {
  GivenStoredPolicy();
  const Trace& trace = db.TraceStatements();
  GivenOpenScreen();
  WhenType("txtFolio", kFolio);
  WhenNextAnswerIs("yes");
  WhenClick("cmdInicializa");
  WhenPress("Modificar");
  WhenType("txtReferencia", "OC-9");
  WhenPress("Aceptar");
  WhenType("txtFolio", "MTY-000001");
  WhenPress("Baja");
  WhenPress("Nuevo");
  WhenTypeEach({"txt_Sc_Cve_Sucursal", "MTY", "txt_Vn_Cve_Vendedor", "V001", "txt_Cl_Cve_Cliente",
                "C00001", "txt_Tps_Cve_Tipo_Poliza", "SOPMEN"});
  WhenChoose("cbCorte", "5");
  WhenPress("Aceptar");
  ASSERT_THAT(Messages(), SizeIs(1));  // the reset's question
  std::set<std::string> statements;
  for (const auto& [origin, text] : trace) statements.insert(text);
  db.db().SetTrace({});
  ASSERT_GT(statements.size(), 20u);

  for (const std::string& statement : statements)
    EXPECT_THAT(db.TableScans(statement), IsEmpty()) << statement;
}

}  // namespace
}  // namespace nv407::testing
