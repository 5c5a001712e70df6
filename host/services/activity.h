#pragma once

#include <string>

namespace nv407::host {

// What the host's services see the screen do through them, told as it happens, so that a
// host can say what a command achieved without asking the screen: the folio NextFolio
// issued, the notes it logged, and the end of the screen's transaction.
class ActivityObserver {
 public:
  virtual ~ActivityObserver() = default;
  virtual void FolioIssued(const std::string& folio) = 0;
  virtual void NoteLogged(const std::string& table, const std::string& key,
                          const std::string& note) = 0;
  // The screen's own transaction was committed (true) or rolled back.
  virtual void TransactionEnded(bool committed) = 0;
};

}  // namespace nv407::host
