#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "component/variant.h"
#include "host/db/database.h"

namespace nv407::host {
namespace {

// Where a policy starts, relative to today, so that the demo reads the same whenever it
// is made: live policies stay live, the expired one stays expired.
enum class Starts {
  kDaysAgo,        // `offset` days before today
  kMonthsAgo,      // `offset` months before today
  kMonthStart,     // on the first of the month `offset` months before this one
  kEndsThisMonth,  // so that it ends on the last day of this month
};

// A cancelled policy was replaced by an edit (which logs nothing) or given a Baja (which
// logs "Baja"); either happened on the day the demo says.
enum class Cancelled { kNo, kByEdit, kByBaja };
constexpr int kEditedDaysAgo = 10;
constexpr int kBajaDaysAgo = 28;

struct Use {
  const char* service;
  double amount;  // hours or events, as the service type counts
};

struct DemoPolicy {
  const char* folio;
  const char* seller;
  const char* client;
  const char* type;
  Starts starts;
  int offset;
  int cut_off_day;
  const char* reference;
  const char* comment;
  const char* concept_text;
  std::vector<Use> used;
  Cancelled cancelled = Cancelled::kNo;
};

// The story the demo tells, branch by branch: partly used policies, one nearly used up
// (MTY-000003), one ending this month (MTY-000002), expired ones (MTY-000004,
// GDL-000005), a policy replaced by an edit (MTY-000005 cancelled, MTY-000006 its
// successor), one cancelled by Baja (GDL-000004), and one whose counters were reset
// (MTY-000007, its report in the record log).
const std::vector<DemoPolicy>& Policies() {
  using enum Starts;
  using enum Cancelled;
  // clang-format off
  static const std::vector<DemoPolicy> policies = {
      {"MTY-000001", "V001", "C00001", "SOPANUAL", kMonthsAgo, 4, 5, "OC-4471",
       "Soporte del sistema de ventas y facturación", "Póliza de soporte anual",
       {{"SOPREM", 46.5}, {"SOPSITIO", 6}, {"VISITA", 4}, {"CAPACIT", 1}}},
      {"MTY-000002", "V002", "C00003", "MANT90", kEndsThisMonth, 0, 10, "HSJ-2291",
       "Equipo del área de admisión", "Mantenimiento trimestral de equipo",
       {{"VISITA", 2}, {"RESPALDO", 2}}},
      {"MTY-000003", "V002", "C00002", "SOPMEN", kMonthStart, 0, 1, "FLE-118",
       "Punto de venta de mostrador", "Soporte mensual", {{"SOPREM", 9.5}, {"VISITA", 1}}},
      {"MTY-000004", "V001", "C00006", "GAR12", kDaysAgo, 130, 15, "CSM-0097",
       "Servidor de obra", "Garantía extendida de equipo", {{"SOPSITIO", 8.5}}},
      {"MTY-000005", "V003", "C00004", "SOPMEN", kDaysAgo, 25, 20, "DAB-310", "",
       "Soporte mensual", {{"SOPREM", 1.5}}, kByEdit},
      {"MTY-000006", "V003", "C00004", "SOPANUAL", kDaysAgo, kEditedDaysAgo, 20, "DAB-310",
       "Sustituye a la póliza MTY-000005: se amplió a soporte anual", "Póliza de soporte anual",
       {{"SOPREM", 3}, {"VISITA", 1}}},
      {"MTY-000007", "V001", "C00007", "SOPANUAL", kMonthsAgo, 8, 25, "CAN-2023-14",
       "Laboratorio de cómputo y control escolar", "Póliza de soporte anual",
       {{"SOPREM", 12}, {"VISITA", 1}}},
      {"MTY-000008", "V002", "C00008", "ASESOR", kMonthsAgo, 1, 5, "GIV-77",
       "Implantación del módulo de costos", "Asesoría semestral", {}},
      {"MTY-000009", "V003", "C00012", "SOPMEN", kMonthStart, 0, 12, "AAP-5521", "",
       "Soporte mensual", {{"SOPREM", 5.5}, {"VISITA", 1}}},
      {"MTY-000010", "V001", "C00015", "MANT90", kDaysAgo, 15, 28, "ATC-930",
       "Flotilla de terminales portátiles", "Mantenimiento trimestral de equipo",
       {{"VISITA", 1}}},

      {"GDL-000001", "V003", "C00004", "SOPANUAL", kMonthsAgo, 2, 5, "DAB-298",
       "Centro de distribución Zapopan", "Póliza de soporte anual",
       {{"SOPREM", 20}, {"SOPSITIO", 4}, {"VISITA", 2}}},
      {"GDL-000002", "V003", "C00009", "MANT90", kDaysAgo, 30, 10, "FTA-1187",
       "Equipo de las sucursales del centro", "Mantenimiento trimestral de equipo",
       {{"VISITA", 1}, {"RESPALDO", 1}}},
      {"GDL-000003", "V001", "C00010", "SOPMEN", kMonthStart, 0, 1, "RUIZ-45", "",
       "Soporte mensual", {{"SOPREM", 2.5}}},
      {"GDL-000004", "V003", "C00009", "GAR12", kDaysAgo, 40, 15, "FTA-1190",
       "El equipo se dio de baja del inventario", "Garantía extendida de equipo", {}, kByBaja},
      {"GDL-000005", "V002", "C00011", "SOPMEN", kMonthStart, 2, 8, "HRQ-640", "",
       "Soporte mensual", {{"SOPREM", 10}, {"VISITA", 1}}},
      {"GDL-000006", "V003", "C00012", "SOPANUAL", kMonthsAgo, 11, 18, "AAP-5102",
       "Oficinas de Manzanillo y Guadalajara", "Póliza de soporte anual",
       {{"SOPREM", 101}, {"SOPSITIO", 22}, {"VISITA", 11}, {"CAPACIT", 2}}},

      {"CDMX-00001", "V001", "C00013", "SOPANUAL", kMonthsAgo, 6, 5, "ERE-3301",
       "Redacción y sistema editorial", "Póliza de soporte anual",
       {{"SOPREM", 64}, {"SOPSITIO", 10}, {"VISITA", 6}, {"CAPACIT", 1}}},
      {"CDMX-00002", "V002", "C00014", "MANT90", kDaysAgo, 60, 10, "LCA-812",
       "Analizadores y equipo de recepción", "Mantenimiento trimestral de equipo",
       {{"VISITA", 2}, {"RESPALDO", 2}}},
      {"CDMX-00003", "V001", "C00001", "GAR12", kDaysAgo, 20, 15, "OC-4502",
       "Impresoras de la oficina de enlace", "Garantía extendida de equipo", {{"SOPSITIO", 2}}},
      {"CDMX-00004", "V002", "C00015", "SOPMEN", kMonthStart, 0, 3, "ATC-951", "",
       "Soporte mensual", {{"SOPREM", 4}}},
      {"CDMX-00005", "V001", "C00013", "ASESOR", kMonthsAgo, 5, 5, "ERE-3290",
       "Rediseño del catálogo de suscriptores", "Asesoría semestral", {}},
      {"CDMX-00006", "V002", "C00014", "SOPMEN", kMonthStart, 3, 10, "LCA-790", "",
       "Soporte mensual", {{"SOPREM", 7.5}, {"VISITA", 1}}},

      {"QRO-000001", "V003", "C00002", "SOPANUAL", kMonthsAgo, 3, 5, "FLE-131",
       "Sucursal Juriquilla", "Póliza de soporte anual",
       {{"SOPREM", 30}, {"SOPSITIO", 8}, {"VISITA", 3}}},
      {"QRO-000002", "V003", "C00006", "MANT90", kEndsThisMonth, 0, 20, "CSM-0120",
       "Equipo de la oficina de obra", "Mantenimiento trimestral de equipo",
       {{"VISITA", 3}, {"RESPALDO", 2}}},
      {"QRO-000003", "V002", "C00010", "SOPMEN", kMonthStart, 0, 1, "RUIZ-52", "",
       "Soporte mensual", {}},
      {"QRO-000004", "V003", "C00011", "GAR12", kDaysAgo, 100, 15, "HRQ-601",
       "Equipo de recepción del hotel", "Garantía extendida de equipo", {{"SOPSITIO", 5}}},
  };
  // clang-format on
  return policies;
}

// Clients that only the policies name; the catalogue's own rows stay as they are.
constexpr const char* kClients =
    R"(INSERT INTO Cliente (Cl_Cve_Cliente, Cl_Razon_Social_1, Es_Cve_Estado)
VALUES
  ('C00006', 'Constructora Sierra Madre, S.A. de C.V.', 'AC'),
  ('C00007', 'Colegio Americano del Noreste, A.C.', 'AC'),
  ('C00008', 'Grupo Industrial Vidriera del Valle, S.A. de C.V.', 'AC'),
  ('C00009', 'Farmacias Tapatías, S.A. de C.V.', 'AC'),
  ('C00010', 'Despacho Contable Ruiz y Asociados, S.C.', 'AC'),
  ('C00011', 'Hotel Real de Querétaro, S.A. de C.V.', 'AC'),
  ('C00012', 'Agencia Aduanal del Pacífico, S.C.', 'AC'),
  ('C00013', 'Editorial Reforma, S.A. de C.V.', 'AC'),
  ('C00014', 'Laboratorios Clínicos Azteca, S.A. de C.V.', 'AC'),
  ('C00015', 'Autotransportes del Centro, S.A. de C.V.', 'AC'))";

// What the counters of MTY-000007 held when they were reset, as the reset wrote it.
constexpr const char* kResetReport =
    "                         INICIALIZACION DE SERVICIOS                            \r\n"
    "================================================================================\r\n"
    "           TIPO SERVICIO                                       UNIDAD  UTILIZADO\r\n"
    "================================================================================\r\n"
    "CAPACIT - Curso de capacitación                                   EV           2\r\n"
    "SOPREM - Soporte remoto                                           HR       118.5\r\n"
    "SOPSITIO - Soporte en sitio                                       HR          20\r\n"
    "VISITA - Visita de mantenimiento preventivo                       EV          11\r\n";

struct ExtendedText {
  const char* folio;
  const char* text;
};
constexpr ExtendedText kExtendedTexts[] = {
    {"MTY-000001",
     "Soporte telefónico, remoto y en sitio durante doce meses para el sistema de ventas y "
     "facturación de las tres tiendas, con capacitación para el personal de caja."},
    {"MTY-000006",
     "Amplía la póliza mensual MTY-000005 a soporte anual a petición del cliente; las horas "
     "usadas en la póliza anterior no se trasladan."},
    {"CDMX-00001",
     "Soporte al sistema editorial y a los equipos de redacción, incluida la capacitación de "
     "nuevos correctores."},
};

std::string Literal(const std::string& text) {
  return "'" + text + "'";
}

// The policy's length as its type gives it: Tps_Tipo 1 days, 2 weeks, 3 months, 4 years.
struct Length {
  int unit = 0, count = 0;
};

// The last day the policy covers, as the screen computes it: start, plus the length, less a day.
Date EndOf(const Date& start, Length length) {
  switch (length.unit) {
    case 1:
      return start.AddDays(length.count - 1);
    case 2:
      return start.AddWeeks(length.count).AddDays(-1);
    case 3:
      return start.AddMonths(length.count).AddDays(-1);
    default:
      return start.AddYears(length.count).AddDays(-1);
  }
}

// The start whose policy ends on `end`.
Date StartEndingOn(const Date& end, Length length) {
  const Date after = end.AddDays(1);
  switch (length.unit) {
    case 1:
      return after.AddDays(-length.count);
    case 2:
      return after.AddWeeks(-length.count);
    case 3:
      return after.AddMonths(-length.count);
    default:
      return after.AddYears(-length.count);
  }
}

Date StartOf(const DemoPolicy& policy, Length length, const Date& today) {
  const Date month_start = Date::FromYmd(today.Year(), today.Month(), 1);
  switch (policy.starts) {
    case Starts::kDaysAgo:
      return today.AddDays(-policy.offset);
    case Starts::kMonthsAgo:
      return today.AddMonths(-policy.offset);
    case Starts::kMonthStart:
      return month_start.AddMonths(-policy.offset);
    case Starts::kEndsThisMonth:
      return StartEndingOn(month_start.AddMonths(1).AddDays(-1), length);
  }
  return today;
}

template <typename Read>
void ForEachRow(Connection& connection, const std::string& sql, Read read) {
  std::unique_ptr<Recordset> rows = connection.Execute(sql);
  for (; !rows->Eof(); rows->MoveNext()) read(*rows);
  rows->Close();
}

// Inserted live, its services as its type gives them, then used; cancelled last, as the
// screen cancels (a cancelled policy takes no further change).
void InsertPolicy(Connection& connection, const DemoPolicy& policy, const Date& today,
                  Length length, const std::map<std::string, bool>& counts_hours) {
  const std::string folio = policy.folio;
  const std::string branch = folio.substr(0, folio.find('-'));
  const Date start = StartOf(policy, length, today);
  const std::string created = Literal(start.ToIsoDate() + " 10:00:00");
  connection.Execute(
      "INSERT INTO Poliza_Servicio (Ps_Folio, Ps_Fecha, Ps_Tabla, Ps_Documento, "
      "Ps_Fecha_Inicia, Ps_Fecha_Finaliza, Sc_Cve_Sucursal, Vn_Cve_Vendedor, Cl_Cve_Cliente, "
      "Ps_Comentario, Ps_Dia_Corte, Ps_Referencia, Tps_Cve_Tipo_Poliza_Servicio, "
      "Ps_Factura_ID, Ps_Concepto, Es_Cve_Estado, Oper_Alta, Fecha_Alta, Oper_Ult_Modif, "
      "Fecha_Ult_Modif) VALUES (" +
      Literal(folio) + ", " + Literal(start.ToIsoDate()) + ", '', '', " +
      Literal(start.ToIsoDate()) + ", " + Literal(EndOf(start, length).ToIsoDate()) + ", " +
      Literal(branch) + ", " + Literal(policy.seller) + ", " + Literal(policy.client) + ", " +
      Literal(policy.comment) + ", " + std::to_string(policy.cut_off_day) + ", " +
      Literal(policy.reference) + ", " + Literal(policy.type) + ", " +
      Literal("F-" + folio.substr(folio.find('-') + 1)) + ", " + Literal(policy.concept_text) +
      ", 'AC', 'CAPTURA', " + created + ", 'CAPTURA', " + created + ")");
  connection.Execute(
      "INSERT INTO Poliza_Servicio_Tipo_Servicio (Ps_Folio, Ts_Cve_Tipo_Servicio, "
      "Pst_Cantidad_Incluida, Pst_Tiempo_Utilizado, Pst_Evento_Utilizado) SELECT " +
      Literal(folio) +
      ", Ts_Cve_Tipo_Servicio, Tpt_Cantidad, 0, 0 FROM Tipo_Poliza_Servicio_Tipo_Servicio "
      "WHERE Tps_Cve_Tipo_Poliza_Servicio = " +
      Literal(policy.type));
  for (const Use& use : policy.used) {
    connection.Execute(
        std::string("UPDATE Poliza_Servicio_Tipo_Servicio SET ") +
        (counts_hours.at(use.service) ? "Pst_Tiempo_Utilizado" : "Pst_Evento_Utilizado") + " = " +
        NumberText(use.amount) + " WHERE Ps_Folio = " + Literal(folio) +
        " AND Ts_Cve_Tipo_Servicio = " + Literal(use.service));
  }
  if (policy.cancelled == Cancelled::kNo) return;
  const int days_ago = policy.cancelled == Cancelled::kByEdit ? kEditedDaysAgo : kBajaDaysAgo;
  const std::string when = Literal(today.AddDays(-days_ago).ToIsoDate() + " 09:15:00");
  connection.Execute("UPDATE Poliza_Servicio SET Oper_Baja = 'ADMIN', Fecha_Baja = " + when +
                     ", Es_Cve_Estado = 'CA' WHERE Ps_Folio = " + Literal(folio));
  if (policy.cancelled == Cancelled::kByBaja) {
    connection.Execute(
        "INSERT INTO record_log (table_name, record_key, note, user_code, logged_at) "
        "VALUES ('Poliza_Servicio', " +
        Literal(folio) + ", 'Baja', 'ADMIN', " + when + ")");
  }
}

}  // namespace

void LoadDemoPolicies(Connection& connection, const Date& now) {
  const Date today = now.DateOnly();
  connection.Execute(kClients);

  std::map<std::string, Length> lengths;
  ForEachRow(connection,
             "SELECT Tps_Cve_Tipo_Poliza_Servicio AS k, Tps_Tipo AS u, Tps_Valor AS n "
             "FROM Tipo_Poliza_Servicio",
             [&](const Recordset& row) {
               lengths[row.Fields("k").Value().ToText()] = {
                   static_cast<int>(row.Fields("u").Value().ToLong()),
                   static_cast<int>(row.Fields("n").Value().ToLong())};
             });
  std::map<std::string, bool> counts_hours;
  ForEachRow(
      connection, "SELECT Ts_Cve_Tipo_Servicio AS k, Ts_Servicio_Hora AS h FROM Tipo_Servicio",
      [&](const Recordset& row) {
        const Variant hours = row.Fields("h").Value();
        counts_hours[row.Fields("k").Value().ToText()] = !hours.IsNull() && hours.ToText() == "SI";
      });

  // New captures go on from the demo's last folio of each branch.
  std::map<std::string, int> last_numbers;
  for (const DemoPolicy& policy : Policies()) {
    InsertPolicy(connection, policy, today, lengths.at(policy.type), counts_hours);
    const std::string folio = policy.folio;
    last_numbers[folio.substr(0, folio.find('-'))] = std::stoi(folio.substr(folio.find('-') + 1));
  }
  for (const auto& [branch, number] : last_numbers) {
    connection.Execute("INSERT INTO folio_series (branch, table_name, last_number) VALUES (" +
                       Literal(branch) + ", 'Poliza_Servicio', " + std::to_string(number) + ")");
  }

  const std::string reset_at = Literal(today.AddMonths(-1).ToIsoDate() + " 17:40:00");
  connection.Execute("UPDATE Poliza_Servicio SET Oper_Ult_Modif = 'ADMIN', Fecha_Ult_Modif = " +
                     reset_at + " WHERE Ps_Folio = 'MTY-000007'");
  connection.Execute(
      "INSERT INTO record_log (table_name, record_key, note, user_code, logged_at) VALUES "
      "('Poliza_Servicio', 'MTY-000007', " +
      Literal(kResetReport) + ", 'ADMIN', " + reset_at + ")");
  for (const ExtendedText& text : kExtendedTexts) {
    connection.Execute(
        "INSERT INTO extended_text (table_name, record_key, entry_code, text) VALUES "
        "('Poliza_Servicio', " +
        Literal(text.folio) + ", '0001', " + Literal(text.text) + ")");
  }
  connection.Execute(
      "INSERT INTO additional_field_value (table_name, record_key, field_name, value) VALUES "
      "('POLIZA_SERVICIO', 'MTY-000001', 'CONTACTO', 'Lic. Patricia Garza'), "
      "('POLIZA_SERVICIO', 'MTY-000001', 'ORDEN_COMPRA', 'OC-4471')");
}

}  // namespace nv407::host
