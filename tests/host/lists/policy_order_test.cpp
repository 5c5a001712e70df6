#include "host/db/policy_order.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "host/headless/headless_host.h"
#include "host/lists/policy_list.h"
#include "support/operator_actions.h"
#include "support/screen_fixture.h"
#include "support/test_database.h"

namespace nv407::testing {
namespace {

// Every policy as "folio|client's name|use" ("" for no name, no use): as the finder shows
// it, computed from the tables as it reads them; and as policy_order keeps it.
std::vector<std::string> Shown(TestDatabase& db) {
  const host::ListSource list = host::PolicyList(db.db(), PinnedNow().DateOnly(), {});
  std::vector<std::string> rows;
  for (const host::FoundRow& row : host::ReadPage(db.db(), list, {"", {}, {}, 0}))
    rows.push_back(row.front() + "|" + row.at(host::kPolicyClientName) + "|" +
                   row.at(host::kPolicyUsage));
  return rows;
}

std::vector<std::string> Kept(TestDatabase& db) {
  std::vector<std::string> rows;
  auto result =
      db.sql().Execute("SELECT folio, client_name, peak_use FROM policy_order ORDER BY folio");
  for (; !result->Eof(); result->MoveNext()) {
    const Variant use = result->Fields("peak_use").Value();
    rows.push_back(result->Fields("folio").Value().ToText() + "|" +
                   result->Fields("client_name").Value().ToText() + "|" +
                   (use.ToDouble() == -1 ? "" : use.ToText()));
  }
  return rows;
}

PolicyRow Policy(const std::string& folio, const std::string& client,
                 const std::vector<ServiceUse>& services) {
  PolicyRow policy;
  policy.folio = folio;
  policy.client = client;
  policy.services = services;
  return policy;
}

// A change made through plain SQL, as another tool would, or else by `make`.
struct Change {
  const char* what;
  std::string sql;
  std::function<void()> make = {};
};

// Whatever changes the names and the uses, through the screen or through plain SQL as
// another tool would, policy_order keeps exactly what the finder computes.
TEST(PolicyOrder, KeepsWhatTheTablesSayThroughEveryChange) {
  TestDatabase db;
  db.AddPolicy(Policy("MTY-000001", "C00001", {{"SOPREM", 120, 30, 0}, {"VISITA", 4, 0, 1}}));
  db.AddPolicy(Policy("MTY-000002", "C00004", {{"SOPREM", 10, 2, 7}}));
  db.AddPolicy(Policy("GDL-000001", "C00002", {{"VISITA", 12, 5, 3}}));
  TypedPolicy typed;
  typed.branch = "CDMX";
  std::unique_ptr<host::HeadlessHost> screen = MakeHost(db);
  screen->Open();
  std::string saved, edited;
  const auto done = [](const Outcome& outcome) {
    EXPECT_TRUE(outcome.done) << outcome.problem;
    return outcome.folio;
  };

  const Change changes[] = {
      {"a new policy saved on the screen", "",
       [&] { saved = done(SaveNewPolicy(*screen, typed)); }},
      {"an edit, which cancels it and saves it again", "",
       [&] { edited = done(SaveEdit(*screen, saved, "OC-77")); }},
      {"a Baja on the screen", "", [&] { done(CancelPolicy(*screen, "GDL-000001")); }},
      {"a counter reset on the screen", "", [&] { done(ResetCounters(*screen, "MTY-000001")); }},
      {"a counter raised",
       "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = 9 WHERE Ps_Folio = "
       "'MTY-000002' AND Ts_Cve_Tipo_Servicio = 'SOPREM'"},
      {"a client renamed",
       "UPDATE Cliente SET Cl_Razon_Social_1 = 'Almacenes Zaragoza' WHERE Cl_Cve_Cliente = "
       "'C00003'"},
      {"a client deleted", "DELETE FROM Cliente WHERE Cl_Cve_Cliente = 'C00004'"},
      {"the client added again, without a name",
       "INSERT INTO Cliente (Cl_Cve_Cliente) VALUES ('C00004')"},
      {"a service type counted in events from now on",
       "UPDATE Tipo_Servicio SET Ts_Servicio_Hora = 'NO' WHERE Ts_Cve_Tipo_Servicio = 'SOPREM'"},
      {"a service row deleted",
       "DELETE FROM Poliza_Servicio_Tipo_Servicio WHERE Ps_Folio = 'MTY-000001' AND "
       "Ts_Cve_Tipo_Servicio = 'VISITA'"},
      {"a quantity set to nothing",
       "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Cantidad_Incluida = 0 WHERE Ps_Folio = "
       "'MTY-000001'"},
      {"a policy without a service row", "",
       [&] { db.AddPolicy(Policy("QRO-000001", "C00009", {})); }},
      {"a policy moved to another client", "",
       [&] {
         db.Execute("UPDATE Poliza_Servicio SET Cl_Cve_Cliente = 'C00002' WHERE Ps_Folio = " +
                    Quote(edited));
       }},
      {"a policy deleted", "",
       [&] {
         db.Execute("DELETE FROM Poliza_Servicio_Tipo_Servicio WHERE Ps_Folio = 'MTY-000002'");
         db.Execute("DELETE FROM Poliza_Servicio WHERE Ps_Folio = 'MTY-000002'");
       }},
  };
  ASSERT_EQ(Kept(db), Shown(db)) << "at the start";
  for (const Change& change : changes) {
    change.make ? change.make() : db.Execute(change.sql);
    ASSERT_EQ(Kept(db), Shown(db)) << "after " << change.what;
  }
  EXPECT_EQ(Kept(db).size(), 5u);
}

}  // namespace
}  // namespace nv407::testing
