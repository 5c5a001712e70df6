#pragma once

// What the finder's kept orders must hold, for the tests of the databases that gain them
// after they were made. Header-only, as result_text.h.
#include <string>

#include "component/database.h"
#include "host/db/policy_order.h"

namespace nv407::testing {

// The policies whose row of policy_order holds what their tables say, as a FROM clause's
// source: counted, they are all the policies when every kept row is right.
inline std::string PoliciesKeptAsComputed() {
  return "policy_order o JOIN Poliza_Servicio p ON p.Ps_Folio = o.folio WHERE o.client_name = " +
         host::KeptClientNameSql("p.Ps_Folio") +
         " AND o.peak_use = " + host::KeptPeakUseSql("p.Ps_Folio");
}

// Every live policy's quantities changed and every client renamed, through plain SQL as
// another tool would: what the kept rows must follow.
inline void ChangeUsesAndNames(Connection& sql) {
  sql.Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Cantidad_Incluida = 1000 WHERE Ps_Folio IN "
      "(SELECT Ps_Folio FROM Poliza_Servicio WHERE Es_Cve_Estado <> 'CA')");
  sql.Execute("UPDATE Cliente SET Cl_Razon_Social_1 = 'Otro nombre'");
}

}  // namespace nv407::testing
