#include "host/db/literal_lifter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nv407::host {
namespace {

// A lifted statement as "shape | value, value" (texts quoted), or "as written".
std::string Lifted(const std::string& sql) {
  const auto lifted = LiftLiterals(sql);
  if (!lifted) return "as written";
  std::string shown = lifted->shape + " |";
  for (const LiftedValue& value : lifted->values) {
    shown += ' ';
    if (const auto* text = std::get_if<std::string>(&value)) {
      shown += '\'';
      shown += *text;
      shown += '\'';
    } else {
      shown += std::to_string(std::get<std::int64_t>(value));
    }
  }
  return shown;
}

TEST(LiteralLifter, LiftsTheValuesAndLeavesWhatNamesOrPlacesColumns) {
  const std::pair<std::string, std::string> cases[] = {
      // The screen's kinds of statement: values in conditions, inserts and updates.
      {"SELECT Poliza_Servicio.*, IsNull(Pst_Cantidad_Incluida, 0) as Pst_Cantidad_Incluida "
       "FROM Poliza_Servicio WHERE Poliza_Servicio.Ps_Folio = 'MTY-000001' ",
       "SELECT Poliza_Servicio.*, IsNull(Pst_Cantidad_Incluida, 0) as Pst_Cantidad_Incluida "
       "FROM Poliza_Servicio WHERE Poliza_Servicio.Ps_Folio = ?  | 'MTY-000001'"},
      {"INSERT INTO T SELECT 'O''Brien', Ts, 0, 0 FROM U WHERE K = 'A'",
       "INSERT INTO T SELECT ?, Ts, ?, ? FROM U WHERE K = ? | 'O'Brien' 0 0 'A'"},
      {"UPDATE P SET Oper = 'ADMIN', Fecha = GetDate() WHERE F = 'X' AND N <> -12",
       "UPDATE P SET Oper = ?, Fecha = GetDate() WHERE F = ? AND N <> -? | 'ADMIN' 'X' 12"},
      // Result columns, aliases and positions stay; a subquery's condition is lifted.
      {"SELECT 'HR' AS u, 1 FROM T WHERE a IN (SELECT 'x' FROM U WHERE b = 'y') ORDER BY 2, 1 "
       "LIMIT 5",
       "SELECT 'HR' AS u, 1 FROM T WHERE a IN (SELECT 'x' FROM U WHERE b = ?) ORDER BY 2, 1 "
       "LIMIT ? | 'y' 5"},
      {"SELECT a FROM T GROUP BY 1 HAVING count(*) > 3",
       "SELECT a FROM T GROUP BY 1 HAVING count(*) > ? | 3"},
      {"INSERT INTO S (b) VALUES ('MTY') ON CONFLICT (b) DO UPDATE SET n = n + 1 WHERE n < 999 "
       "RETURNING n AS v, 'z'",
       "INSERT INTO S (b) VALUES (?) ON CONFLICT (b) DO UPDATE SET n = n + ? WHERE n < ? "
       "RETURNING n AS v, 'z' | 'MTY' 1 999"},
      // An operator's FROM and a column named "window" end no list of columns or positions.
      {"SELECT a IS NOT DISTINCT FROM 1, 'k' FROM T GROUP BY c IS DISTINCT FROM NULL, 1 "
       "ORDER BY window, 2",
       "as written"},
      {"SELECT window, 'x' FROM T WHERE window = 'y'",
       "SELECT window, 'x' FROM T WHERE window = ? | 'y'"},
      // Numbers that are not plain whole numbers, blobs, quoted names and comments stay.
      {"SELECT * FROM \"t'x\" WHERE a = 1.5 AND b = 1e3 AND c = 0x1F AND d = X'00' -- 'c'\n"
       "AND e = 99999999999999999999 AND f = /* 'g' */ 'h'",
       "SELECT * FROM \"t'x\" WHERE a = 1.5 AND b = 1e3 AND c = 0x1F AND d = X'00' -- 'c'\n"
       "AND e = 99999999999999999999 AND f = /* 'g' */ ? | 'h'"},
      // A digit right after a text is kept apart from its "?", as the quote kept it.
      {"SELECT a FROM T WHERE b = 'V002'1AND c = 'x'",
       "SELECT a FROM T WHERE b = ? 1AND c = ? | 'V002' 'x'"},
      // Statements to run as written.
      {"PRAGMA journal_mode=WAL", "as written"},
      {"CREATE TABLE t (a TEXT DEFAULT 'x')", "as written"},
      {"EXPLAIN QUERY PLAN SELECT * FROM t WHERE a = 'x'", "as written"},
      {"SELECT * FROM t WHERE a = ?", "as written"},
      {"SELECT * FROM t WHERE a = :name AND b = 'x'", "as written"},
      {"SELECT * FROM t WHERE a = 'x' AND#b = 1", "as written"},
      {"SELECT 'only a result' AS v", "as written"},
      {"SELECT * FROM t WHERE a = 'never closed", "as written"},
  };
  for (const auto& [sql, expected] : cases) EXPECT_EQ(Lifted(sql), expected) << sql;
}

}  // namespace
}  // namespace nv407::host
