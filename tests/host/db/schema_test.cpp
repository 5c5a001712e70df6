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
  std::vector<std::string> ColumnNames(const std::string& table) {
    std::vector<std::string> names;
    auto rows = Host().Execute("SELECT name FROM pragma_table_info('" + table + "')");
    for (; !rows->Eof(); rows->MoveNext()) names.push_back(rows->Fields("name").Value().ToText());
    return names;
  }
};

TEST_F(SchemaTest, PolicyServicesColumnsAreInInsertOrder) {
  const std::vector<std::string> order = {"Ps_Folio", "Ts_Cve_Tipo_Servicio",
                                          "Pst_Cantidad_Incluida", "Pst_Tiempo_Utilizado",
                                          "Pst_Evento_Utilizado"};
  EXPECT_EQ(ColumnNames("Poliza_Servicio_Tipo_Servicio"), order);
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
