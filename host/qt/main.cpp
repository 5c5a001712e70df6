// polizas: the capture screen in a desktop window.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QStandardPaths>
#include <QTimer>
#include <cstdlib>
#include <exception>
#include <iostream>

#include "component/error.h"
#include "host/qt/command_line.h"
#include "host/qt/qt_dialogs.h"
#include "host/qt/qt_host.h"
#include "host/services/clock.h"
#include "host/services/operators.h"

namespace {

std::optional<std::string> FromEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace nv407::host;
  ProgramOptions options;
  try {
    options = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const nv407::Error& error) {
    std::cerr << "polizas: " << error.what() << "\n" << Usage();
    return 2;
  }
  if (options.help) {
    std::cout << Usage();
    return 0;
  }
  // QApplication aborts without a display; say how to get one instead.
  if (!HasDisplay(FromEnvironment)) {
    std::cerr << NoDisplayMessage();
    return 1;
  }

  QApplication::setApplicationName("polizas");
  QApplication::setOrganizationName("Zembrel");
  QApplication application(argc, argv);

  Clock clock;
  try {
    clock = PinnedClock(options.clock);
  } catch (const nv407::Error& error) {
    std::cerr << "polizas: --clock: " << error.what() << "\n";
    return 2;
  }

  const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  const std::string demo_path = QDir(data).filePath("demo.db").toStdString();
  std::unique_ptr<Database> database;
  try {
    database = OpenProgramDatabase(options, demo_path, clock);
  } catch (const std::exception& error) {
    std::cerr << "polizas: cannot open the database: " << OneLine(error.what()) << "\n";
    return 1;
  }
  if (!options.database && !options.odbc)
    std::cerr << "polizas: demo database " << demo_path << "\n";
  try {
    RequireOperator(*database, options.user);
  } catch (const std::exception& error) {
    std::cerr << "polizas: " << OneLine(error.what()) << "\n";
    return 1;
  }

  QtDialogs dialogs(*database);
  try {
    QtHost host(*database, SessionSettings{options.user, clock}, dialogs);
    dialogs.SetParent(&host.window());
    host.Open(options.parameters);
    host.window().show();
    if (!options.screenshot.empty()) {
      // Once the window has been laid out and painted.
      QTimer::singleShot(300, &host.window(), [&] {
        const bool saved = host.window().grab().save(QString::fromStdString(options.screenshot));
        if (!saved) std::cerr << "polizas: cannot write " << options.screenshot << "\n";
        application.exit(saved ? 0 : 1);
      });
    }
    if (host.Closed()) return 0;
    return application.exec();
  } catch (const std::exception& error) {
    std::cerr << "polizas: " << error.what() << "\n";
    return 1;
  }
}
