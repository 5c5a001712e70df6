#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <vector>

#include "data/statements.h"
#include "db_test_support.h"
#include "screen/layout.h"

namespace nv407::host {
namespace {

using testing::Count;
using testing::DemoDatabaseTest;
using testing::FirstValue;

// The screen's statements, as it builds them, on the demo database.
class ScreenStatementsTest : public DemoDatabaseTest {
 protected:
  // Saves a new policy as the screen does: the header, then the type's services.
  statements::PolicyHeader SavePolicy(const std::string& folio, const std::string& type) {
    statements::PolicyHeader h;
    h.folio = folio;
    h.fecha = DateText(SqlDialect::kSqlite, Date::FromYmd(2024, 3, 15));
    h.fecha_inicia = DateText(SqlDialect::kSqlite, Date::FromYmd(2024, 4, 1));
    h.fecha_finaliza = DateText(SqlDialect::kSqlite, Date::FromYmd(2025, 3, 31));
    h.sucursal = "MTY";
    h.vendedor = "V001";
    h.cliente = "C00002";
    h.comentario = "Cliente 'preferente'";
    h.dia_corte = "28";
    h.referencia = "OC-4471";
    h.tipo_poliza = type;
    h.factura_id = "";
    h.concepto = "Póliza de soporte";
    h.user = "ADMIN";
    h.stamp = DateTimeText(SqlDialect::kSqlite, Now());
    Screen().Execute(statements::InsertPolicyHeader(h));
    Screen().Execute(statements::InsertPolicyServices(folio, type));
    return h;
  }

  struct ServiceType {
    std::string unit;  // "HR" or "EV", from Ts_Servicio_Hora
    Variant description;
  };
  std::map<std::string, ServiceType> ServiceTypes() {
    std::map<std::string, ServiceType> types;
    auto rows = Host().Execute("SELECT * FROM Tipo_Servicio");
    for (; !rows->Eof(); rows->MoveNext()) {
      const Variant hour = rows->Fields("Ts_Servicio_Hora").Value();
      types[rows->Fields("Ts_Cve_Tipo_Servicio").Value().ToText()] = {
          !hour.IsNull() && hour.ToText() == "SI" ? "HR" : "EV",
          rows->Fields("Ts_Descripcion").Value()};
    }
    return types;
  }

  std::map<std::string, double> IncludedServices(const std::string& type) {
    std::map<std::string, double> included;
    auto rows = Host().Execute(
        "SELECT * FROM Tipo_Poliza_Servicio_Tipo_Servicio WHERE Tps_Cve_Tipo_Poliza_Servicio = '" +
        type + "'");
    for (; !rows->Eof(); rows->MoveNext()) {
      included[rows->Fields("Ts_Cve_Tipo_Servicio").Value().ToText()] =
          rows->Fields("Tpt_Cantidad").Value().ToDouble();
    }
    return included;
  }
};

TEST_F(ScreenStatementsTest, SavedPolicyLoadsByFolioWithItsServices) {
  const auto header = SavePolicy("MTY0000000001", "SOPANUAL");
  const auto included = IncludedServices("SOPANUAL");
  const auto types = ServiceTypes();
  ASSERT_GT(included.size(), 1u);

  auto rows = Screen().Execute(statements::PolicyByFolio("MTY0000000001"));
  std::set<std::string> seen;
  for (; !rows->Eof(); rows->MoveNext()) {
    EXPECT_EQ(rows->Fields("Ps_Folio").Value(), Variant(header.folio));
    EXPECT_EQ(rows->Fields("Ps_Fecha").Value(), Variant(Date::FromYmd(2024, 3, 15)));
    EXPECT_EQ(rows->Fields("Ps_Fecha_Inicia").Value(), Variant(Date::FromYmd(2024, 4, 1)));
    EXPECT_EQ(rows->Fields("Ps_Fecha_Finaliza").Value(), Variant(Date::FromYmd(2025, 3, 31)));
    EXPECT_EQ(rows->Fields("Ps_Dia_Corte").Value().ToText(), header.dia_corte);
    EXPECT_EQ(rows->Fields("Ps_Comentario").Value(), Variant(header.comentario));
    EXPECT_EQ(rows->Fields("Ps_Tabla").Value(), Variant(""));
    EXPECT_EQ(rows->Fields("Sc_Cve_Sucursal").Value(), Variant(header.sucursal));
    EXPECT_EQ(rows->Fields("Tps_Cve_Tipo_Poliza_Servicio").Value(), Variant(header.tipo_poliza));
    EXPECT_EQ(rows->Fields("Fecha_Alta").Value(), Variant(Now()));
    EXPECT_EQ(rows->Fields("Fecha_Ult_Modif").Value(), Variant(Now()));
    const Variant state = rows->Fields("Es_Cve_Estado").Value();
    ASSERT_FALSE(state.IsNull());
    EXPECT_NE(state.ToText(), "CA");

    const std::string service = rows->Fields("Ts_Cve_Tipo_Servicio").Value().ToText();
    ASSERT_TRUE(included.count(service)) << service;
    seen.insert(service);
    EXPECT_EQ(rows->Fields("Ts_Descripcion").Value(), types.at(service).description);
    EXPECT_EQ(rows->Fields("Ts_Unidad").Value(), Variant(types.at(service).unit));
    EXPECT_EQ(rows->Fields("Pst_Cantidad_Incluida").Value().ToDouble(), included.at(service));
    EXPECT_EQ(rows->Fields("Pst_Cantidad_Utilizada").Value().ToText(), "0");
  }
  EXPECT_EQ(seen.size(), included.size());
}

TEST_F(ScreenStatementsTest, PolicyWithoutServicesIsFoundWithOneEmptyServiceRow) {
  ASSERT_TRUE(IncludedServices("ASESOR").empty());
  SavePolicy("MTY0000000002", "ASESOR");

  auto rows = Screen().Execute(statements::PolicyByFolio("MTY0000000002"));
  ASSERT_FALSE(rows->Eof());
  EXPECT_EQ(rows->Fields("Ps_Folio").Value(), Variant("MTY0000000002"));
  EXPECT_EQ(rows->Fields("Ts_Cve_Tipo_Servicio").Value(), Variant(""));
  EXPECT_EQ(rows->Fields("Ts_Descripcion").Value(), Variant(""));
  EXPECT_EQ(rows->Fields("Ts_Unidad").Value(), Variant("EV"));
  EXPECT_EQ(rows->Fields("Pst_Cantidad_Incluida").Value().ToText(), "0");
  rows->MoveNext();
  EXPECT_TRUE(rows->Eof());
}

TEST_F(ScreenStatementsTest, ServiceRowsReadTheirUnitAndUsedQuantity) {
  SavePolicy("F1", "ASESOR");
  // Rows that other tools may leave: an unknown service type, a NULL included quantity.
  Host().Execute("PRAGMA foreign_keys = OFF");
  Host().Execute("INSERT INTO Tipo_Servicio VALUES ('RARO', 'Servicio raro', 'si')");
  Host().Execute(
      "INSERT INTO Poliza_Servicio_Tipo_Servicio VALUES "
      "('F1', 'SOPREM', NULL, 2.5, 9), ('F1', 'VISITA', 4, 2.5, 9), ('F1', 'RARO', 1, 2.5, 9), "
      "('F1', 'NOEXISTE', 7, 2.5, 9)");
  Host().Execute("PRAGMA foreign_keys = ON");

  struct Expected {
    Variant unit, included, used;
  };
  const std::map<std::string, Expected> expected = {
      {"SOPREM", {"HR", 0, 2.5}},
      {"VISITA", {"EV", 4.0, 9.0}},
      {"RARO", {"EV", 1.0, 9.0}},  // only exactly "SI" is measured in hours
      {"", {"EV", 7.0, 9.0}},      // no such service type
  };
  std::size_t read = 0;
  auto rows = Screen().Execute(statements::PolicyByFolio("F1"));
  for (; !rows->Eof(); rows->MoveNext(), ++read) {
    const std::string code = rows->Fields("Ts_Cve_Tipo_Servicio").Value().ToText();
    ASSERT_TRUE(expected.count(code)) << code;
    const Expected& e = expected.at(code);
    EXPECT_EQ(rows->Fields("Ts_Unidad").Value(), e.unit) << code;
    EXPECT_EQ(rows->Fields("Pst_Cantidad_Incluida").Value().ToDouble(), e.included.ToDouble())
        << code;
    EXPECT_EQ(rows->Fields("Pst_Cantidad_Utilizada").Value().ToDouble(), e.used.ToDouble()) << code;
  }
  EXPECT_EQ(read, expected.size());
}

TEST_F(ScreenStatementsTest, PolicyTypeServicesCarryTheTypesLength) {
  const auto types = ServiceTypes();
  std::set<std::int64_t> units;
  auto policy_types = Host().Execute(
      "SELECT * FROM Tipo_Poliza_Servicio WHERE Tps_Cve_Tipo_Poliza_Servicio IN "
      "(SELECT Tps_Cve_Tipo_Poliza_Servicio FROM Tipo_Poliza_Servicio_Tipo_Servicio)");
  for (; !policy_types->Eof(); policy_types->MoveNext()) {
    const std::string type = policy_types->Fields("Tps_Cve_Tipo_Poliza_Servicio").Value().ToText();
    const auto included = IncludedServices(type);
    std::size_t read = 0;
    auto rows = Screen().Execute(statements::PolicyTypeServices(type));
    for (; !rows->Eof(); rows->MoveNext(), ++read) {
      const std::string service = rows->Fields("Ts_Cve_Tipo_Servicio").Value().ToText();
      ASSERT_TRUE(included.count(service)) << type << " " << service;
      EXPECT_EQ(rows->Fields("Ts_Descripcion").Value(), types.at(service).description);
      EXPECT_EQ(rows->Fields("Ts_Unidad").Value(), Variant(types.at(service).unit));
      EXPECT_EQ(rows->Fields("Tpt_Cantidad").Value().ToDouble(), included.at(service));
      EXPECT_EQ(rows->Fields("tps_tipo").Value(), policy_types->Fields("Tps_Tipo").Value());
      EXPECT_EQ(rows->Fields("TPS_VALOR").Value(), policy_types->Fields("Tps_Valor").Value());
      units.insert(rows->Fields("Tps_Tipo").Value().ToLong());
    }
    EXPECT_EQ(read, included.size()) << type;
  }
  EXPECT_EQ(units, (std::set<std::int64_t>{1, 2, 3, 4}));
}

TEST_F(ScreenStatementsTest, CancellationAndCounterResetWriteTheirAuditColumns) {
  SavePolicy("F1", "SOPMEN");
  Host().Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = 3, "
      "Pst_Evento_Utilizado = 1 WHERE Ps_Folio = 'F1'");

  Screen().Execute(statements::ResetServiceCounters("F1"));
  Screen().Execute(statements::StampCounterReset("CAPTURA", "F1"));
  EXPECT_EQ(Count(Host(), "Poliza_Servicio_Tipo_Servicio WHERE Ps_Folio = 'F1'"),
            static_cast<std::int64_t>(IncludedServices("SOPMEN").size()));
  EXPECT_EQ(Count(Host(),
                  "Poliza_Servicio_Tipo_Servicio WHERE Ps_Folio = 'F1' AND "
                  "(Pst_Tiempo_Utilizado <> 0 OR Pst_Evento_Utilizado <> 0)"),
            0);
  auto header = Host().Execute("SELECT * FROM Poliza_Servicio WHERE Ps_Folio = 'F1'");
  EXPECT_EQ(header->Fields("Oper_Ult_Modif").Value(), Variant("CAPTURA"));
  EXPECT_EQ(header->Fields("Fecha_Ult_Modif").Value(), Variant(Now()));  // GetDate()
  header->Close();

  const Date cancelled_at = Now().AddDays(1);
  Screen().Execute(
      statements::CancelPolicy("ADMIN", DateTimeText(SqlDialect::kSqlite, cancelled_at), "F1"));
  header = Host().Execute("SELECT * FROM Poliza_Servicio WHERE Ps_Folio = 'F1'");
  EXPECT_EQ(header->Fields("Es_Cve_Estado").Value(), Variant("CA"));
  EXPECT_EQ(header->Fields("Oper_Baja").Value(), Variant("ADMIN"));
  EXPECT_EQ(header->Fields("Fecha_Baja").Value(), Variant(cancelled_at));
}

TEST_F(ScreenStatementsTest, ProductOfEveryPolicyTypeIsFound) {
  auto types = Host().Execute(
      "SELECT Tps_Cve_Tipo_Poliza_Servicio AS type, Tipo_Poliza_Servicio.Pr_Cve_Producto AS "
      "product, Pr_Descripcion AS description FROM Tipo_Poliza_Servicio, Producto WHERE "
      "Tipo_Poliza_Servicio.Pr_Cve_Producto = Producto.Pr_Cve_Producto");
  int read = 0;
  for (; !types->Eof(); types->MoveNext(), ++read) {
    auto product =
        Screen().Execute(statements::ProductOfPolicyType(types->Fields("type").Value().ToText()));
    ASSERT_FALSE(product->Eof());
    EXPECT_EQ(product->Fields("Pr_Cve_Producto").Value(), types->Fields("product").Value());
    EXPECT_EQ(product->Fields("Pr_Descripcion").Value(), types->Fields("description").Value());
  }
  EXPECT_EQ(read, Count(Host(), "Tipo_Poliza_Servicio"));
}

// The catalogue look-ups of the key fields, with the typed key in place of the '?'.
std::vector<std::string> LookupStatements() {
  std::vector<std::string> lookups;
  for (const ControlLayout& control : frmNV407Layout().controls) {
    if (!control.Setting("sql").empty()) lookups.push_back(control.Setting("sql"));
  }
  return lookups;
}

// The table named after FROM.
std::string TableOf(const std::string& lookup) {
  std::string lower = lookup;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::size_t start = lower.find(" from ") + 6;
  return lookup.substr(start, lookup.find(' ', start) - start);
}

std::string WithKey(std::string lookup, const std::string& key) {
  return lookup.replace(lookup.find('?'), 1, key);
}

TEST_F(ScreenStatementsTest, LookupsFindActiveCodesOnly) {
  const auto lookups = LookupStatements();
  ASSERT_EQ(lookups.size(), 4u);
  // Each look-up's table and code column, read from the statement itself.
  for (const std::string& lookup : lookups) {
    SCOPED_TRACE(lookup);
    const std::string table = TableOf(lookup);
    const std::string code_column =
        FirstValue(Host(), "SELECT name FROM pragma_table_info('" + table + "') WHERE pk = 1",
                   "name")
            .ToText();

    for (const char* state : {"AC", "BA"}) {
      const std::string code = FirstValue(Host(),
                                          "SELECT " + code_column + " AS code FROM " + table +
                                              " WHERE Es_Cve_Estado = '" + state + "' LIMIT 1",
                                          "code")
                                   .ToText();
      auto found = Screen().Execute(WithKey(lookup, code));
      EXPECT_EQ(found->Eof(), std::string(state) == "BA") << code;
    }
    EXPECT_TRUE(Screen().Execute(WithKey(lookup, "NOEXISTE"))->Eof());
  }
}

// Every statement the screen and the host run finds its rows through a key, so it stays
// fast at millions of policies: no step of any plan scans a table.
TEST_F(ScreenStatementsTest, EveryLookupIsKeyed) {
  std::vector<std::string> queries = {
      statements::PolicyByFolio("F1"),
      statements::PolicyTypeServices("SOPMEN"),
      statements::CancelPolicy("ADMIN", "2024-03-15 10:00:00", "F1"),
      statements::InsertPolicyServices("F1", "SOPMEN"),
      statements::ResetServiceCounters("F1"),
      statements::StampCounterReset("ADMIN", "F1"),
      statements::ProductOfPolicyType("SOPMEN"),
      "SELECT 1 FROM Poliza_Servicio WHERE Ps_Folio = 'F1'",
      "SELECT * FROM folio_series WHERE branch = 'MTY' AND table_name = 'Poliza_Servicio'",
      "SELECT text FROM extended_text WHERE table_name = 'Poliza_Servicio' AND "
      "record_key = 'F1' AND entry_code = '0001'",
      "SELECT * FROM record_log WHERE table_name = 'POLIZA_SERVICIO' AND record_key = 'F1'",
      "SELECT * FROM additional_field_value WHERE table_name = 'POLIZA_SERVICIO' AND "
      "record_key = 'F1'",
      "SELECT * FROM additional_field WHERE table_name = 'POLIZA_SERVICIO'",
      "SELECT value FROM host_parameter WHERE name = 'FTO_CLIENTE'",
      "SELECT 1 FROM operator_permission WHERE user_code = 'ADMIN' AND module = 'NV407' AND "
      "permission_key = 'INISERV'",
      "SELECT name FROM operator WHERE user_code = 'ADMIN'",
      "SELECT text FROM product_text WHERE product_code = 'POL-SOP-MEN'",
      "SELECT code FROM host_transaction WHERE application = 'Zembrel' AND "
      "transaction_name = 'NV407'",
  };
  for (const std::string& lookup : LookupStatements()) queries.push_back(WithKey(lookup, "X"));

  for (const std::string& query : queries) {
    auto plan = Screen().Execute("EXPLAIN QUERY PLAN " + query);
    ASSERT_FALSE(plan->Eof()) << query;
    for (; !plan->Eof(); plan->MoveNext()) {
      const std::string step = plan->Fields("detail").Value().ToText();
      EXPECT_EQ(step.find("SCAN"), std::string::npos) << query << "\n  " << step;
    }
  }
}

}  // namespace
}  // namespace nv407::host
