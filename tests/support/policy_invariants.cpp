#include "support/policy_invariants.h"

namespace nv407::testing {
namespace {

struct Rule {
  std::string name;
  std::string offenders;  // a query whose column v names each row that breaks the rule
};

// A host record kept for a policy (table_name compared without regard to case).
Rule HostRecordRule(const std::string& table) {
  return {"no " + table + " row of a policy that does not exist",
          "SELECT t.record_key AS v FROM " + table +
              " t WHERE UPPER(t.table_name) = 'POLIZA_SERVICIO' AND NOT EXISTS (SELECT 1 FROM "
              "Poliza_Servicio p WHERE p.Ps_Folio = t.record_key)"};
}

std::vector<Rule> Rules() {
  return {
      {"a policy has one service row per service of its type",
       "SELECT p.Ps_Folio AS v FROM Poliza_Servicio p WHERE (SELECT COUNT(*) FROM "
       "Poliza_Servicio_Tipo_Servicio s WHERE s.Ps_Folio = p.Ps_Folio) <> (SELECT COUNT(*) FROM "
       "Tipo_Poliza_Servicio_Tipo_Servicio t WHERE t.Tps_Cve_Tipo_Poliza_Servicio = "
       "p.Tps_Cve_Tipo_Poliza_Servicio)"},
      {"no service row without its policy",
       "SELECT s.Ps_Folio || ' ' || s.Ts_Cve_Tipo_Servicio AS v FROM "
       "Poliza_Servicio_Tipo_Servicio s WHERE NOT EXISTS (SELECT 1 FROM Poliza_Servicio p "
       "WHERE p.Ps_Folio = s.Ps_Folio)"},
      {"each branch's folio series stands at its highest folio",
       "SELECT branch || ': series at ' || COALESCE(last_number, -1) || ', highest folio ' || "
       "highest AS v FROM (SELECT b.branch, f.last_number, (SELECT "
       "MAX(CAST(SUBSTR(p.Ps_Folio, LENGTH(b.branch) + 2) AS INTEGER)) FROM Poliza_Servicio p "
       "WHERE p.Sc_Cve_Sucursal = b.branch) AS highest FROM (SELECT DISTINCT Sc_Cve_Sucursal AS "
       "branch FROM Poliza_Servicio) b LEFT JOIN folio_series f ON f.branch = b.branch AND "
       "UPPER(f.table_name) = 'POLIZA_SERVICIO') s WHERE last_number IS NULL OR last_number <> "
       "highest"},
      HostRecordRule("extended_text"),
      HostRecordRule("record_log"),
      HostRecordRule("additional_field_value"),
      {"a Baja note is of a cancelled policy",
       "SELECT l.record_key AS v FROM record_log l WHERE l.note = 'Baja' AND NOT EXISTS "
       "(SELECT 1 FROM Poliza_Servicio p WHERE p.Ps_Folio = l.record_key AND "
       "p.Es_Cve_Estado = 'CA')"},
      {"a cancelled policy says who cancelled it and when",
       "SELECT Ps_Folio AS v FROM Poliza_Servicio WHERE Es_Cve_Estado = 'CA' AND (Oper_Baja IS "
       "NULL OR Fecha_Baja IS NULL)"},
  };
}

// The first ten offenders, and how many there are in all.
std::string FirstOffenders(const std::vector<std::string>& rows) {
  std::string text;
  for (std::size_t i = 0; i < rows.size() && i < 10; ++i) text += (i ? ", " : "") + rows[i];
  if (rows.size() > 10) text += ", … (" + std::to_string(rows.size()) + " in all)";
  return text;
}

}  // namespace

std::vector<std::string> BrokenPolicyRules(Connection& sql) {
  std::vector<std::string> broken;
  for (const Rule& rule : Rules()) {
    const std::vector<std::string> offenders = Column(sql, rule.offenders);
    if (!offenders.empty()) broken.push_back(rule.name + ": " + FirstOffenders(offenders));
  }
  return broken;
}

std::vector<std::string> SqliteFileProblems(Connection& sql) {
  std::vector<std::string> problems;
  for (const std::string& row :
       Column(sql, "SELECT integrity_check AS v FROM pragma_integrity_check"))
    if (row != "ok") problems.push_back("integrity_check: " + row);
  for (const std::string& row :
       Column(sql,
              "SELECT \"table\" || ' row ' || IFNULL(rowid, '(by key)') || ' -> ' || parent AS v "
              "FROM "
              "pragma_foreign_key_check"))
    problems.push_back("foreign_key_check: " + row);
  return problems;
}

}  // namespace nv407::testing
