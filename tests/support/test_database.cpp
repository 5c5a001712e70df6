#include "support/test_database.h"

#include <cctype>

#include "component/error.h"
#include "host/headless/text_rules.h"
#include "support/test_backend.h"

namespace nv407::testing {

std::string Quote(const std::string& text) {
  return host::QuotedText(text);
}

std::string QuotedValues(std::initializer_list<std::string> values) {
  std::string list;
  for (const std::string& value : values) list += (list.empty() ? "(" : ", ") + Quote(value);
  return list + ")";
}

std::string Refused(const std::string& message) {
  // The server's SQLSTATE and severity come first.
  if (TestBackend() == Backend::kPostgreSql) return "P0001: ERROR: " + message;
  return message;
}

std::string Lowercase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Literal(const Variant& value) {
  switch (value.kind()) {
    case Variant::Kind::kNull:
      return "NULL";
    case Variant::Kind::kLong:
      return value.ToText();
    case Variant::Kind::kDouble: {
      const std::string number = value.ToText();
      return number.find_first_of(".e") == std::string::npos ? number + ".0" : number;
    }
    default:
      return Quote(value.ToText());
  }
}

TestDatabase::TestDatabase(Storage storage) : now_(std::make_shared<Date>(PinnedNow())) {
  if (TestBackend() == Backend::kPostgreSql) {
    // A database of its own, whichever storage: every session on it meets the others.
    server_ = std::make_unique<ServerDatabase>(ServerDatabase::Contents::kDemo);
    database_ = OpenAnotherSession();
    return;
  }
  if (storage == Storage::kFile) {
    file_ = std::make_unique<ScratchDatabase>(ScratchDatabase::Contents::kSchema);
    database_ = OpenAnotherSession();
  } else {
    database_ = host::OpenSqliteMemoryDatabase({.clock = clock()});
    host::CreateSchema(sql(), host::SqlDialect::kSqlite);
  }
  host::LoadDemoData(sql());
}

TestDatabase::~TestDatabase() = default;

std::unique_ptr<host::Database> TestDatabase::OpenAnotherSession() {
  if (server_) return host::OpenOdbcDatabase(server_->ConnectionString(), {.clock = clock()});
  if (!file_) throw Error("A database in memory has no second session: use Storage::kFile");
  return file_->Open(clock());
}

std::string TestDatabase::Rows(const std::string& table, const std::string& where) {
  std::vector<std::string> columns;
  const std::string catalogue =
      server_ ? "SELECT column_name AS name FROM information_schema.columns WHERE table_name = " +
                    Quote(Lowercase(table)) + " ORDER BY ordinal_position"
              : "SELECT name FROM pragma_table_info(" + Quote(table) + ") ORDER BY cid";
  for (auto result = sql().Execute(catalogue); !result->Eof(); result->MoveNext())
    columns.push_back(result->Fields("name").Value().ToText());
  std::string rows;
  auto result = sql().Execute("SELECT * FROM " + table + " WHERE " + where + " ORDER BY 1");
  for (; !result->Eof(); result->MoveNext()) {
    if (!rows.empty()) rows += ';';
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (i) rows += ',';
      rows += Literal(result->Fields(columns[i]).Value());
    }
  }
  return rows;
}

std::vector<std::string> TestDatabase::Written() {
  std::vector<std::string> tables;
  for (const char* table : {"Poliza_Servicio", "Poliza_Servicio_Tipo_Servicio", "folio_series",
                            "extended_text", "record_log", "additional_field_value"})
    tables.push_back(Rows(table));
  return tables;
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

std::string TestDatabase::Joined(const std::string& query, const std::string& separator) {
  std::string joined;
  bool first = true;
  for (auto result = sql().Execute(query); !result->Eof(); result->MoveNext()) {
    const Variant value = result->Fields(host::FirstColumnName(query)).Value();
    if (!first) joined += separator;
    joined += value.IsNull() ? std::string("NULL") : value.ToText();
    first = false;
  }
  return joined;
}

std::vector<std::string> TestDatabase::TableScans(const std::string& statement) {
  const char* column = server_ ? "QUERY PLAN" : "detail";
  const char* scan = server_ ? "Seq Scan" : "SCAN ";
  if (server_) Execute("SET enable_seqscan = off");
  std::vector<std::string> scans;
  for (auto result = sql().Execute((server_ ? "EXPLAIN " : "EXPLAIN QUERY PLAN ") + statement);
       !result->Eof(); result->MoveNext()) {
    const std::string step = result->Fields(column).Value().ToText();
    if (step.find(scan) != std::string::npos) scans.push_back(step);
  }
  return scans;
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
  Execute("INSERT INTO Sucursal (Sc_Cve_Sucursal, Sc_Descripcion, Es_Cve_Estado) VALUES " +
          QuotedValues({code, description, state}));
}

void TestDatabase::AddSeller(const std::string& code, const std::string& description,
                             const std::string& state) {
  Execute("INSERT INTO Vendedor (Vn_Cve_Vendedor, Vn_Descripcion, Es_Cve_Estado) VALUES " +
          QuotedValues({code, description, state}));
}

void TestDatabase::AddClient(const std::string& code, const std::string& name,
                             const std::string& state) {
  Execute("INSERT INTO Cliente (Cl_Cve_Cliente, Cl_Razon_Social_1, Es_Cve_Estado) VALUES " +
          QuotedValues({code, name, state}));
}

void TestDatabase::AddServiceType(const std::string& code, const std::string& description,
                                  bool hours) {
  Execute(
      "INSERT INTO Tipo_Servicio (Ts_Cve_Tipo_Servicio, Ts_Descripcion, Ts_Servicio_Hora) "
      "VALUES " +
      QuotedValues({code, description, hours ? "SI" : "NO"}));
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

void TestDatabase::RefuseWrites(const std::string& event, const std::string& table,
                                const std::string& message) {
  if (!server_) {
    Execute("CREATE TRIGGER refuse BEFORE " + event + " ON " + table +
            " BEGIN SELECT RAISE(ABORT, " + Quote(message) + "); END");
    return;
  }
  Execute(
      "CREATE OR REPLACE FUNCTION refuse_writes() RETURNS trigger LANGUAGE plpgsql AS "
      "$$BEGIN RAISE EXCEPTION USING MESSAGE = TG_ARGV[0]; END$$");
  Execute("CREATE TRIGGER refuse BEFORE " + event + " ON " + table +
          " FOR EACH ROW EXECUTE FUNCTION refuse_writes(" + Quote(message) + ")");
}

void TestDatabase::AllowWrites(const std::string& table) {
  Execute(server_ ? "DROP TRIGGER refuse ON " + table : std::string("DROP TRIGGER refuse"));
}

void TestDatabase::GrantPermission(const std::string& user, const std::string& key) {
  Execute("INSERT INTO operator_permission (user_code, module, permission_key) VALUES " +
          QuotedValues({user, "NV407", key}));
}

}  // namespace nv407::testing
