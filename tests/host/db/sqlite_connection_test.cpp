#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <utility>
#include <vector>

#include "component/error.h"
#include "db_test_support.h"

namespace nv407::host {
namespace {

using testing::Count;
using testing::DemoDatabaseTest;
using testing::Rows;
using testing::TempDir;

// The description of the Error that running sql raises.
std::string Refusal(const std::function<void()>& run) {
  try {
    run();
  } catch (const Error& error) {
    return error.Description();
  }
  return "no error";
}

class ConnectionTest : public DemoDatabaseTest {};

// Date columns give dates (an alias keeps its column's declared type), a text there that is
// not a date comes back as stored, NULL as Null; fields are found by name in any case.
TEST_F(ConnectionTest, ValuesComeBackInTheirKindsByNameInAnyCase) {
  Screen().Execute(
      "INSERT INTO Poliza_Servicio (Ps_Folio, Ps_Fecha, Ps_Fecha_Inicia, Ps_Dia_Corte, "
      "Fecha_Alta, Fecha_Baja) VALUES ('F1', '2024-03-15', '', 5, '2024-03-15 08:09:10', "
      "GetDate())");
  Screen().Execute("INSERT INTO Poliza_Servicio (Ps_Folio) VALUES ('F2')");
  EXPECT_EQ(Rows(Screen(),
                 "SELECT Poliza_Servicio.*, Ps_Fecha AS renamed, X'4142' AS bytes "
                 "FROM Poliza_Servicio",
                 {"ps_folio", "PS_FECHA", "Ps_Fecha_INICIA", "Ps_Fecha_Finaliza", "ps_dia_corte",
                  "Ps_Comentario", "fecha_alta", "FECHA_BAJA", "Renamed", "bytes"}),
            (std::vector<std::string>{
                "F1|#2024-03-15#||Null|5|Null|#2024-03-15 08:09:10#|#2024-03-15 10:30:45#|"
                "#2024-03-15#|AB",
                "F2|Null|Null|Null|Null|Null|Null|Null|Null|AB"}));

  auto row = Screen().Execute(
      "SELECT Ps_Dia_Corte, 1.5 AS r, 'b' AS second, 'c' AS SECOND FROM Poliza_Servicio "
      "WHERE Ps_Folio = 'F1'");
  EXPECT_EQ(row->Fields("PS_DIA_CORTE").Value().kind(), Variant::Kind::kLong);
  EXPECT_EQ(row->Fields("r").Value(), Variant(1.5));
  EXPECT_EQ(row->Fields("Second").Value(), Variant("b")) << "of two, the first column wins";
  EXPECT_THROW(row->Fields("Ps_Folioo"), Error);
  row->MoveNext();
  EXPECT_TRUE(row->Eof());
  EXPECT_THROW(row->MoveNext(), Error);
  EXPECT_THROW(row->Fields("Ps_Dia_Corte"), Error);
  EXPECT_TRUE(Screen().Execute("UPDATE Sucursal SET Sc_Descripcion = Sc_Descripcion")->Eof());
}

TEST_F(ConnectionTest, RefusedStatementsCarrySqlitesOwnMessage) {
  const std::vector<std::pair<std::string, std::string>> refusals = {
      {"SELECT * FROM Poliza", "no such table: Poliza"},
      {"SELECT Ps_Nada FROM Poliza_Servicio", "no such column: Ps_Nada"},
      {"SELEC 1", "near \"SELEC\": syntax error"},
      {"INSERT INTO Sucursal (Sc_Cve_Sucursal) VALUES ('MTY')",
       "UNIQUE constraint failed: Sucursal.Sc_Cve_Sucursal"},
      {"INSERT INTO Poliza_Servicio_Tipo_Servicio VALUES ('NOEXISTE', 'SOPREM', 1, 0, 0)",
       "FOREIGN KEY constraint failed"},
      {"INSERT INTO Poliza_Servicio (Ps_Folio, Es_Cve_Estado) VALUES ('F1', NULL)",
       "NOT NULL constraint failed: Poliza_Servicio.Es_Cve_Estado"},
  };
  for (const auto& [sql, message] : refusals)
    EXPECT_EQ(Refusal([&] { Screen().Execute(sql); }), message) << sql;

  // A second statement is refused before the first runs; a closing semicolon or comment
  // is not a second statement.
  const std::string two = "INSERT INTO host_parameter VALUES ('A', '1'); SELECT 1";
  EXPECT_NE(Refusal([&] { Screen().Execute(two); }).find("one statement"), std::string::npos);
  EXPECT_EQ(Count(Host(), "host_parameter WHERE name = 'A'"), 0);
  Screen().Execute("INSERT INTO host_parameter VALUES ('A', '1'); -- the first one\n");
  EXPECT_EQ(Count(Host(), "host_parameter WHERE name = 'A'"), 1);
}

Date LocalTime(std::time_t at) {
  std::tm local{};
  localtime_r(&at, &local);
  return Date::FromYmd(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                       local.tm_min, local.tm_sec);
}

TEST(SqliteOpen, MissingFileIsAnErrorAndIsNotCreatedAndGetDateIsLocalTime) {
  TempDir dir;
  const std::string path = dir.File("nada.db");
  EXPECT_EQ(Refusal([&] { OpenSqliteDatabase(path); }), "database file not found: " + path);
  EXPECT_FALSE(std::filesystem::exists(path));
  OpenSqliteDatabase(path, {.create = true});

  // Without a pinned clock, GetDate() is the local time.
  auto database = OpenSqliteDatabase(path);
  const Date before = LocalTime(std::time(nullptr));
  const auto now = Date::Parse(Rows(database->ForScreen(), "SELECT GetDate() AS n", {"n"})[0]);
  const Date after = LocalTime(std::time(nullptr));
  ASSERT_TRUE(now.has_value());
  EXPECT_LE(before, *now);
  EXPECT_LE(*now, after);
}

TEST(SqliteDates, TextFormsPerDialect) {
  const Date at = Date::FromYmd(2024, 2, 9, 7, 5, 3);
  EXPECT_EQ(DateText(SqlDialect::kSqlite, at) + " " + DateTimeText(SqlDialect::kSqlite, at) + " " +
                DateText(SqlDialect::kSqlServer, at) + " " +
                DateTimeText(SqlDialect::kSqlServer, at),
            "2024-02-09 2024-02-09 07:05:03 20240209 2024-02-09T07:05:03");
  // Midnight keeps its time: the audit columns always carry one.
  EXPECT_EQ(DateTimeText(SqlDialect::kSqlite, at.DateOnly()), "2024-02-09 00:00:00");
}

}  // namespace
}  // namespace nv407::host
