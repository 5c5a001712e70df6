#include "host/db/server_access.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string>
#include <vector>

#include "host/db/access.h"
#include "host/db/chain_notes.h"

namespace nv407::host {
namespace {

// What each group role may do, table by table; nothing else is granted. Capture's
// column rights are the columns its screen commands update; the counters' right lets the
// counters' guard, rather than a missing right, refuse them, so that the refusal names
// the permission.
struct Grant {
  std::string_view role, privileges, table;
};
constexpr std::array<Grant, 24> kGrants = {{
    {kCaptureRole, "SELECT", "Sucursal"},
    {kCaptureRole, "SELECT", "Vendedor"},
    {kCaptureRole, "SELECT", "Cliente"},
    {kCaptureRole, "SELECT", "Producto"},
    {kCaptureRole, "SELECT", "Tipo_Servicio"},
    {kCaptureRole, "SELECT", "Tipo_Poliza_Servicio"},
    {kCaptureRole, "SELECT", "Tipo_Poliza_Servicio_Tipo_Servicio"},
    {kCaptureRole, "SELECT, INSERT", "Poliza_Servicio"},
    {kCaptureRole, "UPDATE (Es_Cve_Estado, Oper_Baja, Fecha_Baja)", "Poliza_Servicio"},
    {kSupervisorRole, "UPDATE (Oper_Ult_Modif, Fecha_Ult_Modif)", "Poliza_Servicio"},
    {kCaptureRole, "SELECT, INSERT", "Poliza_Servicio_Tipo_Servicio"},
    {kCaptureRole, "UPDATE (Pst_Tiempo_Utilizado, Pst_Evento_Utilizado)",
     "Poliza_Servicio_Tipo_Servicio"},
    {kCaptureRole, "SELECT, INSERT", "folio_series"},
    {kCaptureRole, "UPDATE (last_number)", "folio_series"},
    {kCaptureRole, "SELECT, INSERT", "extended_text"},
    {kCaptureRole, "UPDATE (text)", "extended_text"},
    {kCaptureRole, "SELECT, INSERT", "additional_field_value"},
    {kCaptureRole, "UPDATE (value)", "additional_field_value"},
    {kCaptureRole, "SELECT, INSERT", "record_log"},
    {kCaptureRole, "SELECT", "additional_field"},
    {kCaptureRole, "SELECT", "host_parameter"},
    {kCaptureRole, "SELECT", "product_text"},
    {kCaptureRole, "SELECT", "host_transaction"},
    // The finder's orders; the triggers keep them, the operators only read them.
    {kCaptureRole, "SELECT", "policy_order"},
}};

// Every grant, or those on one table.
std::vector<std::string> Grants(std::string_view only_on = {}) {
  std::vector<std::string> statements;
  for (const Grant& grant : kGrants) {
    if (only_on.empty() || grant.table == only_on)
      statements.push_back("GRANT " + std::string(grant.privileges) + " ON " +
                           std::string(grant.table) + " TO " + std::string(grant.role));
  }
  return statements;
}

std::string S(std::string_view text) {
  return std::string(text);
}

// "('NV407', 'CHFECHA'), ..." for PostgreSQL's IN, or "(@module ... = 'NV407' AND
// @permission ... = 'CHFECHA') OR ..." for SQL Server.
std::string SupervisorPairs() {
  std::string pairs;
  for (const Permission& held : kSupervisorPermissions) {
    if (!pairs.empty()) pairs += ", ";
    pairs += "('" + S(held.module) + "', '" + S(held.key) + "')";
  }
  return pairs;
}
// Compared exactly, as PostgreSQL compares them: '=' ignores what the database's collation
// ignores (letter case) and trailing spaces.
// (Appended piece by piece: GCC 12 at -O3 takes a sum of these for overlapping copies.)
void AppendExactly(std::string& out, std::string_view variable, std::string_view text) {
  out.append(variable).append(" COLLATE Latin1_General_100_BIN2 = '").append(text);
  out.append("' AND DATALENGTH(").append(variable).append(") = ");
  out.append(std::to_string(text.size()));
}
std::string SupervisorConditions() {
  std::string conditions;
  for (const Permission& held : kSupervisorPermissions) {
    if (!conditions.empty()) conditions += " OR ";
    conditions += '(';
    AppendExactly(conditions, "@module", held.module);
    conditions += " AND ";
    AppendExactly(conditions, "@permission", held.key);
    conditions += ')';
  }
  return conditions;
}

std::string Holds(const Permission& permission, std::string_view function) {
  return S(function) + "('" + S(permission.module) + "', '" + S(permission.key) + "')";
}

// A message with markers \x01, \x02, ... written as the expressions in their place:
// RAISE's format and arguments on PostgreSQL, CONCAT on SQL Server.
std::string PostgreSqlRaise(const std::string& message, std::initializer_list<std::string> values) {
  std::string format;
  for (char c : message)
    format += (c >= '\x01' && c <= '\x09') ? std::string("%") : std::string(1, c);
  std::string raise = "RAISE EXCEPTION '" + format + "'";
  for (const std::string& value : values) raise += ", " + value;
  return raise + " USING ERRCODE = 'insufficient_privilege';";
}
std::string SqlServerThrow(const std::string& message, std::initializer_list<std::string> values) {
  std::string concat = "CONCAT(N'";
  for (char c : message) {
    if (c >= '\x01' && c <= '\x09') {
      concat += "', " + *(values.begin() + (c - 1)) + ", N'";
    } else {
      concat += c;
    }
  }
  return "DECLARE @message NVARCHAR(2048) = " + concat + "'); THROW 51000, @message, 1;";
}

// The time and date on the server's clock in the time zone of the session that made the
// schema: a session cannot move them by changing its own time zone or the host's pinned
// clock (polizas.clock), which only GetDate() follows.
constexpr std::string_view kPostgreSqlServerNow =
    "DO $do$BEGIN EXECUTE format($f$CREATE FUNCTION polizas_server_now() RETURNS TIMESTAMP(0) "
    "LANGUAGE sql VOLATILE AS $b$SELECT date_trunc('second', clock_timestamp() AT TIME ZONE "
    "%L)::timestamp(0)$b$$f$, current_setting('TimeZone')); END$do$";

// An operator's note carries its login, the server's time and the next number of the
// table's own: a number the statement chose would put the note before others, or take the
// number of a note to come and make its writing fail. (It runs as the table's owner for the
// sequence; no login may call it, PostgreSqlTriggerFunctionsClosed.)
constexpr std::string_view kPostgreSqlNoteStamp =
    "CREATE OR REPLACE FUNCTION polizas_stamp_note() RETURNS trigger LANGUAGE plpgsql SECURITY "
    "DEFINER AS $$BEGIN IF NOT polizas_session_administers() THEN "
    "NEW.id := nextval(pg_get_serial_sequence('record_log', 'id')); "
    "NEW.user_code := session_user; NEW.logged_at := polizas_server_now(); END IF; "
    "RETURN NEW; END$$";

// A trigger function is its triggers' alone: one that runs as its owner (SECURITY DEFINER)
// and that a login could call from a trigger of its own on a temporary table would write as
// the owner what that login gives it. PostgreSQL lets every login run a new function; a
// trigger runs its function whoever may.
constexpr std::string_view kPostgreSqlTriggerFunctionsClosed =
    "DO $do$DECLARE f regprocedure; BEGIN FOR f IN SELECT p.oid::regprocedure FROM pg_proc p "
    "JOIN pg_namespace n ON n.oid = p.pronamespace WHERE n.nspname = current_schema() AND "
    "p.prorettype = 'trigger'::regtype LOOP EXECUTE format('REVOKE EXECUTE ON FUNCTION %s FROM "
    "PUBLIC', f); END LOOP; END$do$";

// Where an edit's new policy may take a date other than the server's day: the date of the
// policy the same transaction cancelled, one new policy per cancelled one. The owner's
// alone: no login reads or writes it, so that none can claim a cancellation it did not make.
constexpr std::string_view kPostgreSqlReplacedDates =
    "CREATE TABLE IF NOT EXISTS polizas_replaced_date (xact xid8 NOT NULL, Ps_Fecha DATE NOT "
    "NULL)";

// The policies the current transaction inserted (inserted) and cancelled (not inserted): an
// operator writes services, texts and chain notes only of those, as its save does. The
// owner's alone, as the replaced dates. Keyed by the top transaction's id, which every
// statement's savepoint shares (a row's xmin would be the savepoint's).
constexpr std::string_view kPostgreSqlWrittenPolicies =
    "CREATE TABLE IF NOT EXISTS polizas_written_policy (xact xid8 NOT NULL, Ps_Folio TEXT NOT "
    "NULL, inserted BOOLEAN NOT NULL, PRIMARY KEY (xact, Ps_Folio, inserted))";

// Whether the current transaction inserted (or cancelled) the policy of that folio.
std::string WrittenByThisTransaction(std::string_view folio, bool inserted) {
  return "EXISTS (SELECT FROM polizas_written_policy WHERE xact = pg_current_xact_id() AND "
         "Ps_Folio = " +
         S(folio) + " AND " + (inserted ? "inserted" : "NOT inserted") + ")";
}

// Notes the policy as written by the current transaction. Its first such note clears those
// of finished transactions (another's are visible only once it ended), skipping rows another
// transaction is clearing rather than waiting for them.
std::string NoteWritten(std::string_view folio, bool inserted) {
  return "IF NOT EXISTS (SELECT FROM polizas_written_policy WHERE xact = pg_current_xact_id()) "
         "THEN DELETE FROM polizas_written_policy WHERE ctid IN (SELECT ctid FROM "
         "polizas_written_policy WHERE xact <> pg_current_xact_id() FOR UPDATE SKIP LOCKED); "
         "END IF; INSERT INTO polizas_written_policy VALUES (pg_current_xact_id(), " +
         S(folio) + ", " + (inserted ? "true" : "false") + ") ON CONFLICT DO NOTHING; ";
}

// An operator's policy carries its login and the server's time in the audit columns,
// whatever the statement wrote. A new one is dated the server's day unless CHFECHA, or
// keeps the date of the policy its edit cancelled (an edit leaves every value in place).
// It runs as the tables' owner for the replaced dates; no login may call it.
std::string PolicyStampBody() {
  return "DECLARE now_ TIMESTAMP(0) := polizas_server_now(); BEGIN "
         "IF polizas_session_administers() THEN RETURN NEW; END IF; "
         "IF TG_OP = 'INSERT' THEN "
         "IF NEW.Ps_Fecha IS DISTINCT FROM now_::date AND NOT " +
         Holds(kChangeDate, "polizas_session_holds") +
         " THEN DELETE FROM polizas_replaced_date WHERE ctid = (SELECT ctid FROM "
         "polizas_replaced_date WHERE xact = pg_current_xact_id() AND Ps_Fecha = NEW.Ps_Fecha "
         "LIMIT 1); IF NOT FOUND THEN " +
         PostgreSqlRaise(PolicyDateRefusal("\x01", "\x02", "\x03"),
                         {"session_user", "NEW.Ps_Folio", "to_char(now_, 'YYYY-MM-DD')"}) +
         " END IF; END IF; "
         "NEW.Oper_Alta := session_user; NEW.Fecha_Alta := now_; "
         "NEW.Oper_Ult_Modif := session_user; NEW.Fecha_Ult_Modif := now_; "
         "IF NEW.Oper_Baja IS NOT NULL OR NEW.Fecha_Baja IS NOT NULL OR NEW.Es_Cve_Estado = "
         "'CA' THEN NEW.Oper_Baja := session_user; NEW.Fecha_Baja := now_; END IF; "
         "RETURN NEW; END IF; "
         "NEW.Oper_Alta := OLD.Oper_Alta; NEW.Fecha_Alta := OLD.Fecha_Alta; "
         "IF (NEW.Oper_Ult_Modif, NEW.Fecha_Ult_Modif) IS DISTINCT FROM (OLD.Oper_Ult_Modif, "
         "OLD.Fecha_Ult_Modif) THEN NEW.Oper_Ult_Modif := session_user; NEW.Fecha_Ult_Modif := "
         "now_; END IF; "
         // The only change of state is a cancellation, which alone writes its columns.
         "IF NEW.Es_Cve_Estado IS DISTINCT FROM OLD.Es_Cve_Estado AND NEW.Es_Cve_Estado IS "
         "DISTINCT FROM 'CA' THEN " +
         PostgreSqlRaise(PolicyStateRefusal("\x01", "\x02"), {"session_user", "OLD.Ps_Folio"}) +
         " END IF; "
         "IF (NEW.Oper_Baja, NEW.Fecha_Baja) IS DISTINCT FROM (OLD.Oper_Baja, OLD.Fecha_Baja) "
         "AND NOT (NEW.Es_Cve_Estado IS NOT DISTINCT FROM 'CA' AND OLD.Es_Cve_Estado IS "
         "DISTINCT FROM 'CA') THEN " +
         PostgreSqlRaise(CancellationColumnsRefusal("\x01", "\x02"),
                         {"session_user", "OLD.Ps_Folio"}) +
         " END IF; "
         // Dates left by other transactions are of Bajas, which made no new policy; rows
         // another cancellation is removing are skipped rather than waited for (every
         // cancellation would otherwise queue behind one still open).
         "IF NEW.Es_Cve_Estado = 'CA' AND OLD.Es_Cve_Estado IS DISTINCT FROM 'CA' THEN "
         "NEW.Oper_Baja := session_user; NEW.Fecha_Baja := now_; "
         "DELETE FROM polizas_replaced_date WHERE ctid IN (SELECT ctid FROM "
         "polizas_replaced_date WHERE xact <> pg_current_xact_id() FOR UPDATE SKIP LOCKED); "
         "IF OLD.Ps_Fecha IS NOT NULL THEN INSERT INTO polizas_replaced_date VALUES "
         "(pg_current_xact_id(), OLD.Ps_Fecha); END IF; END IF; "
         "RETURN NEW; END";
}

std::string PostgreSqlPolicyStampFunction() {
  return "CREATE OR REPLACE FUNCTION polizas_stamp_policy() RETURNS trigger LANGUAGE plpgsql "
         "SECURITY DEFINER AS $$" +
         PolicyStampBody() + "$$";
}

// A trigger of the guards of what only an operator's own save writes: made where the
// table has none of its name, so that an upgrade may run it again.
struct GuardTrigger {
  std::string_view name, table, events, function, timing = "BEFORE";
};
constexpr std::array<GuardTrigger, 6> kSaveGuardTriggers = {{
    // After the row: a BEFORE INSERT runs ahead of the unique check that makes an ON
    // CONFLICT DO NOTHING insert nothing. An AFTER trigger runs only for a row written, and
    // its note goes with its statement's savepoint when that fails.
    {"Poliza_Servicio_written", "Poliza_Servicio", "INSERT OR UPDATE", "polizas_note_written",
     "AFTER"},
    {"Poliza_Servicio_Tipo_Servicio_policy", "Poliza_Servicio_Tipo_Servicio", "INSERT",
     "polizas_guard_services"},
    {"folio_series_step", "folio_series", "INSERT OR UPDATE", "polizas_guard_series"},
    {"extended_text_policy", "extended_text", "INSERT OR UPDATE", "polizas_guard_policy_text"},
    {"additional_field_value_policy", "additional_field_value", "INSERT OR UPDATE",
     "polizas_guard_policy_text"},
    {"record_log_chain", "record_log", "INSERT", "polizas_guard_chain_note"},
}};

std::string CreatedWhereMissing(const GuardTrigger& trigger) {
  return "DO $do$BEGIN IF NOT EXISTS (SELECT FROM pg_trigger WHERE tgrelid = '" + S(trigger.table) +
         "'::regclass AND tgname = lower('" + S(trigger.name) + "')) THEN CREATE TRIGGER " +
         S(trigger.name) + " " + S(trigger.timing) + " " + S(trigger.events) + " ON " +
         S(trigger.table) + " FOR EACH ROW EXECUTE FUNCTION " + S(trigger.function) +
         "(); END IF; END$do$";
}

// A chain note holds when its policy and the one it names were cancelled and inserted by
// the current transaction, the way the note says: the edit's two notes.
std::string ChainNoteHolds(const std::string& prefix, bool policy_inserted) {
  const std::string named =
      "substr(NEW.note, " + std::to_string(prefix.size() + 1) + ")";  // prefixes are ASCII
  return "starts_with(NEW.note, '" + prefix + "') THEN IF " +
         WrittenByThisTransaction("NEW.record_key", policy_inserted) + " AND " +
         WrittenByThisTransaction(named, !policy_inserted) + " THEN RETURN NEW; END IF; ";
}

// Services, extended texts and additional fields of a policy are written by the save that
// inserts it, in its transaction; a folio series starts at 1 and moves on by one; the chain
// notes are an edit's. They run as the tables' owner for the written policies.
std::vector<std::string> SaveGuards() {
  const std::string policy_table = "NEW.table_name COLLATE polizas_nocase = 'Poliza_Servicio'";
  std::vector<std::string> statements = {
      S(kPostgreSqlWrittenPolicies),
      // An operator's policy inserted, or cancelled, by a row really written.
      "CREATE OR REPLACE FUNCTION polizas_note_written() RETURNS trigger LANGUAGE plpgsql "
      "SECURITY DEFINER AS $$BEGIN IF polizas_session_administers() THEN RETURN NULL; END IF; "
      "IF TG_OP = 'INSERT' THEN " +
          NoteWritten("NEW.Ps_Folio", true) +
          "ELSIF NEW.Es_Cve_Estado = 'CA' AND OLD.Es_Cve_Estado IS DISTINCT FROM 'CA' THEN " +
          NoteWritten("OLD.Ps_Folio", false) + "END IF; RETURN NULL; END$$",
      // As the save writes them: the services of the policy's type, each with its quantity.
      "CREATE OR REPLACE FUNCTION polizas_guard_services() RETURNS trigger LANGUAGE plpgsql "
      "SECURITY DEFINER AS $$BEGIN IF polizas_session_administers() THEN RETURN NEW; END IF; "
      "IF NOT " +
          WrittenByThisTransaction("NEW.Ps_Folio", true) + " THEN " +
          PostgreSqlRaise(ServiceRowsRefusal("\x01", "\x02"), {"session_user", "NEW.Ps_Folio"}) +
          " END IF; IF EXISTS (SELECT FROM Poliza_Servicio p JOIN "
          "Tipo_Poliza_Servicio_Tipo_Servicio t ON t.Tps_Cve_Tipo_Poliza_Servicio = "
          "p.Tps_Cve_Tipo_Poliza_Servicio WHERE p.Ps_Folio = NEW.Ps_Folio AND "
          "t.Ts_Cve_Tipo_Servicio = NEW.Ts_Cve_Tipo_Servicio AND t.Tpt_Cantidad IS NOT DISTINCT "
          "FROM NEW.Pst_Cantidad_Incluida) THEN RETURN NEW; END IF; " +
          // RAISE fills its markers in the order they appear: the service's comes first.
          PostgreSqlRaise(ServiceOfTypeRefusal("\x01", "\x02", "\x03"),
                          {"session_user", "NEW.Ts_Cve_Tipo_Servicio", "NEW.Ps_Folio"}) +
          " END$$",
      "CREATE OR REPLACE FUNCTION polizas_guard_series() RETURNS trigger LANGUAGE plpgsql AS "
      "$$DECLARE next_ BIGINT := 1; BEGIN IF polizas_session_administers() THEN RETURN NEW; END "
      "IF; IF TG_OP = 'UPDATE' THEN next_ := OLD.last_number::bigint + 1; END IF; IF "
      "NEW.last_number IS NOT DISTINCT FROM next_ THEN RETURN NEW; END IF; " +
          PostgreSqlRaise(FolioSeriesRefusal("\x01", "\x02", "\x03"),
                          {"session_user", "NEW.branch", "NEW.last_number"}) +
          " END$$",
      "CREATE OR REPLACE FUNCTION polizas_guard_policy_text() RETURNS trigger LANGUAGE plpgsql "
      "SECURITY DEFINER AS $$BEGIN IF polizas_session_administers() OR NOT " +
          policy_table + " OR " + WrittenByThisTransaction("NEW.record_key", true) +
          " THEN RETURN NEW; END IF; " +
          PostgreSqlRaise(PolicyTextRefusal("\x01", "\x02"), {"session_user", "NEW.record_key"}) +
          " END$$",
      "CREATE OR REPLACE FUNCTION polizas_guard_chain_note() RETURNS trigger LANGUAGE plpgsql "
      "SECURITY DEFINER AS $$BEGIN IF polizas_session_administers() OR NOT " +
          policy_table + " THEN RETURN NEW; END IF; IF " +
          ChainNoteHolds(ReplacedByNote(""), false) + "ELSIF " +
          ChainNoteHolds(ReplacesNote(""), true) + "ELSE RETURN NEW; END IF; " +
          // RAISE fills its markers in the order they appear: the note's comes first.
          PostgreSqlRaise(ChainNoteRefusal("\x01", "\x03", "\x02"),
                          {"session_user", "NEW.note", "NEW.record_key"}) +
          " END$$",
  };
  for (const GuardTrigger& trigger : kSaveGuardTriggers)
    statements.push_back(CreatedWhereMissing(trigger));
  return statements;
}

// The session's statements are trusted as written when its login owns the tables (or is a
// superuser): it could drop the guards anyway. Those are the database's administrators.
std::vector<std::string> PostgreSqlFunctions() {
  std::vector<std::string> functions = {
      "CREATE FUNCTION polizas_session_administers() RETURNS boolean LANGUAGE sql STABLE AS "
      "$$SELECT pg_has_role(session_user, relowner, 'MEMBER') FROM pg_class WHERE oid = "
      "'poliza_servicio'::regclass$$",
      "CREATE FUNCTION polizas_session_holds(text, text) RETURNS boolean LANGUAGE sql STABLE AS "
      "$$SELECT ($1, $2) IN (" +
          SupervisorPairs() + ") AND pg_has_role(session_user, '" + S(kSupervisorRole) +
          "', 'MEMBER')$$",
      // The used counters change only in a session that holds INISERV; a new service row
      // starts at nothing used.
      "CREATE FUNCTION polizas_guard_counters() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN "
      "IF polizas_session_administers() OR " +
          Holds(kResetCounters, "polizas_session_holds") +
          " THEN RETURN NEW; END IF; "
          "IF TG_OP = 'INSERT' THEN IF COALESCE(NEW.Pst_Tiempo_Utilizado, 0) = 0 AND "
          "COALESCE(NEW.Pst_Evento_Utilizado, 0) = 0 THEN RETURN NEW; END IF; "
          "ELSIF (NEW.Pst_Tiempo_Utilizado, NEW.Pst_Evento_Utilizado) IS NOT DISTINCT FROM "
          "(OLD.Pst_Tiempo_Utilizado, OLD.Pst_Evento_Utilizado) THEN RETURN NEW; END IF; " +
          PostgreSqlRaise(CounterChangeRefusal("\x01", "\x02"), {"session_user", "NEW.Ps_Folio"}) +
          " END$$",
      PostgreSqlNoteStamp(),
      "CREATE TRIGGER Poliza_Servicio_operator BEFORE INSERT OR UPDATE ON Poliza_Servicio FOR "
      "EACH ROW EXECUTE FUNCTION polizas_stamp_policy()",
      "CREATE TRIGGER Poliza_Servicio_Tipo_Servicio_counters BEFORE INSERT OR UPDATE ON "
      "Poliza_Servicio_Tipo_Servicio FOR EACH ROW EXECUTE FUNCTION polizas_guard_counters()",
      "CREATE TRIGGER record_log_operator BEFORE INSERT ON record_log FOR EACH ROW EXECUTE "
      "FUNCTION polizas_stamp_note()",
  };
  const std::vector<std::string> stamp = PostgreSqlPolicyStamp();
  functions.insert(functions.begin() + 2, stamp.begin(), stamp.end());
  for (std::string& statement : SaveGuards()) functions.push_back(std::move(statement));
  return functions;
}

// The guards of the schema's own.
constexpr std::array kGuardFunctions = {"polizas_server_now",
                                        "polizas_session_administers",
                                        "polizas_session_holds",
                                        "polizas_stamp_policy",
                                        "polizas_guard_counters",
                                        "polizas_stamp_note",
                                        "polizas_note_written",
                                        "polizas_guard_services",
                                        "polizas_guard_series",
                                        "polizas_guard_policy_text",
                                        "polizas_guard_chain_note",
                                        "refuse_change_to_cancelled_policy",
                                        "refuse_services_of_cancelled_policy"};

}  // namespace

// Roles belong to the whole server: made by the first database's schema, found by the rest.
std::string PostgreSqlRoles() {
  const std::string capture = S(kCaptureRole), supervisor = S(kSupervisorRole);
  return "DO $$BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = '" + capture +
         "') THEN CREATE ROLE " + capture +
         " NOLOGIN; END IF; IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = '" + supervisor +
         "') THEN CREATE ROLE " + supervisor + " NOLOGIN IN ROLE " + capture +
         "; END IF; EXCEPTION WHEN duplicate_object OR unique_violation THEN NULL; END$$";
}

std::string PolicyDateRefusal(std::string_view user, std::string_view folio,
                              std::string_view server_date) {
  return "El operador " + S(user) + " no tiene el permiso " + S(kChangeDate.key) + ": la póliza " +
         S(folio) + " debe llevar la fecha del servidor (" + S(server_date) + ")";
}

std::string CounterChangeRefusal(std::string_view user, std::string_view folio) {
  return "El operador " + S(user) + " no tiene el permiso " + S(kResetCounters.key) +
         ": no puede cambiar los servicios usados de la póliza " + S(folio);
}

std::string PolicyStateRefusal(std::string_view user, std::string_view folio) {
  return "El operador " + S(user) + " no puede cambiar el estado de la póliza " + S(folio) +
         ": solo puede darla de baja (estado CA)";
}

std::string CancellationColumnsRefusal(std::string_view user, std::string_view folio) {
  return "El operador " + S(user) + " no puede escribir los datos de baja de la póliza " +
         S(folio) + " sin darla de baja";
}

std::string ServiceRowsRefusal(std::string_view user, std::string_view folio) {
  return "El operador " + S(user) + " no puede agregar servicios a la póliza " + S(folio) +
         ": solo a la que da de alta al guardar";
}

std::string ServiceOfTypeRefusal(std::string_view user, std::string_view folio,
                                 std::string_view service) {
  return "El operador " + S(user) + " no puede agregar el servicio " + S(service) +
         " a la póliza " + S(folio) +
         ": solo los servicios de su tipo de póliza, con la cantidad que el tipo incluye";
}

std::string PolicyTextRefusal(std::string_view user, std::string_view folio) {
  return "El operador " + S(user) +
         " no puede escribir los textos ni los campos adicionales de la póliza " + S(folio) +
         ": solo los de la que da de alta al guardar";
}

std::string FolioSeriesRefusal(std::string_view user, std::string_view branch,
                               std::string_view number) {
  return "El operador " + S(user) + " no puede poner la serie de folios de la sucursal " +
         S(branch) + " en " + S(number) + ": una serie empieza en 1 y avanza de uno en uno";
}

std::string ChainNoteRefusal(std::string_view user, std::string_view folio, std::string_view note) {
  return "El operador " + S(user) + " no puede anotar «" + S(note) + "» en la póliza " + S(folio) +
         ": esa nota solo la escribe la edición que da de baja una póliza y da de alta la que la "
         "sustituye";
}

// Each function reads the schema's tables and functions, never a session's temporary table
// of the same name (which an unqualified name would find first).
std::string PostgreSqlFixedSearchPath(const std::vector<std::string>& functions) {
  std::string names;
  for (const std::string& function : functions)
    names += (names.empty() ? "'" : ", '") + function + "'";
  return "DO $do$DECLARE f regprocedure; BEGIN FOR f IN SELECT p.oid::regprocedure FROM pg_proc p "
         "JOIN pg_namespace n ON n.oid = p.pronamespace WHERE n.nspname = current_schema() AND "
         "p.proname IN (" +
         names +
         ") LOOP EXECUTE format('ALTER FUNCTION %s SET search_path = %I, pg_temp', f, "
         "current_schema()); END LOOP; END$do$";
}

std::vector<std::string> PostgreSqlGuardFunctions() {
  return {kGuardFunctions.begin(), kGuardFunctions.end()};
}

std::string PostgreSqlServerNow() {
  return S(kPostgreSqlServerNow);
}

std::string PostgreSqlSessionLogin() {
  return "SELECT session_user AS v, CASE WHEN polizas_session_administers() THEN 1 ELSE 0 END "
         "AS administers, CASE WHEN pg_has_role(session_user, '" +
         S(kCaptureRole) + "', 'MEMBER') THEN 1 ELSE 0 END AS operates";
}

// IS_MEMBER asks the session's own membership, nested roles included; IS_ROLEMEMBER
// reads the role's members, which a login without VIEW DEFINITION may not see (NULL).
std::string SqlServerSessionLogin() {
  return "SELECT USER_NAME() AS v, CAST(dbo.polizas_session_administers() AS INT) AS "
         "administers, CASE WHEN IS_MEMBER('" +
         S(kCaptureRole) + "') = 1 THEN 1 ELSE 0 END AS operates";
}

std::vector<std::string> GrantsOn(std::string_view table) {
  return Grants(table);
}

std::vector<std::string> PostgreSqlAccess() {
  std::vector<std::string> statements = {PostgreSqlRoles()};
  for (std::string& grant : Grants()) statements.push_back(std::move(grant));
  for (std::string& function : PostgreSqlFunctions()) statements.push_back(std::move(function));
  statements.push_back(PostgreSqlFixedSearchPath(PostgreSqlGuardFunctions()));
  statements.push_back(PostgreSqlTriggerFunctionsClosed());
  return statements;
}

// The roles are the whole server's: a login granted one for an office's database would
// otherwise connect to every other made on the server, which PUBLIC may connect to by
// default. Init's alone: an upgrade would shut out the operators of a database in use.
std::string PostgreSqlDatabaseClosed() {
  return "DO $do$BEGIN EXECUTE format('REVOKE CONNECT ON DATABASE %I FROM PUBLIC', "
         "current_database()); END$do$";
}

std::string PostgreSqlNoteStamp() {
  return S(kPostgreSqlNoteStamp);
}

std::vector<std::string> PostgreSqlPolicyStamp() {
  return {S(kPostgreSqlReplacedDates), S(kPostgreSqlWrittenPolicies),
          PostgreSqlPolicyStampFunction()};
}

std::vector<std::string> PostgreSqlSaveGuards() {
  return SaveGuards();
}

std::vector<std::string> PostgreSqlSaveGuardTriggers() {
  std::vector<std::string> names;
  for (const GuardTrigger& trigger : kSaveGuardTriggers) names.emplace_back(trigger.name);
  return names;
}

std::vector<std::string> PostgreSqlSaveGuardFunctions() {
  std::vector<std::string> names;
  for (const GuardTrigger& trigger : kSaveGuardTriggers)
    if (std::ranges::find(names, trigger.function) == names.end())
      names.emplace_back(trigger.function);
  return names;
}

std::string PostgreSqlPolicyStampBody() {
  return PolicyStampBody();
}

std::string PostgreSqlTriggerFunctionsClosed() {
  return S(kPostgreSqlTriggerFunctionsClosed);
}

// The server's time to the second, cut rather than rounded: SQL Server rounds a time put
// into DATETIME2(0), which from 23:59:59.5 on would date it the next day.
constexpr std::string_view kSqlServerNow =
    "DECLARE @clock DATETIME2(7) = SYSDATETIME(); DECLARE @now DATETIME2(0) = "
    "DATEADD(NANOSECOND, -DATEPART(NANOSECOND, @clock), @clock); ";

// States are compared exactly: the database's own collation ignores case ('ca' is live).
constexpr std::string_view kBinary = "Latin1_General_100_BIN2";

// SQL Server's roles belong to the database. It has no BEFORE triggers: these check after
// the change, which THROW undoes, and write the audit columns with an UPDATE of their
// own (which the cancelled-policy guard lets through).
std::vector<std::string> SqlServerAccess() {
  const std::string capture = S(kCaptureRole), supervisor = S(kSupervisorRole);
  std::vector<std::string> statements = {
      "IF DATABASE_PRINCIPAL_ID('" + capture + "') IS NULL EXEC('CREATE ROLE " + capture + "')",
      "IF DATABASE_PRINCIPAL_ID('" + supervisor + "') IS NULL BEGIN EXEC('CREATE ROLE " +
          supervisor + "'); ALTER ROLE " + capture + " ADD MEMBER " + supervisor + "; END",
  };
  for (std::string& grant : Grants()) statements.push_back(std::move(grant));
  const std::string changed_baja =
      "(d.Ps_Folio IS NULL AND (i.Oper_Baja IS NOT NULL OR i.Fecha_Baja IS NOT NULL OR "
      "i.Es_Cve_Estado = 'CA')) OR (d.Ps_Folio IS NOT NULL AND (EXISTS (SELECT i.Oper_Baja, "
      "i.Fecha_Baja EXCEPT SELECT d.Oper_Baja, d.Fecha_Baja) OR (i.Es_Cve_Estado = 'CA' AND "
      "d.Es_Cve_Estado <> 'CA')))";
  const std::string changed_modif =
      "d.Ps_Folio IS NULL OR EXISTS (SELECT i.Oper_Ult_Modif, i.Fecha_Ult_Modif EXCEPT SELECT "
      "d.Oper_Ult_Modif, d.Fecha_Ult_Modif)";
  const std::string counters_changed =
      "(d.Ps_Folio IS NULL AND (ISNULL(i.Pst_Tiempo_Utilizado, 0) <> 0 OR "
      "ISNULL(i.Pst_Evento_Utilizado, 0) <> 0)) OR (d.Ps_Folio IS NOT NULL AND EXISTS (SELECT "
      "i.Pst_Tiempo_Utilizado, i.Pst_Evento_Utilizado EXCEPT SELECT d.Pst_Tiempo_Utilizado, "
      "d.Pst_Evento_Utilizado))";
  const std::vector<std::string> more = {
      // The owner's alone, as PostgreSQL's: the trigger reaches it through its owner.
      "CREATE TABLE polizas_replaced_date (xact BIGINT NOT NULL, Ps_Fecha DATE NOT NULL)",
      "CREATE OR ALTER FUNCTION dbo.polizas_session_administers() RETURNS BIT AS BEGIN RETURN CASE "
      "WHEN "
      "IS_MEMBER('db_owner') = 1 THEN 1 ELSE 0 END END",
      "CREATE OR ALTER FUNCTION dbo.polizas_session_holds(@module " + S(kSqlServerCode) +
          ", @permission " + S(kSqlServerCode) +
          ") "
          "RETURNS BIT AS BEGIN RETURN CASE WHEN (" +
          SupervisorConditions() + ") AND IS_MEMBER('" + supervisor +
          "') = 1 THEN 1 ELSE 0 END END",
      // The operators' programs call these themselves (who the session is, what it may do);
      // a trigger calls them as its owner.
      "GRANT EXECUTE ON dbo.polizas_session_administers TO " + capture,
      "GRANT EXECUTE ON dbo.polizas_session_holds TO " + capture,
      "CREATE OR ALTER TRIGGER Poliza_Servicio_operator ON Poliza_Servicio AFTER INSERT, UPDATE AS "
      "BEGIN "
      "SET NOCOUNT ON; IF TRIGGER_NESTLEVEL(@@PROCID) > 1 OR dbo.polizas_session_administers() "
      "= 1 RETURN; DECLARE @user " +
          S(kSqlServerLogin) + " = USER_NAME(); " + S(kSqlServerNow) + "DECLARE @folio " +
          S(kSqlServerCode) +
          " = (SELECT TOP 1 i.Ps_Folio FROM inserted AS i "
          "LEFT JOIN deleted AS d ON d.Ps_Folio = i.Ps_Folio WHERE d.Ps_Folio IS NULL AND "
          "(i.Ps_Fecha IS NULL OR i.Ps_Fecha <> CAST(@now AS DATE))); IF @folio IS NOT NULL AND " +
          Holds(kChangeDate, "dbo.polizas_session_holds") +
          " = 0 BEGIN "
          // An edit's one new policy keeps the date of the policy its transaction cancelled.
          "DELETE TOP (1) FROM polizas_replaced_date WHERE xact = CURRENT_TRANSACTION_ID() AND "
          "Ps_Fecha = (SELECT i.Ps_Fecha FROM inserted AS i WHERE i.Ps_Folio = @folio) AND "
          "(SELECT COUNT(*) FROM inserted) = 1; IF @@ROWCOUNT = 0 BEGIN " +
          SqlServerThrow(PolicyDateRefusal("\x01", "\x02", "\x03"),
                         {"@user", "@folio", "CONVERT(CHAR(10), @now, 23)"}) +
          " END END; "
          // The only change of state is a cancellation, which alone writes its columns.
          "SET @folio = (SELECT TOP 1 d.Ps_Folio FROM inserted AS i INNER JOIN deleted AS d ON "
          "d.Ps_Folio = i.Ps_Folio WHERE EXISTS (SELECT i.Es_Cve_Estado COLLATE " +
          S(kBinary) + " EXCEPT SELECT d.Es_Cve_Estado COLLATE " + S(kBinary) +
          ") AND ISNULL(i.Es_Cve_Estado, '') COLLATE " + S(kBinary) +
          " <> 'CA'); IF @folio IS NOT NULL BEGIN " +
          SqlServerThrow(PolicyStateRefusal("\x01", "\x02"), {"@user", "@folio"}) +
          " END; SET @folio = (SELECT TOP 1 d.Ps_Folio FROM inserted AS i INNER JOIN deleted AS "
          "d ON d.Ps_Folio = i.Ps_Folio WHERE EXISTS (SELECT i.Oper_Baja, i.Fecha_Baja EXCEPT "
          "SELECT d.Oper_Baja, d.Fecha_Baja) AND NOT (ISNULL(i.Es_Cve_Estado, '') COLLATE " +
          S(kBinary) + " = 'CA' AND ISNULL(d.Es_Cve_Estado, '') COLLATE " + S(kBinary) +
          " <> 'CA')); IF @folio IS NOT NULL BEGIN " +
          SqlServerThrow(CancellationColumnsRefusal("\x01", "\x02"), {"@user", "@folio"}) +
          " END; "
          // Dates left by other transactions are of Bajas, which made no new policy; rows of
          // transactions still running are skipped rather than waited for.
          "IF EXISTS (SELECT 1 FROM inserted AS i INNER JOIN deleted AS d ON d.Ps_Folio = "
          "i.Ps_Folio WHERE i.Es_Cve_Estado = 'CA' AND ISNULL(d.Es_Cve_Estado, '') <> 'CA') BEGIN "
          "DELETE FROM polizas_replaced_date WITH (READPAST) WHERE xact <> "
          "CURRENT_TRANSACTION_ID(); INSERT INTO polizas_replaced_date (xact, Ps_Fecha) SELECT "
          "CURRENT_TRANSACTION_ID(), d.Ps_Fecha FROM inserted AS i INNER JOIN deleted AS d ON "
          "d.Ps_Folio = i.Ps_Folio WHERE i.Es_Cve_Estado = 'CA' AND ISNULL(d.Es_Cve_Estado, '') <> "
          "'CA' AND "
          "d.Ps_Fecha IS NOT NULL; END; UPDATE p SET "
          "Oper_Alta = CASE WHEN d.Ps_Folio IS NULL THEN @user ELSE d.Oper_Alta END, "
          "Fecha_Alta = CASE WHEN d.Ps_Folio IS NULL THEN @now ELSE d.Fecha_Alta END, "
          "Oper_Ult_Modif = CASE WHEN " +
          changed_modif + " THEN @user ELSE i.Oper_Ult_Modif END, Fecha_Ult_Modif = CASE WHEN " +
          changed_modif + " THEN @now ELSE i.Fecha_Ult_Modif END, Oper_Baja = CASE WHEN " +
          changed_baja + " THEN @user ELSE i.Oper_Baja END, Fecha_Baja = CASE WHEN " +
          changed_baja +
          " THEN @now ELSE i.Fecha_Baja END FROM Poliza_Servicio AS p INNER JOIN inserted AS i "
          "ON i.Ps_Folio = p.Ps_Folio LEFT JOIN deleted AS d ON d.Ps_Folio = i.Ps_Folio; END",
      "CREATE OR ALTER TRIGGER Poliza_Servicio_Tipo_Servicio_counters ON "
      "Poliza_Servicio_Tipo_Servicio "
      "AFTER INSERT, UPDATE AS BEGIN SET NOCOUNT ON; IF dbo.polizas_session_administers() = 1 "
      "OR " +
          Holds(kResetCounters, "dbo.polizas_session_holds") + " = 1 RETURN; DECLARE @user " +
          S(kSqlServerLogin) + " = USER_NAME(); DECLARE @folio " + S(kSqlServerCode) +
          " = "
          "(SELECT TOP 1 i.Ps_Folio FROM inserted AS i LEFT JOIN deleted AS d ON d.Ps_Folio = "
          "i.Ps_Folio AND d.Ts_Cve_Tipo_Servicio = i.Ts_Cve_Tipo_Servicio WHERE " +
          counters_changed + "); IF @folio IS NOT NULL BEGIN " +
          SqlServerThrow(CounterChangeRefusal("\x01", "\x02"), {"@user", "@folio"}) + " END END",
      "CREATE OR ALTER TRIGGER record_log_operator ON record_log AFTER INSERT AS BEGIN SET NOCOUNT "
      "ON; "
      "IF TRIGGER_NESTLEVEL(@@PROCID) > 1 OR dbo.polizas_session_administers() = 1 RETURN; " +
          S(kSqlServerNow) +
          "UPDATE r SET user_code = USER_NAME(), logged_at = @now FROM record_log AS r "
          "INNER JOIN inserted AS i ON i.id = r.id; END",
  };
  statements.insert(statements.end(), more.begin(), more.end());
  return statements;
}

}  // namespace nv407::host
