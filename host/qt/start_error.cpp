#include "host/qt/start_error.h"

#include <QMessageBox>

#include "host/qt/qt_host.h"

namespace nv407::host {

bool ShowsStartErrorsInABox(const ProgramOptions& options, const QString& platform) {
  return !options.play && platform != "offscreen" && platform != "minimal";
}

int ReportStartError(const std::string& message, bool in_a_box, std::ostream& errors) {
  errors << "polizas: " << message << "\n" << std::flush;
  if (in_a_box)
    QMessageBox::critical(nullptr, QString::fromStdString(WindowTitle("Pólizas de servicio")),
                          QString::fromStdString(message));
  return 1;
}

}  // namespace nv407::host
