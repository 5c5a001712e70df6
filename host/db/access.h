#pragma once

#include <array>
#include <string>
#include <string_view>

namespace nv407::host {

// Who may do what, as the schemas know it.

// The permission to administer operators (polizas-db operator): a database that asks for
// sign-in keeps at least one operator holding it.
inline constexpr std::string_view kAdministrationModule = "SISTEMA";
inline constexpr std::string_view kAdministrationKey = "OPERADORES";
std::string LastAdministratorMessage();

// The host parameter that marks a database whose operators do not sign in: "NO". Any other
// value, or none, asks every operator for a password.
inline constexpr std::string_view kSignInParameter = "INICIO_SESION";

// On a server the operator is the connection's login, a role of its own that the database's
// administrator grants one of these group roles. Capture reads the catalogues and writes
// policies and the host records the screen writes; supervisor is a member of capture and
// also holds the screen's permissions below. Each database grants them its own rights.
inline constexpr std::string_view kCaptureRole = "polizas_captura";
inline constexpr std::string_view kSupervisorRole = "polizas_supervisor";
struct Permission {
  std::string_view module, key;
};
inline constexpr Permission kChangeDate = {"NV407", "CHFECHA"};
inline constexpr Permission kResetCounters = {"NV407", "INISERV"};
inline constexpr std::array<Permission, 2> kSupervisorPermissions = {kChangeDate, kResetCounters};

// What a server database says when an operator's statement goes beyond its permissions.
std::string PolicyDateRefusal(std::string_view user, std::string_view folio,
                              std::string_view server_date);
std::string CounterChangeRefusal(std::string_view user, std::string_view folio);
// An operator changes a policy's state only by cancelling it, and writes its cancellation
// columns only with it.
std::string PolicyStateRefusal(std::string_view user, std::string_view folio);
std::string CancellationColumnsRefusal(std::string_view user, std::string_view folio);
// An operator writes services, extended texts and additional fields only of the policy its
// own transaction inserts; a folio series only starts at 1 and moves on by one; a chain
// note only in the edit that cancels the one policy and inserts the other.
std::string ServiceRowsRefusal(std::string_view user, std::string_view folio);
// Its services are those of the policy's type, each with the quantity the type includes.
std::string ServiceOfTypeRefusal(std::string_view user, std::string_view folio,
                                 std::string_view service);
std::string PolicyTextRefusal(std::string_view user, std::string_view folio);
std::string FolioSeriesRefusal(std::string_view user, std::string_view branch,
                               std::string_view number);
std::string ChainNoteRefusal(std::string_view user, std::string_view folio, std::string_view note);

}  // namespace nv407::host
