#include "data/statements.h"

namespace nv407::statements {
namespace {

// The look-ups run to several hundred characters: room for them at once spares the copies
// the text would make as it grows piece by piece.
constexpr std::size_t kRoomForAStatement = 768;

}  // namespace

std::string Literal(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

std::string PolicyByFolio(const std::string& folio) {
  std::string sql;
  sql.reserve(kRoomForAStatement);
  sql += kPolicyByFolioStart;
  sql += "   IsNull(Pst_Cantidad_Incluida, 0) as Pst_Cantidad_Incluida, ";
  sql +=
      "   CASE WHEN IsNull(Tipo_Servicio.Ts_Servicio_Hora, '') = 'SI' THEN 'HR' ELSE 'EV' END as "
      "Ts_Unidad, ";
  sql += "   ";
  sql += kUsedAmount;
  sql += " as Pst_Cantidad_Utilizada, ";
  sql += "   IsNull(Tipo_Servicio.Ts_Cve_Tipo_Servicio, '') as Ts_Cve_Tipo_Servicio, ";
  sql += "   IsNull(Tipo_Servicio.Ts_Descripcion, '') as Ts_Descripcion ";
  sql += "FROM Poliza_Servicio ";
  sql +=
      "   LEFT JOIN Poliza_Servicio_Tipo_Servicio ON Poliza_Servicio.Ps_Folio = "
      "Poliza_Servicio_Tipo_Servicio.Ps_Folio ";
  sql +=
      "   LEFT JOIN Tipo_Servicio ON Poliza_Servicio_Tipo_Servicio.Ts_Cve_Tipo_Servicio = "
      "Tipo_Servicio.Ts_Cve_Tipo_Servicio ";
  sql += "WHERE Poliza_Servicio.Ps_Folio = '";
  sql += Literal(folio);
  sql += "' ";
  return sql;
}

std::string PolicyTypeServices(const std::string& policy_type) {
  std::string sql;
  sql.reserve(kRoomForAStatement);
  sql += kPolicyTypeServicesStart;
  sql +=
      "Ts_Descripcion, CASE WHEN Ts_Servicio_Hora = 'SI' THEN 'HR' ELSE 'EV' END as Ts_Unidad, "
      "Tpt_Cantidad, Tps_Tipo, Tps_Valor ";
  sql += "FROM Tipo_Poliza_Servicio ";
  sql +=
      "   INNER JOIN Tipo_Poliza_Servicio_Tipo_Servicio ON "
      "Tipo_Poliza_Servicio.Tps_Cve_Tipo_Poliza_Servicio = "
      "Tipo_Poliza_Servicio_Tipo_Servicio.Tps_Cve_Tipo_Poliza_Servicio ";
  sql +=
      "   INNER JOIN Tipo_Servicio ON Tipo_Poliza_Servicio_Tipo_Servicio.Ts_Cve_Tipo_Servicio = "
      "Tipo_Servicio.Ts_Cve_Tipo_Servicio ";
  sql += "WHERE Tipo_Poliza_Servicio.Tps_Cve_Tipo_Poliza_Servicio = '";
  sql += Literal(policy_type);
  sql += "'";
  return sql;
}

std::string CancelPolicy(const std::string& user, const std::string& stamp,
                         const std::string& folio) {
  std::string sql;
  sql += "UPDATE Poliza_Servicio SET ";
  sql += "   Oper_Baja = '";
  sql += Literal(user);
  sql += "', ";
  sql += "   Fecha_Baja = '";
  sql += Literal(stamp);
  sql += "', ";
  sql += "   Es_Cve_Estado = 'CA' ";
  sql += "WHERE Ps_Folio = '";
  sql += Literal(folio);
  sql += "'";
  return sql;
}

namespace {

void Quoted(std::string& sql, const std::string& value, const char* closing = "', ") {
  sql += "'";
  sql += Literal(value);
  sql += closing;
}

}  // namespace

std::string InsertPolicyHeader(const PolicyHeader& h) {
  std::string sql;
  sql += "INSERT INTO Poliza_Servicio(";
  sql += "   Ps_Folio, ";
  sql += "   Ps_Fecha, ";
  sql += "   Ps_Tabla, ";
  sql += "   Ps_Documento, ";
  sql += "   Ps_Fecha_Inicia, ";
  sql += "   Ps_Fecha_Finaliza, ";
  sql += "   Sc_Cve_Sucursal, ";
  sql += "   Vn_Cve_Vendedor, ";
  sql += "   Cl_Cve_Cliente, ";
  sql += "   Ps_Comentario, ";
  sql += "   Ps_Dia_Corte, ";
  sql += "   Ps_Referencia, ";
  sql += "   Tps_Cve_Tipo_Poliza_Servicio, ";
  sql += "   Ps_Factura_ID, ";
  sql += "   Ps_Concepto, ";
  sql += "   Oper_Ult_Modif, ";
  sql += "   Fecha_Ult_Modif, ";
  sql += "   Oper_Alta, ";
  sql += "   Fecha_Alta) ";
  sql += "VALUES(";
  Quoted(sql, h.folio);
  Quoted(sql, h.fecha);
  sql += "'', '', ";
  Quoted(sql, h.fecha_inicia);
  Quoted(sql, h.fecha_finaliza);
  Quoted(sql, h.sucursal);
  Quoted(sql, h.vendedor);
  Quoted(sql, h.cliente);
  Quoted(sql, h.comentario);
  sql += h.dia_corte;
  sql += ", ";
  Quoted(sql, h.referencia);
  Quoted(sql, h.tipo_poliza);
  Quoted(sql, h.factura_id);
  Quoted(sql, h.concepto);
  Quoted(sql, h.user);
  Quoted(sql, h.stamp);
  Quoted(sql, h.user);
  Quoted(sql, h.stamp, "')");
  return sql;
}

std::string InsertPolicyServices(const std::string& folio, const std::string& policy_type) {
  std::string sql;
  sql += "INSERT INTO Poliza_Servicio_Tipo_Servicio ";
  sql += "SELECT '";
  sql += Literal(folio);
  sql += "', Ts_Cve_Tipo_Servicio, Tpt_Cantidad, 0, 0 ";
  sql += "FROM Tipo_Poliza_Servicio_Tipo_Servicio ";
  sql += "WHERE Tps_Cve_Tipo_Poliza_Servicio = '";
  sql += Literal(policy_type);
  sql += "'";
  return sql;
}

std::string ResetServiceCounters(const std::string& folio) {
  std::string sql;
  sql += "UPDATE Poliza_Servicio_Tipo_Servicio SET ";
  sql += "   Pst_Tiempo_Utilizado = 0, ";
  sql += "   Pst_Evento_Utilizado = 0 ";
  sql += "WHERE Ps_Folio = '";
  sql += Literal(folio);
  sql += "'";
  return sql;
}

std::string StampCounterReset(const std::string& user, const std::string& folio) {
  std::string sql;
  sql += "UPDATE Poliza_Servicio SET ";
  sql += "   Oper_Ult_Modif = '";
  sql += Literal(user);
  sql += "', ";
  sql += "   Fecha_Ult_Modif = GetDate() ";
  sql += "WHERE Ps_Folio = '";
  sql += Literal(folio);
  sql += "'";
  return sql;
}

std::string ProductOfPolicyType(const std::string& policy_type) {
  std::string sql;
  sql += "SELECT Tipo_Poliza_Servicio.Pr_Cve_Producto, Pr_Descripcion ";
  sql += "FROM Tipo_Poliza_Servicio ";
  sql +=
      "   INNER JOIN Producto ON Tipo_Poliza_Servicio.Pr_Cve_Producto = Producto.Pr_Cve_Producto ";
  sql += "WHERE Tps_Cve_Tipo_Poliza_Servicio = '";
  sql += Literal(policy_type);
  sql += "'";
  return sql;
}

}  // namespace nv407::statements
