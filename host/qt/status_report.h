#pragma once

#include <functional>
#include <optional>
#include <string>

#include "host/services/activity.h"

namespace nv407::host {

// Says in one line what a command of the screen achieved, from what the host's services
// saw: a folio issued, then a commit, is a saved policy (with the policy it replaced, when
// the chain notes name one); a "Baja" note, then a commit, a cancelled one; any other note
// (the counter report), then a commit, a counter reset. A rollback says nothing: the
// screen shows its own message for a failure.
class StatusReport final : public ActivityObserver {
 public:
  explicit StatusReport(std::function<void(const std::string&)> show) : show_(std::move(show)) {}

  void FolioIssued(const std::string& folio) override { folio_ = folio; }
  void NoteLogged(const std::string& table, const std::string& key,
                  const std::string& note) override;
  void TransactionEnded(bool committed) override;

 private:
  struct Note {
    std::string key, note;
  };
  std::function<void(const std::string&)> show_;
  std::optional<std::string> folio_;
  std::optional<std::string> replaced_;
  std::optional<Note> note_;
};

inline constexpr const char* kLockWaitStatus = "Esperando a que otro usuario termine de guardar…";
// The database names its operators without a password (the demo).
inline constexpr const char* kNoSignInStatus = "Sin inicio de sesión";

}  // namespace nv407::host
