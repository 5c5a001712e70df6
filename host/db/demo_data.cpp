#include <array>

#include "host/db/access.h"
#include "host/db/database.h"

namespace nv407::host {
namespace {

// A small company that sells support and maintenance policies from four branches. Each
// catalogue has one withdrawn ("BA") record that its look-up must not find. The rows that
// the screen lists are inserted in key order, so that a server that returns rows in the
// order it stored them (PostgreSQL) lists them as SQLite does, in key order.
constexpr std::array kDemoData = {
    R"(INSERT INTO Sucursal (Sc_Cve_Sucursal, Sc_Descripcion, Es_Cve_Estado) VALUES
  ('MTY', 'Monterrey Centro', 'AC'),
  ('GDL', 'Guadalajara Providencia', 'AC'),
  ('CDMX', 'Ciudad de México Polanco', 'AC'),
  ('QRO', 'Querétaro Juriquilla', 'AC'),
  ('PUE', 'Puebla Angelópolis', 'BA'))",
    R"(INSERT INTO Vendedor (Vn_Cve_Vendedor, Vn_Descripcion, Es_Cve_Estado) VALUES
  ('V001', 'María Fernanda López Garza', 'AC'),
  ('V002', 'José Luis Hernández Ríos', 'AC'),
  ('V003', 'Ana Sofía Martínez Treviño', 'AC'),
  ('V004', 'Ricardo Salinas Ochoa', 'BA'))",
    R"(INSERT INTO Cliente (Cl_Cve_Cliente, Cl_Razon_Social_1, Cl_Razon_Social_2, Es_Cve_Estado)
VALUES
  ('C00001', 'Comercializadora del Norte, S.A. de C.V.', NULL, 'AC'),
  ('C00002', 'Ferretería La Esperanza, S.A. de C.V.', 'Sucursal Santa Catarina', 'AC'),
  ('C00003', 'Hospital San José de Monterrey, A.C.', NULL, 'AC'),
  ('C00004', 'Distribuidora Alimentaria del Bajío, S.A. de C.V.', NULL, 'AC'),
  ('C00005', 'Transportes Rápidos de Occidente, S.A. de C.V.', NULL, 'BA'))",
    R"(INSERT INTO Producto (Pr_Cve_Producto, Pr_Descripcion) VALUES
  ('POL-SOP-MEN', 'Póliza de soporte mensual'),
  ('POL-SOP-ANU', 'Póliza de soporte anual'),
  ('POL-MANT-TRI', 'Póliza de mantenimiento trimestral'),
  ('POL-GAR-EXT', 'Garantía extendida de equipo'),
  ('ASESORIA', 'Asesoría en sistemas administrativos'),
  ('POL-BASICA', 'Póliza básica de soporte'))",
    // The stored texts that GetProductText hands the extended-description editor, each
    // ending in a line end as the catalogue keeps its texts: the screen drops those two
    // characters when it proposes one.
    "INSERT INTO product_text (product_code, text) VALUES\n"
    "  ('POL-SOP-MEN', 'Soporte telefónico y remoto de lunes a viernes de 9:00 a 18:00 horas. "
    "Incluye una visita de mantenimiento preventivo al mes.\r\n'),\n"
    "  ('POL-SOP-ANU', 'Soporte telefónico, remoto y en sitio durante doce meses, con "
    "capacitación para el personal del cliente.\r\n'),\n"
    "  ('POL-MANT-TRI', 'Mantenimiento preventivo de equipo de cómputo y respaldo de "
    "información cada mes durante tres meses.\r\n'),\n"
    "  ('POL-GAR-EXT', 'Reparación en sitio de equipo en garantía, refacciones no "
    "incluidas.\r\n')",
    R"(INSERT INTO Tipo_Servicio (Ts_Cve_Tipo_Servicio, Ts_Descripcion, Ts_Servicio_Hora) VALUES
  ('CAPACIT', 'Curso de capacitación', NULL),
  ('RESPALDO', 'Respaldo de información', 'NO'),
  ('SOPREM', 'Soporte remoto', 'SI'),
  ('SOPSITIO', 'Soporte en sitio', 'SI'),
  ('VISITA', 'Visita de mantenimiento preventivo', 'NO'))",
    // Tps_Tipo: 1 days, 2 weeks, 3 months, 4 years.
    R"(INSERT INTO Tipo_Poliza_Servicio
  (Tps_Cve_Tipo_Poliza_Servicio, Tps_Descripcion, Pr_Cve_Producto, Tps_Tipo, Tps_Valor,
   Es_Cve_Estado)
VALUES
  ('MANT90', 'Mantenimiento preventivo 90 días', 'POL-MANT-TRI', 1, 90, 'AC'),
  ('GAR12', 'Garantía extendida 12 semanas', 'POL-GAR-EXT', 2, 12, 'AC'),
  ('SOPMEN', 'Soporte mensual', 'POL-SOP-MEN', 3, 1, 'AC'),
  ('SOPANUAL', 'Soporte anual', 'POL-SOP-ANU', 4, 1, 'AC'),
  ('ASESOR', 'Asesoría semestral sin servicios incluidos', 'ASESORIA', 3, 6, 'AC'),
  ('BASICA', 'Soporte básico (descontinuado)', 'POL-BASICA', 3, 12, 'BA'))",
    R"(INSERT INTO Tipo_Poliza_Servicio_Tipo_Servicio
  (Tps_Cve_Tipo_Poliza_Servicio, Ts_Cve_Tipo_Servicio, Tpt_Cantidad)
VALUES
  ('BASICA', 'SOPREM', 5),
  ('GAR12', 'SOPSITIO', 8.5),
  ('MANT90', 'RESPALDO', 3),
  ('MANT90', 'VISITA', 3),
  ('SOPANUAL', 'CAPACIT', 2),
  ('SOPANUAL', 'SOPREM', 120),
  ('SOPANUAL', 'SOPSITIO', 24),
  ('SOPANUAL', 'VISITA', 12),
  ('SOPMEN', 'SOPREM', 10),
  ('SOPMEN', 'VISITA', 1))",
    R"(INSERT INTO host_parameter (name, value) VALUES
  ('FTO_SUCURSAL', '>@@@@'),
  ('FTO_VENDEDOR', '>@@@@'),
  ('FTO_CLIENTE', '>@@@@@@'),
  ('FTO_TIPO_POLIZA_SERVICIO', '>@@@@@@@@@@'))",
    R"(INSERT INTO operator (user_code, name) VALUES
  ('ADMIN', 'Administrador del sistema'),
  ('CAPTURA', 'Laura Gutiérrez Campos'))",
    // CAPTURA holds CHFECHA only for another module, which must not count for NV407.
    R"(INSERT INTO operator_permission (user_code, module, permission_key) VALUES
  ('ADMIN', 'NV407', 'CHFECHA'),
  ('ADMIN', 'NV407', 'INISERV'),
  ('CAPTURA', 'NV410', 'CHFECHA'))",
    R"(INSERT INTO host_transaction (application, transaction_name, code) VALUES
  ('Zembrel', 'NV407', 'SERV0407'))",
    R"(INSERT INTO additional_field (table_name, field_name, default_value) VALUES
  ('POLIZA_SERVICIO', 'CONTACTO', ''),
  ('POLIZA_SERVICIO', 'ORDEN_COMPRA', ''))",
};

}  // namespace

void LoadDemoData(Connection& connection) {
  for (const char* statement : kDemoData) connection.Execute(statement);
  // The demo opens without sign-in; ADMIN administers its operators should it ask for one.
  connection.Execute("INSERT INTO host_parameter (name, value) VALUES ('" +
                     std::string(kSignInParameter) + "', 'NO')");
  connection.Execute(
      "INSERT INTO operator_permission (user_code, module, permission_key) VALUES "
      "('ADMIN', '" +
      std::string(kAdministrationModule) + "', '" + std::string(kAdministrationKey) + "')");
}

}  // namespace nv407::host
