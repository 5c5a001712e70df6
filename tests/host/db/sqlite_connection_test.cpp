#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "db_test_support.h"
#include "host/db/sqlite_dialect.h"

namespace nv407::host {
namespace {

using namespace std::chrono_literals;
using testing::Count;
using testing::Lines;
using testing::Refusal;
using testing::Rows;

class ConnectionTest : public testing::DemoDatabaseTest {};

// Date columns give dates (an alias keeps its column's declared type), a text there that is
// not a date comes back as stored, NULL as Null; fields are found by name in any case, the
// first of two of one name.
TEST_F(ConnectionTest, ValuesComeBackInTheirKindsByNameInAnyCase) {
  Screen().Execute(
      "INSERT INTO Poliza_Servicio (Ps_Folio, Ps_Fecha, Ps_Fecha_Inicia, Ps_Dia_Corte, "
      "Fecha_Alta, Fecha_Baja) VALUES ('F1', '2024-03-15', '', 5, '2024-03-15 08:09:10', "
      "GetDate())");
  Screen().Execute("INSERT INTO Poliza_Servicio (Ps_Folio) VALUES ('F2')");
  EXPECT_EQ(Rows(Screen(),
                 "SELECT Poliza_Servicio.*, Ps_Fecha AS renamed, X'4142' AS bytes, 1.5 AS r, "
                 "'b' AS second, 'c' AS SECOND FROM Poliza_Servicio",
                 {"ps_folio", "PS_FECHA", "Ps_Fecha_INICIA", "Ps_Fecha_Finaliza", "ps_dia_corte",
                  "Ps_Comentario", "fecha_alta", "FECHA_BAJA", "Renamed", "bytes", "R", "Second"}),
            (Lines{"F1|#2024-03-15#||Null|5|Null|#2024-03-15 08:09:10#|#2024-03-15 10:30:45#|"
                   "#2024-03-15#|AB|1.5|b",
                   "F2|Null|Null|Null|Null|Null|Null|Null|Null|AB|1.5|b"}));

  auto row = Screen().Execute("SELECT Ps_Dia_Corte FROM Poliza_Servicio WHERE Ps_Folio = 'F1'");
  EXPECT_EQ(row->Fields("PS_DIA_CORTE").Value().kind(), Variant::Kind::kLong);
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

TEST(IsNullTranslation, RewritesOnlyCallsOfTheFunction) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      // Any letter case, blanks before the parenthesis, nested, after punctuation, at the end.
      {"ISNULL(a,0), isnull \t\n (b,0)", "IfNull(a,0), IfNull \t\n (b,0)"},
      {"x=IsNull(IsNull(a, b), 0)+(IsNull(b,0)) IsNull(",
       "x=IfNull(IfNull(a, b), 0)+(IfNull(b,0)) IfNull("},
      // Literals, quoted names and comments keep their text, doubled quotes included.
      {R"(SELECT 'IsNull(a)', 'it''s IsNull(', "IsNull(", [IsNull(a)], `IsNull(`, IsNull(b,0))",
       R"(SELECT 'IsNull(a)', 'it''s IsNull(', "IsNull(", [IsNull(a)], `IsNull(`, IfNull(b,0))"},
      {"SELECT 'IsNull(", "SELECT 'IsNull("},
      {"-- IsNull( it's\nIsNull(a,0) /* IsNull( */", "-- IsNull( it's\nIfNull(a,0) /* IsNull( */"},
      // Other words and the IS NULL operators are not calls of the function.
      {"SELECT MyIsNull(a), IsNullable(b) WHERE a ISNULL AND b IS NULL",
       "SELECT MyIsNull(a), IsNullable(b) WHERE a ISNULL AND b IS NULL"},
      {"SELECT IsNull", "SELECT IsNull"},
  };
  for (const auto& [sql, expected] : cases) EXPECT_EQ(sqlite::TranslateToSqlite(sql), expected);
}

// Without a pinned clock, GetDate() is the local time; the date texts per dialect keep a
// midnight's time, as the audit columns always carry one.
TEST(SqliteOpen, MissingFileIsAnErrorAndIsNotCreatedAndDatesAreLocalTime) {
  testing::TempDir dir;
  const std::string path = dir.File("nada.db");
  EXPECT_EQ(Refusal([&] { OpenSqliteDatabase(path); }), "database file not found: " + path);
  EXPECT_FALSE(std::filesystem::exists(path));
  OpenSqliteDatabase(path, {.create = true});

  auto database = OpenSqliteDatabase(path);
  auto off = database->ForScreen().Execute(
      "SELECT abs(julianday(GetDate()) - julianday('now', 'localtime')) * 86400 AS d");
  EXPECT_LT(off->Fields("d").Value().ToDouble(), 2.0);

  const Date at = Date::FromYmd(2024, 2, 9, 7, 5, 3);
  EXPECT_EQ(DateText(SqlDialect::kSqlite, at) + " " + DateTimeText(SqlDialect::kSqlite, at) + " " +
                DateText(SqlDialect::kSqlServer, at) + " " +
                DateTimeText(SqlDialect::kSqlServer, at) + " " +
                DateTimeText(SqlDialect::kSqlite, at.DateOnly()),
            "2024-02-09 2024-02-09 07:05:03 20240209 2024-02-09T07:05:03 2024-02-09 00:00:00");
}

class TransactionTest : public testing::DemoDatabaseTest {
 protected:
  // What a save writes: a policy on the screen's connection, a note on the host's.
  static void WritePolicyAndNote(Database& database, const std::string& folio) {
    database.ForScreen().Execute("INSERT INTO Poliza_Servicio (Ps_Folio) VALUES ('" + folio + "')");
    database.ForHost().Execute("INSERT INTO record_log (table_name, record_key, note) VALUES " +
                               ("('Poliza_Servicio', '" + folio + "', 'Alta')"));
  }
  static std::int64_t RowsOf(Database& database, const std::string& folio) {
    return Count(database.ForHost(), "Poliza_Servicio WHERE Ps_Folio = '" + folio + "'") +
           Count(database.ForHost(), "record_log WHERE record_key = '" + folio + "'");
  }
};

TEST_F(TransactionTest, RollbackUndoesScreenAndHostRecords) {
  Screen().BeginTrans();
  WritePolicyAndNote(*database_, "F1");
  EXPECT_EQ(RowsOf(*database_, "F1"), 2);  // seen inside the transaction
  // A refused statement leaves the transaction open for the caller to roll back.
  EXPECT_THROW(Screen().Execute("INSERT INTO Poliza_Servicio (Ps_Folio) VALUES ('F1')"), Error);
  EXPECT_TRUE(database_->InTransaction());
  Screen().RollbackTrans();
  EXPECT_EQ(RowsOf(*database_, "F1"), 0);

  // A folio series moves on by an upsert that returns the new number; the write has ended
  // when Execute returns, so a result left open does not hold up the commit.
  Screen().BeginTrans();
  WritePolicyAndNote(*database_, "F2");
  auto issued = Host().Execute(
      "INSERT INTO folio_series (branch, table_name, last_number) VALUES ('MTY', 'T', 7) "
      "RETURNING last_number AS v");
  Screen().CommitTrans();
  EXPECT_EQ(issued->Fields("V").Value(), Variant(7));
  EXPECT_EQ(RowsOf(*OtherSession(), "F2") + Count(OtherSession()->ForHost(), "folio_series"), 3);

  // The host's own writes are undone unless committed.
  {
    TransactionScope scope(Host());
    WritePolicyAndNote(*database_, "F3");
  }
  EXPECT_FALSE(database_->InTransaction());
  EXPECT_EQ(RowsOf(*database_, "F3"), 0);

  // A session that ends in a transaction, a result still open, leaves nothing behind.
  Screen().BeginTrans();
  WritePolicyAndNote(*database_, "F4");
  auto open_result = Screen().Execute("SELECT Ps_Folio FROM Poliza_Servicio");
  database_.reset();
  open_result.reset();
  EXPECT_EQ(RowsOf(*OtherSession(), "F4"), 0);
}

// Two sessions save at once: the second waits for the first's write lock instead of
// failing, and readers meanwhile see the last committed state without waiting.
TEST_F(TransactionTest, TwoSessionsSavingAtOnceBothSucceed) {
  auto first = OtherSession();
  auto second = OtherSession();
  auto reader = OtherSession(50);
  constexpr auto kHold = 300ms;

  first->ForScreen().BeginTrans();
  WritePolicyAndNote(*first, "F1");
  std::promise<void> started;
  auto saving = std::async(std::launch::async, [&] {
    started.set_value();
    const auto start = std::chrono::steady_clock::now();
    second->ForScreen().BeginTrans();
    const auto waited = std::chrono::steady_clock::now() - start;
    WritePolicyAndNote(*second, "F2");
    second->ForScreen().CommitTrans();
    return waited;
  });
  started.get_future().wait();
  EXPECT_EQ(RowsOf(*reader, "F1"), 0);
  std::this_thread::sleep_for(kHold);
  first->ForScreen().CommitTrans();

  EXPECT_GE(saving.get(), kHold / 2);
  EXPECT_EQ(RowsOf(*reader, "F1") + RowsOf(*reader, "F2"), 4);
}

std::string Contents(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

// polizas-db as built, beside the test programs: each run's exit code and what it says, then
// which files the runs left and what is in them.
TEST(PolizasDbProgram, InitCreatesOnceWithOrWithoutDemoAndRefusesTheRest) {
  testing::TempDir dir;
  const auto path = [&](const std::string& name) { return " '" + dir.File(name) + "'"; };
  const std::string usage = "usage: polizas-db init PATH [--demo]";
  const std::tuple<std::string, int, std::string> runs[] = {
      {"init" + path("empty.db"), 0, ""},
      {"init" + path("demo.db") + " --demo", 0, ""},
      {"init" + path("demo.db"), 1, "already exists"},
      {"", 2, usage},
      {"init", 2, usage},
      {"create" + path("x.db"), 2, usage},
      {"init" + path("x.db") + " --nope", 2, usage},
      {"init" + path("x.db") + path("y.db"), 2, usage},
      {"init" + path("no/such/dir.db") + " --demo", 1, "cannot create"},
  };
  const auto program = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "polizas-db";
  const std::string output = dir.File("output.txt");
  std::string demo_before;
  for (const auto& [arguments, exit_code, says] : runs) {
    if (exit_code == 1 && demo_before.empty()) demo_before = Contents(dir.File("demo.db"));
    const int status =
        std::system((program.string() + " " + arguments + " >'" + output + "' 2>&1").c_str());
    const std::string said = Contents(output);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, exit_code) << arguments;
    EXPECT_NE(said.find(says), std::string::npos) << arguments << "\n" << said;
  }
  std::filesystem::remove(output);
  EXPECT_EQ(Contents(dir.File("demo.db")), demo_before) << "never overwritten";
  testing::Lines files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.File("")))
    files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (testing::Lines{"demo.db", "empty.db"}));
  EXPECT_EQ(testing::Count(OpenSqliteDatabase(dir.File("empty.db"))->ForHost(), "Sucursal"), 0);
  EXPECT_GT(testing::Count(OpenSqliteDatabase(dir.File("demo.db"))->ForHost(), "Sucursal"), 0);
}

}  // namespace
}  // namespace nv407::host
