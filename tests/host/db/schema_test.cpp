#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

#include "component/error.h"
#include "db_test_support.h"

namespace nv407::host {
namespace {

using testing::Count;
using testing::DemoDatabaseTest;
using testing::FirstValue;

class SchemaTest : public DemoDatabaseTest {
 protected:
  // Column names in table order, with their declared types.
  std::vector<std::pair<std::string, std::string>> Columns(const std::string& table) {
    std::vector<std::pair<std::string, std::string>> columns;
    auto rows = Host().Execute("SELECT name, type FROM pragma_table_info('" + table + "')");
    for (; !rows->Eof(); rows->MoveNext()) {
      columns.emplace_back(rows->Fields("name").Value().ToText(),
                           rows->Fields("type").Value().ToText());
    }
    return columns;
  }
  std::vector<std::string> ColumnNames(const std::string& table) {
    std::vector<std::string> names;
    for (const auto& [name, type] : Columns(table)) names.push_back(name);
    return names;
  }
};

// The service-policy tables with their columns; 'D' marks a Date, 'T' a Date-time column.
const std::map<std::string, std::map<std::string, char>> kPolicyTables = {
    {"Poliza_Servicio", {{"Ps_Folio", ' '},        {"Ps_Fecha", 'D'},
                         {"Ps_Tabla", ' '},        {"Ps_Documento", ' '},
                         {"Ps_Fecha_Inicia", 'D'}, {"Ps_Fecha_Finaliza", 'D'},
                         {"Sc_Cve_Sucursal", ' '}, {"Vn_Cve_Vendedor", ' '},
                         {"Cl_Cve_Cliente", ' '},  {"Ps_Comentario", ' '},
                         {"Ps_Dia_Corte", ' '},    {"Ps_Referencia", ' '},
                         {"Ps_Factura_ID", ' '},   {"Ps_Concepto", ' '},
                         {"Es_Cve_Estado", ' '},   {"Oper_Alta", ' '},
                         {"Fecha_Alta", 'T'},      {"Oper_Ult_Modif", ' '},
                         {"Fecha_Ult_Modif", 'T'}, {"Oper_Baja", ' '},
                         {"Fecha_Baja", 'T'},      {"Tps_Cve_Tipo_Poliza_Servicio", ' '}}},
    {"Poliza_Servicio_Tipo_Servicio",
     {{"Ps_Folio", ' '},
      {"Ts_Cve_Tipo_Servicio", ' '},
      {"Pst_Cantidad_Incluida", ' '},
      {"Pst_Tiempo_Utilizado", ' '},
      {"Pst_Evento_Utilizado", ' '}}},
    {"Tipo_Poliza_Servicio",
     {{"Tps_Cve_Tipo_Poliza_Servicio", ' '},
      {"Tps_Descripcion", ' '},
      {"Pr_Cve_Producto", ' '},
      {"Tps_Tipo", ' '},
      {"Tps_Valor", ' '},
      {"Es_Cve_Estado", ' '}}},
    {"Tipo_Poliza_Servicio_Tipo_Servicio",
     {{"Tps_Cve_Tipo_Poliza_Servicio", ' '}, {"Ts_Cve_Tipo_Servicio", ' '}, {"Tpt_Cantidad", ' '}}},
    {"Tipo_Servicio",
     {{"Ts_Cve_Tipo_Servicio", ' '}, {"Ts_Descripcion", ' '}, {"Ts_Servicio_Hora", ' '}}},
    {"Producto", {{"Pr_Cve_Producto", ' '}, {"Pr_Descripcion", ' '}}},
    {"Cliente", {{"Cl_Cve_Cliente", ' '}, {"Cl_Razon_Social_1", ' '}, {"Es_Cve_Estado", ' '}}},
    {"Sucursal", {{"Sc_Cve_Sucursal", ' '}, {"sc_descripcion", ' '}, {"Es_Cve_Estado", ' '}}},
    {"Vendedor", {{"Vn_Cve_Vendedor", ' '}, {"Vn_Descripcion", ' '}, {"Es_Cve_Estado", ' '}}},
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

TEST_F(SchemaTest, EveryPolicyColumnExistsWithItsDateKind) {
  for (const auto& [table, wanted] : kPolicyTables) {
    std::map<std::string, std::string> declared;
    for (const auto& [name, type] : Columns(table)) declared[Lower(name)] = Lower(type);
    for (const auto& [column, kind] : wanted) {
      SCOPED_TRACE(table + "." + column);
      ASSERT_TRUE(declared.count(Lower(column)));
      const std::string type = declared.at(Lower(column));
      EXPECT_EQ(type == "date", kind == 'D');
      EXPECT_EQ(type == "datetime", kind == 'T');
    }
  }
}

TEST_F(SchemaTest, PolicyServicesColumnsAreInInsertOrder) {
  const std::vector<std::string> order = {"Ps_Folio", "Ts_Cve_Tipo_Servicio",
                                          "Pst_Cantidad_Incluida", "Pst_Tiempo_Utilizado",
                                          "Pst_Evento_Utilizado"};
  EXPECT_EQ(ColumnNames("Poliza_Servicio_Tipo_Servicio"), order);
}

TEST_F(SchemaTest, HostTablesKeepTheirDocumentedColumns) {
  const std::map<std::string, std::vector<std::string>> host_tables = {
      {"folio_series", {"branch", "table_name", "last_number"}},
      {"extended_text", {"table_name", "record_key", "entry_code", "text"}},
      {"record_log", {"id", "table_name", "record_key", "note", "user_code", "logged_at"}},
      {"additional_field", {"table_name", "field_name", "default_value"}},
      {"additional_field_value", {"table_name", "record_key", "field_name", "value"}},
      {"host_parameter", {"name", "value"}},
      {"operator", {"user_code", "name"}},
      {"operator_permission", {"user_code", "module", "permission_key"}},
      {"product_text", {"product_code", "text"}},
      {"host_transaction", {"application", "transaction_name", "code"}},
  };
  for (const auto& [table, columns] : host_tables) EXPECT_EQ(ColumnNames(table), columns) << table;
}

TEST_F(SchemaTest, KeysAndRelationsRefuseInconsistentRows) {
  Host().Execute("INSERT INTO Poliza_Servicio (Ps_Folio) VALUES ('F1')");
  Host().Execute("INSERT INTO Poliza_Servicio_Tipo_Servicio VALUES ('F1', 'SOPREM', 1, 0, 0)");
  const std::vector<std::string> refused = {
      // Keys.
      "INSERT INTO Poliza_Servicio (Ps_Folio) VALUES ('F1')",
      "INSERT INTO Poliza_Servicio (Ps_Folio) VALUES (NULL)",
      "INSERT INTO Poliza_Servicio_Tipo_Servicio VALUES ('F1', 'SOPREM', 2, 0, 0)",
      "INSERT INTO Tipo_Poliza_Servicio_Tipo_Servicio VALUES ('SOPMEN', 'SOPREM', 1)",
      "INSERT INTO folio_series VALUES ('MTY', 'Poliza_Servicio', 1), "
      "('MTY', 'POLIZA_SERVICIO', 2)",
      // Relations.
      "INSERT INTO Poliza_Servicio_Tipo_Servicio VALUES ('F9', 'SOPREM', 1, 0, 0)",
      "INSERT INTO Poliza_Servicio_Tipo_Servicio VALUES ('F1', 'NOEXISTE', 1, 0, 0)",
      "INSERT INTO Tipo_Poliza_Servicio_Tipo_Servicio VALUES ('NOEXISTE', 'SOPREM', 1)",
      "INSERT INTO Tipo_Poliza_Servicio_Tipo_Servicio VALUES ('ASESOR', 'NOEXISTE', 1)",
      "INSERT INTO Tipo_Poliza_Servicio (Tps_Cve_Tipo_Poliza_Servicio, Pr_Cve_Producto) "
      "VALUES ('NUEVO', 'NOEXISTE')",
      "INSERT INTO operator_permission VALUES ('NADIE', 'NV407', 'CHFECHA')",
  };
  for (const std::string& sql : refused) EXPECT_THROW(Host().Execute(sql), Error) << sql;
}

TEST_F(SchemaTest, NewPolicyTakesALiveState) {
  Host().Execute("INSERT INTO Poliza_Servicio (Ps_Folio) VALUES ('F1')");
  const Variant state = FirstValue(
      Host(), "SELECT Es_Cve_Estado FROM Poliza_Servicio WHERE Ps_Folio = 'F1'", "Es_Cve_Estado");
  ASSERT_FALSE(state.IsNull());
  EXPECT_NE(state.ToText(), "CA");
  EXPECT_FALSE(state.ToText().empty());
}

// The demo data hold every case the screen's loading and look-ups meet.
TEST_F(SchemaTest, DemoDataCoverTheScreensCases) {
  for (const char* catalogue : {"Sucursal", "Vendedor", "Cliente", "Tipo_Poliza_Servicio"}) {
    SCOPED_TRACE(catalogue);
    EXPECT_GE(Count(Host(), std::string(catalogue) + " WHERE Es_Cve_Estado <> 'BA'"), 2);
    EXPECT_EQ(Count(Host(), std::string(catalogue) + " WHERE Es_Cve_Estado = 'BA'"), 1);
  }
  EXPECT_GE(Count(Host(), "Tipo_Servicio WHERE Ts_Servicio_Hora = 'SI'"), 1);
  EXPECT_GE(Count(Host(), "Tipo_Servicio WHERE IsNull(Ts_Servicio_Hora, '') <> 'SI'"), 1);
  EXPECT_EQ(Count(Host(),
                  "(SELECT DISTINCT Tps_Tipo FROM Tipo_Poliza_Servicio WHERE "
                  "Es_Cve_Estado <> 'BA' AND Tps_Tipo BETWEEN 1 AND 4)"),
            4);
  EXPECT_GE(Count(Host(),
                  "Tipo_Poliza_Servicio t WHERE Es_Cve_Estado <> 'BA' AND NOT EXISTS "
                  "(SELECT 1 FROM Tipo_Poliza_Servicio_Tipo_Servicio s WHERE "
                  "s.Tps_Cve_Tipo_Poliza_Servicio = t.Tps_Cve_Tipo_Poliza_Servicio)"),
            1);
  EXPECT_GE(Count(Host(), "product_text WHERE text LIKE '%' || char(13, 10)"), 1);
  EXPECT_EQ(Count(Host(),
                  "Producto p WHERE NOT EXISTS (SELECT 1 FROM Tipo_Poliza_Servicio t "
                  "WHERE t.Pr_Cve_Producto = p.Pr_Cve_Producto)"),
            0);
  EXPECT_EQ(Count(Host(),
                  "host_parameter WHERE name IN ('FTO_SUCURSAL', 'FTO_VENDEDOR', "
                  "'FTO_CLIENTE', 'FTO_TIPO_POLIZA_SERVICIO') AND value <> ''"),
            4);
  const std::string nv407 =
      "operator_permission WHERE module = 'NV407' AND permission_key IN "
      "('CHFECHA', 'INISERV') AND user_code = ";
  EXPECT_EQ(Count(Host(), nv407 + "'ADMIN'"), 2);
  EXPECT_EQ(Count(Host(), nv407 + "'CAPTURA'"), 0);
  EXPECT_EQ(Count(Host(), "operator WHERE user_code = 'CAPTURA'"), 1);

  // The key fields upper-case what is typed: codes are stored that way.
  const std::map<std::string, std::string> codes = {
      {"Sucursal", "Sc_Cve_Sucursal"},
      {"Vendedor", "Vn_Cve_Vendedor"},
      {"Cliente", "Cl_Cve_Cliente"},
      {"Tipo_Poliza_Servicio", "Tps_Cve_Tipo_Poliza_Servicio"},
      {"Tipo_Servicio", "Ts_Cve_Tipo_Servicio"},
      {"Producto", "Pr_Cve_Producto"}};
  for (const auto& [table, column] : codes) {
    EXPECT_EQ(Count(Host(), table + " WHERE " + column + " <> upper(" + column + ")"), 0) << table;
  }
}

}  // namespace
}  // namespace nv407::host
