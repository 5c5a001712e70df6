#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <utility>
#include <vector>

#include "component/error.h"
#include "db_test_support.h"

namespace nv407::host {
namespace {

using testing::Count;
using testing::DemoDatabaseTest;
using testing::FirstValue;
using testing::TempDir;

// The description of the Error that running sql raises.
std::string Refusal(Connection& connection, const std::string& sql) {
  try {
    connection.Execute(sql);
  } catch (const Error& error) {
    return error.Description();
  }
  ADD_FAILURE() << "no error from: " << sql;
  return {};
}

class ConnectionTest : public DemoDatabaseTest {};

TEST_F(ConnectionTest, ValuesComeBackInTheirKinds) {
  Screen().Execute(
      "INSERT INTO Poliza_Servicio (Ps_Folio, Ps_Fecha, Ps_Fecha_Inicia, Ps_Dia_Corte, "
      "Ps_Comentario, Fecha_Alta, Fecha_Baja) "
      "VALUES ('F1', '2024-03-15', '', 5, NULL, '2024-03-15 08:09:10', GetDate())");
  auto row = Screen().Execute(
      "SELECT Ps_Fecha, Ps_Fecha_Inicia, Ps_Fecha_Finaliza, Ps_Dia_Corte, Ps_Comentario, "
      "Fecha_Alta, Fecha_Baja, 1.5 AS real_number, X'4142' AS bytes, Ps_Fecha AS renamed, "
      "Ps_Folio FROM Poliza_Servicio");
  ASSERT_FALSE(row->Eof());
  const std::vector<std::pair<const char*, Variant>> expected = {
      {"Ps_Fecha", Date::FromYmd(2024, 3, 15)},
      {"Ps_Fecha_Inicia", ""},  // not a date: handed out as stored
      {"Ps_Fecha_Finaliza", Variant::MakeNull()},
      {"Ps_Dia_Corte", 5},
      {"Ps_Comentario", Variant::MakeNull()},
      {"Fecha_Alta", Date::FromYmd(2024, 3, 15, 8, 9, 10)},
      {"Fecha_Baja", Now()},
      {"real_number", 1.5},
      {"bytes", "AB"},
      {"renamed", Date::FromYmd(2024, 3, 15)},  // an alias keeps the column's declared type
      {"Ps_Folio", "F1"},
  };
  for (const auto& [column, value] : expected) {
    EXPECT_EQ(row->Fields(column).Value(), value) << column;
    EXPECT_EQ(row->Fields(column).Value().kind(), value.kind()) << column;
  }
}

TEST_F(ConnectionTest, FieldsAreFoundByNameInAnyCase) {
  auto row = Screen().Execute("SELECT 'a' AS Ps_Folio, 'b' AS second, 'c' AS SECOND");
  for (const char* name : {"Ps_Folio", "ps_folio", "PS_FOLIO", "pS_fOLIO"}) {
    EXPECT_EQ(row->Fields(name).Value(), Variant("a")) << name;
  }
  // Of two columns of one name, the first is the one found.
  EXPECT_EQ(row->Fields("Second").Value(), Variant("b"));
  try {
    row->Fields("Ps_Folioo");
    FAIL() << "no error for an unknown column";
  } catch (const Error& error) {
    EXPECT_NE(error.Description().find("'Ps_Folioo'"), std::string::npos) << error.Description();
  }
}

TEST_F(ConnectionTest, ResultsAreReadForwardToTheirEnd) {
  auto rows = Screen().Execute(
      "SELECT Ts_Cve_Tipo_Servicio FROM Tipo_Poliza_Servicio_Tipo_Servicio "
      "WHERE Tps_Cve_Tipo_Poliza_Servicio = 'SOPANUAL' ORDER BY Ts_Cve_Tipo_Servicio");
  std::vector<std::string> read;
  for (; !rows->Eof(); rows->MoveNext()) {
    read.push_back(rows->Fields("Ts_Cve_Tipo_Servicio").Value().ToText());
  }
  EXPECT_EQ(read.size(), Count(Host(),
                               "Tipo_Poliza_Servicio_Tipo_Servicio WHERE "
                               "Tps_Cve_Tipo_Poliza_Servicio = 'SOPANUAL'"));
  EXPECT_TRUE(std::is_sorted(read.begin(), read.end()));
  EXPECT_THROW(rows->MoveNext(), Error);
  EXPECT_THROW(rows->Fields("Ts_Cve_Tipo_Servicio"), Error);
  rows->Close();
  EXPECT_TRUE(rows->Eof());

  // Statements without a result, and queries without rows, give an empty result.
  EXPECT_TRUE(Screen().Execute("UPDATE Sucursal SET Sc_Descripcion = Sc_Descripcion")->Eof());
  EXPECT_TRUE(Screen().Execute("SELECT * FROM Poliza_Servicio")->Eof());
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
  for (const auto& [sql, message] : refusals) EXPECT_EQ(Refusal(Screen(), sql), message) << sql;
}

TEST_F(ConnectionTest, RunsOneStatementAtATime) {
  const std::string two =
      "INSERT INTO host_parameter VALUES ('A', '1'); "
      "INSERT INTO host_parameter VALUES ('B', '2')";
  EXPECT_NE(Refusal(Screen(), two).find("one statement"), std::string::npos);
  EXPECT_EQ(Count(Host(), "host_parameter WHERE name IN ('A', 'B')"), 0);

  // A closing semicolon or comment is not a second statement.
  Screen().Execute("INSERT INTO host_parameter VALUES ('A', '1'); -- the first one\n");
  EXPECT_EQ(Count(Host(), "host_parameter WHERE name = 'A'"), 1);
}

TEST_F(ConnectionTest, TraceSeesEveryStatementWithItsOriginAsGiven) {
  std::vector<std::pair<SqlOrigin, std::string>> traced;
  database_->SetTrace(
      [&](SqlOrigin origin, const std::string& sql) { traced.emplace_back(origin, sql); });
  const std::string screen_sql = "SELECT IsNull(NULL, 0) AS v";
  const std::string host_sql = "SELECT value FROM host_parameter WHERE name = 'FTO_CLIENTE'";
  const std::string refused_sql = "SELECT * FROM Nada";
  Screen().Execute(screen_sql);
  Host().Execute(host_sql);
  EXPECT_THROW(Screen().Execute(refused_sql), Error);

  const std::vector<std::pair<SqlOrigin, std::string>> expected = {
      {SqlOrigin::kScreen, screen_sql},
      {SqlOrigin::kHost, host_sql},
      {SqlOrigin::kScreen, refused_sql}};
  EXPECT_EQ(traced, expected);
}

Date LocalTime(std::time_t at) {
  std::tm local{};
  localtime_r(&at, &local);
  return Date::FromYmd(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                       local.tm_min, local.tm_sec);
}

TEST(SqliteClock, GetDateWithoutAPinnedClockIsTheLocalTime) {
  auto database = OpenSqliteDatabase(":memory:");
  const Date before = LocalTime(std::time(nullptr));
  const Variant now = FirstValue(database->ForScreen(), "SELECT GetDate() AS now", "now");
  const Date after = LocalTime(std::time(nullptr));
  const auto read = Date::Parse(now.ToText());
  ASSERT_TRUE(read.has_value()) << now.ToText();
  EXPECT_LE(before, *read);
  EXPECT_LE(*read, after);
}

TEST(SqliteOpen, MissingFileIsAnErrorAndIsNotCreated) {
  TempDir dir;
  const std::string path = dir.File("nada.db");
  try {
    OpenSqliteDatabase(path);
    FAIL() << "opened a missing file";
  } catch (const Error& error) {
    EXPECT_EQ(error.Description(), "database file not found: " + path);
  }
  EXPECT_FALSE(std::filesystem::exists(path));

  SqliteOptions create;
  create.create = true;
  OpenSqliteDatabase(path, create);
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_NO_THROW(OpenSqliteDatabase(path));
}

TEST(SqliteDates, TextFormsPerDialect) {
  const Date at = Date::FromYmd(2024, 2, 9, 7, 5, 3);
  EXPECT_EQ(DateText(SqlDialect::kSqlite, at), "2024-02-09");
  EXPECT_EQ(DateTimeText(SqlDialect::kSqlite, at), "2024-02-09 07:05:03");
  EXPECT_EQ(DateText(SqlDialect::kSqlServer, at), "20240209");
  EXPECT_EQ(DateTimeText(SqlDialect::kSqlServer, at), "2024-02-09T07:05:03");
  // Midnight keeps its time: the audit columns always carry one.
  EXPECT_EQ(DateTimeText(SqlDialect::kSqlite, at.DateOnly()), "2024-02-09 00:00:00");
}

}  // namespace
}  // namespace nv407::host
