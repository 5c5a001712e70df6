// On a server the connection's login is the operator, and the database itself keeps each
// login within its group role's permissions, whatever client it uses.
#include <gmock/gmock.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "host/db/access.h"
#include "host/db/policy_order.h"
#include "host/headless/headless_host.h"
#include "host/headless/renewal.h"
#include "host/services/clock.h"
#include "host/services/operators.h"
#include "server_support.h"
#include "support/operator_actions.h"
#include "support/screen_fixture.h"

namespace nv407::testing {
namespace {

using ::testing::HasSubstr;

// A login of its own for each operator of a test, granted one group role.
class OperatorRolesTest : public ServerTest {
 protected:
  OperatorRolesTest() {
    host::LoadDemoPolicies(admin_->ForHost(), Today());
    capture_ = MakeLogin("captura", host::kCaptureRole);
    supervisor_ = MakeLogin("supervisa", host::kSupervisorRole);
  }

  // A session of the login on the test's database, kept open to the end of the test.
  host::Database& As(const std::string& login) {
    sessions_.push_back(host::OpenOdbcDatabase(AsLogin(database_.ConnectionString(), login)));
    return *sessions_.back();
  }
  std::unique_ptr<host::HeadlessHost> ScreenOf(const std::string& login) {
    host::Database& database = As(login);
    const host::SessionSettings session = host::SignOn(database, {});
    EXPECT_EQ(session.user_code, login);
    EXPECT_EQ(session.sign_in, host::SignInMode::kLogin);
    auto screen = std::make_unique<host::HeadlessHost>(database, session, InProcessComponent());
    screen->Open();
    return screen;
  }
  // The server's day, which an operator's policy must carry without CHFECHA.
  Date Today() {
    auto result = admin_->ForHost().Execute("SELECT CURRENT_DATE AS v");
    return result->Fields("v").Value().ToDate();
  }
  std::string Stored(const std::string& sql) { return Scalar(admin_->ForHost(), sql); }

  std::unique_ptr<host::Database> admin_ = Open();  // the database's owner
  std::string capture_, supervisor_;

 private:
  std::vector<std::unique_ptr<host::Database>> sessions_;
};

std::vector<std::string> Messages(host::HeadlessHost& screen) {
  std::vector<std::string> texts;
  for (const host::MessageCall& message : screen.dialogs().Messages())
    texts.push_back(message.request.text);
  return texts;
}

TEST_F(OperatorRolesTest, EachRoleDoesOnTheScreenWhatItsPermissionsAllow) {
  auto capture = ScreenOf(capture_);
  EXPECT_FALSE(capture->Snapshot().state.canChangeDate);
  EXPECT_FALSE(capture->Snapshot().state.canInitServices);
  TypeNewPolicy(*capture, {});
  capture->Press("Aceptar");
  EXPECT_THAT(Messages(*capture), ::testing::IsEmpty());
  EXPECT_EQ(capture->Snapshot().state.newFolio, "MTY-000011");
  EXPECT_EQ(Stored("SELECT Oper_Alta || '|' || Oper_Ult_Modif || '|' || (Ps_Fecha = "
                   "CURRENT_DATE) AS v FROM Poliza_Servicio WHERE Ps_Folio = 'MTY-000011'"),
            "'" + capture_ + "|" + capture_ + "|true'");
  capture->Type("txtFolio", "mty-1");
  EXPECT_FALSE(capture->Snapshot().Find("cmdInicializa").enabled);

  auto supervisor = ScreenOf(supervisor_);
  EXPECT_TRUE(supervisor->Snapshot().state.canChangeDate);
  EXPECT_TRUE(supervisor->Snapshot().state.canInitServices);
  const std::string used =
      "SELECT SUM(Pst_Tiempo_Utilizado + Pst_Evento_Utilizado) AS v FROM "
      "Poliza_Servicio_Tipo_Servicio WHERE Ps_Folio = 'MTY-000001'";
  ASSERT_NE(Stored(used), "d:0");
  supervisor->Type("txtFolio", "mty-1");
  supervisor->dialogs().QueueAnswer(message_answer::kYes);
  supervisor->Click("cmdInicializa");
  EXPECT_EQ(Stored(used), "d:0");
  EXPECT_EQ(Stored("SELECT Oper_Ult_Modif || '|' || (SELECT user_code FROM record_log WHERE "
                   "record_key = 'MTY-000001' ORDER BY id DESC LIMIT 1) AS v FROM "
                   "Poliza_Servicio WHERE Ps_Folio = 'MTY-000001'"),
            "'" + supervisor_ + "|" + supervisor_ + "'");
  TypeNewPolicy(*supervisor, {.date = Today().AddDays(-3)});
  supervisor->Press("Aceptar");
  // The reset's question, and nothing refused.
  EXPECT_THAT(Messages(*supervisor),
              ::testing::ElementsAre(HasSubstr("contador de los servicios")));
  EXPECT_EQ(Stored("SELECT (Ps_Fecha = CURRENT_DATE - 3) || '|' || Oper_Alta AS v FROM "
                   "Poliza_Servicio WHERE Ps_Folio = 'MTY-000012'"),
            "'true|" + supervisor_ + "'");

  // The finder's kept orders follow every change an operator makes, which the operator's
  // login may not write itself.
  const Outcome edit = SaveEdit(*capture, "MTY-000011", "OC-5");
  EXPECT_TRUE(edit.done) << edit.problem;
  const Outcome baja = CancelPolicy(*capture, edit.folio);
  EXPECT_TRUE(baja.done) << baja.problem;
  // An edit leaves the policy's date as it was, which a login without CHFECHA cannot change.
  const std::string dated = "SELECT Ps_Fecha::text AS v FROM Poliza_Servicio WHERE Ps_Folio = ";
  ASSERT_NE(Stored(dated + "'MTY-000002'"), "'" + Today().ToIsoDate() + "'");
  const Outcome old_edit = SaveEdit(*capture, "MTY-000002", "OC-6");
  ASSERT_TRUE(old_edit.done) << old_edit.problem;
  EXPECT_EQ(Stored(dated + "'" + old_edit.folio + "'"), Stored(dated + "'MTY-000002'"));
  // A supervisor's edit copies the policy's services and extended text to the new one and
  // notes the chain on both, as capture's does.
  const Outcome supervised = SaveEdit(*supervisor, "MTY-000006", "OC-7");
  ASSERT_TRUE(supervised.done) << supervised.problem;
  const auto of = [](const std::string& folio) { return "record_key = '" + folio + "'"; };
  EXPECT_EQ(Stored("SELECT (SELECT string_agg(note, ',') FROM record_log WHERE " +
                   of("MTY-000006") + " AND note LIKE 'Sustituida%') || '|' || (SELECT " +
                   "string_agg(note, ',') FROM record_log WHERE " + of(supervised.folio) +
                   ") || '|' || (SELECT COUNT(*) FROM extended_text WHERE " + of(supervised.folio) +
                   ") || '|' || (SELECT COUNT(*) FROM Poliza_Servicio_Tipo_Servicio WHERE "
                   "Ps_Folio = '" +
                   supervised.folio + "') AS v"),
            "'Sustituida por " + supervised.folio + "|Sustituye a MTY-000006|1|" +
                Stored("SELECT COUNT(*) AS v FROM Poliza_Servicio_Tipo_Servicio WHERE Ps_Folio "
                       "= 'MTY-000006'")
                    .substr(2) +
                "'");
  EXPECT_EQ(Stored("SELECT COUNT(*) AS v FROM Poliza_Servicio p LEFT JOIN policy_order o ON "
                   "o.folio = p.Ps_Folio WHERE o.folio IS NULL OR o.client_name <> " +
                   host::KeptClientNameSql("p.Ps_Folio") + " OR o.peak_use <> " +
                   host::KeptPeakUseSql("p.Ps_Folio")),
            "n:0");
  EXPECT_EQ(Stored("SELECT COUNT(*) AS v FROM policy_order"),
            Stored("SELECT COUNT(*) AS v FROM Poliza_Servicio"));

  // A renewal saves its type's services, as a new capture does.
  capture->Type("txtFolio", "mty-1");
  const std::size_t messages = Messages(*capture).size();
  host::Renew(capture->screen(), capture->database());
  capture->Press("Aceptar");
  EXPECT_EQ(Messages(*capture).size(), messages);
  const std::string renewed = capture->Snapshot().state.newFolio;
  EXPECT_EQ(Stored("SELECT string_agg(s.Ts_Cve_Tipo_Servicio || s.Pst_Cantidad_Incluida, ',' "
                   "ORDER BY 1) AS v FROM Poliza_Servicio_Tipo_Servicio s WHERE Ps_Folio = '" +
                   renewed + "'"),
            Stored("SELECT string_agg(t.Ts_Cve_Tipo_Servicio || t.Tpt_Cantidad, ',' ORDER BY 1) "
                   "AS v FROM Tipo_Poliza_Servicio_Tipo_Servicio t JOIN Poliza_Servicio p ON "
                   "p.Tps_Cve_Tipo_Poliza_Servicio = t.Tps_Cve_Tipo_Poliza_Servicio WHERE "
                   "p.Ps_Folio = 'MTY-000001'"));
  EXPECT_NE(renewed, "");
}

TEST_F(OperatorRolesTest, APlainConnectionCannotTakeAnOperatorBeyondItsPermissions) {
  Connection& capture = As(capture_).ForHost();
  const std::string yesterday = Today().AddDays(-1).ToIsoDate();
  const std::string today = Today().ToIsoDate();
  const auto insert = [](const std::string& folio, const std::string& date) {
    return "INSERT INTO Poliza_Servicio (Ps_Folio, Ps_Fecha, Sc_Cve_Sucursal, Oper_Alta, "
           "Fecha_Alta) VALUES ('" +
           folio + "', '" + date + "', 'MTY', 'ADMIN', '2000-01-01 00:00:00')";
  };
  const std::string counters = host::CounterChangeRefusal(capture_, "MTY-000001");
  const std::string back_dated = host::PolicyDateRefusal(capture_, "X-1", today);
  const std::string state = host::PolicyStateRefusal(capture_, "MTY-000001");
  const std::string baja_columns = host::CancellationColumnsRefusal(capture_, "MTY-000001");
  const std::pair<std::string, std::string> refused[] = {
      {"UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = 0, "
       "Pst_Evento_Utilizado = 0 WHERE Ps_Folio = 'MTY-000001'",
       "42501: ERROR: " + counters},
      {"INSERT INTO Poliza_Servicio_Tipo_Servicio VALUES ('MTY-000001', 'CAPACIT', 4, 0, 2)",
       "42501: ERROR: " + counters},
      {insert("X-1", yesterday), "42501: ERROR: " + back_dated},
      // The host's pinned clock moves GetDate() alone, not the server's day.
      {"SELECT set_config('polizas.clock', '" + yesterday + " 09:00:00', false)", ""},
      {insert("X-1", yesterday), "42501: ERROR: " + back_dated},
      // What the screen never does, no grant allows.
      {"UPDATE Poliza_Servicio SET Ps_Fecha_Finaliza = '2099-12-31'",
       "permission denied for table poliza_servicio"},
      {"UPDATE Poliza_Servicio SET Oper_Ult_Modif = 'X'", "permission denied"},
      {"DELETE FROM record_log", "permission denied for table record_log"},
      {"INSERT INTO operator_permission VALUES ('CAPTURA', 'NV407', 'INISERV')",
       "permission denied for table operator_permission"},
      {"SELECT password_hash FROM operator", "permission denied for table operator"},
      {"INSERT INTO policy_order VALUES ('X-9', '', -1)",
       "permission denied for table policy_order"},
      {"UPDATE policy_order SET peak_use = 2", "permission denied for table policy_order"},
      {"DELETE FROM policy_order", "permission denied for table policy_order"},
      {"CREATE ROLE otro LOGIN", "permission denied to create role"},
      // A policy's state changes only as a Baja changes it, which alone writes its columns.
      {"UPDATE Poliza_Servicio SET Es_Cve_Estado = 'XX' WHERE Ps_Folio = 'MTY-000001'",
       "42501: ERROR: " + state},
      {"UPDATE Poliza_Servicio SET Es_Cve_Estado = 'ca' WHERE Ps_Folio = 'MTY-000001'",
       "42501: ERROR: " + state},
      {"UPDATE Poliza_Servicio SET Oper_Baja = 'X' WHERE Ps_Folio = 'MTY-000001'",
       "42501: ERROR: " + baja_columns},
      {"UPDATE Poliza_Servicio SET Fecha_Baja = '2000-01-01' WHERE Ps_Folio = 'MTY-000001'",
       "42501: ERROR: " + baja_columns},
      // Nor a trigger of its own on a table of its own that would run the schema's trigger
      // functions (those of the kept orders run as the owner) on rows it makes up.
      {"CREATE TEMP TABLE made_up (Ps_Folio TEXT, Cl_Cve_Cliente TEXT)", ""},
      {"CREATE TRIGGER made_up_deleted AFTER DELETE ON made_up FOR EACH ROW EXECUTE FUNCTION "
       "polizas_policy_order_poliza_servicio_delete()",
       "permission denied for function polizas_policy_order_poliza_servicio_delete"},
      {"CREATE TRIGGER made_up_noted BEFORE INSERT ON made_up FOR EACH ROW EXECUTE FUNCTION "
       "polizas_stamp_note()",
       "permission denied for function polizas_stamp_note"},
  };
  for (const auto& [statement, refusal] : refused) {
    const std::string said = RefusalOf(capture, statement);
    if (refusal.empty()) {
      EXPECT_EQ(said, "no error") << statement;
    } else {
      EXPECT_THAT(said, HasSubstr(refusal)) << statement;
    }
  }

  // A table of a session's own named like the policies', made before the guards first run
  // in it, does not make the session their owner's.
  Connection& fresh = As(capture_).ForHost();
  fresh.Execute("CREATE TEMP TABLE poliza_servicio (x INTEGER)");
  EXPECT_THAT(RefusalOf(fresh,
                        "INSERT INTO public.Poliza_Servicio (Ps_Folio, Ps_Fecha) VALUES "
                        "('X-1', '" +
                            yesterday + "')"),
              HasSubstr("42501: ERROR: " + back_dated));

  // What it may write carries its login and the server's time, whatever the statement says.
  capture.Execute(insert("X-2", today));
  capture.Execute(
      "UPDATE Poliza_Servicio SET Es_Cve_Estado = 'CA', Oper_Baja = 'ADMIN', Fecha_Baja = "
      "'2000-01-01' WHERE Ps_Folio = 'X-2'");
  capture.Execute(
      "INSERT INTO record_log (table_name, record_key, note, user_code, logged_at) VALUES "
      "('Poliza_Servicio', 'X-2', 'Baja', 'ADMIN', '2000-01-01')");
  EXPECT_EQ(Stored("SELECT Oper_Alta || '|' || Oper_Baja || '|' || (SELECT user_code FROM "
                   "record_log WHERE record_key = 'X-2') || '|' || (Fecha_Alta::date = "
                   "CURRENT_DATE AND Fecha_Baja::date = CURRENT_DATE) AS v FROM Poliza_Servicio "
                   "WHERE Ps_Folio = 'X-2'"),
            "'" + capture_ + "|" + capture_ + "|" + capture_ + "|true'");
  // A note's number is the table's next, whatever the statement chose: none goes before the
  // notes written already, nor takes the number of one to come.
  for (const char* id : {"0", "9223372036854775000"})
    capture.Execute("INSERT INTO record_log (id, table_name, record_key, note) VALUES (" +
                    std::string(id) + ", 'Poliza_Servicio', 'X-2', 'Nota " + id + "')");
  capture.Execute(
      "INSERT INTO record_log (table_name, record_key, note) VALUES ('Poliza_Servicio', 'X-2', "
      "'Nota siguiente')");
  EXPECT_EQ(Stored("SELECT string_agg(note, ', ' ORDER BY id) AS v FROM record_log WHERE "
                   "record_key = 'X-2'"),
            "'Baja, Nota 0, Nota 9223372036854775000, Nota siguiente'");

  // A new policy keeps another date only as an edit does: in the transaction that cancelled
  // a policy of that date, one new policy for each.
  const auto dated_as = [](const std::string& folio, const std::string& cancelled) {
    return "INSERT INTO Poliza_Servicio (Ps_Folio, Ps_Fecha, Sc_Cve_Sucursal) SELECT '" + folio +
           "', Ps_Fecha, 'MTY' FROM Poliza_Servicio WHERE Ps_Folio = '" + cancelled + "'";
  };
  const std::string cancel =
      "UPDATE Poliza_Servicio SET Es_Cve_Estado = 'CA' WHERE Ps_Folio = 'MTY-000004'";
  const std::string refused_x4 = host::PolicyDateRefusal(capture_, "X-4", today);
  EXPECT_THAT(RefusalOf(capture, dated_as("X-4", "MTY-000004")), HasSubstr(refused_x4));
  {
    host::TransactionScope edit(capture);
    capture.Execute(cancel);
    capture.Execute(dated_as("X-4", "MTY-000004"));
    edit.Commit();
  }
  // A refusal undoes its transaction, the cancellation with it.
  for (const std::string& then : {insert("X-5", "2001-01-01"), dated_as("X-5", "GDL-000005")}) {
    host::TransactionScope edit(capture);
    capture.Execute(
        "UPDATE Poliza_Servicio SET Es_Cve_Estado = 'CA' WHERE Ps_Folio = 'GDL-000005'");
    capture.Execute(dated_as("X-6", "GDL-000005"));
    EXPECT_THAT(RefusalOf(capture, then),
                HasSubstr(host::PolicyDateRefusal(capture_, "X-5", today)))
        << then;
  }
  EXPECT_EQ(Stored("SELECT string_agg(Ps_Folio, ',' ORDER BY Ps_Folio) AS v FROM "
                   "Poliza_Servicio WHERE Ps_Folio LIKE 'X-%'"),
            "'X-2,X-4'");
  EXPECT_THAT(RefusalOf(capture, dated_as("X-6", "MTY-000004")),
              HasSubstr(host::PolicyDateRefusal(capture_, "X-6", today)));
  EXPECT_THAT(RefusalOf(capture, "SELECT * FROM polizas_replaced_date"),
              HasSubstr("permission denied"));

  // A supervisor's login may reset counters and date a policy as it chooses.
  Connection& supervisor = As(supervisor_).ForHost();
  supervisor.Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = 0 WHERE Ps_Folio = "
      "'MTY-000001'");
  supervisor.Execute(insert("X-3", yesterday));
  EXPECT_EQ(Stored("SELECT Oper_Alta AS v FROM Poliza_Servicio WHERE Ps_Folio = 'X-3'"),
            "'" + supervisor_ + "'");
  // But changes a state only by cancelling, as capture does.
  EXPECT_THAT(RefusalOf(supervisor,
                        "UPDATE Poliza_Servicio SET Es_Cve_Estado = 'XX' WHERE Ps_Folio = 'X-3'"),
              HasSubstr(host::PolicyStateRefusal(supervisor_, "X-3")));
}

// Services, extended texts and additional fields are written by a save for the policy its
// transaction inserts, a folio series only started at 1 or moved on by one, and the notes
// of a replacement only by the edit that cancels the one policy and inserts the other. A
// plain connection of an operator can write none of them otherwise, and a refusal leaves
// every table as it was.
TEST_F(OperatorRolesTest, AnOperatorWritesOnlyWhatItsOwnSaveWould) {
  Connection& capture = As(capture_).ForHost();
  const auto contents = [&] {
    std::string all;
    for (const char* table : {"Poliza_Servicio_Tipo_Servicio", "folio_series", "extended_text",
                              "additional_field_value", "record_log"})
      all += Stored(std::string("SELECT string_agg(t::text, ';' ORDER BY t::text) AS v FROM ") +
                    table + " t") +
             "\n";
    return all;
  };
  const std::string before = contents();
  const auto services_of = [](const std::string& folio) {
    return "INSERT INTO Poliza_Servicio_Tipo_Servicio (Ps_Folio, Ts_Cve_Tipo_Servicio, "
           "Pst_Cantidad_Incluida) VALUES ('" +
           folio + "', 'CAPACIT', 999)";
  };
  const std::string notes = "INSERT INTO record_log (table_name, record_key, note) VALUES ";
  const std::string texts = "El operador " + capture_ + " no puede escribir los textos";
  const auto series = [&](const std::string& branch, const std::string& number) {
    return host::FolioSeriesRefusal(capture_, branch, number);
  };
  const std::pair<std::string, std::string> refused[] = {
      // A cancelled policy, and a live one captured by another.
      {services_of("MTY-000005"), host::ServiceRowsRefusal(capture_, "MTY-000005")},
      {services_of("MTY-000008"), host::ServiceRowsRefusal(capture_, "MTY-000008")},
      {"UPDATE folio_series SET last_number = -7 WHERE branch = 'MTY'", series("MTY", "-7")},
      {"UPDATE folio_series SET last_number = 2147483647 WHERE branch = 'MTY'",
       series("MTY", "2147483647")},
      {"INSERT INTO folio_series VALUES ('MTY', 'Poliza_Servicio', 1) ON CONFLICT (branch, "
       "table_name) DO UPDATE SET last_number = 2",
       series("MTY", "2")},
      {"INSERT INTO folio_series VALUES ('TAM', 'Poliza_Servicio', 500)", series("TAM", "500")},
      {"INSERT INTO folio_series VALUES ('TAM', 'Poliza_Servicio', 0)", series("TAM", "0")},
      {"UPDATE extended_text SET text = 'falsificado'", texts},
      {"UPDATE additional_field_value SET value = 'falsificado'", texts},
      {"INSERT INTO extended_text VALUES ('poliza_servicio', 'MTY-000002', '0002', 'x')",
       host::PolicyTextRefusal(capture_, "MTY-000002")},
      {"INSERT INTO extended_text VALUES ('Poliza_Servicio', 'MTY-000006', '0001', 'x') ON "
       "CONFLICT (table_name, record_key, entry_code) DO UPDATE SET text = 'x'",
       host::PolicyTextRefusal(capture_, "MTY-000006")},
      {"INSERT INTO additional_field_value VALUES ('POLIZA_SERVICIO', 'MTY-000005', 'CONTACTO', "
       "'x')",
       host::PolicyTextRefusal(capture_, "MTY-000005")},
      {notes + "('Poliza_Servicio', 'MTY-000002', 'Sustituida por MTY-000003'), "
               "('Poliza_Servicio', 'MTY-000003', 'Sustituye a MTY-000002')",
       host::ChainNoteRefusal(capture_, "MTY-000002", "Sustituida por MTY-000003")},
      {notes + "('poliza_servicio', 'MTY-000003', 'Sustituye a MTY-000002')",
       host::ChainNoteRefusal(capture_, "MTY-000003", "Sustituye a MTY-000002")},
  };
  for (const auto& [statement, refusal] : refused)
    EXPECT_THAT(RefusalOf(capture, statement), HasSubstr("42501: ERROR: " + refusal)) << statement;
  Connection& supervisor = As(supervisor_).ForHost();
  EXPECT_THAT(RefusalOf(supervisor, "UPDATE folio_series SET last_number = 9 WHERE branch = 'MTY'"),
              HasSubstr(host::FolioSeriesRefusal(supervisor_, "MTY", "9")));
  EXPECT_EQ(contents(), before);

  // An edit's statements, as the host writes them in one transaction: a policy of a type,
  // and that type's services.
  const auto insert = [&](const std::string& folio) {
    capture.Execute(
        "INSERT INTO Poliza_Servicio (Ps_Folio, Ps_Fecha, Sc_Cve_Sucursal, "
        "Tps_Cve_Tipo_Poliza_Servicio) VALUES ('" +
        folio + "', '" + Today().ToIsoDate() + "', 'MTY', 'SOPMEN')");
  };
  const auto services_of_type = [](const std::string& folio) {
    return "INSERT INTO Poliza_Servicio_Tipo_Servicio SELECT '" + folio +
           "', Ts_Cve_Tipo_Servicio, Tpt_Cantidad, 0, 0 FROM Tipo_Poliza_Servicio_Tipo_Servicio "
           "WHERE Tps_Cve_Tipo_Poliza_Servicio = 'SOPMEN'";
  };
  const auto cancel = [&](const std::string& folio) {
    capture.Execute("UPDATE Poliza_Servicio SET Es_Cve_Estado = 'CA' WHERE Ps_Folio = '" + folio +
                    "'");
  };
  {
    host::TransactionScope edit(capture);
    cancel("MTY-000001");
    insert("X-1");
    capture.Execute(services_of_type("X-1"));
    capture.Execute("INSERT INTO extended_text VALUES ('Poliza_Servicio', 'X-1', '0001', 'a')");
    capture.Execute(
        "UPDATE extended_text SET text = 'copiado' WHERE record_key = 'X-1' AND entry_code = "
        "'0001'");
    capture.Execute(
        "INSERT INTO additional_field_value VALUES ('POLIZA_SERVICIO', 'X-1', 'CONTACTO', 'G')");
    capture.Execute("UPDATE folio_series SET last_number = last_number + 1 WHERE branch = 'MTY'");
    capture.Execute("INSERT INTO folio_series VALUES ('TAM', 'Poliza_Servicio', 1)");
    capture.Execute(notes +
                    "('Poliza_Servicio', 'MTY-000001', 'Sustituida por X-1'), "
                    "('Poliza_Servicio', 'X-1', 'Sustituye a MTY-000001')");
    edit.Commit();
  }
  EXPECT_EQ(Stored("SELECT (SELECT string_agg(note, ', ' ORDER BY id) FROM record_log WHERE "
                   "record_key IN ('MTY-000001', 'X-1') AND note LIKE 'Sustitu%') || '|' || "
                   "(SELECT text FROM extended_text WHERE record_key = 'X-1') || '|' || (SELECT "
                   "value FROM additional_field_value WHERE record_key = 'X-1') || '|' || (SELECT "
                   "string_agg(branch || last_number, ',' ORDER BY branch) FROM folio_series "
                   "WHERE branch IN ('MTY', 'TAM')) || '|' || (SELECT COUNT(*) FROM "
                   "Poliza_Servicio_Tipo_Servicio WHERE Ps_Folio = 'X-1') AS v"),
            "'Sustituida por X-1, Sustituye a MTY-000001|copiado|G|MTY11,TAM1|2'");
  // Its transaction over, the new policy is like any other; and an edit notes only the
  // policies it cancelled and inserted, each the way it went.
  EXPECT_THAT(RefusalOf(capture, services_of("X-1")),
              HasSubstr(host::ServiceRowsRefusal(capture_, "X-1")));
  EXPECT_THAT(RefusalOf(capture, "UPDATE extended_text SET text = 'b' WHERE record_key = 'X-1'"),
              HasSubstr(host::PolicyTextRefusal(capture_, "X-1")));
  for (const char* note : {"('Poliza_Servicio', 'X-2', 'Sustituida por MTY-000003')",
                           "('Poliza_Servicio', 'MTY-000003', 'Sustituye a X-2')",
                           "('Poliza_Servicio', 'X-2', 'Sustituye a MTY-000002')",
                           "('Poliza_Servicio', 'MTY-000002', 'Sustituida por X-2')",
                           "('Poliza_Servicio', 'MTY-000003', 'Sustituida por X-1')"}) {
    host::TransactionScope edit(capture);
    cancel("MTY-000003");
    insert("X-2");
    EXPECT_THAT(RefusalOf(capture, notes + note),
                HasSubstr("42501: ERROR: El operador " + capture_ + " no puede anotar"))
        << note;
  }
  EXPECT_EQ(Stored("SELECT COUNT(*) AS v FROM record_log WHERE record_key IN ('X-2', "
                   "'MTY-000002', 'MTY-000003') AND note LIKE 'Sustitu%'"),
            "n:0");

  // An insert that met its folio taken inserted nothing: it lets no service, text or chain
  // note of the policy that was there. Nor does a new policy take services its type lacks,
  // or other quantities.
  const auto untouched = [&](const std::string& folio) {
    return "INSERT INTO Poliza_Servicio (Ps_Folio, Ps_Fecha) VALUES ('" + folio + "', '" +
           Today().ToIsoDate() + "') ON CONFLICT DO NOTHING";
  };
  const std::string text_of =
      "INSERT INTO extended_text VALUES ('Poliza_Servicio', 'MTY-000006', '0001', 'falso') ON "
      "CONFLICT (table_name, record_key, entry_code) DO UPDATE SET text = excluded.text";
  const std::string service = "INSERT INTO Poliza_Servicio_Tipo_Servicio VALUES ";
  const std::string after_contents = contents();
  struct Attempt {
    std::vector<std::string> before;
    std::string statement, refusal;
  };
  const Attempt attempts[] = {
      {{untouched("MTY-000003")},
       services_of("MTY-000003"),
       host::ServiceRowsRefusal(capture_, "MTY-000003")},
      {{untouched("MTY-000006")}, text_of, host::PolicyTextRefusal(capture_, "MTY-000006")},
      {{"UPDATE Poliza_Servicio SET Es_Cve_Estado = 'CA' WHERE Ps_Folio = 'MTY-000002'",
        untouched("MTY-000004")},
       notes + "('Poliza_Servicio', 'MTY-000002', 'Sustituida por MTY-000004'), "
               "('Poliza_Servicio', 'MTY-000004', 'Sustituye a MTY-000002')",
       host::ChainNoteRefusal(capture_, "MTY-000002", "Sustituida por MTY-000004")},
      {{},
       service + "('X-7', 'CAPACIT', 5000, 0, 0)",
       host::ServiceOfTypeRefusal(capture_, "X-7", "CAPACIT")},
      {{},
       service + "('X-7', 'SOPREM', 11, 0, 0)",
       host::ServiceOfTypeRefusal(capture_, "X-7", "SOPREM")},
      {{},
       service + "('X-7', 'VISITA', NULL, 0, 0)",
       host::ServiceOfTypeRefusal(capture_, "X-7", "VISITA")},
      {{"INSERT INTO Poliza_Servicio (Ps_Folio, Ps_Fecha) VALUES ('X-8', '" + Today().ToIsoDate() +
        "')"},
       service + "('X-8', 'SOPREM', 10, 0, 0)",
       host::ServiceOfTypeRefusal(capture_, "X-8", "SOPREM")},
  };
  for (const Attempt& attempt : attempts) {
    host::TransactionScope edit(capture);
    insert("X-7");
    for (const std::string& statement : attempt.before) capture.Execute(statement);
    EXPECT_THAT(RefusalOf(capture, attempt.statement),
                HasSubstr("42501: ERROR: " + attempt.refusal))
        << attempt.statement;
  }
  EXPECT_EQ(contents(), after_contents);
}

// A cancellation leaves the date an edit may keep, and clears what Bajas left, without
// waiting for a cancellation still open elsewhere; a policy without a date is cancelled too.
TEST_F(OperatorRolesTest, ABajaNeitherWaitsForAnotherNorNeedsADate) {
  const auto cancel = [](Connection& sql, const std::string& folio) {
    sql.Execute("UPDATE Poliza_Servicio SET Es_Cve_Estado = 'CA' WHERE Ps_Folio = '" + folio + "'");
  };
  admin_->ForHost().Execute(
      "UPDATE Poliza_Servicio SET Ps_Fecha = NULL WHERE Ps_Folio = 'MTY-000003'");
  Connection& first = As(capture_).ForHost();
  EXPECT_EQ(Refusal([&] { cancel(first, "MTY-000003"); }), "no error");
  cancel(first, "GDL-000001");  // a Baja leaves its date behind

  host::TransactionScope open_elsewhere(first);
  cancel(first, "GDL-000002");
  Connection& second = As(capture_).ForHost();
  second.Execute("SET lock_timeout = '2s'");
  EXPECT_EQ(Refusal([&] { cancel(second, "MTY-000004"); }), "no error");
  open_elsewhere.Commit();
  EXPECT_EQ(Stored("SELECT string_agg(Ps_Folio, ',' ORDER BY Ps_Folio) AS v FROM "
                   "Poliza_Servicio WHERE Es_Cve_Estado = 'CA' AND Ps_Folio IN ('GDL-000001', "
                   "'GDL-000002', 'MTY-000003', 'MTY-000004')"),
            "'GDL-000001,GDL-000002,MTY-000003,MTY-000004'");
}

// A login that is granted neither role is not one of the database's operators; one that is
// is the only operator its session can be. The roles are the whole server's, but a database
// made by init takes only the logins its administrator lets connect to it: another office's
// operator cannot reach its policies.
TEST_F(OperatorRolesTest, OnlyALoginGrantedARoleAndTheConnectionWorksAndOnlyAsItself) {
  const std::string stranger = MakeLogin("ajeno", "");
  EXPECT_EQ(Refusal([&] { host::SignOn(As(stranger), {}); }),
            "the login " + stranger +
                " is not an operator of this database: its administrator grants it the role "
                "polizas_captura or polizas_supervisor");
  EXPECT_EQ(Refusal([&] {
              host::SignOn(As(capture_), {"ADMIN", std::nullopt, {}});
            }),
            "on this server database the operator is the connection's login, \"" + capture_ +
                "\", not \"ADMIN\"");
  // A pinned clock would have the screen propose a day that the server then refuses.
  EXPECT_EQ(
      Refusal([&] {
        host::SignOn(As(capture_), {std::nullopt, std::nullopt, host::PinnedClock("2099-01-01")});
      }),
      "--clock is for databases whose operators do not sign in: this one goes by the "
      "server's clock");
  // The database's owner names the operator it works as, as the tests do.
  EXPECT_EQ(host::SignOn(*admin_, {"CAPTURA", std::nullopt, {}}).sign_in, host::SignInMode::kNamed);

  ServerDatabase other_office(ServerDatabase::Contents::kEmpty);
  ASSERT_EQ(PolizasDb("init --odbc '" + other_office.ConnectionString() + "'"),
            "0 Created the tables with the schema\n");
  const std::string connection = AsLogin(other_office.ConnectionString(), capture_);
  const auto sign_on = [&] { return host::SignOn(*host::OpenOdbcDatabase(connection), {}); };
  EXPECT_THAT(Refusal([&] { sign_on(); }),
              HasSubstr("permission denied for database \"" + other_office.Name() + "\""));
  admin_->ForHost().Execute("GRANT CONNECT ON DATABASE " + other_office.Name() + " TO " + capture_);
  EXPECT_EQ(sign_on().user_code, capture_);
}

}  // namespace
}  // namespace nv407::testing
