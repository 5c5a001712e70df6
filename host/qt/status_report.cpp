#include "host/qt/status_report.h"

#include "host/services/replacement_chain.h"

namespace nv407::host {

void StatusReport::NoteLogged(const std::string&, const std::string& key, const std::string& note) {
  if (const auto link = ReadChainNote(note)) {
    if (link->points == ChainNote::Points::kToPredecessor) replaced_ = link->folio;
    return;
  }
  note_ = Note{key, note};
}

void StatusReport::TransactionEnded(bool committed) {
  std::string text;
  if (committed && folio_) {
    text = "Póliza " + *folio_ + " guardada";
    if (replaced_) text += "; sustituye a " + *replaced_;
  } else if (committed && note_) {
    text = note_->note == "Baja" ? "Póliza " + note_->key + " cancelada"
                                 : "Contadores reiniciados: póliza " + note_->key;
  }
  folio_.reset();
  replaced_.reset();
  note_.reset();
  if (!text.empty()) show_(text);
}

}  // namespace nv407::host
