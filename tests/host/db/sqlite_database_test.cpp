#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "component/database.h"
#include "component/date.h"
#include "component/error.h"
#include "data/statements.h"
#include "host/db/access.h"
#include "host/db/database.h"
#include "host/db/sqlite_dialect.h"
#include "host/db/sqlite_handles.h"
#include "host/db/sqlite_location.h"
#include "host/db/sqlite_rebuild.h"
#include "host/db/sqlite_schema.h"
#include "tests/support/kept_orders.h"
#include "tests/support/result_text.h"

namespace nv407::host {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::StartsWith;

using testing::ChangeUsesAndNames;
using testing::Column;
using testing::Count;
using testing::FileText;
using testing::Lines;
using testing::PoliciesKeptAsComputed;
using testing::Refusal;
using testing::RefusalOf;
using testing::Rows;

// A fresh directory per test, removed with everything in it afterwards.
struct TempDir {
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "polizas-db-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary directory");
    path = pattern;
  }
  ~TempDir() { std::filesystem::remove_all(path); }
  std::string File(const std::string& name) const { return (path / name).string(); }
  std::filesystem::path path;
};

// polizas-db as built, beside the test programs.
std::string PolizasDb() {
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "polizas-db").string();
}
// What polizas-db upgrade of the file at `path` says: "EXIT OUTPUT".
std::string Upgrade(const TempDir& dir, const std::string& path) {
  return testing::RunCommand(PolizasDb() + " upgrade '" + path + "'", dir.File("output"));
}
// Drops the finder's kept orders and the triggers that keep them, as files made before had none.
void DropKeptOrders(Connection& sql) {
  for (const std::string& trigger : Column(sql,
                                           "SELECT name AS v FROM sqlite_master WHERE type = "
                                           "'trigger' AND name LIKE 'policy_order%'"))
    sql.Execute("DROP TRIGGER " + trigger);
  sql.Execute("DROP TABLE policy_order");
}

// A database file in a temporary directory with the schema, the demo data and a pinned
// clock, as the host opens it; the screen's statements are run as it builds them.
class DatabaseTest : public ::testing::Test {
 protected:
  static Date Now() { return Date::FromYmd(2024, 3, 15, 10, 30, 45); }

  void SetUp() override {
    database_ = OpenSqliteDatabase(dir_.File("polizas.db"),
                                   {.create = true, .clock = [] { return Now(); }});
    TransactionScope transaction(Host());
    CreateSchema(Host(), SqlDialect::kSqlite);
    LoadDemoData(Host());
    transaction.Commit();
  }
  // A second, independent session on the same file, as another process would have.
  std::unique_ptr<Database> OtherSession(int busy_timeout_ms = 30000) {
    return OpenSqliteDatabase(dir_.File("polizas.db"), {.busy_timeout_ms = busy_timeout_ms});
  }

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
  Connection& Screen() { return database_->ForScreen(); }
  Connection& Host() { return database_->ForHost(); }

  TempDir dir_;
  std::unique_ptr<Database> database_;
};

// Date columns give dates (an alias keeps its column's declared type), a text there that is
// not a date comes back as stored, NULL as Null; fields are found by name in any case, the
// first of two of one name.
TEST_F(DatabaseTest, ValuesComeBackInTheirKindsByNameInAnyCase) {
  Screen().Execute(
      "INSERT INTO Poliza_Servicio (Ps_Folio, Ps_Fecha, Ps_Fecha_Inicia, Ps_Dia_Corte, "
      "Fecha_Alta, Fecha_Baja) VALUES ('F1', '2024-03-15', '', 5, '2024-03-15 08:09:10', "
      "GetDate())");
  Screen().Execute("INSERT INTO Poliza_Servicio (Ps_Folio) VALUES ('F2')");
  EXPECT_EQ(Rows(Screen(),
                 "SELECT Poliza_Servicio.*, Ps_Fecha AS renamed, X'4142' AS bytes, 1.5 AS r, "
                 "'b' AS second, 'c' AS SECOND FROM Poliza_Servicio ORDER BY Ps_Folio",
                 {"ps_folio", "PS_FECHA", "Ps_Fecha_INICIA", "Ps_Fecha_Finaliza", "ps_dia_corte",
                  "Ps_Comentario", "fecha_alta", "FECHA_BAJA", "Renamed", "bytes", "R", "Second"}),
            (Lines{"'F1'|#2024-03-15#|''|Null|n:5|Null|#2024-03-15 08:09:10#|#2024-03-15 10:30:45#|"
                   "#2024-03-15#|'AB'|d:1.5|'b'",
                   "'F2'|Null|Null|Null|Null|Null|Null|Null|Null|'AB'|d:1.5|'b'"}));

  auto row = Screen().Execute("SELECT Ps_Dia_Corte FROM Poliza_Servicio WHERE Ps_Folio = 'F1'");
  EXPECT_THROW(row->Fields("Ps_Folioo"), Error);
  row->MoveNext();
  EXPECT_TRUE(row->Eof());
  EXPECT_THROW(row->MoveNext(), Error);
  EXPECT_THROW(row->Fields("Ps_Dia_Corte"), Error);
  EXPECT_TRUE(Screen().Execute("UPDATE Sucursal SET Sc_Descripcion = Sc_Descripcion")->Eof());
}

TEST_F(DatabaseTest, RefusedStatementsCarrySqlitesOwnMessage) {
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
  for (const auto& [sql, message] : refusals) EXPECT_EQ(RefusalOf(Screen(), sql), message) << sql;

  // A second statement is refused before the first runs; a closing semicolon or comment
  // is not a second statement.
  const std::string two = "INSERT INTO host_parameter VALUES ('A', '1'); SELECT 1";
  EXPECT_NE(RefusalOf(Screen(), two).find("one statement"), std::string::npos);
  EXPECT_EQ(Count(Host(), "host_parameter WHERE name = 'A'"), 0);
  Screen().Execute("INSERT INTO host_parameter VALUES ('A', '1'); -- the first one\n");
  EXPECT_EQ(Count(Host(), "host_parameter WHERE name = 'A'"), 1);
}

// Once the host names the session's operator, one who may not date policies (CAPTURA, without
// CHFECHA) writes a new policy dated the session clock's day, or as an edit does: dated as a
// policy its transaction cancelled, one new policy per cancellation. Before, the statements
// are taken as written (the database's own tools, the demo's dated policies).
TEST_F(DatabaseTest, ANewPolicyOfAnotherDayIsAnEditsOrItsOperatorMayDateIt) {
  const auto insert = [&](const std::string& folio, const std::string& date) {
    Screen().Execute("INSERT INTO Poliza_Servicio (Ps_Folio, Ps_Fecha, Sc_Cve_Sucursal) VALUES ('" +
                     folio + "', '" + date + "', 'MTY')");
  };
  const auto cancel = [&](const std::string& folio) {
    Screen().Execute("UPDATE Poliza_Servicio SET Es_Cve_Estado = 'CA' WHERE Ps_Folio = '" + folio +
                     "'");
  };
  const auto refused = [](const std::string& folio) {
    return PolicyDateRefusal("CAPTURA", folio, "2024-03-15");
  };
  for (const char* folio : {"OLD-1", "OLD-2", "OLD-3"}) insert(folio, "2024-02-20");
  database_->WorkFor("CAPTURA");

  insert("X-1", "2024-03-15");
  EXPECT_EQ(Refusal([&] { insert("X-2", "2024-03-14"); }), refused("X-2"));
  {
    TransactionScope edit(Screen());
    cancel("OLD-1");
    EXPECT_EQ(Refusal([&] { insert("X-3", "2024-02-21"); }), refused("X-3"));
    insert("X-3", "2024-02-20");
    EXPECT_EQ(Refusal([&] { insert("X-4", "2024-02-20"); }), refused("X-4"));
    edit.Commit();
  }
  // A Baja's date serves no later transaction; a rolled-back cancellation leaves none.
  cancel("OLD-2");
  EXPECT_EQ(Refusal([&] { insert("X-5", "2024-02-20"); }), refused("X-5"));
  {
    TransactionScope abandoned(Screen());
    cancel("OLD-3");
  }
  EXPECT_EQ(Refusal([&] { insert("X-6", "2024-02-20"); }), refused("X-6"));

  database_->WorkFor("ADMIN");
  insert("X-7", "2024-03-14");
  EXPECT_EQ(Column(Host(),
                   "SELECT Ps_Folio AS v FROM Poliza_Servicio WHERE Ps_Folio LIKE 'X-%' "
                   "ORDER BY Ps_Folio"),
            (Lines{"X-1", "X-3", "X-7"}));
}

// Likewise the used counters: once the host names the session's operator, one without INISERV
// changes none and gives a new service row none, also after losing the permission while the
// session is open (another program revoked it); the rest of a service row it may write.
TEST_F(DatabaseTest, UsedCountersChangeOnlyForAnOperatorHoldingIniserv) {
  const auto services = [&] {
    return Column(Host(),
                  "SELECT Ts_Cve_Tipo_Servicio || ' ' || Pst_Cantidad_Incluida || '/' || "
                  "Pst_Tiempo_Utilizado || '/' || Pst_Evento_Utilizado AS v FROM "
                  "Poliza_Servicio_Tipo_Servicio ORDER BY 1");
  };
  const std::string used = "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = ";
  Screen().Execute("INSERT INTO Poliza_Servicio (Ps_Folio) VALUES ('P-1')");
  Screen().Execute(
      "INSERT INTO Poliza_Servicio_Tipo_Servicio VALUES ('P-1', 'SOPREM', 10, 2.5, 0)");
  Host().Execute("INSERT INTO operator_permission VALUES ('CAPTURA', 'NV407', 'INISERV')");
  database_->WorkFor("CAPTURA");
  Screen().Execute(used + "3.5");

  OtherSession()->ForHost().Execute(
      "DELETE FROM operator_permission WHERE user_code = 'CAPTURA' AND permission_key = "
      "'INISERV'");
  const std::string refused = CounterChangeRefusal("CAPTURA", "P-1");
  EXPECT_EQ(RefusalOf(Screen(), used + "0, Pst_Evento_Utilizado = 0"), refused);
  EXPECT_EQ(RefusalOf(Screen(), used + "NULL"), refused);
  EXPECT_EQ(
      RefusalOf(Screen(),
                "INSERT INTO Poliza_Servicio_Tipo_Servicio VALUES ('P-1', 'VISITA', 1, 0, 1)"),
      refused);
  Screen().Execute("INSERT INTO Poliza_Servicio_Tipo_Servicio VALUES ('P-1', 'VISITA', 1, 0, 0)");
  Screen().Execute(used +
                   "Pst_Tiempo_Utilizado, Pst_Cantidad_Incluida = 20 WHERE Ts_Cve_Tipo_Servicio "
                   "= 'SOPREM'");
  EXPECT_EQ(services(), (Lines{"SOPREM 20.0/3.5/0.0", "VISITA 1.0/0.0/0.0"}));

  database_->WorkFor("ADMIN");
  Screen().Execute(used + "0");
  EXPECT_EQ(services(), (Lines{"SOPREM 20.0/0.0/0.0", "VISITA 1.0/0.0/0.0"}));
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

// Without a pinned clock, GetDate() is the local time.
TEST(SqliteOpen, MissingEmptyAndForeignFilesAreRefusedUntouchedAndDatesAreLocalTime) {
  TempDir dir;
  const std::string path = dir.File("nada.db");
  EXPECT_EQ(Refusal([&] { OpenSqliteDatabase(path); }), "database file not found: " + path);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(Refusal([&] { OpenSqliteDatabase(""); }), "no database file was named");

  // An empty file is refused before anything is written to it.
  std::ofstream{path};
  EXPECT_EQ(Refusal([&] { OpenSqliteDatabase(path); }),
            path +
                " holds no tables (an init or a backup stopped before it ended leaves such a "
                "file): remove it, with its -wal and -shm files if there, and make the "
                "database with polizas-db init");
  EXPECT_EQ(std::filesystem::file_size(path), 0u);

  // So is another program's database, left as it was: its journal mode, its tables.
  std::filesystem::remove(path);
  {
    auto other = OpenSqliteDatabase(path, {.create = true});
    other->ForHost().Execute("PRAGMA journal_mode=DELETE");
    other->ForHost().Execute("CREATE TABLE operator (user_code TEXT PRIMARY KEY)");
  }
  EXPECT_EQ(Refusal([&] { OpenSqliteDatabase(path); }),
            path +
                " is another program's database (it has no Poliza_Servicio table): make a "
                "policies database with polizas-db init");
  {
    auto other = std::make_shared<sqlite::DbHandle>(path, SQLITE_OPEN_READONLY);
    sqlite::Statement mode(other, "PRAGMA journal_mode");
    ASSERT_TRUE(mode.Step());
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(mode.get(), 0)), "delete");
    sqlite::Statement columns(other, "SELECT count(*) FROM pragma_table_info('operator')");
    ASSERT_TRUE(columns.Step());
    EXPECT_EQ(sqlite3_column_int(columns.get(), 0), 1) << "not upgraded";
  }
  std::filesystem::remove(path);

  auto database = OpenSqliteDatabase(path, {.create = true});
  auto off = database->ForScreen().Execute(
      "SELECT abs(julianday(GetDate()) - julianday('now', 'localtime')) * 86400 AS d");
  EXPECT_LT(off->Fields("d").Value().ToDouble(), 2.0);
}

TEST_F(DatabaseTest, RollbackUndoesScreenAndHostRecords) {
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

// A file replaced while a program has it open (a copy restored over it) or removed takes
// none of that program's commands: what they wrote would go to the old file, lost to
// everyone, and its log would be taken for the new file's; what they read would be the old
// file's rows. A look-up asks from time to time, a save as it begins.
TEST_F(DatabaseTest, AFileReplacedOrRemovedWhileOpenTakesNoCommand) {
  const std::string path = dir_.File("polizas.db");
  const std::string moved = " was removed or replaced after this program opened it";
  std::filesystem::copy_file(path, dir_.File("respaldo.db"));
  std::filesystem::rename(dir_.File("respaldo.db"), path);
  EXPECT_THAT(Refusal([&] { Screen().BeginTrans(); }), HasSubstr(path + moved));
  EXPECT_FALSE(database_->InTransaction());
  std::this_thread::sleep_for(sqlite::kMovedFileCheckInterval + 20ms);
  EXPECT_THAT(Refusal([&] { Count(Screen(), "Sucursal"); }), HasSubstr(path + moved));
  EXPECT_THAT(Refusal([&] { database_->HostQuery("SELECT Sc_Cve_Sucursal FROM Sucursal", {}); }),
              HasSubstr(path + moved));

  auto reopened = OtherSession();
  reopened->ForScreen().BeginTrans();  // the program opened again writes to the file there
  reopened->ForScreen().RollbackTrans();
  std::filesystem::remove(path);
  EXPECT_THAT(Refusal([&] { reopened->ForHost().BeginTrans(); }), HasSubstr(moved));
}

// Two programs opening a file made before the finder's kept orders at the same moment: the
// one that waited for the other's upgrade finds it done instead of making the table again.
TEST_F(DatabaseTest, TwoProgramsOpeningAnOlderFileAtOnceUpgradeItOnce) {
  DropKeptOrders(Host());
  database_.reset();

  sqlite::DbHandle first(dir_.File("polizas.db"), SQLITE_OPEN_READWRITE);
  first.Run("BEGIN IMMEDIATE");
  auto second = std::async(std::launch::async, [&] { return OtherSession(); });
  std::this_thread::sleep_for(500ms);  // the second has found the file older and waits
  for (const std::string& statement : sqlite::PolicyOrderUpgradeStatements())
    first.Run(statement.c_str());
  first.Run("COMMIT");

  std::unique_ptr<Database> opened;
  ASSERT_NO_THROW(opened = second.get());
  EXPECT_EQ(Count(opened->ForHost(), "policy_order"), Count(opened->ForHost(), "Poliza_Servicio"));
}

// Two sessions save at once: the second waits for the first's write lock instead of
// failing, and says so while it waits; readers meanwhile see the last committed state
// without waiting. A session that cannot wait longer gives up with SQLite's message.
TEST_F(DatabaseTest, TwoSessionsSavingAtOnceBothSucceed) {
  auto first = OtherSession();
  auto second = OtherSession();
  auto reader = OtherSession(50);
  constexpr auto kHold = 300ms;
  std::vector<bool> second_waits, reader_waits;
  second->SetLockWaitObserver([&](bool waiting) { second_waits.push_back(waiting); });
  reader->SetLockWaitObserver([&](bool waiting) { reader_waits.push_back(waiting); });

  first->ForScreen().BeginTrans();
  WritePolicyAndNote(*first, "F1");
  EXPECT_THAT([&] { reader->ForScreen().BeginTrans(); },
              ::testing::ThrowsMessage<Error>("database is locked"));
  EXPECT_EQ(reader_waits, (std::vector<bool>{true, false}));
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
  EXPECT_EQ(second_waits, (std::vector<bool>{true, false}));
  EXPECT_EQ(RowsOf(*reader, "F1") + RowsOf(*reader, "F2"), 4);
}

// polizas-db as built, beside the test programs: each run's exit code and what it says, then
// which files the runs left and what is in them.
TEST(PolizasDbProgram, InitCreatesOnceWithOrWithoutDemoAndRefusesTheRest) {
  TempDir dir;
  const auto path = [&](const std::string& name) { return " '" + dir.File(name) + "'"; };
  const std::string usage = "usage: polizas-db init (PATH | --odbc CONNECTION-STRING)\n";
  // A new database's administrator's password comes from standard input ("< TEXT" here).
  const std::tuple<std::string, int, std::string> runs[] = {
      {"init" + path("empty.db") + " < 'una clave larga'", 0,
       "with the schema and the administrator ADMIN"},
      {"init" + path("x.db"), 1, "no new password given on standard input"},
      {"init" + path("x.db") + " < 'corta'", 1, "La contraseña debe tener al menos 8 caracteres"},
      {"init" + path("x.db") + " --admin ' JEFE' < 'una clave larga'", 1, "no blanks at its ends"},
      {"init" + path("x.db") + " --demo --admin JEFE", 2, "--admin names the first administrator"},
      {"init" + path("x.db") + " --admin A --admin B", 2, "--admin given more than once"},
      {"init" + path("x.db") + " --admin", 2, "--admin needs a value"},
      {"init --odbc DSN=x --odbc DSN=y", 2, "--odbc given more than once"},
      {"init" + path("x.db") + " --demo --clock 2024-03-15T10:30:00 --clock 2024-03-16T10:30:00", 2,
       "--clock given more than once"},
      {"init" + path("demo.db") + " --demo", 0, ""},
      {"init" + path("dated.db") + " --demo --clock 2024-03-15T10:30:00", 0, ""},
      {"init" + path("catalogues.db") + " --catalogues", 0, "the demo catalogues"},
      {"init" + path("x.db") + " --catalogues --demo", 2, "not both"},
      {"init" + path("x.db") + " --demo --demo", 2, "--demo given more than once"},
      {"init" + path("demo.db"), 1, "already exists"},
      {"init" + path("x.db") + " --demo --clock 15/03/2024", 2, "--clock: Invalid date"},
      {"init" + path("x.db") + " --clock 2024-03-15", 2, "give it with --demo"},
      {"", 2, usage},
      {"init", 2, usage},
      {"create" + path("x.db"), 2, usage},
      {"init" + path("x.db") + " --nope", 2, usage},
      {"init" + path("x.db") + path("y.db"), 2, usage},
      {"init" + path("no/such/dir.db") + " --demo", 1, "cannot create"},
      {"upgrade" + path("catalogues.db"), 0, "is up to date; nothing was changed"},
      {"upgrade" + path("x.db"), 1, "cannot upgrade"},
      {"upgrade", 2, "upgrade takes one PATH"},
      {"upgrade --odbc", 2, "upgrade takes one PATH or --odbc CONNECTION-STRING"},
      {"backup" + path("dated.db") + path("copia.db"), 0,
       "Backed up " + dir.File("dated.db") + " to " + dir.File("copia.db") + ": 26 policies"},
      {"backup" + path("demo.db") + path("copia.db"), 1, "copia.db already exists"},
      {"backup" + path("x.db") + path("y.db"), 1, "cannot back up"},
      {"backup" + path("demo.db"), 2, "backup takes a PATH and a TARGET"},
      {"backup --odbc DSN=x" + path("y.db"), 2, "with the server's own tools (pg_dump)"},
  };
  std::string demo_before;
  for (const auto& [arguments, exit_code, says] : runs) {
    if (exit_code == 1 && demo_before.empty()) demo_before = FileText(dir.File("demo.db"));
    const std::size_t input = arguments.find(" < ");
    const std::string typed =
        input == std::string::npos ? ":" : "printf '%s\\n' " + arguments.substr(input + 3);
    const std::string said = testing::RunCommand(
        typed + " | " + PolizasDb() + " " + arguments.substr(0, input), dir.File("output"));
    EXPECT_THAT(said, StartsWith(std::to_string(exit_code) + " ")) << arguments;
    EXPECT_THAT(said, HasSubstr(says)) << arguments;
  }
  std::filesystem::remove(dir.File("output"));
  EXPECT_EQ(FileText(dir.File("demo.db")), demo_before) << "never overwritten";
  Lines files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.File("")))
    files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (Lines{"catalogues.db", "copia.db", "dated.db", "demo.db", "empty.db"}));

  // No demo data, and the administrator's password kept as an Argon2id hash. (That such a
  // file asks for sign-in and that ADMIN administers it, the program tests show; as they show
  // the demo's policies, dated around --clock's day.)
  std::unique_ptr<Database> empty = OpenSqliteDatabase(dir.File("empty.db"));
  EXPECT_EQ(Count(empty->ForHost(), "Sucursal"), 0);
  EXPECT_EQ(Count(empty->ForHost(),
                  "operator WHERE user_code = 'ADMIN' AND password_hash LIKE "
                  "'$argon2id$v=19$m=65536,t=2,p=1$%'"),
            1);
  std::unique_ptr<Database> catalogues = OpenSqliteDatabase(dir.File("catalogues.db"));
  EXPECT_GT(Count(catalogues->ForHost(), "Sucursal"), 0);
  EXPECT_EQ(Count(catalogues->ForHost(), "Poliza_Servicio"), 0);
}

// A database made before operators signed in is brought up to date when it is opened for
// writing, and opens as it always did: nobody is asked to sign in. Nobody can be, as no
// operator has a password yet: sign-in is off even where its parameter was set by hand, and
// what opening it added says so.
TEST(SqliteDatabase, ADatabaseMadeBeforeSignInGetsItsColumnsAndAsksNobody) {
  const std::pair<const char*, const char*> cases[] = {
      {"SELECT 1", "(sign-in off: INICIO_SESION = NO)"},
      {"INSERT INTO host_parameter VALUES ('INICIO_SESION', 'SI')",
       "(sign-in off: INICIO_SESION = NO, where it was SI: no operator has a password yet)"},
  };
  for (const auto& [parameter, said] : cases) {
    SCOPED_TRACE(parameter);
    TempDir dir;
    const std::string path = dir.File("old.db");
    {
      auto old = OpenSqliteDatabase(path, {.create = true});
      // A file of that time held the policies too (and, for this test, the finder's orders).
      for (const char* statement :
           {"CREATE TABLE Poliza_Servicio (Ps_Folio TEXT NOT NULL PRIMARY KEY)",
            "CREATE TABLE Poliza_Servicio_Tipo_Servicio (Ps_Folio TEXT NOT NULL)",
            "CREATE TABLE policy_order (Ps_Folio TEXT NOT NULL PRIMARY KEY)",
            "CREATE TABLE host_parameter (name TEXT NOT NULL PRIMARY KEY, value TEXT)",
            "CREATE TABLE operator (user_code TEXT NOT NULL PRIMARY KEY, name TEXT)",
            "CREATE TABLE operator_permission (user_code TEXT NOT NULL REFERENCES operator "
            "(user_code), module TEXT NOT NULL, permission_key TEXT NOT NULL, PRIMARY KEY "
            "(user_code, module, permission_key))",
            "INSERT INTO operator VALUES ('ADMIN', 'Administrador')",
            "INSERT INTO operator_permission VALUES ('ADMIN', 'SISTEMA', 'OPERADORES')", parameter})
        old->ForHost().Execute(statement);
    }
    std::vector<std::string> added;
    auto database = OpenSqliteDatabase(path, {.added_on_opening = &added});
    ASSERT_FALSE(added.empty());
    EXPECT_EQ(
        added.front(),
        std::string("the operators' passwords, locks and last administrator's guards ") + said);
    EXPECT_EQ(Rows(database->ForHost(),
                   "SELECT *, (SELECT value FROM host_parameter WHERE name = 'INICIO_SESION') AS "
                   "mode FROM operator",
                   {"user_code", "name", "password_hash", "failed_attempts", "locked_until",
                    "locked", "mode"}),
              Lines{"'ADMIN'|'Administrador'|Null|n:0|Null|n:0|'NO'"});
    EXPECT_EQ(RefusalOf(database->ForHost(), "DELETE FROM operator_permission"),
              "El último administrador no puede perder el permiso SISTEMA/OPERADORES");
    database.reset();
    EXPECT_EQ(Count(OpenSqliteDatabase(path)->ForHost(), "pragma_table_info('operator')"), 6)
        << "once";
  }
}

// Every row of every table, and every index and trigger, as text.
Lines Contents(Connection& sql) {
  Lines contents = Column(
      sql,
      "SELECT type || ' ' || name || ' on ' || tbl_name || ': ' || sql AS v "
      "FROM sqlite_master WHERE type IN ('index', 'trigger') AND sql NOT NULL ORDER BY name");
  for (const std::string& table :
       Column(sql, "SELECT name AS v FROM sqlite_master WHERE type = 'table' ORDER BY name")) {
    const std::string row = Column(sql,
                                   "SELECT group_concat('quote(' || name || ')', ' || ''|'' || ') "
                                   "AS v FROM pragma_table_info('" +
                                       table + "')")
                                .at(0);
    for (const std::string& line :
         Column(sql, "SELECT " + row + " AS v FROM " + table + " ORDER BY 1"))
      contents.push_back(table + ": " + line);
  }
  return contents;
}

// The schema, the demo data and the demo's policies, as a file of this version holds them.
void FillDemo(Connection& sql) {
  CreateSchema(sql, SqlDialect::kSqlite);
  LoadDemoData(sql);
  LoadDemoPolicies(sql, Date::FromYmd(2024, 3, 15));
}

// Stores every table keyed by text with row numbers, as files of earlier versions did.
void StoreByRowNumber(Connection& sql) {
  sql.Execute("PRAGMA foreign_keys = OFF");
  sql.Execute("PRAGMA legacy_alter_table = ON");
  TransactionScope transaction(sql);
  const Lines triggers = Column(sql, "SELECT sql AS v FROM sqlite_master WHERE type = 'trigger'");
  for (const std::string& name :
       Column(sql, "SELECT name AS v FROM sqlite_master WHERE type = 'trigger'"))
    sql.Execute("DROP TRIGGER " + name);
  for (const std::string& table :
       Column(sql, "SELECT name AS v FROM pragma_table_list WHERE schema = 'main' AND wr")) {
    const std::string where = "tbl_name = '" + table + "'";
    const std::string definition =
        Column(sql,
               "SELECT replace(sql, ' WITHOUT ROWID', '') AS v FROM sqlite_master WHERE "
               "type = 'table' AND " +
                   where)
            .at(0);
    const Lines indexes = Column(
        sql,
        "SELECT sql AS v FROM sqlite_master WHERE type = 'index' AND sql NOT NULL AND " + where);
    sql.Execute("ALTER TABLE " + table + " RENAME TO old_" + table);
    sql.Execute(definition);
    sql.Execute("INSERT INTO " + table + " SELECT * FROM old_" + table);
    sql.Execute("DROP TABLE old_" + table);
    for (const std::string& index : indexes) sql.Execute(index);
  }
  for (const std::string& trigger : triggers) sql.Execute(trigger);
  transaction.Commit();
  sql.Execute("PRAGMA legacy_alter_table = OFF");
  sql.Execute("PRAGMA foreign_keys = ON");
}

// A file of an earlier version, its tables stored with row numbers and without the finder's
// indexes and kept orders: opened for writing, it gets policy_order filled, and is rebuilt
// keyed in one transaction and given the indexes: the same rows, indexes and triggers as
// before, the triggers still guarding and keeping the finder's orders; a second run changes
// nothing.
TEST(SqliteDatabase, AFileStoredByRowNumberIsRebuiltKeyedWithEverythingItHeld) {
  TempDir dir;
  const std::string path = dir.File("old.db");
  Lines before;
  {
    auto old = OpenSqliteDatabase(path, {.create = true});
    Connection& sql = old->ForHost();
    FillDemo(sql);
    before = Contents(sql);
    StoreByRowNumber(sql);
    ASSERT_EQ(Contents(sql), before);
    DropKeptOrders(sql);
    for (const char* dropped :
         {"Poliza_Servicio_cliente", "Poliza_Servicio_fin", "Poliza_Servicio_sucursal",
          "Poliza_Servicio_tipo", "Poliza_Servicio_inicio_vigencia"})
      sql.Execute(std::string("DROP INDEX ") + dropped);
    // The start's index as the version before made it.
    sql.Execute(
        "CREATE INDEX Poliza_Servicio_inicio ON Poliza_Servicio (Ps_Fecha_Inicia, Ps_Folio)");
  }
  auto database = OpenSqliteDatabase(path);
  const std::vector<std::string> stored_by_number = TablesStoredByRowNumber(*database);
  EXPECT_THAT(stored_by_number, ::testing::Contains("Poliza_Servicio"));
  EXPECT_EQ(RebuildTablesStoredByRowNumber(*database), stored_by_number);
  EXPECT_EQ(
      AddMissingIndexes(*database),
      (Lines{"Poliza_Servicio_cliente", "Poliza_Servicio_fin", "Poliza_Servicio_inicio_vigencia",
             "Poliza_Servicio_sucursal", "Poliza_Servicio_tipo"}));
  EXPECT_EQ(DropReplacedIndexes(*database), Lines{"Poliza_Servicio_inicio"});
  EXPECT_EQ(
      Column(database->ForHost(),
             "SELECT name AS v FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL "
             "AND tbl_name = 'Poliza_Servicio' ORDER BY name"),
      (Lines{"Poliza_Servicio_cliente", "Poliza_Servicio_fin", "Poliza_Servicio_inicio_vigencia",
             "Poliza_Servicio_sucursal", "Poliza_Servicio_tipo"}))
      << "as a new file has them";
  // The session's own guards, which name the folio, are back too.
  const std::string cancelled =
      Column(database->ForHost(),
             "SELECT Ps_Folio AS v FROM Poliza_Servicio WHERE Es_Cve_Estado = 'CA' LIMIT 1")
          .at(0);
  EXPECT_EQ(RefusalOf(database->ForHost(),
                      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = 0 WHERE "
                      "Ps_Folio = '" +
                          cancelled + "'"),
            "La póliza " + cancelled + " ya fue cancelada; cárguela de nuevo");
  database.reset();

  database = OpenSqliteDatabase(path);
  Connection& sql = database->ForHost();
  EXPECT_EQ(Contents(sql), before);
  EXPECT_EQ(Count(sql, "pragma_table_list WHERE schema = 'main' AND type = 'table' AND NOT wr"), 2)
      << "record_log and sqlite_schema keep their row numbers";
  EXPECT_EQ(Column(sql, "SELECT integrity_check AS v FROM pragma_integrity_check"), Lines{"ok"});
  const std::int64_t policies = Count(sql, "Poliza_Servicio");
  ASSERT_GT(policies, 3);
  ChangeUsesAndNames(sql);
  EXPECT_EQ(Count(sql, PoliciesKeptAsComputed()), policies) << "kept in step";
  EXPECT_EQ(Column(sql, "SELECT foreign_keys AS v FROM pragma_foreign_keys"), Lines{"1"})
      << "enforced again";
  EXPECT_TRUE(RebuildTablesStoredByRowNumber(*database).empty()) << "once";
  EXPECT_TRUE(AddMissingIndexes(*database).empty()) << "once";
  EXPECT_TRUE(DropReplacedIndexes(*database).empty()) << "once";
}

// An index named as the one an earlier version made, but made otherwise, is an office's own:
// upgrade keeps it.
TEST(SqliteDatabase, AnIndexNamedAsAReplacedOneButMadeOtherwiseIsKept) {
  for (const char* made :
       {"CREATE UNIQUE INDEX Poliza_Servicio_inicio ON Poliza_Servicio (Ps_Fecha_Inicia, Ps_Folio)",
        "CREATE INDEX Poliza_Servicio_inicio ON Poliza_Servicio (Ps_Folio, Ps_Fecha_Inicia)",
        "CREATE INDEX Poliza_Servicio_inicio ON Poliza_Servicio (Ps_Fecha_Inicia, Ps_Folio) "
        "WHERE Es_Cve_Estado = 'AC'",
        "CREATE INDEX poliza_servicio_inicio ON Cliente (Cl_Razon_Social_1)"}) {
    TempDir dir;
    auto database = OpenSqliteDatabase(dir.File("own.db"), {.create = true});
    FillDemo(database->ForHost());
    database->ForHost().Execute(made);
    EXPECT_TRUE(DropReplacedIndexes(*database).empty()) << made;
    EXPECT_EQ(Column(database->ForHost(),
                     "SELECT sql AS v FROM sqlite_master WHERE name = 'poliza_servicio_inicio' "
                     "COLLATE NOCASE"),
              Lines{made});
  }
}

// A file made before the schema refused changes to a cancelled policy lacks those guards: the
// host's sessions refuse such changes with guards of their own, any other program could make
// them. Opened for writing, the file gets them; polizas-db upgrade names them so, the user
// learning of every change to the file, and gives it every other trigger a new file has
// (here one dropped, one held in another text) before it says that the file is up to date.
TEST(SqliteDatabase, AnOlderFileGetsEveryGuardANewFileHas) {
  TempDir dir;
  const std::string path = dir.File("old.db");
  Lines made_new;
  std::string cancelled;
  {
    auto old = OpenSqliteDatabase(path, {.create = true});
    Connection& sql = old->ForHost();
    FillDemo(sql);
    made_new = Contents(sql);
    cancelled =
        Column(sql, "SELECT Ps_Folio AS v FROM Poliza_Servicio WHERE Es_Cve_Estado = 'CA'").at(0);
    for (const char* dropped :
         {"Poliza_Servicio_cancelada", "Poliza_Servicio_Tipo_Servicio_cancelada",
          "operator_permission_last_administrator_moved"})
      sql.Execute(std::string("DROP TRIGGER ") + dropped);
    const std::string kept = "policy_order_Cliente_update";
    const std::string text =
        Column(sql, "SELECT sql AS v FROM sqlite_master WHERE name = '" + kept + "'").at(0);
    sql.Execute("DROP TRIGGER " + kept);
    sql.Execute(text.substr(0, text.find(" BEGIN ")) + " BEGIN SELECT 1; END");
  }
  // Another program's connection: none of the host's functions or session guards.
  sqlite::DbHandle other(path, SQLITE_OPEN_READWRITE);
  const std::string use_cancelled =
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = 99 WHERE Ps_Folio = '" +
      cancelled + "'";
  other.Run("BEGIN");
  ASSERT_NO_THROW(other.Run(use_cancelled.c_str())) << "unguarded before";
  other.Run("ROLLBACK");

  EXPECT_EQ(Upgrade(dir, path), "0 Added to " + path +
                                    " on opening it: the guards of cancelled policies\nAdded to " +
                                    path +
                                    ": operator_permission_last_administrator_moved, "
                                    "policy_order_Cliente_update as this version writes it\n");
  EXPECT_THAT(Refusal([&] { other.Run(use_cancelled.c_str()); }),
              HasSubstr("La póliza ya fue cancelada; cárguela de nuevo"));
  EXPECT_EQ(RefusalOf(OpenSqliteDatabase(path)->ForHost(), use_cancelled),
            "La póliza " + cancelled + " ya fue cancelada; cárguela de nuevo")
      << "the session's own guard, naming the folio, still goes first";
  EXPECT_EQ(Upgrade(dir, path), "0 " + path + " is up to date; nothing was changed\n");
  EXPECT_EQ(Contents(OpenSqliteDatabase(path)->ForHost()), made_new);
}

// A rebuild that fails leaves the file as it was: one that cannot take the file (another
// program is writing), and one that fails half-way (a table of the file has no key, met
// after the others were rebuilt).
TEST(SqliteDatabase, ARebuildThatFailsLeavesTheFileAsItWas) {
  TempDir dir;
  const std::string path = dir.File("old.db");
  auto database = OpenSqliteDatabase(path, {.create = true, .busy_timeout_ms = 50});
  Connection& sql = database->ForHost();
  FillDemo(sql);
  StoreByRowNumber(sql);
  sql.Execute("DROP TABLE product_text");
  sql.Execute("CREATE TABLE product_text (product_code TEXT NOT NULL, text TEXT)");
  sql.Execute("INSERT INTO product_text VALUES ('POL-SOP-MEN', 'Soporte')");
  const Lines before = Contents(sql);
  const std::vector<std::string> stored_by_number = TablesStoredByRowNumber(*database);
  ASSERT_EQ(stored_by_number.back(), "product_text");

  auto writer = OpenSqliteDatabase(path);
  writer->ForHost().BeginTrans();
  EXPECT_THAT(Refusal([&] { RebuildTablesStoredByRowNumber(*database); }), HasSubstr("locked"));
  writer->ForHost().RollbackTrans();
  EXPECT_THAT(Refusal([&] { RebuildTablesStoredByRowNumber(*database); }),
              HasSubstr("PRIMARY KEY missing on table product_text"));

  EXPECT_EQ(Contents(sql), before);
  EXPECT_EQ(TablesStoredByRowNumber(*database), stored_by_number);
  EXPECT_EQ(Column(sql, "SELECT foreign_keys AS v FROM pragma_foreign_keys"), Lines{"1"});
}

// Saving, loading, resetting and cancelling through the screen are the screen's tests; here,
// what the load's left joins make of rows that other tools may leave: the header of a policy
// without services (its type has none); an unknown service type, a NULL quantity, a unit "si".
TEST_F(DatabaseTest, LoadReadsRowsThatOtherToolsMayLeave) {
  Screen().Execute(statements::InsertPolicyHeader({"F1", "2024-03-15", "2024-04-01", "2025-03-31",
                                                   "MTY", "V001", "C00002", "Cliente 'preferente'",
                                                   "28", "OC-4471", "ASESOR", "", "Póliza", "ADMIN",
                                                   DateTimeText(SqlDialect::kSqlite, Now())}));
  Screen().Execute(statements::InsertPolicyServices("F1", "ASESOR"));
  const auto loaded = [&] {
    Lines rows = Rows(Screen(), statements::PolicyByFolio("F1"),
                      {"Ps_Folio", "Ps_Fecha_Finaliza", "Ps_Dia_Corte", "Ps_Comentario",
                       "Es_Cve_Estado", "Fecha_Alta", "Ts_Cve_Tipo_Servicio", "Ts_Unidad",
                       "Pst_Cantidad_Incluida", "Pst_Cantidad_Utilizada"});
    std::sort(rows.begin(), rows.end());
    return rows;
  };
  const std::string f1 =
      "'F1'|#2025-03-31#|n:28|'Cliente 'preferente''|'AC'|#2024-03-15 10:30:45#|";
  EXPECT_EQ(loaded(), Lines{f1 + "''|'EV'|n:0|Null"});

  Host().Execute("PRAGMA foreign_keys = OFF");
  Host().Execute("INSERT INTO Tipo_Servicio VALUES ('RARO', 'Servicio raro', 'si')");
  Host().Execute(
      "INSERT INTO Poliza_Servicio_Tipo_Servicio VALUES ('F1', 'SOPREM', NULL, 2.5, 9), "
      "('F1', 'VISITA', 4, 2.5, 9), ('F1', 'RARO', 1, 2.5, 9), ('F1', 'NOEXISTE', 7, 2.5, 9)");
  Host().Execute("PRAGMA foreign_keys = ON");
  EXPECT_EQ(loaded(), (Lines{f1 + "''|'EV'|d:7|d:9", f1 + "'RARO'|'EV'|d:1|d:9",
                             f1 + "'SOPREM'|'HR'|n:0|d:2.5", f1 + "'VISITA'|'EV'|d:4|d:9"}));
}

}  // namespace
}  // namespace nv407::host
