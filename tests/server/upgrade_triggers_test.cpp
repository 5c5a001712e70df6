// polizas-db upgrade makes again every trigger of the schema that was dropped since, and
// enables every one that was disabled: the guards hold the operators again.
#include <gmock/gmock.h>
#include <unistd.h>

#include <exception>
#include <memory>
#include <string>
#include <utility>

#include "host/db/access.h"
#include "host/db/sqlite_schema.h"
#include "server_support.h"

namespace nv407::testing {
namespace {

using ::testing::HasSubstr;

// Every trigger of the database: its name, whether and when it runs, and what it does.
std::string Triggers(Connection& sql) {
  return Scalar(sql,
                "SELECT string_agg(tgname || ' ' || tgenabled::text || ' ' || "
                "pg_get_triggerdef(oid), E'\\n' ORDER BY tgname) AS v FROM pg_trigger WHERE "
                "NOT tgisinternal");
}

// A capture login of its own, dropped at the end (roles belong to the whole server), on the
// demo database with its policies.
class UpgradeTriggersTest : public ServerTest {
 protected:
  UpgradeTriggersTest() {
    auto today = sql_.Execute("SELECT CURRENT_DATE AS v");
    host::LoadDemoPolicies(sql_, today->Fields("v").Value().ToDate());
    sql_.Execute("CREATE ROLE " + login_ + " LOGIN IN ROLE " + std::string(host::kCaptureRole));
    sql_.Execute("GRANT CONNECT ON DATABASE " + database_.Name() + " TO " + login_);
  }
  ~UpgradeTriggersTest() override {
    try {
      sql_.Execute("DROP OWNED BY " + login_);
      sql_.Execute("DROP ROLE " + login_);
    } catch (const std::exception&) {
      // Left for the server's removal at the end of the run.
    }
  }
  std::unique_ptr<host::Database> AsLogin() {
    std::string connection = database_.ConnectionString();
    connection.replace(connection.find("Username=postgres"), std::string::npos,
                       "Username=" + login_);
    return host::OpenOdbcDatabase(connection);
  }

  std::unique_ptr<host::Database> database_owner_ = Open();
  Connection& sql_ = database_owner_->ForHost();
  const std::string login_ = "captura_" + std::to_string(::getpid()) + "_disparadores";
};

// Some triggers dropped, some disabled, one left to run for replicas alone: the upgrade
// makes and enables them all as a new database has them, saying so, and a capture login
// that could reset counters, revive a cancelled policy and forge a chain note meanwhile is
// refused them again.
TEST_F(UpgradeTriggersTest, UpgradeMakesAgainAndEnablesTheTriggersOfTheSchema) {
  const std::string made_new = Triggers(sql_);

  for (const char* statement :
       {"DROP TRIGGER poliza_servicio_tipo_servicio_counters ON Poliza_Servicio_Tipo_Servicio",
        "DROP TRIGGER poliza_servicio_cancelled ON Poliza_Servicio",
        "DROP TRIGGER poliza_servicio_operator ON Poliza_Servicio",
        "ALTER TABLE record_log DISABLE TRIGGER record_log_chain",
        "ALTER TABLE Poliza_Servicio_Tipo_Servicio ENABLE REPLICA TRIGGER "
        "poliza_servicio_tipo_servicio_cancelled"})
    sql_.Execute(statement);

  // What a capture login could do meanwhile, and is refused again after the upgrade.
  const std::pair<std::string, std::string> writes[] = {
      {"UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = 0, "
       "Pst_Evento_Utilizado = 0 WHERE Ps_Folio = 'MTY-000001'",
       host::CounterChangeRefusal(login_, "MTY-000001")},
      {"UPDATE Poliza_Servicio SET Es_Cve_Estado = 'AC' WHERE Ps_Folio = 'MTY-000005'",
       host::sqlite::CancelledPolicyMessage("MTY-000005")},
      {"INSERT INTO record_log (table_name, record_key, note) VALUES ('Poliza_Servicio', "
       "'MTY-000003', 'Sustituye a MTY-000002')",
       host::ChainNoteRefusal(login_, "MTY-000003", "Sustituye a MTY-000002")},
  };
  {
    auto capture = AsLogin();
    Connection& capture_sql = capture->ForHost();
    for (const auto& write : writes) {
      capture_sql.BeginTrans();
      EXPECT_EQ(Refusal([&] { capture_sql.Execute(write.first); }), "no error") << write.first;
      capture_sql.RollbackTrans();
    }
  }

  const std::string upgrade = "upgrade --odbc '" + database_.ConnectionString() + "'";
  EXPECT_EQ(PolizasDb(upgrade),
            "0 Added to the database: trigger Poliza_Servicio_cancelled made again, trigger "
            "Poliza_Servicio_Tipo_Servicio_cancelled enabled again, trigger "
            "Poliza_Servicio_operator made again, trigger Poliza_Servicio_Tipo_Servicio_counters "
            "made again, trigger record_log_chain enabled again\n");
  EXPECT_EQ(PolizasDb(upgrade), "0 The database is up to date; nothing was changed\n");
  EXPECT_EQ(Triggers(sql_), made_new);
  {
    auto capture = AsLogin();
    for (const auto& [statement, refusal] : writes)
      EXPECT_THAT(Refusal([&] { capture->ForHost().Execute(statement); }), HasSubstr(refusal))
          << statement;
  }
}

}  // namespace
}  // namespace nv407::testing
