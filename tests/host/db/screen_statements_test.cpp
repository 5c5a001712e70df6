#include <gtest/gtest.h>

#include <vector>

#include "data/statements.h"
#include "db_test_support.h"
#include "screen/layout.h"

namespace nv407::host {
namespace {

using testing::Lines;
using testing::Rows;

// The screen's statements, as it builds them, on the demo database.
class ScreenStatementsTest : public testing::DemoDatabaseTest {
 protected:
  // Saves a new policy as the screen does: the header, then the type's services.
  void SavePolicy(const std::string& folio, const std::string& type) {
    Screen().Execute(statements::InsertPolicyHeader(
        {folio, "2024-03-15", "2024-04-01", "2025-03-31", "MTY", "V001", "C00002",
         "Cliente 'preferente'", "28", "OC-4471", type, "", "Póliza", "ADMIN",
         DateTimeText(SqlDialect::kSqlite, Now())}));
    Screen().Execute(statements::InsertPolicyServices(folio, type));
  }

  Lines Loaded(const std::string& folio) {
    return Rows(Screen(), statements::PolicyByFolio(folio),
                {"Ps_Folio", "Ps_Fecha_Finaliza", "Ps_Dia_Corte", "Ps_Comentario", "Es_Cve_Estado",
                 "Fecha_Alta", "Ts_Cve_Tipo_Servicio", "Ts_Unidad", "Pst_Cantidad_Incluida",
                 "Pst_Cantidad_Utilizada"});
  }
};

TEST_F(ScreenStatementsTest, PolicyIsSavedLoadedResetAndCancelled) {
  // A policy type of its own: an hour-based service ("SI"), an event-based one ("NO"),
  // and one whose unit is NULL.
  Host().Execute(
      "INSERT INTO Tipo_Poliza_Servicio (Tps_Cve_Tipo_Poliza_Servicio, Pr_Cve_Producto, "
      "Tps_Tipo, Tps_Valor, Es_Cve_Estado) VALUES ('PRUEBA', 'POL-SOP-MEN', 3, 6, 'AC')");
  Host().Execute(
      "INSERT INTO Tipo_Poliza_Servicio_Tipo_Servicio VALUES ('PRUEBA', 'SOPREM', 2.5), "
      "('PRUEBA', 'VISITA', 1), ('PRUEBA', 'CAPACIT', 4)");
  SavePolicy("MTY-000001", "PRUEBA");
  const std::string header =
      "MTY-000001|#2025-03-31#|28|Cliente 'preferente'|AC|#2024-03-15 10:30:45#|";
  EXPECT_EQ(Loaded("MTY-000001"), (Lines{header + "CAPACIT|EV|4|0", header + "SOPREM|HR|2.5|0",
                                         header + "VISITA|EV|1|0"}));

  Host().Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = 3, Pst_Evento_Utilizado = "
      "1");
  EXPECT_EQ(Loaded("MTY-000001"), (Lines{header + "CAPACIT|EV|4|1", header + "SOPREM|HR|2.5|3",
                                         header + "VISITA|EV|1|1"}));

  Screen().Execute(statements::ResetServiceCounters("MTY-000001"));
  Screen().Execute(statements::StampCounterReset("CAPTURA", "MTY-000001"));
  Screen().Execute(statements::CancelPolicy("ADMIN", "2024-03-16 09:00:00", "MTY-000001"));
  EXPECT_EQ(Rows(Host(), "SELECT * FROM Poliza_Servicio_Tipo_Servicio",
                 {"Ts_Cve_Tipo_Servicio", "Pst_Tiempo_Utilizado", "Pst_Evento_Utilizado"}),
            (Lines{"CAPACIT|0|0", "SOPREM|0|0", "VISITA|0|0"}));
  EXPECT_EQ(Rows(Host(), "SELECT * FROM Poliza_Servicio",
                 {"Oper_Ult_Modif", "Fecha_Ult_Modif", "Es_Cve_Estado", "Oper_Baja", "Fecha_Baja"}),
            Lines{"CAPTURA|#2024-03-15 10:30:45#|CA|ADMIN|#2024-03-16 09:00:00#"});

  // The left joins give the header of a policy without services (the type has none), and
  // rows that other tools may leave (an unknown service type, a NULL quantity, a unit "si")
  // still read.
  SavePolicy("F1", "ASESOR");
  const std::string f1 = "F1|#2025-03-31#|28|Cliente 'preferente'|AC|#2024-03-15 10:30:45#|";
  EXPECT_EQ(Loaded("F1"), Lines{f1 + "|EV|0|Null"});

  Host().Execute("PRAGMA foreign_keys = OFF");
  Host().Execute("INSERT INTO Tipo_Servicio VALUES ('RARO', 'Servicio raro', 'si')");
  Host().Execute(
      "INSERT INTO Poliza_Servicio_Tipo_Servicio VALUES ('F1', 'SOPREM', NULL, 2.5, 9), "
      "('F1', 'VISITA', 4, 2.5, 9), ('F1', 'RARO', 1, 2.5, 9), ('F1', 'NOEXISTE', 7, 2.5, 9)");
  Host().Execute("PRAGMA foreign_keys = ON");
  EXPECT_EQ(Loaded("F1"), (Lines{f1 + "RARO|EV|1|9", f1 + "SOPREM|HR|0|2.5", f1 + "VISITA|EV|4|9",
                                 f1 + "|EV|7|9"}));
}

// Every statement the screen and the host run finds its rows through a key, so it stays
// fast at millions of policies: no step of any plan scans a table.
TEST_F(ScreenStatementsTest, EveryLookupIsKeyed) {
  std::vector<std::string> queries = {
      statements::PolicyByFolio("F1"),
      statements::PolicyTypeServices("SOPMEN"),
      statements::CancelPolicy("ADMIN", "2024-03-15 10:00:00", "F1"),
      statements::InsertPolicyServices("F1", "SOPMEN"),
      statements::ResetServiceCounters("F1"),
      statements::StampCounterReset("ADMIN", "F1"),
      statements::ProductOfPolicyType("SOPMEN"),
      "SELECT * FROM record_log WHERE table_name = 'POLIZA_SERVICIO' AND record_key = 'F1'",
      "SELECT * FROM additional_field_value WHERE table_name = 'POLIZA_SERVICIO' AND "
      "record_key = 'F1'",
  };
  // The key fields' catalogue look-ups, with a key in place of the '?'.
  for (const ControlLayout& control : frmNV407Layout().controls) {
    std::string sql = control.Setting("sql");
    if (!sql.empty()) queries.push_back(sql.replace(sql.find('?'), 1, "X"));
  }
  ASSERT_EQ(queries.size(), 13u) << "the four key fields' look-ups";
  for (const std::string& query : queries) {
    const Lines plan = Rows(Screen(), "EXPLAIN QUERY PLAN " + query, {"detail"});
    ASSERT_FALSE(plan.empty()) << query;
    for (const std::string& step : plan)
      EXPECT_EQ(step.find("SCAN"), std::string::npos) << query << "\n  " << step;
  }
}

}  // namespace
}  // namespace nv407::host
