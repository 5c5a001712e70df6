#include <gmock/gmock.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "host/db/access.h"
#include "host/lists/policy_list.h"
#include "host/services/sign_in.h"
#include "server_support.h"
#include "support/kept_orders.h"
#include "support/sqlite_schema_shape.h"

namespace nv407::testing {
namespace {

using ::testing::HasSubstr;
using namespace std::chrono_literals;

// Each table as "table: column [not null] [default D], ...; key (a, b)" and each index as
// "index on table (a, b)", in lower case, sorted: what both schemas must agree on.
using Shape = std::vector<std::string>;

Shape ServerShape(Connection& sql) {
  Shape shape;
  for (const std::string& table :
       Column(sql,
              "SELECT table_name AS v FROM information_schema.tables WHERE table_schema = "
              "'public'")) {
    // Defaults as written, less the type the server adds; an identity column has none.
    const std::string columns = Joined(
        Column(sql,
               "SELECT column_name || CASE WHEN is_nullable = 'NO' THEN ' not null' ELSE '' END "
               "|| COALESCE(' default ' || replace(column_default, '::text', ''), '') AS v FROM "
               "information_schema.columns WHERE table_name = '" +
                   table + "' ORDER BY ordinal_position"));
    const std::string key = Joined(
        Column(sql,
               "SELECT a.attname AS v FROM pg_index i JOIN pg_attribute a ON a.attrelid = "
               "i.indrelid AND a.attnum = ANY (i.indkey) WHERE i.indisprimary AND i.indrelid = '" +
                   table + "'::regclass ORDER BY array_position(i.indkey, a.attnum)"));
    shape.push_back(Lowercase(table + ": " + columns + "; key (" + key + ")"));
    for (const std::string& index :
         Column(sql,
                "SELECT substring(indexdef FROM '\\((.*)\\)') AS v FROM pg_indexes WHERE "
                "tablename = '" +
                    table + "' AND indexname NOT LIKE '%_pkey'"))
      shape.push_back(Lowercase("index on " + table + " (" + index + ")"));
  }
  std::sort(shape.begin(), shape.end());
  return shape;
}

// The server schema has every table, column (in the same order), key, default and index of
// the SQLite schema, and the host's table names match in any case as on SQLite. Besides, two
// keys have an index in the order of their bytes, for LIKE by their start, and the guards
// have tables of their own.
TEST_F(ServerTest, TheSchemaIsTheSqliteSchemasTablesKeysAndIndexes) {
  auto database = Open();
  const Shape sqlite = SqliteSchemaShape(true);
  ASSERT_EQ(sqlite.size(), 32u) << "20 tables and 12 indexes";
  Shape server = ServerShape(database->ForHost());
  const auto by_bytes = std::stable_partition(server.begin(), server.end(), [](auto& entry) {
    return entry.find("text_pattern_ops") == std::string::npos;
  });
  EXPECT_EQ(Shape(by_bytes, server.end()),
            (Shape{"index on cliente (cl_cve_cliente text_pattern_ops)",
                   "index on poliza_servicio (ps_folio text_pattern_ops)"}));
  server.erase(by_bytes, server.end());
  EXPECT_EQ(std::erase(server, "polizas_replaced_date: xact not null, ps_fecha not null; key ()"),
            1u);
  EXPECT_EQ(std::erase(server,
                       "polizas_written_policy: xact not null, ps_folio not null, inserted not "
                       "null; key (xact, ps_folio, inserted)"),
            1u);
  EXPECT_EQ(server, sqlite);

  Connection& sql = database->ForHost();
  sql.Execute("INSERT INTO extended_text VALUES ('POLIZA_SERVICIO', 'F1', '0001', 'a')");
  EXPECT_THAT(
      RefusalOf(sql, "INSERT INTO extended_text VALUES ('Poliza_Servicio', 'F1', '0001', 'b')"),
      HasSubstr("23505: ERROR: duplicate key value"));
  EXPECT_EQ(Scalar(sql, "SELECT text AS v FROM extended_text WHERE table_name = 'poliza_servicio'"),
            "'a'");
}

// polizas-db as built fills an empty server database once, with or without the demo data;
// a database that holds the tables, or one it cannot reach, is left as it is. Without the
// tables there is nothing to upgrade: the owner is told to make them.
TEST(PolizasDbOnAServer, InitFillsAnEmptyDatabaseOnceAndRefusesTheRest) {
  ServerDatabase empty(ServerDatabase::Contents::kEmpty), demo(ServerDatabase::Contents::kEmpty);
  const auto init = [](const ServerDatabase& database) {
    return "init --odbc '" + database.ConnectionString() + "'";
  };
  // Before init, a program that opens it says what it lacks rather than trip on it.
  EXPECT_EQ(
      Refusal([&] { host::ReadSessionAccess(*host::OpenOdbcDatabase(empty.ConnectionString())); }),
      "the database holds no service policies: its owner makes the tables with polizas-db "
      "init --odbc");
  EXPECT_EQ(PolizasDb("upgrade --odbc '" + empty.ConnectionString() + "'"),
            "1 polizas-db: cannot upgrade the database: the database holds no service policies: "
            "its owner makes the tables with polizas-db init --odbc\n");
  EXPECT_EQ(PolizasDb(init(empty)), "0 Created the tables with the schema\n");
  EXPECT_EQ(PolizasDb(init(demo) + " --demo"),
            "0 Created the tables with the schema and the demo data\n");
  EXPECT_THAT(PolizasDb(init(demo)),
              ::testing::StartsWith("1 polizas-db: the database already holds additional_field, "
                                    "additional_field_value, cliente,"));
  ServerDatabase bytes(ServerDatabase::Contents::kEmpty,
                       "ENCODING 'SQL_ASCII' LC_COLLATE 'C' LC_CTYPE 'C'");
  EXPECT_EQ(PolizasDb(init(bytes)),
            "1 polizas-db: cannot create the tables: the database's encoding is SQL_ASCII, which "
            "keeps bytes without knowing their characters: make it with UTF8 (createdb "
            "--encoding UTF8 --template template0)\n");
  EXPECT_THAT(PolizasDb("init --odbc 'Driver={Sin Controlador}'"),
              ::testing::MatchesRegex("1 polizas-db: cannot connect to the database: [^\n]*Sin "
                                      "Controlador[^\n]*\n"));

  const auto count = [](const ServerDatabase& database, const std::string& table) {
    return Scalar(host::OpenOdbcDatabase(database.ConnectionString())->ForHost(),
                  "SELECT COUNT(*) AS v FROM " + table);
  };
  EXPECT_EQ(count(empty, "Sucursal") + count(empty, "operator"), "n:0n:0");
  EXPECT_EQ(count(demo, "Sucursal") + count(demo, "operator"), "n:5n:2");
}

// In a database whose collation orders texts as a language does (punctuation and digits
// weighed apart), the texts after a key's start are not those of a range of bytes: the
// finder and the F2 search find the keys that start with the text all the same.
TEST(PolizasDbOnAServer, KeysAreFoundByTheirStartWhateverTheCollation) {
  ServerDatabase spanish(ServerDatabase::Contents::kEmpty,
                         "LOCALE_PROVIDER icu ICU_LOCALE 'es-MX'");
  ASSERT_EQ(PolizasDb("init --odbc '" + spanish.ConnectionString() + "' --demo"),
            "0 Created the tables with the schema and the demo data\n");
  auto database = host::OpenOdbcDatabase(spanish.ConnectionString());
  const auto found = [&](const host::ListSource& list, const std::string& text) {
    std::string keys;
    for (const host::FoundRow& row :
         host::ReadPage(*database, list, {text, std::nullopt, std::nullopt}))
      keys += (keys.empty() ? "" : " ") + row.front();
    return keys;
  };
  const host::ListSource policies = host::PolicyList(*database, PinnedNow(), {});
  EXPECT_EQ(found(policies, "c00009"), "GDL-000002 GDL-000004");
  EXPECT_EQ(found(policies, "gdl-"),
            "GDL-000001 GDL-000002 GDL-000003 GDL-000004 GDL-000005 "
            "GDL-000006");
  const auto clients =
      host::CatalogueOf("select Cl_Razon_Social_1 from Cliente where Cl_Cve_Cliente = '?'");
  ASSERT_TRUE(clients);
  EXPECT_EQ(found(*clients, "c00009"), "C00009");
  EXPECT_EQ(found(*clients, "c0000_"), "");
}

// A database made before the finder's kept orders and its reading indexes gains them from
// polizas-db upgrade run by its owner, as init makes them, with a row for every policy; the
// triggers keep the rows from then on, and the operators may read them. Run by an operator's
// login, which may not make them, it changes nothing; a second run by the owner neither.
TEST_F(ServerTest, UpgradeAddsWhatADatabaseOfAnEarlierVersionLacks) {
  auto database = Open();
  Connection& sql = database->ForHost();
  const Shape made_new = ServerShape(sql);
  sql.Execute(
      "DO $$DECLARE f regprocedure; BEGIN FOR f IN SELECT oid::regprocedure FROM pg_proc WHERE "
      "proname LIKE 'polizas\\_policy\\_order\\_%' LOOP EXECUTE 'DROP FUNCTION ' || f || ' "
      "CASCADE'; END LOOP; END$$");
  for (const char* dropped :
       {"TABLE policy_order", "INDEX Poliza_Servicio_cliente", "INDEX Poliza_Servicio_fin",
        "INDEX Poliza_Servicio_sucursal", "INDEX Poliza_Servicio_tipo",
        "INDEX Poliza_Servicio_inicio_vigencia"})
    sql.Execute(std::string("DROP ") + dropped);
  sql.Execute("CREATE INDEX Poliza_Servicio_inicio ON Poliza_Servicio (Ps_Fecha_Inicia, Ps_Folio)");
  ASSERT_EQ(Scalar(sql, "SELECT COUNT(*) AS v FROM pg_trigger WHERE tgname LIKE 'policy_order%'"),
            "n:0");
  // Its notes' stamp took the number a statement gave, and its trigger functions were any
  // login's to call.
  sql.Execute(
      "CREATE OR REPLACE FUNCTION polizas_stamp_note() RETURNS trigger LANGUAGE plpgsql "
      "SECURITY INVOKER AS $$BEGIN IF NOT polizas_session_administers() THEN NEW.user_code := "
      "session_user; NEW.logged_at := polizas_server_now(); END IF; RETURN NEW; END$$");
  sql.Execute("GRANT EXECUTE ON FUNCTION refuse_change_to_cancelled_policy() TO PUBLIC");
  // Its policies' stamp ran as the login, with no table of the dates an edit may keep.
  sql.Execute("ALTER FUNCTION polizas_stamp_policy() SECURITY INVOKER");
  sql.Execute("DROP TABLE polizas_replaced_date");
  host::LoadDemoPolicies(sql, PinnedNow());  // written by the earlier version

  EXPECT_THAT(Upgrade(MakeLogin("opera", host::kCaptureRole)),
              ::testing::AllOf(
                  ::testing::StartsWith("1 polizas-db: cannot upgrade the database: "),
                  ::testing::EndsWith(": run the upgrade as the login that owns the tables\n")));
  EXPECT_EQ(Scalar(sql,
                   "SELECT COUNT(*) AS v FROM pg_class WHERE relname IN ('policy_order', "
                   "'poliza_servicio_cliente', 'poliza_servicio_fin')"),
            "n:0");

  ExpectUpgradeAdds(
      "policy_order, Poliza_Servicio_cliente, Poliza_Servicio_fin, Poliza_Servicio_sucursal, "
      "Poliza_Servicio_tipo, Poliza_Servicio_inicio_vigencia, the numbering of the operators' "
      "notes by the database alone, an edit's policy keeping its date without CHFECHA, trigger "
      "functions that no login may call\nDropped from the database, replaced by this version's: "
      "Poliza_Servicio_inicio");

  EXPECT_EQ(ServerShape(sql), made_new);
  EXPECT_EQ(
      Scalar(
          sql,
          "SELECT COUNT(*) AS v FROM pg_proc WHERE prorettype = 'trigger'::regtype AND "
          "pronamespace = 'public'::regnamespace AND (has_function_privilege('public', "
          "oid, 'EXECUTE') OR (proname IN ('polizas_stamp_note', 'polizas_stamp_policy') AND NOT "
          "prosecdef))"),
      "n:0");
  const long long policies = Count(sql, "Poliza_Servicio");
  ASSERT_GT(policies, 3);
  EXPECT_EQ(Count(sql, PoliciesKeptAsComputed()), policies);
  ChangeUsesAndNames(sql);
  EXPECT_EQ(Count(sql, PoliciesKeptAsComputed()), policies) << "kept by the triggers";
  EXPECT_EQ(Scalar(sql,
                   "SELECT CASE WHEN has_table_privilege('polizas_captura', 'policy_order', "
                   "'SELECT') THEN 1 ELSE 0 END AS v"),
            "n:1");
}

// Changes that meet in time, each in a transaction of its own: the kept orders end as they
// would have had the changes been made one after the other. The second waits for the first.
TEST_F(ServerTest, KeptOrdersFollowChangesMadeAtTheSameTime) {
  host::LoadDemoPolicies(Open()->ForHost(), PinnedNow());
  const auto at_the_same_time = [&](const std::string& first, const std::string& second) {
    auto holder = Open();
    std::atomic<bool> waiting = false;
    auto waiter = Open({.lock_timeout_ms = 60000});
    waiter->SetLockWaitObserver([&](bool now) { waiting = now; });
    holder->ForScreen().BeginTrans();
    holder->ForScreen().Execute(first);
    auto released = std::async(std::launch::async, [&] {
      for (int i = 0; i < 300 && !waiting; ++i) std::this_thread::sleep_for(10ms);
      holder->ForScreen().CommitTrans();
    });
    waiter->ForScreen().Execute(second);
    released.get();
  };
  // A client renamed while a policy passes to it; two counters of one policy raised.
  at_the_same_time(
      "UPDATE Cliente SET Cl_Razon_Social_1 = 'Zeta Nueva' WHERE Cl_Cve_Cliente = 'C00001'",
      "UPDATE Poliza_Servicio SET Cl_Cve_Cliente = 'C00001' WHERE Ps_Folio = 'CDMX-00001'");
  at_the_same_time(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = 110 WHERE Ps_Folio = "
      "'GDL-000001' AND Ts_Cve_Tipo_Servicio = 'SOPREM'",
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = 5 WHERE Ps_Folio = "
      "'GDL-000001' AND Ts_Cve_Tipo_Servicio = 'SOPSITIO'");
  auto database = Open();
  EXPECT_EQ(Count(database->ForHost(), PoliciesKeptAsComputed()),
            Count(database->ForHost(), "Poliza_Servicio"));
}

// A database whose functions keep the orders without waiting for one another gets them
// written again, and every kept row computed afresh.
TEST_F(ServerTest, UpgradeWritesAgainTheFunctionsThatKeepTheOrders) {
  auto database = Open();
  Connection& sql = database->ForHost();
  host::LoadDemoPolicies(sql, PinnedNow());
  sql.Execute(
      "CREATE OR REPLACE FUNCTION polizas_policy_order_cliente_update() RETURNS trigger "
      "LANGUAGE plpgsql AS $$BEGIN RETURN NULL; END$$");
  sql.Execute("UPDATE Cliente SET Cl_Razon_Social_1 = 'Otro nombre'");
  ASSERT_LT(Count(sql, PoliciesKeptAsComputed()), Count(sql, "Poliza_Servicio"));

  ExpectUpgradeAdds("locking in the functions that keep policy_order");
  EXPECT_EQ(Count(sql, PoliciesKeptAsComputed()), Count(sql, "Poliza_Servicio"));
  ChangeUsesAndNames(sql);
  EXPECT_EQ(Count(sql, PoliciesKeptAsComputed()), Count(sql, "Poliza_Servicio"));
}

// What holds each login to its role: the triggers and the functions they run, every function
// of the schema as written and how it runs, and each right on each table and column.
Lines Guards(Connection& sql) {
  Lines guards =
      Column(sql,
             "SELECT t.tgname || ' runs ' || p.proname AS v FROM pg_trigger t JOIN pg_proc p ON "
             "p.oid = t.tgfoid WHERE NOT t.tgisinternal ORDER BY 1");
  for (const std::string& function : Column(
           sql,
           "SELECT proname || ' definer ' || prosecdef::text || ' ' || provolatile::text || ' ' || "
           "COALESCE(array_to_string(proconfig, ','), '') || ': ' || prosrc AS v FROM pg_proc "
           "WHERE pronamespace = 'public'::regnamespace ORDER BY 1"))
    guards.push_back(function);
  for (const std::string& grant :
       Column(sql,
              "SELECT grantee || ' ' || privilege_type || ' ' || table_name AS v FROM "
              "information_schema.role_table_grants WHERE grantee LIKE 'polizas%' UNION ALL "
              "SELECT grantee || ' ' || privilege_type || ' ' || table_name || '.' || "
              "column_name FROM information_schema.role_column_grants WHERE grantee LIKE "
              "'polizas%' ORDER BY 1"))
    guards.push_back(grant);
  return guards;
}

// Whether GetDate() gives the server's time in the schema's time zone in sessions of two zones
// 26 hours apart, one of which is 13 hours or more from the schema's.
bool GetDateIsTheServersInAnyTimeZone(Connection& sql) {
  bool servers = true;
  for (const char* zone : {"Pacific/Kiritimati", "Etc/GMT+12"}) {
    sql.Execute(std::string("SET TIME ZONE '") + zone + "'");
    servers = servers && Scalar(sql,
                                "SELECT CASE WHEN abs(extract(epoch FROM GetDate() - "
                                "polizas_server_now())) < 60 THEN 1 ELSE 0 END AS v") == "n:1";
  }
  sql.Execute("SET TIME ZONE DEFAULT");
  return servers;
}

// A database of the first server version, made before operators had roles: no login but the
// owner's could work in it, and an upgrade said it was up to date. It now gets the roles'
// rights and the guards as init makes them, and GetDate(), which read the clock in the
// session's own time zone, as this version writes it.
TEST_F(ServerTest, UpgradeGivesADatabaseMadeBeforeTheRolesTheirRightsAndGuards) {
  auto database = Open();
  Connection& sql = database->ForHost();
  const Lines made_new = Guards(sql);
  ASSERT_GT(made_new.size(), 20u);
  for (const char* dropped :
       {"FUNCTION polizas_stamp_policy() CASCADE", "FUNCTION polizas_guard_counters() CASCADE",
        "FUNCTION polizas_stamp_note() CASCADE", "FUNCTION polizas_guard_services() CASCADE",
        "FUNCTION polizas_guard_series() CASCADE", "FUNCTION polizas_guard_policy_text() CASCADE",
        "FUNCTION polizas_guard_chain_note() CASCADE", "FUNCTION polizas_session_administers()",
        "FUNCTION polizas_session_holds(text, text)", "TABLE polizas_replaced_date",
        "TABLE polizas_written_policy"})
    sql.Execute(std::string("DROP ") + dropped);
  sql.Execute(
      "CREATE OR REPLACE FUNCTION GetDate() RETURNS TIMESTAMP(0) LANGUAGE sql VOLATILE AS "
      "$$SELECT COALESCE(NULLIF(current_setting('polizas.clock', true), '')::timestamp, "
      "date_trunc('second', clock_timestamp())::timestamp)$$");
  ASSERT_FALSE(GetDateIsTheServersInAnyTimeZone(sql));
  sql.Execute("DROP FUNCTION polizas_server_now()");
  sql.Execute("REVOKE ALL ON ALL TABLES IN SCHEMA public FROM polizas_captura, polizas_supervisor");
  // Its operators connect by PUBLIC's right, which the upgrade leaves them.
  sql.Execute("GRANT CONNECT ON DATABASE " + database_.Name() + " TO PUBLIC");
  sql.Execute(
      "DO $$DECLARE g record; BEGIN FOR g IN SELECT * FROM information_schema.role_column_grants "
      "WHERE grantee LIKE 'polizas%' LOOP EXECUTE format('REVOKE %s (%I) ON %I FROM %I', "
      "g.privilege_type, g.column_name, g.table_name, g.grantee); END LOOP; END$$");
  for (const char* column : {"Es_Cve_Estado", "Oper_Ult_Modif", "Pst_Tiempo_Utilizado"})
    ASSERT_EQ(Count(sql, std::string("information_schema.role_column_grants WHERE table_name "
                                     "IN ('poliza_servicio', 'poliza_servicio_tipo_servicio') AND "
                                     "grantee LIKE 'polizas%' "
                                     "AND column_name = lower('") +
                             column + "')"),
              0);

  // Opened before the upgrade, it says what to run rather than trip on a function it lacks.
  EXPECT_EQ(Refusal([&] { host::ReadSessionAccess(*Open()); }),
            "the database was made by an earlier version, before the operators' roles: its owner "
            "brings it up to date with polizas-db upgrade --odbc");

  ExpectUpgradeAdds(
      "the operators' roles, their rights and the guards that hold them to them, GetDate() as "
      "this version writes it");
  EXPECT_EQ(Guards(sql), made_new);
  EXPECT_TRUE(GetDateIsTheServersInAnyTimeZone(sql));
  EXPECT_EQ(host::ReadSessionAccess(*Open()).mode, host::SignInMode::kNamed) << "its owner's";
  EXPECT_EQ(
      Scalar(sql, "SELECT has_database_privilege('public', current_database(), 'CONNECT') AS v"),
      "'1'");
}

// A database made before the guards that keep an operator to what its own save writes (its
// policies' stamp, of an earlier version, noted no policy a transaction wrote) gets them and
// this version's stamp, as a new database has them, and its operators are held to them from
// then on. Any other function not as this version writes it (a guard changed by hand) is
// written again too.
TEST_F(ServerTest, UpgradeGivesADatabaseMadeBeforeTheSaveGuardsThem) {
  auto database = Open();
  Connection& sql = database->ForHost();
  const Lines made_new = Guards(sql);
  const Shape shape_new = ServerShape(sql);
  for (const char* dropped :
       {"FUNCTION polizas_guard_services() CASCADE", "FUNCTION polizas_guard_series() CASCADE",
        "FUNCTION polizas_guard_policy_text() CASCADE",
        "FUNCTION polizas_guard_chain_note() CASCADE",
        "FUNCTION IF EXISTS polizas_note_written() CASCADE", "TABLE polizas_written_policy"})
    sql.Execute(std::string("DROP ") + dropped);
  sql.Execute(
      "CREATE OR REPLACE FUNCTION polizas_stamp_policy() RETURNS trigger LANGUAGE plpgsql AS "
      "$$BEGIN RETURN NEW; END$$");
  sql.Execute(
      "CREATE OR REPLACE FUNCTION polizas_guard_counters() RETURNS trigger LANGUAGE plpgsql AS "
      "$$BEGIN RETURN NEW; END$$");
  host::LoadDemoPolicies(sql, PinnedNow());

  // (The stamp's way of running, as its owner with its search path fixed, is in the guards.)
  ExpectUpgradeAdds(
      "the policies' stamp as this version writes it, the guards that keep an operator to what "
      "its own save writes, polizas_guard_counters() as this version writes it");
  EXPECT_EQ(Guards(sql), made_new);
  EXPECT_EQ(ServerShape(sql), shape_new);
  // One of them lost alone is made again too.
  sql.Execute("DROP TRIGGER record_log_chain ON record_log");
  EXPECT_EQ(Upgrade(),
            "0 Added to the database: the guards that keep an operator to what its "
            "own save writes\n");
  EXPECT_EQ(Guards(sql), made_new);

  const std::string login = MakeLogin("opera", host::kCaptureRole);
  auto as_operator = host::OpenOdbcDatabase(AsLogin(database_.ConnectionString(), login));
  Connection& operator_sql = as_operator->ForHost();
  EXPECT_THAT(
      RefusalOf(operator_sql, "UPDATE folio_series SET last_number = -7 WHERE branch = 'MTY'"),
      HasSubstr(host::FolioSeriesRefusal(login, "MTY", "-7")));
  // An insert that met the folio taken notes no policy of its.
  host::TransactionScope transaction(operator_sql);
  operator_sql.Execute(
      "INSERT INTO Poliza_Servicio (Ps_Folio, Ps_Fecha) VALUES ('MTY-000003', GetDate()::date) "
      "ON CONFLICT DO NOTHING");
  EXPECT_THAT(
      RefusalOf(operator_sql,
                "INSERT INTO Poliza_Servicio_Tipo_Servicio VALUES ('MTY-000003', 'CAPACIT', "
                "999, 0, 0)"),
      HasSubstr(host::ServiceRowsRefusal(login, "MTY-000003")));
}

// A relation named as the index an earlier version made, but made otherwise (an index on
// another table, a table), is the office's own: upgrade keeps it and goes on.
TEST_F(ServerTest, UpgradeKeepsWhatIsNamedAsAReplacedIndexButMadeOtherwise) {
  auto database = Open();
  Connection& sql = database->ForHost();
  for (const char* made :
       {"CREATE INDEX Poliza_Servicio_inicio ON Cliente (Cl_Razon_Social_1)",
        "CREATE UNIQUE INDEX Poliza_Servicio_inicio ON Poliza_Servicio (Ps_Fecha_Inicia, "
        "Ps_Folio)",
        "CREATE TABLE Poliza_Servicio_inicio (nota TEXT)"}) {
    sql.Execute(made);
    EXPECT_EQ(Upgrade(), kUpToDate) << made;
    EXPECT_EQ(Scalar(sql,
                     "SELECT COUNT(*) AS v FROM pg_class WHERE relname = "
                     "'poliza_servicio_inicio'"),
              "n:1")
        << made;
    sql.Execute(std::string(made).starts_with("CREATE TABLE")
                    ? "DROP TABLE Poliza_Servicio_inicio"
                    : "DROP INDEX Poliza_Servicio_inicio");
  }
}

// An upgrade begun while another runs is refused at once, saying so, and changes nothing.
TEST_F(ServerTest, AnUpgradeWhileAnotherRunsIsRefusedSayingSo) {
  auto other = Open();
  Connection& running = other->ForHost();
  running.BeginTrans();
  running.Execute("SELECT pg_advisory_xact_lock(hashtext('polizas-db upgrade')) AS v");
  EXPECT_EQ(Upgrade(),
            "1 polizas-db: cannot upgrade the database: another polizas-db upgrade of this "
            "database is running: run it again when it has ended\n");
  running.RollbackTrans();
  EXPECT_EQ(Upgrade(), kUpToDate);
}

}  // namespace
}  // namespace nv407::testing
