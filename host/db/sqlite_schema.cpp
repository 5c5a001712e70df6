#include "host/db/sqlite_schema.h"

#include <array>
#include <string>
#include <vector>

#include "host/db/access.h"
#include "host/db/dialect.h"
#include "host/db/policy_order.h"

namespace nv407::host {
namespace {

struct CancelledPolicyGuard {
  std::string_view name, event, table, when, folio;
};
constexpr std::array<CancelledPolicyGuard, 2> kCancelledPolicyGuards{{
    {"Poliza_Servicio_cancelada", "UPDATE", "Poliza_Servicio", "OLD.Es_Cve_Estado = 'CA'",
     "OLD.Ps_Folio"},
    {"Poliza_Servicio_Tipo_Servicio_cancelada", "UPDATE", "Poliza_Servicio_Tipo_Servicio",
     "(SELECT Es_Cve_Estado FROM Poliza_Servicio WHERE Ps_Folio = OLD.Ps_Folio) = 'CA'",
     "OLD.Ps_Folio"},
}};

// `kind`: what comes between CREATE and the trigger's name ("TEMP TRIGGER ", ...).
std::string GuardTrigger(const CancelledPolicyGuard& guard, std::string_view kind,
                         std::string_view schema, std::string_view name_suffix,
                         const std::string& action) {
  return "CREATE " + std::string(kind) + std::string(guard.name) + std::string(name_suffix) +
         " BEFORE " + std::string(guard.event) + " ON " + std::string(schema) +
         std::string(guard.table) + " FOR EACH ROW WHEN " + std::string(guard.when) +
         " BEGIN SELECT " + action + "; END";
}

// One statement per entry: the connection runs one statement at a time.
//
// Codes are TEXT compared exactly (the key fields store them upper-cased). Columns of the
// Date kind are declared DATE and the audit times DATETIME: the connection hands both out
// as dates. Catalogue columns carry no CHECK constraints, so odd values that other tools
// write (a length unit outside 1 to 4, a NULL quantity) reach the screen and are handled
// there. Every look-up the screen makes is a primary-key search or a search on a
// primary key's leading column; the other indexes keep the foreign keys' parent checks
// keyed. Tables keyed by text are stored WITHOUT ROWID: a search by key reads one tree,
// where a table with row numbers reads the key's index and then the table.
constexpr std::array kSchema = {
    // Catalogues.
    R"(CREATE TABLE Sucursal (
  Sc_Cve_Sucursal TEXT NOT NULL PRIMARY KEY,
  Sc_Descripcion TEXT,
  Es_Cve_Estado TEXT NOT NULL DEFAULT 'AC'
) WITHOUT ROWID)",
    R"(CREATE TABLE Vendedor (
  Vn_Cve_Vendedor TEXT NOT NULL PRIMARY KEY,
  Vn_Descripcion TEXT,
  Es_Cve_Estado TEXT NOT NULL DEFAULT 'AC'
) WITHOUT ROWID)",
    R"(CREATE TABLE Cliente (
  Cl_Cve_Cliente TEXT NOT NULL PRIMARY KEY,
  Cl_Razon_Social_1 TEXT,
  Cl_Razon_Social_2 TEXT,
  Es_Cve_Estado TEXT NOT NULL DEFAULT 'AC'
) WITHOUT ROWID)",
    // The client search (F2) reads the catalogue in key order and looks at each name: from
    // this index alone, without a visit to the table per client.
    "CREATE INDEX Cliente_busqueda ON Cliente (Cl_Cve_Cliente, Cl_Razon_Social_1, Es_Cve_Estado)",
    R"(CREATE TABLE Producto (
  Pr_Cve_Producto TEXT NOT NULL PRIMARY KEY,
  Pr_Descripcion TEXT
) WITHOUT ROWID)",
    R"(CREATE TABLE Tipo_Servicio (
  Ts_Cve_Tipo_Servicio TEXT NOT NULL PRIMARY KEY,
  Ts_Descripcion TEXT,
  Ts_Servicio_Hora TEXT
) WITHOUT ROWID)",
    R"(CREATE TABLE Tipo_Poliza_Servicio (
  Tps_Cve_Tipo_Poliza_Servicio TEXT NOT NULL PRIMARY KEY,
  Tps_Descripcion TEXT,
  Pr_Cve_Producto TEXT REFERENCES Producto (Pr_Cve_Producto),
  Tps_Tipo INTEGER,
  Tps_Valor INTEGER,
  Es_Cve_Estado TEXT NOT NULL DEFAULT 'AC'
) WITHOUT ROWID)",
    "CREATE INDEX Tipo_Poliza_Servicio_Producto ON Tipo_Poliza_Servicio (Pr_Cve_Producto)",
    R"(CREATE TABLE Tipo_Poliza_Servicio_Tipo_Servicio (
  Tps_Cve_Tipo_Poliza_Servicio TEXT NOT NULL
    REFERENCES Tipo_Poliza_Servicio (Tps_Cve_Tipo_Poliza_Servicio),
  Ts_Cve_Tipo_Servicio TEXT NOT NULL REFERENCES Tipo_Servicio (Ts_Cve_Tipo_Servicio),
  Tpt_Cantidad REAL,
  PRIMARY KEY (Tps_Cve_Tipo_Poliza_Servicio, Ts_Cve_Tipo_Servicio)
) WITHOUT ROWID)",
    "CREATE INDEX Tipo_Poliza_Servicio_Tipo_Servicio_Servicio "
    "ON Tipo_Poliza_Servicio_Tipo_Servicio (Ts_Cve_Tipo_Servicio)",

    // Policies. A new policy is inserted without its state and takes 'AC' (active).
    R"(CREATE TABLE Poliza_Servicio (
  Ps_Folio TEXT NOT NULL PRIMARY KEY,
  Ps_Fecha DATE,
  Ps_Tabla TEXT,
  Ps_Documento TEXT,
  Ps_Fecha_Inicia DATE,
  Ps_Fecha_Finaliza DATE,
  Sc_Cve_Sucursal TEXT,
  Vn_Cve_Vendedor TEXT,
  Cl_Cve_Cliente TEXT,
  Ps_Comentario TEXT,
  Ps_Dia_Corte INTEGER,
  Ps_Referencia TEXT,
  Tps_Cve_Tipo_Poliza_Servicio TEXT,
  Ps_Factura_ID TEXT,
  Ps_Concepto TEXT,
  Es_Cve_Estado TEXT NOT NULL DEFAULT 'AC',
  Oper_Alta TEXT,
  Fecha_Alta DATETIME,
  Oper_Ult_Modif TEXT,
  Fecha_Ult_Modif DATETIME,
  Oper_Baja TEXT,
  Fecha_Baja DATETIME
) WITHOUT ROWID)",
    // The policy finder and the reports: a client's policies, and policies by end date,
    // each in folio order; the finder's orders by branch, policy type and start. The start's
    // holds what tells a policy's state: the recent starts are the policies in force, so
    // that a page of those expired, or in force from the oldest start, passes over the
    // others in the index alone.
    "CREATE INDEX Poliza_Servicio_cliente ON Poliza_Servicio (Cl_Cve_Cliente, Ps_Folio)",
    "CREATE INDEX Poliza_Servicio_fin ON Poliza_Servicio (Ps_Fecha_Finaliza, Ps_Folio)",
    "CREATE INDEX Poliza_Servicio_sucursal ON Poliza_Servicio (Sc_Cve_Sucursal, Ps_Folio)",
    "CREATE INDEX Poliza_Servicio_tipo ON Poliza_Servicio (Tps_Cve_Tipo_Poliza_Servicio, "
    "Ps_Folio)",
    "CREATE INDEX Poliza_Servicio_inicio_vigencia ON Poliza_Servicio (Ps_Fecha_Inicia, "
    "Ps_Folio, Ps_Fecha_Finaliza, Es_Cve_Estado)",
    // The column order is fixed: the services of a new policy are inserted by an
    // INSERT ... SELECT that names no columns.
    R"(CREATE TABLE Poliza_Servicio_Tipo_Servicio (
  Ps_Folio TEXT NOT NULL REFERENCES Poliza_Servicio (Ps_Folio),
  Ts_Cve_Tipo_Servicio TEXT NOT NULL REFERENCES Tipo_Servicio (Ts_Cve_Tipo_Servicio),
  Pst_Cantidad_Incluida REAL,
  Pst_Tiempo_Utilizado REAL,
  Pst_Evento_Utilizado REAL,
  PRIMARY KEY (Ps_Folio, Ts_Cve_Tipo_Servicio)
) WITHOUT ROWID)",
    "CREATE INDEX Poliza_Servicio_Tipo_Servicio_Servicio "
    "ON Poliza_Servicio_Tipo_Servicio (Ts_Cve_Tipo_Servicio)",
    // The services whose quantity is held as text or a blob, above every number (a file
    // edited by hand), which the finder's nearly used up by use reads apart
    // (policy_list.cpp): none as a rule, so the index is empty and that look costs nothing.
    // Only SQLite holds such a quantity; the condition is the finder's, word for word, which
    // is how SQLite knows the index serves it.
    "CREATE INDEX Poliza_Servicio_Tipo_Servicio_texto ON Poliza_Servicio_Tipo_Servicio "
    "(Ps_Folio) WHERE Pst_Cantidad_Incluida > 1e999",

    // The host's own records. Table names in them match without regard to case, as SQL
    // names do: a note logged for "POLIZA_SERVICIO" belongs to "Poliza_Servicio".
    R"(CREATE TABLE folio_series (
  branch TEXT NOT NULL,
  table_name TEXT NOT NULL COLLATE NOCASE,
  last_number INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY (branch, table_name)
) WITHOUT ROWID)",
    R"(CREATE TABLE extended_text (
  table_name TEXT NOT NULL COLLATE NOCASE,
  record_key TEXT NOT NULL,
  entry_code TEXT NOT NULL,
  text TEXT NOT NULL DEFAULT '',
  PRIMARY KEY (table_name, record_key, entry_code)
) WITHOUT ROWID)",
    R"(CREATE TABLE record_log (
  id INTEGER PRIMARY KEY,
  table_name TEXT NOT NULL COLLATE NOCASE,
  record_key TEXT NOT NULL,
  note TEXT NOT NULL,
  user_code TEXT,
  logged_at DATETIME
))",
    "CREATE INDEX record_log_record ON record_log (table_name, record_key)",
    R"(CREATE TABLE additional_field (
  table_name TEXT NOT NULL COLLATE NOCASE,
  field_name TEXT NOT NULL,
  default_value TEXT,
  PRIMARY KEY (table_name, field_name)
) WITHOUT ROWID)",
    R"(CREATE TABLE additional_field_value (
  table_name TEXT NOT NULL COLLATE NOCASE,
  record_key TEXT NOT NULL,
  field_name TEXT NOT NULL,
  value TEXT,
  PRIMARY KEY (table_name, record_key, field_name)
) WITHOUT ROWID)",
    R"(CREATE TABLE host_parameter (
  name TEXT NOT NULL PRIMARY KEY,
  value TEXT
) WITHOUT ROWID)",
    // An operator signs in with a password kept only as its Argon2id hash. Five failed
    // attempts in a row lock it until locked_until; an administrator's lock (locked = 1)
    // lasts until an administrator lifts it.
    R"(CREATE TABLE operator (
  user_code TEXT NOT NULL PRIMARY KEY,
  name TEXT,
  password_hash TEXT,
  failed_attempts INTEGER NOT NULL DEFAULT 0,
  locked_until DATETIME,
  locked INTEGER NOT NULL DEFAULT 0
) WITHOUT ROWID)",
    R"(CREATE TABLE operator_permission (
  user_code TEXT NOT NULL REFERENCES operator (user_code),
  module TEXT NOT NULL,
  permission_key TEXT NOT NULL,
  PRIMARY KEY (user_code, module, permission_key)
) WITHOUT ROWID)",
    R"(CREATE TABLE product_text (
  product_code TEXT NOT NULL PRIMARY KEY,
  text TEXT NOT NULL DEFAULT ''
) WITHOUT ROWID)",
    R"(CREATE TABLE host_transaction (
  application TEXT NOT NULL,
  transaction_name TEXT NOT NULL,
  code TEXT NOT NULL,
  PRIMARY KEY (application, transaction_name)
) WITHOUT ROWID)",
};

// The last holder of the administration permission keeps it: deleting its row, or moving
// the row to another operator or permission, is refused.
std::vector<std::string> LastAdministratorGuards() {
  const std::string held = "OLD.module = '" + std::string(kAdministrationModule) +
                           "' AND OLD.permission_key = '" + std::string(kAdministrationKey) + "'";
  const std::string last = " AND (SELECT COUNT(*) FROM operator_permission WHERE module = '" +
                           std::string(kAdministrationModule) + "' AND permission_key = '" +
                           std::string(kAdministrationKey) + "') = 1";
  const std::string refusal =
      " BEGIN SELECT RAISE(ABORT, '" + LastAdministratorMessage() + "'); END";
  return {
      "CREATE TRIGGER operator_permission_last_administrator BEFORE DELETE ON "
      "operator_permission FOR EACH ROW WHEN " +
          held + last + refusal,
      "CREATE TRIGGER operator_permission_last_administrator_moved BEFORE UPDATE ON "
      "operator_permission FOR EACH ROW WHEN " +
          held + last +
          " AND (NEW.user_code, NEW.module, NEW.permission_key) IS NOT (OLD.user_code, "
          "OLD.module, OLD.permission_key)" +
          refusal,
  };
}

// A server's guard of a new policy's date, for the operator the host names. The dates an
// edit's new policy may keep are those of the policies its transaction cancelled, each taken
// once; a cancellation first drops what earlier transactions left (Bajas, which made no new
// policy). The table is the session's (unqualified, a temporary table is found first).
std::vector<std::string> PolicyDateGuards() {
  const std::string user = std::string(sqlite::kOperatorFunction) + "()";
  const std::string transaction = std::string(sqlite::kTransactionFunction) + "()";
  const std::string day = "date(GetDate())";
  const std::string kept = "FROM polizas_replaced_date WHERE xact = " + transaction +
                           " AND Ps_Fecha = date(NEW.Ps_Fecha)";
  return {
      "CREATE TEMP TABLE polizas_replaced_date (xact INTEGER NOT NULL, Ps_Fecha TEXT NOT NULL)",
      "CREATE TEMP TRIGGER Poliza_Servicio_reemplazada AFTER UPDATE OF Es_Cve_Estado ON "
      "main.Poliza_Servicio FOR EACH ROW WHEN NEW.Es_Cve_Estado = 'CA' AND OLD.Es_Cve_Estado IS "
      "NOT 'CA' AND date(OLD.Ps_Fecha) IS NOT NULL BEGIN DELETE FROM polizas_replaced_date "
      "WHERE xact <> " +
          transaction + "; INSERT INTO polizas_replaced_date VALUES (" + transaction +
          ", date(OLD.Ps_Fecha)); END",
      "CREATE TEMP TRIGGER Poliza_Servicio_fecha BEFORE INSERT ON main.Poliza_Servicio FOR EACH "
      "ROW WHEN " +
          user + " IS NOT NULL AND date(NEW.Ps_Fecha) IS NOT " + day +
          " AND NOT EXISTS (SELECT 1 FROM main.operator_permission WHERE user_code = " + user +
          " AND module = '" + std::string(kChangeDate.module) + "' AND permission_key = '" +
          std::string(kChangeDate.key) + "') BEGIN SELECT " +
          std::string(sqlite::kPolicyDateRefusalFunction) + "(NEW.Ps_Folio, " + day +
          ") WHERE NOT EXISTS (SELECT 1 " + kept +
          "); DELETE FROM polizas_replaced_date WHERE rowid = (SELECT rowid " + kept +
          " LIMIT 1); END",
  };
}

// A server's guard of the used counters, for the operator the host names: an operator without
// INISERV changes none, and gives a new service row none.
std::vector<std::string> CounterGuards() {
  const std::string user = std::string(sqlite::kOperatorFunction) + "()";
  const std::string held = "SELECT 1 FROM main.operator_permission WHERE user_code = " + user +
                           " AND module = '" + std::string(kResetCounters.module) +
                           "' AND permission_key = '" + std::string(kResetCounters.key) + "'";
  const std::string lacks_permission = user + " IS NOT NULL AND NOT EXISTS (" + held + ")";
  const std::string refusal =
      " BEGIN SELECT " + std::string(sqlite::kCounterRefusalFunction) + "(NEW.Ps_Folio); END";
  return {
      "CREATE TEMP TRIGGER Poliza_Servicio_Tipo_Servicio_usados BEFORE UPDATE OF "
      "Pst_Tiempo_Utilizado, Pst_Evento_Utilizado ON main.Poliza_Servicio_Tipo_Servicio FOR "
      "EACH ROW WHEN (NEW.Pst_Tiempo_Utilizado, NEW.Pst_Evento_Utilizado) IS NOT "
      "(OLD.Pst_Tiempo_Utilizado, OLD.Pst_Evento_Utilizado) AND " +
          lacks_permission + refusal,
      "CREATE TEMP TRIGGER Poliza_Servicio_Tipo_Servicio_usados_nuevos BEFORE INSERT ON "
      "main.Poliza_Servicio_Tipo_Servicio FOR EACH ROW WHEN (COALESCE(NEW.Pst_Tiempo_Utilizado, "
      "0) <> 0 OR COALESCE(NEW.Pst_Evento_Utilizado, 0) <> 0) AND " +
          lacks_permission + refusal,
  };
}

// A server's refusal of a locked login, for the operator the host names: read as each policy
// is written, so that a lock made while a session is open holds at its next write.
std::vector<std::string> LockedOperatorGuards() {
  const std::string user = std::string(sqlite::kOperatorFunction) + "()";
  const std::string when = " ON main.Poliza_Servicio FOR EACH ROW WHEN " + user +
                           " IS NOT NULL AND EXISTS (SELECT 1 FROM main.operator WHERE "
                           "user_code = " +
                           user + " AND locked <> 0) BEGIN SELECT " +
                           std::string(sqlite::kLockedOperatorFunction) + "(); END";
  return {
      "CREATE TEMP TRIGGER Poliza_Servicio_operador_bloqueado BEFORE INSERT" + when,
      "CREATE TEMP TRIGGER Poliza_Servicio_operador_bloqueado_cambio BEFORE UPDATE" + when,
  };
}

// The schema's own guards of cancelled policies, which refuse any program's change.
std::vector<std::string> CancelledPolicyGuards(std::string_view kind) {
  std::vector<std::string> statements;
  for (const CancelledPolicyGuard& guard : kCancelledPolicyGuards) {
    statements.push_back(GuardTrigger(
        guard, kind, "", "", "RAISE(ABORT, '" + sqlite::CancelledPolicyMessage("") + "')"));
  }
  return statements;
}

}  // namespace

std::string LastAdministratorMessage() {
  return "El último administrador no puede perder el permiso " +
         std::string(kAdministrationModule) + "/" + std::string(kAdministrationKey);
}

namespace sqlite {

std::string CancelledPolicyMessage(std::string_view folio) {
  return folio.empty() ? "La póliza ya fue cancelada; cárguela de nuevo"
                       : "La póliza " + std::string(folio) + " ya fue cancelada; cárguela de nuevo";
}

std::string LockedOperatorMessage(std::string_view user) {
  return "El operador " + std::string(user) + " está bloqueado: no puede guardar cambios";
}

std::vector<std::string> SessionGuardStatements() {
  std::vector<std::string> statements;
  for (const CancelledPolicyGuard& guard : kCancelledPolicyGuards) {
    statements.push_back(
        GuardTrigger(guard, "TEMP TRIGGER ", "main.", "_folio",
                     std::string(kCancelledPolicyFunction) + "(" + std::string(guard.folio) + ")"));
  }
  for (std::string& guard : PolicyDateGuards()) statements.push_back(std::move(guard));
  for (std::string& guard : CounterGuards()) statements.push_back(std::move(guard));
  // Made last, so fired first: a locked operator hears of its lock rather than of a permission.
  for (std::string& guard : LockedOperatorGuards()) statements.push_back(std::move(guard));
  return statements;
}

}  // namespace sqlite

void CreateSqliteSchema(Connection& connection) {
  for (const char* statement : kSchema) connection.Execute(statement);
  for (const std::string& statement : CancelledPolicyGuards("TRIGGER "))
    connection.Execute(statement);
  for (const std::string& statement : LastAdministratorGuards()) connection.Execute(statement);
  for (const std::string& statement : SqlitePolicyOrderSchema()) connection.Execute(statement);
  for (const std::string& statement : sqlite::SessionGuardStatements())
    connection.Execute(statement);
}

namespace sqlite {

std::vector<std::string> SignInUpgradeStatements() {
  std::vector<std::string> statements = {
      "ALTER TABLE operator ADD COLUMN password_hash TEXT",
      "ALTER TABLE operator ADD COLUMN failed_attempts INTEGER NOT NULL DEFAULT 0",
      "ALTER TABLE operator ADD COLUMN locked_until DATETIME",
      "ALTER TABLE operator ADD COLUMN locked INTEGER NOT NULL DEFAULT 0",
      // No operator has a password yet: sign-in is off, whatever the parameter held.
      "DELETE FROM host_parameter WHERE name = '" + std::string(kSignInParameter) + "'",
      "INSERT INTO host_parameter (name, value) VALUES ('" + std::string(kSignInParameter) +
          "', 'NO')",
  };
  for (std::string& guard : LastAdministratorGuards()) statements.push_back(std::move(guard));
  return statements;
}

std::string CancelledPolicyGuardsMissing() {
  std::string names;
  for (const CancelledPolicyGuard& guard : kCancelledPolicyGuards)
    names += (names.empty() ? "'" : ", '") + std::string(guard.name) + "'";
  return "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'Poliza_Servicio' AND "
         "(SELECT COUNT(*) FROM sqlite_master WHERE type = 'trigger' AND name IN (" +
         names + ")) < " + std::to_string(kCancelledPolicyGuards.size());
}

// SQLite keeps a trigger's text from its name on: these are kept as a new file's are.
std::vector<std::string> CancelledPolicyUpgradeStatements() {
  return CancelledPolicyGuards("TRIGGER IF NOT EXISTS ");
}

std::vector<std::string> PolicyOrderUpgradeStatements() {
  std::vector<std::string> statements = SqlitePolicyOrderSchema();
  statements.push_back(FillPolicyOrder());
  return statements;
}

}  // namespace sqlite

}  // namespace nv407::host
