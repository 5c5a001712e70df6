#include "support/test_database.h"

#include "component/error.h"
#include "host/headless/text_rules.h"

namespace nv407::testing {

std::string Quote(const std::string& text) {
  return host::QuotedText(text);
}

TestDatabase::TestDatabase() : now_(std::make_shared<Date>(PinnedNow())) {
  host::SqliteOptions options;
  options.create = true;
  options.clock = clock();
  database_ = host::OpenSqliteDatabase(":memory:", options);
  host::CreateSchema(sql(), host::SqlDialect::kSqlite);
  host::LoadDemoData(sql());
}

host::Clock TestDatabase::clock() const {
  return [now = now_] { return *now; };
}

std::string TestDatabase::Scalar(const std::string& query) {
  std::unique_ptr<Recordset> result = sql().Execute(query);
  if (result->Eof()) throw Error("No row: " + query);
  const Variant value = result->Fields(host::FirstColumnName(query)).Value();
  result->Close();
  return value.IsNull() ? std::string() : value.ToText();
}

long long TestDatabase::Count(const std::string& table, const std::string& where) {
  return std::stoll(
      Scalar("SELECT COUNT(*) AS n FROM " + table + (where.empty() ? "" : " WHERE " + where)));
}

const std::vector<std::pair<std::string, std::string>>& TestDatabase::TraceStatements() {
  trace_.clear();
  database_->SetTrace([this](host::SqlOrigin origin, const std::string& statement) {
    trace_.emplace_back(origin == host::SqlOrigin::kScreen ? "screen" : "host", statement);
  });
  return trace_;
}

void TestDatabase::AddBranch(const std::string& code, const std::string& description,
                             const std::string& state) {
  Execute("INSERT INTO Sucursal (Sc_Cve_Sucursal, Sc_Descripcion, Es_Cve_Estado) VALUES (" +
          Quote(code) + ", " + Quote(description) + ", " + Quote(state) + ")");
}

void TestDatabase::AddSeller(const std::string& code, const std::string& description,
                             const std::string& state) {
  Execute("INSERT INTO Vendedor (Vn_Cve_Vendedor, Vn_Descripcion, Es_Cve_Estado) VALUES (" +
          Quote(code) + ", " + Quote(description) + ", " + Quote(state) + ")");
}

void TestDatabase::AddClient(const std::string& code, const std::string& name,
                             const std::string& state) {
  Execute("INSERT INTO Cliente (Cl_Cve_Cliente, Cl_Razon_Social_1, Es_Cve_Estado) VALUES (" +
          Quote(code) + ", " + Quote(name) + ", " + Quote(state) + ")");
}

void TestDatabase::AddServiceType(const std::string& code, const std::string& description,
                                  bool hours) {
  Execute(
      "INSERT INTO Tipo_Servicio (Ts_Cve_Tipo_Servicio, Ts_Descripcion, Ts_Servicio_Hora) "
      "VALUES (" +
      Quote(code) + ", " + Quote(description) + ", " + Quote(hours ? "SI" : "NO") + ")");
}

void TestDatabase::AddPolicyType(const std::string& code, const std::string& description,
                                 const std::string& product, int length_unit, int length,
                                 const std::vector<std::pair<std::string, double>>& services,
                                 const std::string& state) {
  Execute(
      "INSERT INTO Tipo_Poliza_Servicio (Tps_Cve_Tipo_Poliza_Servicio, Tps_Descripcion, "
      "Pr_Cve_Producto, Tps_Tipo, Tps_Valor, Es_Cve_Estado) VALUES (" +
      Quote(code) + ", " + Quote(description) + ", " + Quote(product) + ", " +
      std::to_string(length_unit) + ", " + std::to_string(length) + ", " + Quote(state) + ")");
  for (const auto& [service, quantity] : services) {
    Execute(
        "INSERT INTO Tipo_Poliza_Servicio_Tipo_Servicio (Tps_Cve_Tipo_Poliza_Servicio, "
        "Ts_Cve_Tipo_Servicio, Tpt_Cantidad) VALUES (" +
        Quote(code) + ", " + Quote(service) + ", " + NumberText(quantity) + ")");
  }
}

void TestDatabase::AddPolicy(const PolicyRow& p) {
  Execute(
      "INSERT INTO Poliza_Servicio (Ps_Folio, Ps_Fecha, Ps_Tabla, Ps_Documento, Ps_Fecha_Inicia, "
      "Ps_Fecha_Finaliza, Sc_Cve_Sucursal, Vn_Cve_Vendedor, Cl_Cve_Cliente, Ps_Comentario, "
      "Ps_Dia_Corte, Ps_Referencia, Tps_Cve_Tipo_Poliza_Servicio, Ps_Factura_ID, Ps_Concepto, "
      "Es_Cve_Estado, Oper_Alta, Fecha_Alta) VALUES (" +
      Quote(p.folio) + ", " + Quote(p.date) + ", '', '', " + Quote(p.start) + ", " + Quote(p.end) +
      ", " + Quote(p.branch) + ", " + Quote(p.seller) + ", " + Quote(p.client) + ", " +
      Quote(p.comment) + ", " + std::to_string(p.cut_off_day) + ", " + Quote(p.reference) + ", " +
      Quote(p.type) + ", " + Quote(p.invoice_id) + ", " + Quote(p.concept_text) + ", " +
      Quote(p.state) + ", 'ADMIN', " + Quote(PinnedNow().ToIsoDateTime()) + ")");
  for (const ServiceUse& use : p.services) {
    Execute("INSERT INTO Poliza_Servicio_Tipo_Servicio VALUES (" + Quote(p.folio) + ", " +
            Quote(use.service) + ", " + NumberText(use.included) + ", " +
            NumberText(use.used_hours) + ", " + NumberText(use.used_events) + ")");
  }
}

void TestDatabase::GrantPermission(const std::string& user, const std::string& key) {
  Execute("INSERT INTO operator_permission (user_code, module, permission_key) VALUES (" +
          Quote(user) + ", 'NV407', " + Quote(key) + ")");
}

}  // namespace nv407::testing
