#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/db/chain_notes.h"
#include "host/services/activity.h"
#include "host/services/host_records.h"
#include "host/services/reference_host.h"

namespace nv407::host {

// The folio of the policy that a statement marks cancelled (an UPDATE of Poliza_Servicio
// setting Es_Cve_Estado to 'CA' for one Ps_Folio), in any letter case and spacing.
std::optional<std::string> CancelledFolio(std::string_view sql);
// The folio whose used counters a statement sets to zero (an UPDATE of
// Poliza_Servicio_Tipo_Servicio setting Pst_Tiempo_Utilizado or Pst_Evento_Utilizado to 0 for
// one Ps_Folio), in any letter case and spacing.
std::optional<std::string> ResetCountersFolio(std::string_view sql);

// Watches the screen's transactions for an edit: one that cancels a policy and has a new
// folio issued for another. Just before such a transaction commits, it writes the two
// chain notes into the same transaction, so that they stand or fall with the save. A
// transaction that rolls back, or that did only one of the two, writes nothing.
class ReplacementChain {
 public:
  ReplacementChain(Database& database, const SessionSettings& settings);

  void TransactionBegun();
  // A statement of the screen's that ran without error.
  void StatementRan(const std::string& sql);
  void FolioIssued(const std::string& table, const std::string& folio);
  // Raises what the database raises: the commit must then not happen.
  void BeforeCommit();
  void TransactionEnded();
  // The policy the open transaction saves: the folio it issued, else the one it cancelled or
  // whose used counters it reset; "" when none.
  std::string Policy() const;

 private:
  Database& database_;
  HostRecords records_;
  const SessionSettings& settings_;
  bool open_ = false;
  std::optional<std::string> cancelled_, issued_, reset_;
};

}  // namespace nv407::host
