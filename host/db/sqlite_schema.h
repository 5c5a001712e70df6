#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nv407::host::sqlite {

// A cancelled policy stays as it was cancelled: the schema's triggers refuse to re-cancel
// it, to stamp its header and to change its services' counters, so that a screen showing
// a policy another operator has replaced or cancelled cannot act on it.
//
// The schema's own triggers can only give a fixed text. Each session of this host adds
// temporary triggers, which fire first, whose message names the folio.
inline constexpr const char* kCancelledPolicyFunction = "polizas_poliza_cancelada";
std::string CancelledPolicyMessage(std::string_view folio);
// A new policy by an operator without the permission to date it (CHFECHA) carries the day
// of the session's clock, unless an edit made it: it then keeps the date of a policy its
// transaction cancelled, one new policy per cancelled one. The host names the operator
// (kOperatorFunction answers NULL until then: the statements are then taken as written);
// kTransactionFunction numbers the session's transactions, and kPolicyDateRefusalFunction
// (folio, the clock's day) raises the server's refusal.
inline constexpr const char* kOperatorFunction = "polizas_operador";
inline constexpr const char* kTransactionFunction = "polizas_transaccion";
inline constexpr const char* kPolicyDateRefusalFunction = "polizas_fecha_rechazada";
// Likewise the used counters of a policy's services change only for an operator holding
// INISERV (or before the host names one), and a new service row starts at nothing used;
// kCounterRefusalFunction (folio) raises the server's refusal. The permission is read as each
// change is made, so that one revoked while a session is open holds from then on.
inline constexpr const char* kCounterRefusalFunction = "polizas_contadores_rechazados";
// An operator an administrator locks writes no policy from then on, in a session already open
// too: kLockedOperatorFunction () raises the refusal. A lock for failed sign-ins guards the
// sign-in only, and leaves a session open.
inline constexpr const char* kLockedOperatorFunction = "polizas_operador_bloqueado";
std::string LockedOperatorMessage(std::string_view user);

// The session's triggers and table; they need the functions registered and the schema in
// place.
std::vector<std::string> SessionGuardStatements();

// A database made before operators signed in lacks the sign-in columns of `operator`: these
// add them and mark the database as one whose operators do not sign in, as it was used.
std::vector<std::string> SignInUpgradeStatements();
// A database made before the schema refused changes to a cancelled policy lacks those
// triggers (the host's sessions refuse them with their own): the query finds a row when it
// lacks any, and the statements make those it lacks.
std::string CancelledPolicyGuardsMissing();
std::vector<std::string> CancelledPolicyUpgradeStatements();
// A database made before the finder's kept orders lacks policy_order: these make it, with
// its triggers, and fill it.
std::vector<std::string> PolicyOrderUpgradeStatements();

}  // namespace nv407::host::sqlite
