#include "host/db/policy_order.h"

#include <array>

#include "host/db/dialect.h"
#include "host/db/server_access.h"
#include "host/db/text.h"

namespace nv407::host {
namespace {

std::string S(std::string_view text) {
  return std::string(text);
}

// The rows a trigger sees: one row's OLD and NEW (SQLite, PostgreSQL), or the statement's
// `deleted` and `inserted` (SQL Server), as the event gives them.
struct Changed {
  bool each_row;
  bool old_rows, new_rows;

  std::string Old(std::string_view column) const {
    return each_row ? "OLD." + S(column) : "SELECT " + S(column) + " FROM deleted";
  }
  std::string New(std::string_view column) const {
    return each_row ? "NEW." + S(column) : "SELECT " + S(column) + " FROM inserted";
  }
  // The column's values in the rows changed, for an IN (...).
  std::string Values(std::string_view column) const {
    std::string values;
    if (old_rows) values = Old(column);
    if (old_rows && new_rows) values += each_row ? ", " : " UNION ";
    if (new_rows) values += New(column);
    return values;
  }
  // The policies written, as a FROM's source `x`.
  std::string NewPolicies() const {
    return each_row ? "Poliza_Servicio x WHERE x.Ps_Folio = NEW.Ps_Folio" : "inserted x";
  }
};

struct Event {
  std::string_view name;
  bool old_rows, new_rows;
};
constexpr std::array<Event, 3> kEvents = {{
    {"INSERT", false, true},
    {"UPDATE", true, true},
    {"DELETE", true, false},
}};

// Where the kept values come from. A change to a row of `table` touches the policies whose
// folios `folios` selects by the row's `column` (the column is the folio where that is
// empty), and the one kept value that comes from it; an update counts when it sets one of
// `updated` (any column where that is empty). The policies' own table adds and removes
// rows: `folios` and `kept` are not used for it.
enum class Kept { kClientName, kPeakUse };
struct Source {
  std::string_view table, column, folios, updated;
  Kept kept;
};
constexpr std::string_view kPolicies = "Poliza_Servicio";
constexpr std::array<Source, 4> kSources = {{
    {kPolicies, "Ps_Folio", "", "Ps_Folio, Cl_Cve_Cliente", Kept::kClientName},
    {"Cliente", "Cl_Cve_Cliente", "SELECT Ps_Folio FROM Poliza_Servicio WHERE Cl_Cve_Cliente",
     "Cl_Cve_Cliente, Cl_Razon_Social_1", Kept::kClientName},
    // A service type's unit decides which counter is its use; one that appears or goes
    // decides whether its services count at all.
    {"Tipo_Servicio", "Ts_Cve_Tipo_Servicio",
     "SELECT Ps_Folio FROM Poliza_Servicio_Tipo_Servicio WHERE Ts_Cve_Tipo_Servicio",
     "Ts_Cve_Tipo_Servicio, Ts_Servicio_Hora", Kept::kPeakUse},
    {"Poliza_Servicio_Tipo_Servicio", "Ps_Folio", "", "", Kept::kPeakUse},
}};

// The client's name as the column of `name_type` takes it whole, where one is given: CAST
// cuts a longer one, where an INSERT or UPDATE would refuse it and undo the save.
std::string KeptName(std::string_view folio, std::string_view name_type) {
  if (name_type.empty()) return KeptClientNameSql(folio);
  return "CAST(" + KeptClientNameSql(folio) + " AS " + S(name_type) + ")";
}

std::string InsertKept(const std::string& policies, std::string_view name_type) {
  return "INSERT INTO " + S(kPolicyOrderTable) +
         " (folio, client_name, peak_use) SELECT x.Ps_Folio, " + KeptName("x.Ps_Folio", name_type) +
         ", " + KeptPeakUseSql("x.Ps_Folio") + " FROM " + policies;
}

// What a change does to the kept rows: a policy's row comes and goes with the policy (an
// update of its folio or client writes it again); any other change computes again the
// value it feeds, in the rows of the policies it touches.
std::vector<std::string> Actions(const Source& source, const Changed& changed,
                                 std::string_view name_type = {}) {
  const std::string table = S(kPolicyOrderTable);
  if (source.table == kPolicies) {
    std::vector<std::string> actions;
    if (changed.old_rows)
      actions.push_back("DELETE FROM " + table + " WHERE folio IN (" + changed.Old(source.column) +
                        ")");
    if (changed.new_rows) actions.push_back(InsertKept(changed.NewPolicies(), name_type));
    return actions;
  }
  const std::string values = changed.Values(source.column);
  const std::string folio = table + ".folio";
  const std::string set = source.kept == Kept::kClientName
                              ? "client_name = " + KeptName(folio, name_type)
                              : "peak_use = " + KeptPeakUseSql(folio);
  return {"UPDATE " + table + " SET " + set + " WHERE folio IN (" +
          (source.folios.empty() ? values : S(source.folios) + " IN (" + values + ")") + ")"};
}

std::string TriggerName(const Source& source, const Event& event) {
  return S(kPolicyOrderTable) + "_" + S(source.table) + "_" + AsciiLower(event.name);
}

// " OF a, b" after UPDATE, where only some columns count.
std::string Columns(const Source& source, const Event& event) {
  return event.name == "UPDATE" && !source.updated.empty() ? " OF " + S(source.updated) : "";
}

std::string Joined(const std::vector<std::string>& statements) {
  std::string body;
  for (const std::string& statement : statements) body += statement + "; ";
  return body;
}

std::string PostgreSqlFunction(const Source& source, const Event& event) {
  return "polizas_" + AsciiLower(TriggerName(source, event));
}

// PostgreSQL runs each statement of a trigger function on what was committed when that
// statement began: a value computed while another transaction changes what it reads (a
// client's name, a service type's unit, another counter of the same policy) would keep
// missing that change once both have ended. So the function first locks what its values
// read, which waits for such a transaction to end, and the policies' kept rows, so that
// two changes to one policy compute its values one after the other; its own statements
// then read what was committed meanwhile. Always in this order: clients, service types,
// kept rows. A catalogue's own change holds its row already.
std::string PostgreSqlLocks(const Source& source, const Changed& changed) {
  const std::string folios = changed.Values("Ps_Folio");
  const std::string kept_rows =
      "PERFORM 1 FROM " + S(kPolicyOrderTable) + " WHERE folio IN (" + folios + ") FOR UPDATE; ";
  if (source.table == kPolicies) {
    return "PERFORM 1 FROM Cliente WHERE Cl_Cve_Cliente IN (" + changed.Values("Cl_Cve_Cliente") +
           ") FOR SHARE; PERFORM 1 FROM Tipo_Servicio t JOIN Poliza_Servicio_Tipo_Servicio s ON "
           "s.Ts_Cve_Tipo_Servicio = t.Ts_Cve_Tipo_Servicio WHERE s.Ps_Folio IN (" +
           folios + ") FOR SHARE OF t; " + kept_rows;
  }
  if (source.table == "Poliza_Servicio_Tipo_Servicio") {
    return "PERFORM 1 FROM Tipo_Servicio WHERE Ts_Cve_Tipo_Servicio IN (" +
           changed.Values("Ts_Cve_Tipo_Servicio") + ") FOR SHARE; " + kept_rows;
  }
  return {};
}

struct PostgreSqlTrigger {
  std::string function, body, trigger;
};

std::vector<PostgreSqlTrigger> PostgreSqlTriggers() {
  std::vector<PostgreSqlTrigger> triggers;
  for (const Source& source : kSources) {
    for (const Event& event : kEvents) {
      const std::string function = PostgreSqlFunction(source, event);
      const Changed changed{true, event.old_rows, event.new_rows};
      triggers.push_back({function,
                          "BEGIN " + PostgreSqlLocks(source, changed) +
                              Joined(Actions(source, changed)) + "RETURN NULL; END",
                          "CREATE TRIGGER " + TriggerName(source, event) + " AFTER " +
                              S(event.name) + Columns(source, event) + " ON " + S(source.table) +
                              " FOR EACH ROW EXECUTE FUNCTION " + function + "()"});
    }
  }
  return triggers;
}

// Written again over a function of that name, which keeps its triggers; its settings go.
std::string CreatePostgreSqlFunction(const PostgreSqlTrigger& trigger) {
  return "CREATE OR REPLACE FUNCTION " + trigger.function +
         "() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER AS $$" + trigger.body + "$$";
}

}  // namespace

std::string UsedQuantitySql() {
  return "COALESCE(CASE WHEN t.Ts_Servicio_Hora = 'SI' THEN s.Pst_Tiempo_Utilizado "
         "ELSE s.Pst_Evento_Utilizado END, 0)";
}

std::string ServicesOfPolicySql(std::string_view folio) {
  return "FROM Poliza_Servicio_Tipo_Servicio s JOIN Tipo_Servicio t "
         "ON t.Ts_Cve_Tipo_Servicio = s.Ts_Cve_Tipo_Servicio WHERE s.Ps_Folio = " +
         S(folio);
}

std::string PeakUseSql(std::string_view folio) {
  return "(SELECT MAX(" + UsedQuantitySql() + " * 1.0 / s.Pst_Cantidad_Incluida) " +
         ServicesOfPolicySql(folio) + " AND s.Pst_Cantidad_Incluida > 0)";
}

std::string KeptClientNameSql(std::string_view folio) {
  return "COALESCE((SELECT c.Cl_Razon_Social_1 FROM Poliza_Servicio pc JOIN Cliente c ON "
         "c.Cl_Cve_Cliente = pc.Cl_Cve_Cliente WHERE pc.Ps_Folio = " +
         S(folio) + "), '')";
}

std::string KeptPeakUseSql(std::string_view folio) {
  return "COALESCE(" + PeakUseSql(folio) + ", -1)";
}

std::vector<std::string> SqlitePolicyOrderSchema() {
  const std::string table = S(kPolicyOrderTable);
  std::vector<std::string> statements = {
      "CREATE TABLE " + table +
          " (\n  folio TEXT NOT NULL PRIMARY KEY,\n  client_name TEXT NOT NULL,\n  peak_use "
          "REAL NOT NULL\n) WITHOUT ROWID",
      "CREATE INDEX " + table + "_name ON " + table + " (client_name, folio)",
      "CREATE INDEX " + table + "_use ON " + table + " (peak_use, folio)",
  };
  for (const Source& source : kSources) {
    for (const Event& event : kEvents) {
      statements.push_back("CREATE TRIGGER " + TriggerName(source, event) + " AFTER " +
                           S(event.name) + Columns(source, event) + " ON " + S(source.table) +
                           " FOR EACH ROW BEGIN " +
                           Joined(Actions(source, {true, event.old_rows, event.new_rows})) + "END");
    }
  }
  return statements;
}

std::string FillPolicyOrder(std::string_view name_type) {
  return InsertKept("Poliza_Servicio x", name_type);
}

// The functions run as their owner (SECURITY DEFINER), so that an operator's statements
// keep the table in step while the operator's login may only read it.
std::vector<std::string> PostgreSqlPolicyOrderTriggers() {
  std::vector<std::string> statements, functions;
  for (const PostgreSqlTrigger& trigger : PostgreSqlTriggers()) {
    functions.push_back(trigger.function);
    statements.push_back(CreatePostgreSqlFunction(trigger));
    statements.push_back(trigger.trigger);
  }
  statements.push_back(PostgreSqlFixedSearchPath(functions));
  return statements;
}

std::vector<std::pair<std::string, std::string>> PostgreSqlPolicyOrderFunctions() {
  std::vector<std::pair<std::string, std::string>> functions;
  for (const PostgreSqlTrigger& trigger : PostgreSqlTriggers())
    functions.emplace_back(trigger.function, trigger.body);
  return functions;
}

std::vector<std::string> PostgreSqlPolicyOrderFunctionsAgain() {
  std::vector<std::string> statements, functions;
  for (const PostgreSqlTrigger& trigger : PostgreSqlTriggers()) {
    functions.push_back(trigger.function);
    statements.push_back(CreatePostgreSqlFunction(trigger));
  }
  statements.push_back(PostgreSqlFixedSearchPath(functions));
  statements.push_back("DELETE FROM " + S(kPolicyOrderTable));
  statements.push_back(FillPolicyOrder());
  return statements;
}

// Its triggers run once a statement, over all the rows it changed; the table and the
// triggers share their owner, so an operator needs no right on the table.
std::vector<std::string> SqlServerPolicyOrderTriggers() {
  std::vector<std::string> statements;
  for (const Source& source : kSources) {
    for (const Event& event : kEvents) {
      std::string only_some;
      if (!Columns(source, event).empty()) {
        std::string updated;
        for (std::string_view rest = source.updated; !rest.empty();) {
          const std::size_t comma = rest.find(", ");
          if (!updated.empty()) updated += " OR ";
          updated += "UPDATE(" + S(rest.substr(0, comma)) + ")";
          rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 2);
        }
        only_some = "IF NOT (" + updated + ") RETURN; ";
      }
      statements.push_back(
          "CREATE OR ALTER TRIGGER " + TriggerName(source, event) + " ON " + S(source.table) +
          " AFTER " + S(event.name) + " AS BEGIN SET NOCOUNT ON; " + only_some +
          Joined(Actions(source, {false, event.old_rows, event.new_rows}, kSqlServerKeptName)) +
          "END");
    }
  }
  return statements;
}

bool KeepsPolicyOrder(Database& database) {
  return HasTable(database, S(kPolicyOrderTable));
}

}  // namespace nv407::host
