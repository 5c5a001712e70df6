#pragma once

#include <string>
#include <string_view>

// The texts of the statements the screen runs, each joined from its fixed pieces and
// values in their order. Spliced texts have each apostrophe doubled and nothing else
// changed, so a typed value is stored exactly as typed and never ends its literal. Numbers
// go in without quotes: the cut-off day as the combo's item holds it (its items are the days
// 1 to 28, nothing typed).
namespace nv407::statements {

std::string Literal(const std::string& value);

// One policy's header with its included services, units, included and used quantities.
std::string PolicyByFolio(const std::string& folio);
// How it begins, and how PolicyTypeServices begins: the two statements whose rows the screen
// lists, which name no order. Texts of the header alone, for the host (it does not link the
// screen) to know them by.
inline constexpr std::string_view kPolicyByFolioStart = "SELECT Poliza_Servicio.*, ";
inline constexpr std::string_view kPolicyTypeServicesStart =
    "SELECT Tipo_Servicio.Ts_Cve_Tipo_Servicio, ";
// A service's used quantity in its unit (hours or events), as PolicyByFolio reads it: an
// expression over Poliza_Servicio_Tipo_Servicio joined to Tipo_Servicio. A text of the header
// alone, so that the host, which does not link the screen, reads the same.
inline constexpr std::string_view kUsedAmount =
    "CASE WHEN IsNull(Tipo_Servicio.Ts_Servicio_Hora, '') = 'SI' THEN Pst_Tiempo_Utilizado "
    "ELSE Pst_Evento_Utilizado END";

// A policy type's included services, with the unit and count of the policy's length.
std::string PolicyTypeServices(const std::string& policy_type);

// Marks a policy cancelled (Baja, and the edit that replaces it).
std::string CancelPolicy(const std::string& user, const std::string& stamp,
                         const std::string& folio);

struct PolicyHeader {
  std::string folio, fecha, fecha_inicia, fecha_finaliza;  // dates already as SqlDate text
  std::string sucursal, vendedor, cliente, comentario, dia_corte, referencia;
  std::string tipo_poliza, factura_id, concepto, user, stamp;
};
std::string InsertPolicyHeader(const PolicyHeader& header);

// Copies the policy type's services to the new policy with both used counters at 0.
std::string InsertPolicyServices(const std::string& folio, const std::string& policy_type);

std::string ResetServiceCounters(const std::string& folio);
std::string StampCounterReset(const std::string& user, const std::string& folio);

// Product code and description of a policy type.
std::string ProductOfPolicyType(const std::string& policy_type);

}  // namespace nv407::statements
