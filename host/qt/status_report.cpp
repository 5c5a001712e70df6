#include "host/qt/status_report.h"

namespace nv407::host {

void StatusReport::NoteLogged(const std::string&, const std::string& key, const std::string& note) {
  note_ = Note{key, note};
}

void StatusReport::TransactionEnded(bool committed) {
  std::string text;
  if (committed && folio_) {
    text = "Póliza " + *folio_ + " guardada";
  } else if (committed && note_) {
    text = note_->note == "Baja" ? "Póliza " + note_->key + " cancelada"
                                 : "Contadores reiniciados: póliza " + note_->key;
  }
  folio_.reset();
  note_.reset();
  if (!text.empty()) show_(text);
}

std::string RefusedKeyStatus(const std::string& label, const std::string& key) {
  return label + " " + key + " inexistente o dada de baja";
}

}  // namespace nv407::host
