#include <gmock/gmock.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "host/headless/headless_host.h"
#include "server_support.h"
#include "support/made_locale.h"
#include "support/screen_fixture.h"

namespace nv407::testing {
namespace {

using namespace std::chrono_literals;
using namespace std::string_view_literals;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::StartsWith;

Date Pinned() {
  return Date::FromYmd(2024, 3, 15, 10, 30, 45);
}

// Dates and timestamps come back as dates, whole numbers and decimals as numbers, NULL as
// Null, text as UTF-8 whatever it holds; fields are found by name in any case (the server
// names them in lower case), the first of two of one name.
TEST_F(ServerTest, ValuesComeBackInTheirKindsByNameInAnyCase) {
  auto database = Open({.clock = Pinned});
  Connection& screen = database->ForScreen();
  screen.Execute(
      "INSERT INTO Poliza_Servicio (Ps_Folio, Ps_Fecha, Ps_Dia_Corte, Ps_Comentario, "
      "Fecha_Alta, Fecha_Baja) VALUES ('F1', '2024-03-15', 5, 'Ñandú ''el'' de Peñón ✓ 😀', "
      "'2024-03-15 08:09:10', GetDate())");
  screen.Execute("INSERT INTO Poliza_Servicio (Ps_Folio) VALUES ('F2')");
  EXPECT_EQ(Rows(screen,
                 "SELECT Poliza_Servicio.*, Ps_Fecha AS Renamed, 1.5::float8 AS r, "
                 "2.25::numeric(6, 2) AS d, 7::numeric(4, 0) AS w, count(*) OVER () AS c, "
                 "'b' AS second, 'c' AS SECOND FROM Poliza_Servicio ORDER BY Ps_Folio",
                 {"PS_FOLIO", "ps_fecha", "Ps_Fecha_Inicia", "Ps_Dia_Corte", "Ps_Comentario",
                  "Fecha_Alta", "FECHA_BAJA", "renamed", "R", "d", "w", "c", "Second"}),
            (Lines{"'F1'|#2024-03-15#|Null|n:5|'Ñandú 'el' de Peñón ✓ 😀'|"
                   "#2024-03-15 08:09:10#|#2024-03-15 10:30:45#|#2024-03-15#|d:1.5|d:2.25|n:7|"
                   "n:2|'b'",
                   "'F2'|Null|Null|Null|Null|Null|Null|Null|d:1.5|d:2.25|n:7|n:2|'b'"}));

  // A long text, longer than any one piece the driver hands over, comes back whole.
  std::string long_text;
  for (int i = 0; i < 10000; ++i) long_text += "ñá'";
  screen.Execute("INSERT INTO product_text VALUES ('LARGO', " + Quote(long_text) + ")");
  EXPECT_EQ(Scalar(screen, "SELECT text AS v FROM product_text WHERE product_code = 'LARGO'"),
            "'" + long_text + "'");

  auto row = screen.Execute("SELECT Ps_Folio FROM Poliza_Servicio WHERE Ps_Folio = 'F1'");
  EXPECT_EQ(Refusal([&] { row->Fields("Ps_Folioo"); }),
            "no column named 'Ps_Folioo' in the result");
  row->MoveNext();
  EXPECT_TRUE(row->Eof());
  EXPECT_THROW(row->MoveNext(), Error);
  EXPECT_TRUE(screen.Execute("UPDATE Sucursal SET Sc_Descripcion = 'x' WHERE 1 = 0")->Eof());
}

// The driver's diagnostics as they come ("SQLSTATE: message"). A statement refused in a
// transaction undoes the whole transaction, whatever the driver kept of it: later
// statements and the commit are refused until the caller rolls back.
TEST_F(ServerTest, RefusedStatementsCarryTheDriversDiagnosticsAndUndoTheirTransaction) {
  auto database = Open();
  Connection& screen = database->ForScreen();
  const std::pair<std::string, std::string> refusals[] = {
      {"SELECT * FROM Poliza", "42P01: ERROR: relation \"poliza\" does not exist"},
      {"SELEC 1", "42601: ERROR: syntax error at or near \"SELEC\""},
      {"INSERT INTO Sucursal (Sc_Cve_Sucursal) VALUES ('MTY')",
       "23505: ERROR: duplicate key value violates unique constraint \"sucursal_pkey\""},
      {"INSERT INTO Poliza_Servicio_Tipo_Servicio VALUES ('NOEXISTE', 'SOPREM', 1, 0, 0)",
       "23503: ERROR: insert or update on table \"poliza_servicio_tipo_servicio\" violates "
       "foreign key constraint"},
      {"INSERT INTO Poliza_Servicio (Ps_Folio, Es_Cve_Estado) VALUES ('F1', NULL)",
       "23502: ERROR: null value in column \"es_cve_estado\""},
  };
  for (const auto& [sql, message] : refusals) {
    screen.BeginTrans();
    screen.Execute("INSERT INTO Poliza_Servicio (Ps_Folio) VALUES ('F0')");
    EXPECT_THAT(RefusalOf(screen, sql), StartsWith(message)) << sql;
    EXPECT_TRUE(database->InTransaction());
    EXPECT_EQ(RefusalOf(screen, "INSERT INTO host_parameter VALUES ('X', '')"),
              "the transaction was undone: a statement in it was refused; roll it back");
    EXPECT_EQ(Refusal([&] { screen.CommitTrans(); }),
              "CommitTrans: nothing was saved: a statement in it was refused");
    screen.RollbackTrans();
    EXPECT_FALSE(database->InTransaction());
  }
  EXPECT_EQ(Scalar(Open()->ForHost(),
                   "SELECT (SELECT COUNT(*) FROM Poliza_Servicio) + (SELECT COUNT(*) FROM "
                   "host_parameter WHERE name = 'X') AS v"),
            "n:0");
  // Outside a transaction a refusal touches nothing else.
  EXPECT_THAT(RefusalOf(screen, "SELEC 1"), StartsWith("42601: "));
  EXPECT_EQ(Scalar(screen, "SELECT 1 AS v"), "n:1");
}

// The screen's and the host's writes share one transaction that another session sees only
// once committed. (The trace, which names who ran each statement and leaves out the
// transaction's own commands, is compared whole by the screen's and the controls' tests,
// which run on the server too.)
TEST_F(ServerTest, BothSidesShareOneTransactionThatOthersSeeOnceCommitted) {
  auto database = Open();
  auto other = Open();
  const auto write = [&](const std::string& folio) {
    database->ForScreen().Execute("INSERT INTO Poliza_Servicio (Ps_Folio) VALUES ('" + folio +
                                  "')");
    database->ForHost().Execute(
        "INSERT INTO record_log (table_name, record_key, note) VALUES ('Poliza_Servicio', '" +
        folio + "', 'Alta')");
  };
  const auto stored = [&](Connection& connection) {
    return Scalar(connection,
                  "SELECT (SELECT COUNT(*) FROM Poliza_Servicio) + (SELECT COUNT(*) FROM "
                  "record_log) AS v");
  };

  database->ForScreen().BeginTrans();
  write("F1");
  EXPECT_EQ(stored(database->ForHost()), "n:2");
  EXPECT_EQ(stored(other->ForHost()), "n:0");
  database->ForHost().CommitTrans();
  EXPECT_EQ(stored(other->ForHost()), "n:2");

  database->ForHost().BeginTrans();
  write("F2");
  database->ForScreen().RollbackTrans();
  EXPECT_FALSE(database->InTransaction());
  EXPECT_EQ(stored(other->ForHost()), "n:2");

  // A session that ends in a transaction leaves nothing of it behind.
  database->ForScreen().BeginTrans();
  write("F3");
  database.reset();
  EXPECT_EQ(stored(other->ForHost()), "n:2");
}

// A database whose own defaults would change what the statements mean (older applications
// set standard_conforming_strings off; some set every transaction serializable) changes
// nothing: a backslash in a literal is a character, also in the host's searches, which
// escape LIKE with it; and a transaction that waited for another's commit goes on, where a
// serializable one would be refused for the row the other changed.
TEST_F(ServerTest, TheDatabasesDefaultsChangeNoStatement) {
  Open()->ForHost().Execute(
      "DO $$ BEGIN "
      "EXECUTE format('ALTER DATABASE %I SET standard_conforming_strings = off', "
      "current_database()); "
      "EXECUTE format('ALTER DATABASE %I SET default_transaction_isolation = serializable', "
      "current_database()); END $$");
  auto database = Open();
  Connection& screen = database->ForScreen();
  screen.Execute(R"(INSERT INTO product_text VALUES ('RUTA', 'C:\nuevo\tabla\'))");
  EXPECT_EQ(Scalar(screen, "SELECT text AS v FROM product_text WHERE product_code = 'RUTA'"),
            R"('C:\nuevo\tabla\')");
  auto found = database->HostQuery(
      R"(SELECT product_code AS v FROM product_text WHERE text LIKE ? ESCAPE '\')",
      {std::string(R"(C:\\nuevo\\%)")});
  EXPECT_EQ(found->Fields("v").Value().ToText(), "RUTA");

  auto other = Open();
  other->ForScreen().BeginTrans();
  other->ForScreen().Execute(
      "UPDATE Sucursal SET Sc_Descripcion = 'x' WHERE Sc_Cve_Sucursal = 'MTY'");
  screen.BeginTrans();
  Scalar(screen, "SELECT COUNT(*) AS v FROM Sucursal");  // the transaction has begun reading
  auto committed = std::async(std::launch::async, [&] {
    std::this_thread::sleep_for(200ms);
    other->ForScreen().CommitTrans();
  });
  screen.Execute("UPDATE Sucursal SET Sc_Descripcion = 'y' WHERE Sc_Cve_Sucursal = 'MTY'");
  committed.get();
  screen.CommitTrans();
  EXPECT_EQ(Scalar(Open()->ForHost(),
                   "SELECT Sc_Descripcion AS v FROM Sucursal WHERE Sc_Cve_Sucursal = 'MTY'"),
            "'y'");
}

// GetDate() is the host's pinned clock as it reads at each statement, also after a rollback
// undid the session setting that carries it; without a pinned clock, the server's time.
TEST_F(ServerTest, GetDateFollowsThePinnedClockElseTheServersTime) {
  auto now = std::make_shared<Date>(Pinned());
  auto database = Open({.clock = [now] { return *now; }});
  Connection& screen = database->ForScreen();
  const std::string get_date = "SELECT GetDate() AS v";
  EXPECT_EQ(Scalar(screen, get_date), "#2024-03-15 10:30:45#");
  screen.BeginTrans();
  *now = Date::FromYmd(2024, 5, 20, 16, 45, 12);
  EXPECT_EQ(Scalar(screen, get_date), "#2024-05-20 16:45:12#");
  screen.RollbackTrans();
  EXPECT_EQ(Scalar(screen, get_date), "#2024-05-20 16:45:12#");

  EXPECT_EQ(Scalar(Open()->ForScreen(),
                   "SELECT CASE WHEN abs(extract(epoch FROM GetDate() - localtimestamp)) < 2 "
                   "THEN 'near' ELSE 'far' END AS v"),
            "'near'");
}

// The dialect is the server's unless the connection string names one, which the driver
// never sees. (A server database that does not allow writing opens for looking only: the
// program tests, polizas-script on a write-protected database.)
TEST_F(ServerTest, TheDialectIsTheServersUnlessTheConnectionStringNamesOne) {
  EXPECT_EQ(Open()->Dialect(), host::SqlDialect::kPostgreSql);
  const std::string named = database_.ConnectionString() + ";dialect = PostgreSQL";
  EXPECT_EQ(host::OpenOdbcDatabase(named)->Dialect(), host::SqlDialect::kPostgreSql);
  EXPECT_EQ(Refusal([&] { host::OpenOdbcDatabase(named + "x"); }),
            "unknown Dialect 'PostgreSQLx' in the connection string: postgresql or sqlserver");
}

// A row another session holds past the lock timeout: the statement is refused with the
// server's message, the observer told of the wait, and its transaction is undone.
TEST_F(ServerTest, ALockHeldElsewhereIsWaitedForThenRefused) {
  auto holder = Open();
  std::vector<bool> told;
  auto waiter = Open({.lock_timeout_ms = 1000});
  waiter->SetLockWaitObserver([&](bool now) { told.push_back(now); });
  const std::string update =
      "UPDATE Sucursal SET Sc_Descripcion = 'x' WHERE Sc_Cve_Sucursal = 'MTY'";
  holder->ForScreen().BeginTrans();
  holder->ForScreen().Execute(update);
  waiter->ForScreen().BeginTrans();
  waiter->ForScreen().Execute("INSERT INTO host_parameter VALUES ('ANTES', '1')");
  EXPECT_THAT(RefusalOf(waiter->ForScreen(), update),
              StartsWith("55P03: ERROR: canceling statement due to lock timeout"));
  EXPECT_EQ(told, (std::vector<bool>{true, false}));
  waiter->ForScreen().RollbackTrans();
  holder->ForScreen().RollbackTrans();
  EXPECT_EQ(
      Scalar(Open()->ForHost(), "SELECT COUNT(*) AS v FROM host_parameter WHERE name = 'ANTES'"),
      "n:0");
}

// A data source of its own (a user odbc.ini in a folder of its own, named by ODBCINI while
// it lives) holding the attributes of the connection string and more lines: programs are
// given its name alone.
class DataSource {
 public:
  DataSource(std::string connection_string, const std::string& more_lines)
      : folder_(std::filesystem::temp_directory_path() /
                ("polizas-dsn-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(folder_);
    std::erase_if(connection_string, [](char c) { return c == '{' || c == '}'; });
    std::replace(connection_string.begin(), connection_string.end(), ';', '\n');
    std::ofstream(folder_ / "odbc.ini") << "[polizas_prueba]\n"
                                        << connection_string << "\n"
                                        << more_lines;
    if (const char* before = std::getenv("ODBCINI")) before_ = before;
    ::setenv("ODBCINI", (folder_ / "odbc.ini").c_str(), 1);
  }
  ~DataSource() {
    if (before_)
      ::setenv("ODBCINI", before_->c_str(), 1);
    else
      ::unsetenv("ODBCINI");
    std::filesystem::remove_all(folder_);
  }
  DataSource(const DataSource&) = delete;
  DataSource& operator=(const DataSource&) = delete;
  static constexpr const char* kConnection = "DSN=polizas_prueba";

 private:
  std::filesystem::path folder_;
  std::optional<std::string> before_;
};

// A statement that waited for a lock, released long before its timeout, goes through, the
// observer told while it waits; in a transaction, with the transaction's earlier statements
// still in it, also where the data source has the driver undo a whole transaction on an
// error (psqlODBC's Protocol=7.4-1): the save commits whole, never its later statements
// alone. Named by its driver or by a data source's name alone.
TEST_F(ServerTest, AWaitInATransactionKeepsItsEarlierStatementsWhateverTheDataSourceSays) {
  DataSource source(database_.ConnectionString(), "Protocol=7.4-1\n");
  for (const std::string& waiting_on :
       {database_.ConnectionString() + ";Protocol=7.4-1", std::string(DataSource::kConnection)}) {
    SCOPED_TRACE(waiting_on);
    auto holder = Open();
    holder->ForHost().Execute("DELETE FROM host_parameter WHERE name = 'ANTES'");
    std::atomic<bool> waiting = false;
    std::vector<bool> told;
    auto waiter = host::OpenOdbcDatabase(waiting_on, {.lock_timeout_ms = 60000});
    waiter->SetLockWaitObserver([&](bool now) {
      told.push_back(now);
      waiting = now;
    });
    holder->ForScreen().BeginTrans();
    holder->ForScreen().Execute(
        "UPDATE Sucursal SET Sc_Descripcion = 'x' WHERE Sc_Cve_Sucursal = 'MTY'");
    waiter->ForScreen().BeginTrans();
    waiter->ForScreen().Execute("INSERT INTO host_parameter VALUES ('ANTES', '1')");
    auto released = std::async(std::launch::async, [&] {
      for (int i = 0; i < 1000 && !waiting; ++i) std::this_thread::sleep_for(10ms);
      std::this_thread::sleep_for(100ms);
      holder->ForScreen().CommitTrans();
    });
    waiter->ForScreen().Execute(
        "UPDATE Sucursal SET Sc_Descripcion = 'y' WHERE Sc_Cve_Sucursal = 'MTY'");
    released.get();
    EXPECT_EQ(told, (std::vector<bool>{true, false}));
    waiter->ForScreen().CommitTrans();
    EXPECT_EQ(
        Scalar(Open()->ForHost(), "SELECT COUNT(*) AS v FROM host_parameter WHERE name = 'ANTES'") +
            Scalar(Open()->ForHost(),
                   "SELECT Sc_Descripcion AS v FROM Sucursal WHERE Sc_Cve_Sucursal = 'MTY'"),
        "n:1'y'");
  }
}

// What a data source may set for its driver (line breaks as CR LF, eight-byte numbers as
// decimals, statements of its own run on connecting) changes no value read, and one set to
// refuse writes opens for looking only, as a read-only server does.
TEST_F(ServerTest, WhatTheDataSourceSetsChangesNoValueAndItsReadOnlyIsSeen) {
  Open()->ForHost().Execute(
      "INSERT INTO product_text VALUES ('LINEAS', 'uno' || chr(10) || 'dos')");
  auto converting =
      host::OpenOdbcDatabase(database_.ConnectionString() +
                             ";LFConversion=1;BI=2;ConnSettings=SET%20DateStyle%3DSQL%2CDMY");
  EXPECT_EQ(Rows(converting->ForScreen(),
                 "SELECT text, COUNT(*) OVER () AS n, DATE '2024-03-15' AS d, "
                 "TIMESTAMP '2024-03-15 08:09:10' AS t FROM product_text "
                 "WHERE product_code = 'LINEAS'",
                 {"text", "n", "d", "t"}),
            Lines{"'uno\ndos'|n:1|#2024-03-15#|#2024-03-15 08:09:10#"});
  EXPECT_FALSE(converting->ReadOnly());
  EXPECT_TRUE(host::OpenOdbcDatabase(database_.ConnectionString() + ";ReadOnly=1")->ReadOnly());
}

// psqlODBC's ANSI driver reads no text through the wide functions: refused on opening,
// saying which driver to name instead.
TEST_F(ServerTest, PsqlOdbcsAnsiDriverIsRefusedNamingTheUnicodeOne) {
  std::string ansi = database_.ConnectionString();
  const std::string unicode = "{PostgreSQL Unicode}";
  ansi.replace(ansi.find(unicode), unicode.size(), "{PostgreSQL ANSI}");
  const std::string refusal = Refusal([&] { host::OpenOdbcDatabase(ansi); });
  EXPECT_THAT(refusal, HasSubstr("ANSI driver (psqlodbca.so)"));
  EXPECT_THAT(refusal, HasSubstr(unicode));
}

// In a Turkish locale the upper case of i is a dotted I, so that strcasecmp, with which the
// driver manager and psqlODBC find a connection string's keywords, finds no "DRIVER" in
// "Driver=". A program is in that locale from its second connection on (psqlODBC sets
// LC_CTYPE from the environment as it connects), a window from its first.
TEST_F(ServerTest, ConnectionsAreMadeInATurkishLocale) {
  const MadeLocale turkish(LC_CTYPE, "tr_TR");
  ASSERT_TRUE(turkish.Made());
  // (AddressSanitizer's strcasecmp, which the driver manager then calls too, ignores it.)
  ASSERT_EQ(std::tolower('I'), 'I') << "the locale the test means: its lower case of I is no i";
  EXPECT_EQ(Scalar(Open()->ForHost(), "SELECT 'bağlandı' AS v"), "'bağlandı'");
}

// A server that takes the connection and never answers is given up at the login timeout.
TEST(ServerLogin, AServerThatNeverAnswersIsGivenUpAtTheLoginTimeout) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("polizas-mute-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const int listener = ListenOn((dir / ".s.PGSQL.5432").string());

  const auto start = std::chrono::steady_clock::now();
  const std::string refusal = Refusal([&] {
    host::OpenOdbcDatabase(
        "Driver={PostgreSQL Unicode};Servername=" + dir.string() + ";Database=x;Username=x",
        {.login_timeout_seconds = 1});
  });
  const auto waited = std::chrono::steady_clock::now() - start;
  ::close(listener);
  std::filesystem::remove_all(dir);
  EXPECT_THAT(refusal, StartsWith("08001: "));
  EXPECT_THAT(refusal, HasSubstr("timeout expired"));
  EXPECT_LT(waited, 10s) << "given up at the timeout, not hung";
}

// A connection lost by `lose`: the statement in flight fails with what the driver `said`,
// and the next one connects again. In a transaction, the transaction is gone with it: its
// statements (for the reason the driver knew: `why`) and its commit are refused plainly, and
// its rollback has nothing left to undo.
void ExpectTheConnectionMadeAgain(host::Database& database, const std::function<void()>& lose,
                                  const ::testing::Matcher<std::string>& said,
                                  const std::string& why) {
  Connection& screen = database.ForScreen();
  const auto insert = [&](const char* folio) {
    screen.Execute(std::string("INSERT INTO Poliza_Servicio (Ps_Folio) VALUES ('") + folio + "')");
  };
  lose();
  EXPECT_THAT(RefusalOf(screen, "SELECT 1 AS v"), said);
  EXPECT_EQ(Scalar(screen, "SELECT 2 AS v"), "n:2");

  screen.BeginTrans();
  insert("F1");
  lose();
  EXPECT_THAT(Refusal([&] { insert("F2"); }), said);
  EXPECT_TRUE(database.InTransaction());
  EXPECT_EQ(RefusalOf(screen, "SELECT 3 AS v"),
            "the transaction was undone: " + why + "; roll it back");
  screen.RollbackTrans();
  EXPECT_FALSE(database.InTransaction());

  screen.BeginTrans();
  insert("F3");
  lose();
  EXPECT_THAT(Refusal([&] { screen.CommitTrans(); }), said);
  screen.RollbackTrans();
  EXPECT_EQ(Scalar(screen, "SELECT COUNT(*) AS v FROM Poliza_Servicio"), "n:0");
}

// A connection the server drops, also while the program waits for its user: then found
// before the next command, which runs on a new connection, in a transaction too.
TEST_F(ServerTest, ALostConnectionFailsItsStatementAndIsMadeAgainForTheNext) {
  auto database = Open();
  auto administrator = Open();
  Connection& screen = database->ForScreen();
  const auto drop_connection = [&] {
    const std::string pid = Scalar(screen, "SELECT pg_backend_pid() AS v").substr(2);
    administrator->ForHost().Execute("SELECT pg_terminate_backend(" + pid + ", 5000) AS v");
  };
  for (const bool in_transaction : {false, true}) {
    drop_connection();
    std::this_thread::sleep_for(1100ms);
    if (in_transaction) screen.BeginTrans();
    EXPECT_EQ(Scalar(screen, "SELECT 3 AS v"), "n:3") << in_transaction;
    if (in_transaction) screen.RollbackTrans();
  }
  ExpectTheConnectionMadeAgain(
      *database, drop_connection,
      StartsWith("57P01: FATAL: terminating connection due to administrator command"),
      "the connection to the database was lost");
}

// Carries the connections to the test server through a socket of its own, and can cut
// them all at once as a server stopped at once does: a warning, no FATAL message, and the
// socket closed. New connections go through.
class Relay {
 public:
  explicit Relay(const std::string& server_connection)
      : folder_(std::filesystem::temp_directory_path() /
                ("polizas-relay-" + std::to_string(::getpid()))) {
    RelayedServer relayed = RelayThrough(server_connection, folder_);
    server_socket_ = std::move(relayed.server_socket);
    connection_ = std::move(relayed.connection);
    listener_ = relayed.listener;
    accepting_ = std::thread([this] { Accept(); });
  }
  ~Relay() {
    ::shutdown(listener_, SHUT_RDWR);  // wakes the accepting thread to end
    accepting_.join();
    Cut();
    for (std::thread& pump : pumps_) pump.join();
    for (const int socket : sockets_) ::close(socket);
    ::close(listener_);
    std::filesystem::remove_all(folder_);
  }
  Relay(const Relay&) = delete;
  Relay& operator=(const Relay&) = delete;

  const std::string& ConnectionString() const { return connection_; }

  // What PostgreSQL's backends send as the server is stopped at once (a NoticeResponse).
  static constexpr std::string_view kShutdownWarning =
      "N\0\0\0\x58SWARNING\0VWARNING\0C57P01\0"
      "Mterminating connection due to immediate shutdown command\0\0"sv;

  void Cut() {
    const std::lock_guard lock(mutex_);
    for (; cut_ < sockets_.size(); cut_ += 2) {  // client, server
      ::send(sockets_[cut_], kShutdownWarning.data(), kShutdownWarning.size(), MSG_NOSIGNAL);
      ::shutdown(sockets_[cut_], SHUT_RDWR);
      ::shutdown(sockets_[cut_ + 1], SHUT_RDWR);
    }
  }

 private:
  void Accept() {
    for (int client; (client = ::accept(listener_, nullptr, nullptr)) >= 0;) {
      const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
      const sockaddr_un address = UnixAddress(server_socket_);
      ::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address);
      const std::lock_guard lock(mutex_);
      sockets_.insert(sockets_.end(), {client, server});
      pumps_.emplace_back(Pump, client, server);
      pumps_.emplace_back(Pump, server, client);
    }
  }
  // Carries what `from` says to `to` until either end goes. The sockets are closed at the
  // end alone, so that no new socket takes their numbers meanwhile.
  static void Pump(int from, int to) {
    char buffer[65536];
    for (ssize_t got; (got = ::read(from, buffer, sizeof buffer)) > 0;)
      if (::send(to, buffer, static_cast<std::size_t>(got), MSG_NOSIGNAL) != got) break;
    ::shutdown(from, SHUT_RDWR);
    ::shutdown(to, SHUT_RDWR);
  }

  std::filesystem::path folder_;
  std::string server_socket_;
  std::string connection_;
  int listener_ = -1;
  std::mutex mutex_;
  std::vector<int> sockets_;  // client, server of each connection carried
  std::size_t cut_ = 0;       // those before it are cut
  std::vector<std::thread> pumps_;
  std::thread accepting_;
};

// A connection that goes with a warning and no FATAL message, as when the server is
// stopped at once, is not always known gone by the driver: it is made again all the same.
TEST_F(ServerTest, AConnectionCutWithoutAFatalMessageIsMadeAgainForTheNextStatement) {
  Relay relay(database_.ConnectionString());
  auto database = host::OpenOdbcDatabase(relay.ConnectionString());
  EXPECT_EQ(Scalar(database->ForScreen(), "SELECT 1 AS v"), "n:1");
  ExpectTheConnectionMadeAgain(
      *database, [&] { relay.Cut(); }, HasSubstr("server closed the connection unexpectedly"),
      "a statement in it was refused");
}

// A login whose commits wait for the standby the test server names and never has; a row of
// 2 waits in its commit's deferred check instead, before anything is made. Its commits are
// lost by ending its sessions while they wait, the login refused meanwhile for `away` as a
// restarting server refuses connections.
class LostCommitTest : public ServerTest {
 protected:
  LostCommitTest() {
    admin_.Execute("CREATE ROLE " + login_ + " LOGIN SUPERUSER");
    admin_.Execute("ALTER ROLE " + login_ + " SET synchronous_commit = on");
    admin_.Execute("CREATE TABLE saved (x INTEGER)");
    admin_.Execute(
        "CREATE FUNCTION slow_check() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN PERFORM "
        "pg_sleep(60); RETURN NULL; END$$");
    admin_.Execute(
        "CREATE CONSTRAINT TRIGGER slow AFTER INSERT ON saved DEFERRABLE INITIALLY DEFERRED FOR "
        "EACH ROW WHEN (NEW.x = 2) EXECUTE FUNCTION slow_check()");
  }
  void TearDown() override { admin_.Execute("DROP ROLE " + login_); }

  std::unique_ptr<host::Database> OpenAsLogin(host::OdbcOptions options = {}) {
    return host::OpenOdbcDatabase(AsLogin(database_.ConnectionString(), login_),
                                  std::move(options));
  }

  // Ends the login's sessions once one waits on `wait`; false when none ever did.
  std::future<bool> EndWhenWaiting(const std::string& wait, std::chrono::milliseconds away) {
    return std::async(std::launch::async, [this, wait, away] {
      auto watcher = Open();
      for (int i = 0; i < 400; ++i) {
        if (Scalar(watcher->ForHost(),
                   "SELECT COUNT(*) AS v FROM pg_stat_activity WHERE usename = '" + login_ +
                       "' AND wait_event = '" + wait + "'") == "n:0") {
          std::this_thread::sleep_for(25ms);
          continue;
        }
        if (away > 0ms) watcher->ForHost().Execute("ALTER ROLE " + login_ + " NOLOGIN");
        watcher->ForHost().Execute(
            "SELECT COUNT(pg_terminate_backend(pid)) AS v FROM pg_stat_activity WHERE usename "
            "= '" +
            login_ + "'");
        if (away > 0ms) {
          std::this_thread::sleep_for(away);
          watcher->ForHost().Execute("ALTER ROLE " + login_ + " LOGIN");
        }
        return true;
      }
      return false;
    });
  }

  std::unique_ptr<host::Database> administrator_ = Open();
  Connection& admin_ = administrator_->ForHost();
  const std::string login_ = "waits_" + std::to_string(::getpid());
};

// What a command whose commit was lost says, and what the next says if it was made after all.
constexpr const char* kNotKnown =
    "(se perdió la conexión durante la confirmación y no se sabe si se guardó: revise la base de "
    "datos antes de repetirlo)";
std::string Made(const std::string& folio) {
  return "la operación anterior, cuyo resultado no se sabía, sí se guardó (póliza " + folio +
         "): cárguela antes de repetirla; no se hizo nada ahora";
}

// A commit whose connection is lost may have been made or not: the server says which, so
// that a command is neither reported failed when saved (run again, it would save twice)
// nor saved when reported failed.
TEST_F(LostCommitTest, ACommitWhoseConnectionIsLostEndsAsTheServerSays) {
  auto database = OpenAsLogin();
  Connection& sql = database->ForHost();

  // Row 3's connection is ended as a restarting server ends it: new connections are refused
  // for a moment before the server answers again.
  for (const auto& [row, wait] :
       {std::pair{"1", "SyncRep"}, std::pair{"2", "PgSleep"}, std::pair{"3", "SyncRep"}}) {
    SCOPED_TRACE(row);
    auto ended = EndWhenWaiting(wait, std::string(row) == "3" ? 700ms : 0ms);
    sql.BeginTrans();
    sql.Execute("INSERT INTO saved VALUES (" + std::string(row) + ")");
    const std::string said = Refusal([&] { sql.CommitTrans(); });
    ASSERT_TRUE(ended.get()) << "the commit never waited";
    if (std::string(row) != "2") {
      EXPECT_EQ(said, "no error") << "made before the connection was lost";
    } else {
      EXPECT_THAT(said, HasSubstr("57P01"));
      sql.RollbackTrans();
    }
    EXPECT_FALSE(database->InTransaction());
  }
  EXPECT_EQ(Scalar(sql, "SELECT string_agg(x::text, ',' ORDER BY x) AS v FROM saved"), "'1,3'");
}

// A commit lost while the server cannot be reached for as long as a connection is waited
// for is reported unknown; before the next transaction the server is asked again, and one
// that was made after all refuses that transaction, naming the policy it saved, and every
// transaction after it until the operator leaves the capture, so that the command reported
// failed is not saved twice.
TEST_F(LostCommitTest, ACommitWhoseOutcomeWasNotKnownIsAskedAboutBeforeTheNextTransaction) {
  auto database = OpenAsLogin({.login_timeout_seconds = 1});
  Connection& sql = database->ForHost();

  // Row 1 is committed while its connection is lost, row 2 undone.
  for (const auto& [row, wait] : {std::pair{"1", "SyncRep"}, std::pair{"2", "PgSleep"}}) {
    SCOPED_TRACE(row);
    auto ended = EndWhenWaiting(wait, 2500ms);
    sql.BeginTrans();
    sql.Execute("INSERT INTO saved VALUES (" + std::string(row) + ")");
    database->TransactionSaves("MTY-00000" + std::string(row));
    EXPECT_THAT(Refusal([&] { sql.CommitTrans(); }), HasSubstr(kNotKnown));
    ASSERT_TRUE(ended.get()) << "the commit never waited";
    sql.RollbackTrans();

    const std::string next = Refusal([&] { sql.BeginTrans(); });
    if (std::string(row) == "1") {
      EXPECT_EQ(next, Made("MTY-000001"));
      EXPECT_EQ(Refusal([&] { sql.BeginTrans(); }), Made("MTY-000001"));
      database->CaptureLeft();
      sql.BeginTrans();
    } else {
      EXPECT_EQ(next, "no error");
    }
    sql.RollbackTrans();
  }
  EXPECT_EQ(Scalar(sql, "SELECT string_agg(x::text, ',' ORDER BY x) AS v FROM saved"), "'1'");
}

// The screen on the login's sessions, its clock at a time that no demo policy was stored.
class LostScreenCommitTest : public LostCommitTest {
 protected:
  LostScreenCommitTest() { screen_.Open(); }

  // The operator types a new policy.
  void Capture() {
    screen_.Press("Nuevo");
    for (const auto& [control, text] :
         {std::pair{"txt_Sc_Cve_Sucursal", "MTY"}, std::pair{"txt_Vn_Cve_Vendedor", "V001"},
          std::pair{"txt_Cl_Cve_Cliente", "C00001"},
          std::pair{"txt_Tps_Cve_Tipo_Poliza", "SOPMEN"}})
      screen_.Type(control, text);
    screen_.Choose("cbCorte", "5");
  }
  // The last message other than a question that `command` showed, "" when none.
  std::string Said(const std::function<void()>& command) {
    const std::size_t before = screen_.dialogs().Messages().size();
    command();
    const auto messages = screen_.dialogs().Messages();
    std::string said;
    for (std::size_t i = before; i < messages.size(); ++i)
      if (messages[i].request.style != message_style::kYesNoQuestion)
        said = messages[i].request.text;
    return said;
  }
  // Runs `command` with its commit lost while the login is refused for longer than the
  // host waits to connect again; from then on the login's commits wait for nobody.
  std::string SaidWithCommitLost(const std::function<void()>& command) {
    auto ended = EndWhenWaiting("SyncRep", 2500ms);
    const std::string said = Said(command);
    EXPECT_TRUE(ended.get()) << "the commit never waited";
    admin_.Execute("ALTER ROLE " + login_ + " RESET synchronous_commit");
    return said;
  }
  // The policies saved by this test: their folios, as a literal.
  std::string Saved() {
    return Scalar(admin_,
                  "SELECT string_agg(Ps_Folio, ',' ORDER BY Ps_Folio) AS v FROM Poliza_Servicio "
                  "WHERE Fecha_Alta = '2024-03-15 10:30:07'");
  }
  // The one policy saved by this test, its commit lost or not waited for: its folio.
  std::string SavedFolio() {
    const std::string saved = Saved();
    EXPECT_THAT(saved, StartsWith("'MTY-")) << "made while its connection was lost";
    return saved.size() < 2 ? saved : saved.substr(1, saved.size() - 2);
  }
  // A policy captured and saved without its commit waiting: its folio.
  std::string SavedWithoutWaiting() {
    login_database_->ForHost().Execute("SET synchronous_commit = off");
    Capture();
    screen_.Press("Aceptar");
    login_database_->ForHost().Execute("SET synchronous_commit = on");
    return SavedFolio();
  }
  // A capture begun now is saved, nothing held back: the second policy of the test.
  void ExpectANewCaptureSaved() {
    Capture();
    EXPECT_EQ(Said([&] { screen_.Press("Aceptar"); }), "");
    EXPECT_EQ(screen_.toolbar().Mode(), host::ToolbarMode::kIdle);
    EXPECT_EQ(Count(admin_, "Poliza_Servicio WHERE Fecha_Alta = '2024-03-15 10:30:07'"), 2);
  }

  const host::Clock clock_ = [] { return Date::FromYmd(2024, 3, 15, 10, 30, 7); };
  std::unique_ptr<host::Database> login_database_ =
      OpenAsLogin({.clock = clock_, .login_timeout_seconds = 1});
  host::HeadlessHost screen_{
      *login_database_, {kOperatorWithPermissions, clock_}, InProcessComponent()};
};

// A new policy's commit lost, and found made by the next Aceptar: that Aceptar names the
// policy saved, and so does every Aceptar after it, saving nothing, until the operator leaves
// the capture; a capture begun then is saved.
TEST_F(LostScreenCommitTest, ACaptureFoundSavedAfterItsCommitWasLostIsNotSavedTwice) {
  Capture();
  EXPECT_THAT(SaidWithCommitLost([&] { screen_.Press("Aceptar"); }), HasSubstr(kNotKnown));
  const std::string folio = SavedFolio();
  for (int again = 0; again < 2; ++again) {
    SCOPED_TRACE(again);
    EXPECT_EQ(Said([&] { screen_.Press("Aceptar"); }), Made(folio));
    EXPECT_EQ(screen_.toolbar().Mode(), host::ToolbarMode::kNew);
    EXPECT_EQ(Saved(), "'" + folio + "'");
  }
  screen_.Press("Cancelar");
  ExpectANewCaptureSaved();
}

// A new policy's commit lost, the capture then left and the policy loaded as the operator was
// told: what that commit did no longer matters, and another capture is saved.
TEST_F(LostScreenCommitTest, ACaptureLeftAfterItsCommitWasLostHoldsNothingBack) {
  Capture();
  EXPECT_THAT(SaidWithCommitLost([&] { screen_.Press("Aceptar"); }), HasSubstr(kNotKnown));
  const std::string folio = SavedFolio();
  screen_.Press("Cancelar");
  screen_.Type("txtFolio", folio);
  ExpectANewCaptureSaved();
}

// A counter reset's commit lost: the screen's trap shows why; the next reset, found made,
// names the policy and is refused until the policy is loaded again.
TEST_F(LostScreenCommitTest, ACounterResetFoundMadeHoldsUntilThePolicyIsLoadedAgain) {
  // Some services of a policy saved without its commit waiting used since.
  const std::string shown = SavedWithoutWaiting();
  admin_.Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = 2 WHERE Ps_Folio = '" +
      shown + "'");
  const auto reset = [&] {
    screen_.dialogs().QueueAnswer(message_answer::kYes);
    screen_.Click("cmdInicializa");
  };
  screen_.Type("txtFolio", shown);

  EXPECT_THAT(SaidWithCommitLost(reset),
              AllOf(StartsWith("Operación cancelada debido al siguiente error: \r\n"),
                    HasSubstr(kNotKnown)));
  EXPECT_EQ(Said(reset), "Operación cancelada debido al siguiente error: \r\n" + Made(shown));

  screen_.Type("txtFolio", "");
  screen_.Type("txtFolio", shown);
  EXPECT_EQ(Said(reset), "");
}

// A Baja's commit lost, and found made by the next Baja: that Baja names the policy. The
// folio typed again loads it, shown cancelled, and nothing is held back after.
TEST_F(LostScreenCommitTest, ABajaFoundMadeHoldsUntilItsFolioIsTypedAgain) {
  const std::string shown = SavedWithoutWaiting();
  screen_.Type("txtFolio", shown);

  EXPECT_THAT(SaidWithCommitLost([&] { screen_.Press("Baja"); }), HasSubstr(kNotKnown));
  ASSERT_EQ(Scalar(admin_, "SELECT Es_Cve_Estado AS v FROM Poliza_Servicio WHERE Ps_Folio = '" +
                               shown + "'"),
            "'CA'")
      << "made while its connection was lost";
  EXPECT_THAT(Said([&] { screen_.Press("Baja"); }), HasSubstr(Made(shown)));

  screen_.Type("txtFolio", shown);
  EXPECT_FALSE(screen_.toolbar().ShowsLiveRecord());
  EXPECT_FALSE(screen_.toolbar().CommandEnabled(host::ToolbarCommand::kBaja));
  Connection& sql = login_database_->ForHost();
  EXPECT_EQ(Refusal([&] { sql.BeginTrans(); }), "no error");
  if (login_database_->InTransaction()) sql.RollbackTrans();
}

}  // namespace
}  // namespace nv407::testing
