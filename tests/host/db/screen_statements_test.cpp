#include <gtest/gtest.h>

#include <array>
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
    statements::PolicyHeader h{folio,
                               DateText(SqlDialect::kSqlite, Date::FromYmd(2024, 3, 15)),
                               DateText(SqlDialect::kSqlite, Date::FromYmd(2024, 4, 1)),
                               DateText(SqlDialect::kSqlite, Date::FromYmd(2025, 3, 31)),
                               "MTY",
                               "V001",
                               "C00002",
                               "Cliente 'preferente'",
                               "28",
                               "OC-4471",
                               type,
                               "",
                               "Póliza de soporte",
                               "ADMIN",
                               DateTimeText(SqlDialect::kSqlite, Now())};
    Screen().Execute(statements::InsertPolicyHeader(h));
    Screen().Execute(statements::InsertPolicyServices(folio, type));
    return h;
  }

  // Service type -> its unit as the rule gives it ("HR" only for exactly "SI").
  std::map<std::string, std::string> Units() {
    std::map<std::string, std::string> units;
    auto rows = Host().Execute(
        "SELECT Ts_Cve_Tipo_Servicio AS code, Ts_Servicio_Hora AS hour "
        "FROM Tipo_Servicio");
    for (; !rows->Eof(); rows->MoveNext()) {
      const Variant hour = rows->Fields("hour").Value();
      units[rows->Fields("code").Value().ToText()] =
          !hour.IsNull() && hour.ToText() == "SI" ? "HR" : "EV";
    }
    return units;
  }

  // Service type -> included quantity, for one policy type.
  std::map<std::string, double> Included(const std::string& type) {
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

TEST_F(ScreenStatementsTest, PolicyIsSavedLoadedResetAndCancelled) {
  const auto header = SavePolicy("MTY0000000001", "SOPANUAL");
  const auto included = Included("SOPANUAL");
  const auto units = Units();
  ASSERT_GT(included.size(), 1u);

  std::set<std::string> seen;
  auto rows = Screen().Execute(statements::PolicyByFolio(header.folio));
  for (; !rows->Eof(); rows->MoveNext()) {
    EXPECT_EQ(rows->Fields("Ps_Folio").Value(), Variant(header.folio));
    EXPECT_EQ(rows->Fields("Ps_Fecha").Value(), Variant(Date::FromYmd(2024, 3, 15)));
    EXPECT_EQ(rows->Fields("Ps_Fecha_Finaliza").Value(), Variant(Date::FromYmd(2025, 3, 31)));
    EXPECT_EQ(rows->Fields("Ps_Dia_Corte").Value().ToText(), header.dia_corte);
    EXPECT_EQ(rows->Fields("Ps_Comentario").Value(), Variant(header.comentario));
    EXPECT_EQ(rows->Fields("Fecha_Alta").Value(), Variant(Now()));
    const Variant state = rows->Fields("Es_Cve_Estado").Value();
    ASSERT_FALSE(state.IsNull());
    EXPECT_NE(state.ToText(), "CA");

    const std::string service = rows->Fields("Ts_Cve_Tipo_Servicio").Value().ToText();
    ASSERT_TRUE(included.count(service)) << service;
    seen.insert(service);
    EXPECT_EQ(rows->Fields("Ts_Unidad").Value(), Variant(units.at(service)));
    EXPECT_EQ(rows->Fields("Pst_Cantidad_Incluida").Value().ToDouble(), included.at(service));
    EXPECT_EQ(rows->Fields("Pst_Cantidad_Utilizada").Value().ToText(), "0");
  }
  EXPECT_EQ(seen.size(), included.size());

  Host().Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = 3, "
      "Pst_Evento_Utilizado = 1");
  Screen().Execute(statements::ResetServiceCounters(header.folio));
  Screen().Execute(statements::StampCounterReset("CAPTURA", header.folio));
  EXPECT_EQ(Count(Host(),
                  "Poliza_Servicio_Tipo_Servicio WHERE Pst_Tiempo_Utilizado <> 0 OR "
                  "Pst_Evento_Utilizado <> 0"),
            0);
  const Date cancelled_at = Now().AddDays(1);
  Screen().Execute(statements::CancelPolicy(
      "ADMIN", DateTimeText(SqlDialect::kSqlite, cancelled_at), header.folio));

  auto row = Host().Execute("SELECT * FROM Poliza_Servicio");
  EXPECT_EQ(row->Fields("Oper_Ult_Modif").Value(), Variant("CAPTURA"));
  EXPECT_EQ(row->Fields("Fecha_Ult_Modif").Value(), Variant(Now()));  // GetDate()
  EXPECT_EQ(row->Fields("Es_Cve_Estado").Value(), Variant("CA"));
  EXPECT_EQ(row->Fields("Oper_Baja").Value(), Variant("ADMIN"));
  EXPECT_EQ(row->Fields("Fecha_Baja").Value(), Variant(cancelled_at));
}

TEST_F(ScreenStatementsTest, ServiceRowsReadTheirUnitAndQuantities) {
  SavePolicy("F1", "ASESOR");  // a type without services
  auto empty = Screen().Execute(statements::PolicyByFolio("F1"));
  ASSERT_FALSE(empty->Eof());  // the left joins still give the header
  EXPECT_EQ(empty->Fields("Ts_Cve_Tipo_Servicio").Value(), Variant(""));
  empty->MoveNext();
  EXPECT_TRUE(empty->Eof());

  // Rows that other tools may leave: an unknown service type, a NULL included quantity.
  Host().Execute("PRAGMA foreign_keys = OFF");
  Host().Execute("INSERT INTO Tipo_Servicio VALUES ('RARO', 'Servicio raro', 'si')");
  Host().Execute(
      "INSERT INTO Poliza_Servicio_Tipo_Servicio VALUES "
      "('F1', 'SOPREM', NULL, 2.5, 9), ('F1', 'VISITA', 4, 2.5, 9), "
      "('F1', 'RARO', 1, 2.5, 9), ('F1', 'NOEXISTE', 7, 2.5, 9)");
  Host().Execute("PRAGMA foreign_keys = ON");
  struct Expected {
    const char* unit;
    double included, used;
  };
  const std::map<std::string, Expected> expected = {
      {"SOPREM", {"HR", 0, 2.5}},
      {"VISITA", {"EV", 4, 9}},
      {"RARO", {"EV", 1, 9}},  // only exactly "SI" is measured in hours
      {"", {"EV", 7, 9}},      // no such service type: empty code and description
  };
  std::size_t read = 0;
  auto rows = Screen().Execute(statements::PolicyByFolio("F1"));
  for (; !rows->Eof(); rows->MoveNext(), ++read) {
    const std::string code = rows->Fields("Ts_Cve_Tipo_Servicio").Value().ToText();
    ASSERT_TRUE(expected.count(code)) << code;
    EXPECT_EQ(rows->Fields("Ts_Unidad").Value(), Variant(expected.at(code).unit)) << code;
    EXPECT_EQ(rows->Fields("Pst_Cantidad_Incluida").Value().ToDouble(), expected.at(code).included);
    EXPECT_EQ(rows->Fields("Pst_Cantidad_Utilizada").Value().ToDouble(), expected.at(code).used);
  }
  EXPECT_EQ(read, expected.size());
}

TEST_F(ScreenStatementsTest, PolicyTypeServicesCarryTheTypesLengthAndProduct) {
  const auto units = Units();
  std::set<std::int64_t> lengths;
  auto types = Host().Execute(
      "SELECT * FROM Tipo_Poliza_Servicio t JOIN Producto p ON "
      "t.Pr_Cve_Producto = p.Pr_Cve_Producto");
  for (; !types->Eof(); types->MoveNext()) {
    const std::string type = types->Fields("Tps_Cve_Tipo_Poliza_Servicio").Value().ToText();
    const auto included = Included(type);
    std::size_t read = 0;
    auto rows = Screen().Execute(statements::PolicyTypeServices(type));
    for (; !rows->Eof(); rows->MoveNext(), ++read) {
      const std::string service = rows->Fields("Ts_Cve_Tipo_Servicio").Value().ToText();
      ASSERT_TRUE(included.count(service)) << type << " " << service;
      EXPECT_EQ(rows->Fields("Ts_Unidad").Value(), Variant(units.at(service)));
      EXPECT_EQ(rows->Fields("Tpt_Cantidad").Value().ToDouble(), included.at(service));
      EXPECT_EQ(rows->Fields("Tps_Valor").Value(), types->Fields("Tps_Valor").Value());
      lengths.insert(rows->Fields("Tps_Tipo").Value().ToLong());
    }
    EXPECT_EQ(read, included.size()) << type;

    auto product = Screen().Execute(statements::ProductOfPolicyType(type));
    EXPECT_EQ(product->Fields("Pr_Cve_Producto").Value(), types->Fields("Pr_Cve_Producto").Value());
    EXPECT_EQ(product->Fields("Pr_Descripcion").Value(), types->Fields("Pr_Descripcion").Value());
  }
  EXPECT_EQ(lengths, (std::set<std::int64_t>{1, 2, 3, 4}));
}

// The key fields' catalogue look-up, with the typed key in place of the '?'.
std::string Lookup(const std::string& field, const std::string& key) {
  for (const ControlLayout& control : frmNV407Layout().controls) {
    if (control.name != field) continue;
    std::string sql = control.Setting("sql");
    return sql.replace(sql.find('?'), 1, key);
  }
  throw std::runtime_error("no field " + field);
}

TEST_F(ScreenStatementsTest, LookupsFindActiveCodesOnly) {
  const std::vector<std::array<std::string, 3>> fields = {
      {"txt_Sc_Cve_Sucursal", "Sucursal", "Sc_Cve_Sucursal"},
      {"txt_Vn_Cve_Vendedor", "Vendedor", "Vn_Cve_Vendedor"},
      {"txt_Cl_Cve_Cliente", "Cliente", "Cl_Cve_Cliente"},
      {"txt_Tps_Cve_Tipo_Poliza", "Tipo_Poliza_Servicio", "Tps_Cve_Tipo_Poliza_Servicio"}};
  for (const auto& [field, table, column] : fields) {
    for (const std::string state : {"AC", "BA"}) {
      const std::string code = FirstValue(Host(),
                                          "SELECT " + column + " AS code FROM " + table +
                                              " WHERE Es_Cve_Estado = '" + state + "'",
                                          "code")
                                   .ToText();
      EXPECT_EQ(Screen().Execute(Lookup(field, code))->Eof(), state == "BA") << code;
    }
  }
}

// Every statement the screen and the host run finds its rows through a key, so it stays
// fast at millions of policies: no step of any plan scans a table.
TEST_F(ScreenStatementsTest, EveryLookupIsKeyed) {
  const std::vector<std::string> queries = {
      statements::PolicyByFolio("F1"),
      statements::PolicyTypeServices("SOPMEN"),
      statements::CancelPolicy("ADMIN", "2024-03-15 10:00:00", "F1"),
      statements::InsertPolicyServices("F1", "SOPMEN"),
      statements::ResetServiceCounters("F1"),
      statements::StampCounterReset("ADMIN", "F1"),
      statements::ProductOfPolicyType("SOPMEN"),
      Lookup("txt_Sc_Cve_Sucursal", "X"),
      Lookup("txt_Vn_Cve_Vendedor", "X"),
      Lookup("txt_Cl_Cve_Cliente", "X"),
      Lookup("txt_Tps_Cve_Tipo_Poliza", "X"),
      "SELECT * FROM folio_series WHERE branch = 'MTY' AND table_name = 'Poliza_Servicio'",
      "SELECT text FROM extended_text WHERE table_name = 'Poliza_Servicio' AND "
      "record_key = 'F1' AND entry_code = '0001'",
      "SELECT * FROM record_log WHERE table_name = 'POLIZA_SERVICIO' AND record_key = 'F1'",
      "SELECT * FROM additional_field_value WHERE table_name = 'POLIZA_SERVICIO' AND "
      "record_key = 'F1'",
      "SELECT * FROM additional_field WHERE table_name = 'POLIZA_SERVICIO'",
      "SELECT 1 FROM operator_permission WHERE user_code = 'ADMIN' AND module = 'NV407' AND "
      "permission_key = 'INISERV'",
      "SELECT code FROM host_transaction WHERE application = 'Zembrel' AND "
      "transaction_name = 'NV407'",
  };
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
