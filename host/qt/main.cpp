// polizas: the capture screen in a desktop window.
#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <clocale>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>

#include "component/error.h"
#include "host/db/odbc_connection_string.h"
#include "host/programs/program_info.h"
#include "host/qt/alt_letters.h"
#include "host/qt/command_line.h"
#include "host/qt/program_settings.h"
#include "host/qt/qt_dialogs.h"
#include "host/qt/qt_host.h"
#include "host/qt/sign_in_dialog.h"
#include "host/qt/spanish.h"
#include "host/qt/start_error.h"
#include "host/qt/window_player.h"
#include "host/services/clock.h"

namespace {

std::optional<std::string> FromEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

bool UsesDemo(const nv407::host::ProgramOptions& options) {
  return !options.database && !options.odbc;
}

// --play: the script's actions on the window, its events on standard output.
int Play(const nv407::host::ProgramOptions& options, nv407::host::Database& database,
         const nv407::host::SessionSettings& session, const QString& database_path) {
  using namespace nv407::host;
  std::ifstream script(*options.play);
  if (!script) {
    std::cerr << "polizas: cannot read the script " << *options.play << "\n";
    return 2;
  }
  PlayedDialogs dialogs(database);
  QtHost host(database, session, dialogs);
  dialogs.SetParent(&host.window());
  host.window().ShowDatabase(database_path, UsesDemo(options));
  WindowPlayer player(host, dialogs, std::cout, options.shots);
  return player.Play(script, std::cerr);
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
  // What is printed and not the window: a full disk fails it, as for the other programs.
  const auto printed = [] { return EndStatus("polizas", 0, 1, std::cout, std::cerr); };
  if (options.help) {
    std::cout << Usage();
    return printed();
  }
  if (options.version) {
    std::cout << VersionLine("polizas") << "\n";
    return printed();
  }
  if (options.odbc) {
    if (const std::string note = CommandLinePasswordNote(*options.odbc); !note.empty())
      std::cerr << "polizas: " << note << "\n";
  }
  const SettingsFiles files = SettingsFiles::Standard(FromEnvironment);
  ProgramSettings settings;
  std::optional<std::string> settings_error;
  try {
    settings = WithCommandLine(ReadSettings(files), options);
  } catch (const nv407::Error& error) {
    settings_error = error.what();
    // A database named on the command line needs no file to name one: a broken site file
    // must not keep every operator from a database given by hand. Only the broken file is
    // left out; the operator's own settings still hold.
    if (!options.settings && (options.database || options.odbc)) {
      std::vector<std::string> left_out;
      settings = WithCommandLine(ReadSettingsLeavingOutBroken(files, left_out), options);
      for (const std::string& why : left_out)
        std::cerr << "polizas: " << why << "; left out, as the command line names the database\n";
      settings_error.reset();
    }
  }
  if (options.settings) {
    if (settings_error) {
      std::cerr << "polizas: " << *settings_error << "\n";
      return 1;
    }
    std::cout << Describe(settings);
    return printed();
  }
  // QApplication aborts without a display; say how to get one instead.
  if (!HasDisplay(FromEnvironment)) {
    if (settings_error) return ReportStartError(*settings_error, false, std::cerr);
    std::cerr << NoDisplayMessage();
    return 1;
  }

  QApplication::setApplicationName("polizas");
  QApplication::setOrganizationName("Zembrel");
  QApplication application(argc, argv);
  // Qt has set the C library's locale from the environment; numbers that drivers and the C
  // library read and write keep the point (the window formats its own through QLocale).
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setWindowIcon(ApplicationIcon());  // the dialogs' too
  UseSpanish(application);
  TypeNoAltLetters(application);
  // Started from the desktop menu, standard error goes nowhere: a failure before the window
  // is shown in a box too.
  const bool in_a_box = ShowsStartErrorsInABox(options, QApplication::platformName());
  const auto fail = [in_a_box](const std::string& message) {
    return ReportStartError(message, in_a_box, std::cerr);
  };
  if (settings_error) return fail(*settings_error);
  ApplyTo(settings, options);

  Clock clock;
  try {
    if (options.clock) clock = PinnedClock(*options.clock);
  } catch (const nv407::Error& error) {
    std::cerr << "polizas: --clock: " << error.what() << "\n";
    return 2;
  }

  // Where Qt would put it, but for a relative XDG_DATA_HOME, which Qt would take as it is.
  const std::string data_home = UserFolder(FromEnvironment, "XDG_DATA_HOME", ".local/share");
  const QString data =
      data_home.empty()
          ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
          : QDir(QString::fromStdString(data_home))
                .filePath(QApplication::organizationName() + "/" + QApplication::applicationName());
  const std::string demo_path = QDir(data).filePath("demo.db").toStdString();
  std::unique_ptr<Database> database;
  try {
    database = OpenProgramDatabase(options, demo_path, clock);
  } catch (const std::exception& error) {
    return fail("cannot open the database: " + OneLine(error.what()));
  }
  if (UsesDemo(options)) std::cerr << "polizas: demo database " << demo_path << "\n";
  const QString database_path = QString::fromStdString(DatabaseName(options, demo_path));
  // An operator nobody named is ADMIN where operators are named, and a server's login there.
  std::optional<std::string> named;
  if (settings.user.source != kDefaultSource) named = options.user;
  std::optional<SessionSettings> signed_on;
  try {
    signed_on = SignOnDesktop(
        *database, {named, options.password_file, options.play.has_value(), clock, database_path});
  } catch (const std::exception& error) {
    return fail(OneLine(error.what()));
  }
  if (!signed_on) return 0;  // the operator left the sign-in
  const SessionSettings& session = *signed_on;
  // The status bar says only "Solo consulta"; whoever started the program reads why here.
  if (database->ReadOnly()) {
    std::cerr << "polizas: the database cannot be written: the window is open for looking only ("
              << database->WhyReadOnly() << ")\n";
  }
  try {
    if (options.play) return Play(options, *database, session, database_path);
    QtDialogs dialogs(*database);
    QtHost host(*database, session, dialogs);
    dialogs.SetParent(&host.window());
    host.Open(options.parameters);
    host.window().ShowDatabase(database_path, UsesDemo(options));
    if (!files.window.empty()) host.window().RememberGeometry(QString::fromStdString(files.window));
    host.window().show();
    if (host.Closed()) return 0;
    return application.exec();
  } catch (const std::exception& error) {
    return fail(error.what());
  }
}
