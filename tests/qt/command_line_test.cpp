// The `polizas` program around its window: the command line, the database, the sign-in, the
// start without a display, and `polizas --play` against polizas-script (the same script on
// the same database and clock gives the same events, the window's own status lines besides).
#include "host/qt/command_line.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <future>
#include <map>
#include <optional>
#include <sstream>

#include "component/error.h"
#include "host/qt/program_settings.h"
#include "host/qt/sign_in_dialog.h"
#include "host/qt/spanish.h"
#include "host/qt/start_error.h"
#include "host/services/operator_records.h"
#include "host/services/password.h"
#include "support/in_child.h"
#include "window_fixture.h"

namespace nv407::testing {
namespace {

constexpr const char* kClock = "2024-03-15T10:30:00";

// A fresh demo database dated around the clock's day, in the folder.
QString DemoDatabase(const QTemporaryDir& folder, const QString& name) {
  const QString path = folder.filePath(name);
  RunProgram(POLIZAS_DB_PROGRAM, {"init", path, "--demo", "--clock", kClock});
  return path;
}

constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

// The text as the file at `path`, with those permissions; the path, "" where it failed.
QString WrittenAt(const QString& path, const QByteArray& text,
                  QFile::Permissions permissions = kOwnerOnly) {
  QFile file(path);
  const bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                       file.write(text) == text.size() && file.flush() &&
                       file.setPermissions(permissions);
  return written ? path : QString();
}
// The text as a file of the folder; its path.
QString Written(const QTemporaryDir& folder, const QString& name, const QByteArray& text) {
  return WrittenAt(folder.filePath(name), text);
}

// What `act` returns run in a child process as the user nobody where the test runs as root
// (who reads and writes anything), "refused: ..." where it throws.
std::string AsNobody(const std::function<std::string()>& act) {
  return InChild([&] {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
      return std::string("cannot become nobody");
    return act();
  });
}

QStringList Without(const QStringList& lines, const QString& kind) {
  QStringList kept;
  for (const QString& line : lines)
    if (!line.startsWith("{\"event\":\"" + kind + "\"")) kept << line;
  return kept;
}

// The script run by polizas-script and played on the window (with `options`, in `window`'s
// environment), each on a demo database of the folder that `changes` alter first, and each
// writing to `output` where one is given.
std::pair<ProgramRun, ProgramRun> RunBoth(
    const QTemporaryDir& folder, const QString& script, const QStringList& changes = {},
    const QStringList& options = {},
    const QProcessEnvironment& window = QProcessEnvironment::systemEnvironment(),
    const QString& output = {}) {
  const auto database = [&](const QString& name) {
    const QString path = DemoDatabase(folder, name);
    auto changed = host::OpenSqliteDatabase(path.toStdString());
    for (const QString& change : changes) changed->ForHost().Execute(change.toStdString());
    return path;
  };
  const QStringList both = {"--clock", kClock, "--db"};
  return {RunProgram(POLIZAS_SCRIPT_PROGRAM, both + QStringList{database("script.db"), script}, {},
                     QProcessEnvironment::systemEnvironment(), output),
          RunProgram(POLIZAS_PROGRAM,
                     both + QStringList{database("window.db"), "--play", script} + options, {},
                     window, output)};
}

// A script for both programs, the demo database's changes, how many lines its `show`s write
// (-1: unchecked), texts these hold, and the window's locale ("" for the test's own).
struct Played {
  const char* name;
  QString script;
  QStringList changes;
  int lines;
  QStringList shown;
  QString locale = {};
};

}  // namespace

class CommandLineTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY(host::UseSpanish(*QCoreApplication::instance())); }

  // The options, each refusal in its own words; what the window names the database; what
  // counts as a display.
  void theOptionsAreRead() {
    for (const auto& [words, read] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{}, "db=(demo) user=(settings) clock= params="},
             {{"--db", "a.db", "--user", "CAPTURA", "--clock", "2024-03-15T10:30:00", "--params",
               "EDICION,MTY-7"},
              "db=a.db user=CAPTURA clock=2024-03-15T10:30:00 params=EDICION,MTY-7"},
             {{"--play", "a.jsonl", "--shots", "pictures"},
              "db=(demo) user=(settings) clock= params= play=a.jsonl shots=pictures"},
             {{"--shots", "pictures"}, "--shots needs --play"},
             {{"--db"}, "--db needs a value"},
             {{"--odbc", "DSN=x"}, "db=(demo) user=(settings) clock= params= odbc=DSN=x"},
             {{"--db", "a.db", "--odbc", "DSN=x"}, "give either --db or --odbc, not both"},
             {{"--db", "a.db", "--db", "b.db"}, "--db given more than once"},
             {{"--user", ""}, "--user needs an operator code"},
             {{"--password-file", "pw"},
              "--password-file needs --play: the window asks for the password"}}) {
      std::string got;
      try {
        const host::ProgramOptions options = host::ParseCommandLine(words);
        got = "db=" + options.database.value_or("(demo)") +
              " user=" + options.user.value_or("(settings)") +
              " clock=" + options.clock.value_or("") + " params=" + options.parameters;
        if (options.odbc) got += " odbc=" + *options.odbc;
        if (options.play) got += " play=" + *options.play;
        if (options.shots) got += " shots=" + *options.shots;
      } catch (const Error& error) {
        got = error.what();
      }
      QCOMPARE(got, read);
    }

    // The window names a server database by the database its connection string names, never
    // by the string, which may hold a password.
    host::ProgramOptions options;
    QCOMPARE(host::DatabaseName(options, "/home/u/demo.db"), std::string("/home/u/demo.db"));
    options.odbc = "Driver={PostgreSQL Unicode};Servername=db1; database = polizas ;Pwd=s3cret";
    QCOMPARE(host::DatabaseName(options, "/home/u/demo.db"), std::string("polizas (servidor)"));
    options.odbc = "DSN=polizas_prod;UID=op;PWD=s3cret";
    QCOMPARE(host::DatabaseName(options, ""), std::string("polizas_prod (servidor)"));
    options.odbc = "DSN=oficina;PWD={s3;Database=cr}}et}";  // a password in braces is one value
    QCOMPARE(host::DatabaseName(options, ""), std::string("oficina (servidor)"));

    // A display is any of the platform's variables.
    for (const std::string set : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
      QVERIFY2(host::HasDisplay([&set](const std::string& name) {
                 return name == set ? std::optional<std::string>("x") : std::nullopt;
               }),
               set.c_str());
    }
  }

  // The site's file, then the operator's, then the command line; a password in a file others
  // may read is refused; `polizas --settings` says what is in force and where it came from.
  void theSettingsComeFromTheFilesUnderTheCommandLine() {
    QTemporaryDir dir;
    const std::string site = dir.filePath("site.conf").toStdString();
    const std::string user = dir.filePath("polizas/polizas.conf").toStdString();
    QDir(dir.path()).mkpath("polizas");
    const auto write = [](const std::string& path, const std::string& text,
                          QFile::Permissions permissions = kOwnerOnly) {
      QVERIFY(!WrittenAt(QString::fromStdString(path), QByteArray::fromStdString(text), permissions)
                   .isEmpty());
    };
    write(site, "[General]\ndatabase=/srv/polizas.db\nuser=CAPTURA\n",
          kOwnerOnly | QFile::ReadOther);
    // A connection string is read as written: semicolons and commas are not comments or lists.
    write(user,
          "# the server of the office\n[General]\nodbc = DSN=polizas;UID=op,2;PWD={s3;cr}}et}\n");
    const host::SettingsFiles files{user, site, "", ""};

    host::ProgramSettings read = host::ReadSettings(files);
    QCOMPARE(host::Describe(read), "Settings files read:\n  " + site + "\n  " + user +
                                       "\nIn force:\n  odbc = DSN=polizas;UID=op,2;PWD=****   (" +
                                       user + ")\n  user = CAPTURA   (" + site + ")\n");
    host::ProgramOptions options = host::ParseCommandLine({"--db", "a.db", "--user", "ADMIN"});
    host::ProgramSettings in_force = host::WithCommandLine(read, options);
    host::ApplyTo(in_force, options);
    QCOMPARE(options.database.value_or("") + "|" + options.odbc.value_or("-") + "|" + *options.user,
             std::string("a.db|-|ADMIN"));

    // On a server the operator is the login, whatever the default.
    const host::SettingsFiles user_only{user, dir.filePath("none.conf").toStdString(), "", ""};
    QCOMPARE(host::Describe(host::ReadSettings(user_only)),
             "Settings files read:\n  " + user +
                 "\nIn force:\n  odbc = DSN=polizas;UID=op,2;PWD=****   (" + user +
                 ")\n  user = the connection's login   (server database)\n");

    write(user, "[General]\nodbc=Driver={x};Password=s3cret\n", kOwnerOnly | QFile::ReadGroup);
    QVERIFY_THROWS_EXCEPTION(Error, host::ReadSettings(files));
    write(user, "[General]\ndatabase=a.db\nodbc=DSN=x\n");
    QVERIFY_THROWS_EXCEPTION(Error, host::ReadSettings(files));

    // A misspelt key or group, a key given twice or a NUL that would cut a path short is
    // named with its line, never skipped for the site's database or another file.
    for (const auto& [text, where] : std::initializer_list<std::pair<std::string, const char*>>{
             {"[General]\ndatbase=a.db\n", ", line 2: "},
             {"[Genral]\nodbc = DSN=oficina\n", ", line 1: "},
             {"user = ANA\n\n[general]\nodbc = DSN=oficina\n", ", line 3: "},
             {"database = a.db\ndatabase = b.db\n", ", line 2: "},
             {std::string("user = ANA\ndatabase = a.db\0.old\n", 32), ", line 2: "}}) {
      write(user, text);
      try {
        host::ReadSettings(files);
        QFAIL(text.c_str());
      } catch (const Error& refused) {
        QVERIFY2(refused.Description().starts_with(user + where), refused.Description().c_str());
      }
    }

    // A file named from the home folder, or from the settings file's own folder.
    const host::SettingsFiles at_home{user, site, "", "/home/ana"};
    write(user, "[General]\ndatabase = ~/oficina/polizas.db\n");
    QCOMPARE(host::ReadSettings(at_home).database->value,
             std::string("/home/ana/oficina/polizas.db"));
    write(user, "[General]\ndatabase = ../datos/polizas.db\n");
    QCOMPARE(host::ReadSettings(at_home).database->value,
             QDir::cleanPath(dir.filePath("datos/polizas.db")).toStdString());

    // Written by a Windows editor: a byte order mark first, lines ending CR LF.
    write(user, "\xEF\xBB\xBF[General]\r\nuser=\"CAPTURA\"\r\n");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", dir.path());
    const ProgramRun run =
        RunProgram(POLIZAS_PROGRAM, {"--settings", "--db", "b.db"}, {}, environment);
    QCOMPARE(run.exit_code, 0);
    const QString shown = run.lines.join('\n');
    QVERIFY2(shown.contains("database = b.db   (command line)") &&
                 shown.contains(QString::fromStdString("user = CAPTURA   (" + user + ")")),
             qPrintable(shown));
  }

  // The operator's folders follow the XDG variables only where these name a folder from the
  // root: a relative one, which would make the files depend on where the program was started,
  // is ignored for the home folder's, as those variables' rules ask.
  void aRelativeXdgFolderIsIgnored() {
    const auto with = [](std::map<std::string, std::string> values) -> host::Environment {
      return [values](const std::string& name) -> std::optional<std::string> {
        const auto found = values.find(name);
        if (found == values.end()) return std::nullopt;
        return found->second;
      };
    };
    const host::SettingsFiles relative = host::SettingsFiles::Standard(
        with({{"HOME", "/home/ana"}, {"XDG_CONFIG_HOME", "cfg"}, {"XDG_DATA_HOME", "datos"}}));
    QCOMPARE(relative.user, std::string("/home/ana/.config/polizas/polizas.conf"));
    QCOMPARE(relative.window, std::string("/home/ana/.config/polizas/window.conf"));
    const host::SettingsFiles absolute = host::SettingsFiles::Standard(
        with({{"HOME", "/home/ana"}, {"XDG_CONFIG_HOME", "/srv/cfg"}}));
    QCOMPARE(absolute.user, std::string("/srv/cfg/polizas/polizas.conf"));
    QCOMPARE(host::SettingsFiles::Standard(with({{"XDG_CONFIG_HOME", "cfg"}})).user, std::string());
    // The demo database's folder.
    QCOMPARE(host::UserFolder(with({{"HOME", "/home/ana"}, {"XDG_DATA_HOME", "datos"}}),
                              "XDG_DATA_HOME", ".local/share"),
             std::string("/home/ana/.local/share"));
    QCOMPARE(host::UserFolder(with({{"HOME", "/home/ana"}, {"XDG_DATA_HOME", "/srv/datos"}}),
                              "XDG_DATA_HOME", ".local/share"),
             std::string("/srv/datos"));
  }

  // A settings file the operator may not read says why; a broken one stops the program only
  // where it would decide the database: one named on the command line is opened past it.
  void aBrokenSettingsFileKeepsNoOneFromTheCommandLinesDatabase() {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("polizas");
    const QString user = dir.filePath("polizas/polizas.conf");
    QVERIFY(!WrittenAt(user, "[General]\ndatbase = a.db\n", {}).isEmpty());
    // The file itself, then the folder it is in, beyond the operator's reach.
    const QFile::Permissions open_folder =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
    for (const QFile::Permissions folder : {open_folder, QFile::Permissions(QFile::ReadOwner)}) {
      QVERIFY(QFile::setPermissions(dir.path(), folder));
      const std::string read = AsNobody([&] {
        host::ReadSettings({user.toStdString(), "", "", ""});
        return std::string("read");
      });
      QCOMPARE(QString::fromStdString(read),
               "refused: cannot read the settings file " + user + ": Permission denied");
    }
    QVERIFY(QFile::setPermissions(dir.path(), open_folder));

    // Something at a settings file's path that is no file to read is no "no settings": a
    // folder made by mistake would otherwise open the demo database for the office's.
    const QString folder = dir.filePath("folder.conf");
    QVERIFY(QDir(dir.path()).mkpath("folder.conf"));
    for (const auto& [path, why] : std::initializer_list<std::pair<std::string, const char*>>{
             {folder.toStdString(), "Is a directory"}, {"/dev/null", "not a regular file"}}) {
      try {
        host::ReadSettings({"", path, "", ""});
        QFAIL(path.c_str());
      } catch (const Error& refused) {
        QCOMPARE(refused.Description(), "cannot read the settings file " + path + ": " + why);
      }
    }
    QProcessEnvironment in_folder = QProcessEnvironment::systemEnvironment();
    in_folder.insert("XDG_CONFIG_HOME", dir.path());
    QVERIFY(QFile::rename(user, dir.filePath("polizas/aside.conf")));
    QVERIFY(QDir(dir.path()).mkpath("polizas/polizas.conf"));
    const ProgramRun listed = RunProgram(POLIZAS_PROGRAM, {"--settings"}, {}, in_folder);
    QCOMPARE(listed.exit_code, 1);
    QCOMPARE(listed.errors.trimmed(),
             "polizas: cannot read the settings file " + user + ": Is a directory");
    QVERIFY(QDir(dir.path()).rmdir("polizas/polizas.conf"));
    QVERIFY(QFile::rename(dir.filePath("polizas/aside.conf"), user));

    QVERIFY(QFile::setPermissions(user, kOwnerOnly));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", dir.path());
    for (const char* name : {"WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
    environment.insert("DISPLAY", "");
    const ProgramRun refused = RunProgram(POLIZAS_PROGRAM, {}, {}, environment);
    QCOMPARE(refused.exit_code, 1);
    QVERIFY2(refused.errors.contains("unknown setting \"datbase\"") &&
                 !refused.errors.contains("xvfb-run"),
             qPrintable(refused.errors));
    const ProgramRun opened = RunProgram(POLIZAS_PROGRAM, {"--db", "b.db"}, {}, environment);
    QCOMPARE(opened.exit_code, 1);  // no display
    QVERIFY2(opened.errors.contains("unknown setting \"datbase\"") &&
                 opened.errors.contains("left out, as the command line names the database") &&
                 opened.errors.contains("xvfb-run -a polizas"),
             qPrintable(opened.errors));

    // Only the broken file is left out: the operator's own still names the operator.
    const std::string site = dir.filePath("site.conf").toStdString();
    QVERIFY(!WrittenAt(QString::fromStdString(site), "[General]\nbogus = 1\n").isEmpty());
    QVERIFY(!WrittenAt(user, "[General]\nuser = CAPTURA\n").isEmpty());
    std::vector<std::string> left_out;
    const host::ProgramSettings kept =
        host::ReadSettingsLeavingOutBroken({user.toStdString(), site, "", ""}, left_out);
    QCOMPARE(QString::fromStdString(kept.user.value + " " + kept.user.source), "CAPTURA " + user);
    QCOMPARE(left_out.size(), std::size_t{1});
    QVERIFY2(left_out.front().starts_with(site + ", line 2: "), left_out.front().c_str());
  }

  void theDemoDatabaseIsMadeOnceAndThenReused() {
    QTemporaryDir folder;
    const std::string path = folder.filePath("data/demo.db").toStdString();
    host::ProgramOptions options;
    {
      std::unique_ptr<host::Database> made = host::OpenProgramDatabase(options, path, {});
      made->ForHost().Execute(
          "INSERT INTO Sucursal (Sc_Cve_Sucursal, Sc_Descripcion, Es_Cve_Estado) "
          "VALUES ('ZZZ', 'Marca de la prueba', 'AC')");
    }
    std::unique_ptr<host::Database> reused = host::OpenProgramDatabase(options, path, {});
    std::unique_ptr<Recordset> rows = reused->ForHost().Execute(
        "SELECT COUNT(*) AS n FROM Sucursal WHERE Sc_Cve_Sucursal IN ('ZZZ', 'MTY')");
    QCOMPARE(rows->Fields("n").Value().ToLong(), std::int64_t{2});
    rows->Close();

    // Two programs started at once on a missing demo (a double click twice) open the same
    // one, whole; nothing of its making is left beside it.
    for (int round = 0; round < 5; ++round) {
      const QString data = folder.filePath(QString("twice-%1").arg(round));
      const std::string twice = (data + "/demo.db").toStdString();
      auto open = [&] {
        std::unique_ptr<host::Database> database = host::OpenProgramDatabase(options, twice, {});
        std::unique_ptr<Recordset> count =
            database->ForHost().Execute("SELECT COUNT(*) AS n FROM Poliza_Servicio");
        return count->Fields("n").Value().ToLong();
      };
      std::future<std::int64_t> first = std::async(std::launch::async, open);
      std::future<std::int64_t> second = std::async(std::launch::async, open);
      QCOMPARE(first.get(), std::int64_t{26});
      QCOMPARE(second.get(), std::int64_t{26});
      QCOMPARE(QDir(data).entryList({"demo.db.*"}, QDir::Files), QStringList());
    }

    // A demo removed while a program had it open leaves that program's log and index (SQLite
    // keeps them on closing a moved file): a new one would take them for its own, and is not
    // made beside them.
    {
      const std::unique_ptr<host::Database> open = host::OpenProgramDatabase(options, path, {});
      open->ForHost().Execute(
          "INSERT INTO Sucursal (Sc_Cve_Sucursal, Sc_Descripcion, Es_Cve_Estado) "
          "VALUES ('YYY', 'Guardada en la borrada', 'AC')");
      QVERIFY(QFile::remove(QString::fromStdString(path)));
    }
    QVERIFY_THROWS_EXCEPTION(Error, host::OpenProgramDatabase(options, path, {}));
    QVERIFY(!QFile::exists(QString::fromStdString(path)));

    // A database named on the command line must exist: never a new empty one.
    options.database = folder.filePath("missing.db").toStdString();
    QVERIFY_THROWS_EXCEPTION(Error, host::OpenProgramDatabase(options, path, {}));
    QVERIFY(!QFile::exists(folder.filePath("missing.db")));
  }

  // Where the user may not write the demo's folder or read the database, the failure says so
  // (as root, the check runs as nobody).
  void aFolderOrFileBeyondTheUsersReachIsNamedWithTheCause() {
    QTemporaryDir folder;
    QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                     QFile::ExeOwner | QFile::ReadOther |
                                                     QFile::ExeOther));
    QVERIFY(QDir(folder.path()).mkdir("home"));
    QVERIFY(QFile::setPermissions(folder.filePath("home"), QFile::ReadOwner | QFile::ExeOwner |
                                                               QFile::ReadOther | QFile::ExeOther));
    const std::string data = folder.filePath("home/.local/share/polizas").toStdString();
    const std::string locked = folder.filePath("locked.db").toStdString();
    host::ProgramOptions options;
    host::OpenProgramDatabase(options, locked, {});  // made as the demo, then locked away
    QVERIFY(QFile::setPermissions(QString::fromStdString(locked), {}));
    const auto open = [&](const host::ProgramOptions& given) {
      return AsNobody([&] {
        host::OpenProgramDatabase(given, data + "/demo.db", {});
        return std::string("opened");
      });
    };

    QCOMPARE(open(options), "refused: cannot make the folder of the demo database " + data +
                                ": Permission denied");
    options.database = locked;
    const std::string refused = open(options);
    QVERIFY2(refused.starts_with("refused: ") &&
                 refused.ends_with(" (" + locked + ": Permission denied)"),
             refused.c_str());
  }

  // Started from the desktop menu, a failure before the window goes to a box as well as to
  // standard error; a played or offscreen run only writes it.
  void aFailureBeforeTheWindowIsShownInABoxToo() {
    host::ProgramOptions options;
    QVERIFY(host::ShowsStartErrorsInABox(options, "xcb"));
    QVERIFY(host::ShowsStartErrorsInABox(options, "wayland"));
    QVERIFY(!host::ShowsStartErrorsInABox(options, "offscreen"));
    options.play = "script.jsonl";
    QVERIFY(!host::ShowsStartErrorsInABox(options, "xcb"));

    const std::string message = "cannot open the database: /srv/polizas.db: Permission denied";
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      title = box->windowTitle();
      text = box->text();
      icon = box->icon();
      box->accept();
    });
    std::ostringstream errors;
    QCOMPARE(host::ReportStartError(message, true, errors), 1);
    QCOMPARE(errors.str(), "polizas: " + message + "\n");
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(title, "Zembrel - Pólizas de servicio");
    QCOMPARE(text.toStdString(), message);

    // Offscreen the program only writes it, and ends.
    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkpath("polizas"));
    Written(folder, "polizas/polizas.conf", "[General]\ndatabse = a.db\n");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", folder.path());
    const ProgramRun run = RunProgram(POLIZAS_PROGRAM, {}, {}, environment);
    QCOMPARE(run.exit_code, 1);
    QVERIFY2(run.errors.contains("polizas: " + folder.filePath("polizas/polizas.conf") +
                                 ", line 2: unknown setting \"databse\""),
             qPrintable(run.errors));
  }

  // Proposed an operator, the dialog starts in the password; a wrong one is refused and
  // emptied, Enter on the emptied password is no attempt. Proposed nobody, it starts in the
  // operator, where a code typed or pasted with blanks at its ends names its operator (no
  // code has any there); Esc leaves without trying. The record log notes each sign-in under
  // the code itself.
  void enterTriesTheOperatorAndEscLeaves() {
    TestDatabase db;
    host::OperatorRecords(db.db()).SetPassword("CAPTURA", host::HashPassword("clave de Laura"));
    host::PasswordSignIn sign_in(db.db(), db.clock());
    const auto attempt = [&sign_in](const std::string& user, const std::string& password) {
      return sign_in.Attempt(user, password);
    };

    host::SignInDialog dialog(attempt, "demo.db", "CAPTURA");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(QApplication::focusWidget(), dialog.PasswordField());
    QTest::keyClicks(dialog.PasswordField(), "clave de laura");
    QTest::keyClick(dialog.PasswordField(), Qt::Key_Return);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.Refusal()->text(), QString("Operador o contraseña incorrectos"));
    QVERIFY(dialog.PasswordField()->text().isEmpty());
    QCOMPARE(QApplication::focusWidget(), dialog.PasswordField());
    QTest::keyClick(dialog.PasswordField(), Qt::Key_Return);
    QCOMPARE(dialog.Refusal()->text(), QString("Escriba la contraseña"));
    QTest::keyClicks(dialog.PasswordField(), "clave de Laura");
    QTest::keyClick(dialog.PasswordField(), Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.User(), std::string("CAPTURA"));

    QStringList signed_in;
    for (const QString& code : QStringList{"CAPTURA ", " CAPTURA\u00A0\u3000"}) {
      host::SignInDialog pasted(attempt, "demo.db", "");
      pasted.show();
      QVERIFY(QTest::qWaitForWindowActive(&pasted));
      QCOMPARE(QApplication::focusWidget(), pasted.UserField());
      QApplication::clipboard()->setText(code);
      QTest::keyClick(pasted.UserField(), Qt::Key_V, Qt::ControlModifier);
      QTest::keyClick(pasted.UserField(), Qt::Key_Tab);
      QTest::keyClicks(pasted.PasswordField(), "clave de Laura");
      QTest::keyClick(pasted.PasswordField(), Qt::Key_Return);
      signed_in << pasted.Refusal()->text() + "|" + QString::fromStdString(pasted.User());
    }
    QCOMPARE(signed_in, QStringList({"|CAPTURA", "|CAPTURA"}));

    host::SignInDialog leaving(attempt, "demo.db", "");
    leaving.show();
    QVERIFY(QTest::qWaitForWindowActive(&leaving));
    QTest::keyClick(leaving.UserField(), Qt::Key_Escape);
    QCOMPARE(leaving.result(), int(QDialog::Rejected));
    // The wrong password and the three sign-ins; nothing of the empty Enter or of Esc.
    QCOMPARE(db.Joined("SELECT record_key || ': ' || note AS v FROM record_log WHERE "
                       "table_name = 'operator' ORDER BY id",
                       "; "),
             std::string("CAPTURA: Contraseña incorrecta (intento 1 de 5); CAPTURA: Inicio de "
                         "sesión; CAPTURA: Inicio de sesión; CAPTURA: Inicio de sesión"));
  }

  // A refusal of two or three lines (a lock's, a turn not taken) grows the dialog: the
  // operator and the password keep their height, and the whole message shows, however
  // short the dialog is made afterwards.
  void aLongRefusalGrowsTheDialogAndLeavesTheFieldsWhole() {
    std::vector<std::string> refusals = {
        "El operador CAPTURA está bloqueado hasta 2024-03-15 10:45:00 tras 5 intentos fallidos; "
        "intente de nuevo a partir de esa hora, o un administrador puede desbloquearlo antes",
        "Otro programa está escribiendo en la base de datos y el inicio de sesión no pudo tomar "
        "su turno; intente de nuevo"};
    std::size_t next = 0;
    host::SignInDialog dialog(
        [&](const std::string&, const std::string&) {
          host::SignInResult refused;
          refused.refusal = refusals[next++];
          return refused;
        },
        "demo.db", "CAPTURA");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    const int field = dialog.UserField()->height();
    QCOMPARE(dialog.PasswordField()->height(), field);
    const auto whole = [&] {
      QLabel* refusal = dialog.Refusal();
      const QRect shown = refusal->geometry() & dialog.rect();
      return QString("%1 %2 %3")
          .arg(dialog.UserField()->height() == field)
          .arg(dialog.PasswordField()->height() == field)
          .arg(shown.height() >= refusal->heightForWidth(refusal->width()));
    };
    QStringList seen;
    for (std::size_t i = 0; i < refusals.size(); ++i) {
      QTest::keyClicks(dialog.PasswordField(), "clave");
      QTest::keyClick(dialog.PasswordField(), Qt::Key_Return);
      QCOMPARE(dialog.Refusal()->text().toStdString(), refusals[i]);
      seen << whole();
    }
    dialog.resize(dialog.width(), 50);
    seen << whole();
    QCOMPARE(seen, QStringList({"1 1 1", "1 1 1", "1 1 1"}));
  }

  // While another program writes the database, the dialog is drawn and says it waits for
  // it, in the main window's words; once it is done, the attempt signs in.
  void theDialogSaysItWaitsForAnotherProgramsWrite() {
    QTemporaryDir folder;
    const std::string path = DemoDatabase(folder, "p.db").toStdString();
    {
      const std::unique_ptr<host::Database> setup = host::OpenSqliteDatabase(path);
      host::OperatorRecords(*setup).SetPassword("CAPTURA", host::HashPassword("captura123"));
      setup->ForHost().Execute(
          "UPDATE host_parameter SET value = 'SI' WHERE name = 'INICIO_SESION'");
    }
    const std::unique_ptr<host::Database> other = host::OpenSqliteDatabase(path);
    const std::unique_ptr<host::Database> database =
        host::OpenSqliteDatabase(path, {.busy_timeout_ms = 5000});
    other->ForHost().BeginTrans();

    QStringList seen;
    const auto dialog = [] {
      return qobject_cast<host::SignInDialog*>(QApplication::activeModalWidget());
    };
    const QString waiting = "Esperando a que otro usuario termine de guardar…";
    // What a look at the dialog finds while the attempt waits; then the other program ends.
    QTimer look;
    connect(&look, &QTimer::timeout, [&] {
      if (dialog() == nullptr || !other->InTransaction()) return;
      for (QLabel* label : dialog()->findChildren<QLabel*>()) {
        if (label->isVisible() && label->text() == waiting) {
          seen << label->text();
          other->ForHost().RollbackTrans();
          return;
        }
      }
    });
    look.start(20);
    QTimer::singleShot(0, [&] {
      QTest::keyClicks(dialog()->PasswordField(), "captura123");
      QTest::keyClick(dialog()->PasswordField(), Qt::Key_Return);
      if (dialog() == nullptr) return;
      seen << dialog()->Refusal()->text();
      dialog()->reject();
    });
    host::DesktopSignOn request;
    request.user = "CAPTURA";
    request.database = "p.db";
    const std::optional<host::SessionSettings> session = host::SignOnDesktop(*database, request);
    if (other->InTransaction()) other->ForHost().RollbackTrans();
    QCOMPARE(seen, QStringList({waiting}));
    QVERIFY(session.has_value());
    QCOMPARE(session->user_code, std::string("CAPTURA"));
  }

  // The demo names its operator without a password, and the window says so; a signed-in
  // operator's window does not.
  void theStatusBarSaysWhenNobodySignedIn() {
    TestDatabase db;
    const auto note = [&db](host::SignInMode mode) {
      // One window at a time: the component is loaded once in a process.
      ScreenWindow window(db.db(), host::SessionSettings{"CAPTURA", db.clock(), nullptr, mode});
      auto* label = window.desktop->window().findChild<QLabel*>("noSignIn");
      return label != nullptr && label->isVisible() ? label->text() : QString("(none)");
    };
    QCOMPARE(note(host::SignInMode::kNamed), QString("Sin inicio de sesión"));
    QCOMPARE(note(host::SignInMode::kPassword), QString("(none)"));
    QCOMPARE(note(host::SignInMode::kLogin), QString("(none)"));
  }

  void theReadmeExamplePlaysOnTheWindowAsTheScriptRunsIt() {
    QTemporaryDir folder;
    const QString example = QString(POLIZAS_EXAMPLES_DIR) + "/new_and_find.jsonl";
    const auto [script, played] =
        RunBoth(folder, example, {}, {"--shots", folder.filePath("shots")});
    QCOMPARE(script.exit_code, 0);
    QCOMPARE(played.exit_code, 0);
    QCOMPARE(script.lines.size(), 5);
    QCOMPARE(Without(played.lines, "status"), script.lines);
    QCOMPARE(Without(played.lines, "screen").filter("status"),
             QStringList({"{\"event\":\"status\",\"text\":\"Póliza MTY-000011 guardada\"}"}));

    // A picture at each of the three shows and of the editor and the message box.
    const QStringList shots = QDir(folder.filePath("shots")).entryList({"*.png"}, QDir::Files);
    QCOMPARE(shots, QStringList({"01.png", "02.png", "03.png", "04.png", "05.png"}));
    const QImage first(folder.filePath("shots/01.png"));
    QVERIFY(first.width() >= 897 && first.height() >= 613);

    // On a screen scaled twice over, twice the pixels, the window filling its frame: the
    // bottom-right corner is the status bar's, not the frame's colour.
    QProcessEnvironment scaled = QProcessEnvironment::systemEnvironment();
    scaled.insert("QT_SCALE_FACTOR", "2");
    const ProgramRun dense = RunProgram(POLIZAS_PROGRAM,
                                        {"--db", DemoDatabase(folder, "c.db"), "--clock", kClock,
                                         "--play", example, "--shots", folder.filePath("dense")},
                                        {}, scaled);
    QCOMPARE(dense.exit_code, 0);
    const QImage sharp(folder.filePath("dense/01.png"));
    QCOMPARE(sharp.size(), first.size() * 2);
    QVERIFY(sharp.pixelColor(sharp.width() - 20, sharp.height() - 20) != QColor(0, 56, 94));
  }

  // A script plays on the window as polizas-script runs it, on demo databases the row
  // changes first, and its `show` lines hold the texts the row names: a day picked again keeps
  // the server's time of day; Renovar answers after a pop-up was used; a field's length limits
  // typing (an emoji is one character), never a longer text stored; a line break typed into a
  // one-line box is dropped, not played as Enter, and a cut keeps each accent on its letter; an
  // extended text left as it was saves unchanged, line breaks of other programs and no-break
  // spaces included; the finder takes the fewest and most days; the window's locale (a
  // decimal comma, Turkish I without a lower-case byte) changes nothing.
  void aScriptPlaysOnTheWindowAsItRuns_data() {
    QTest::addColumn<Played>("row");
    const QString renew_start =
        R"({"do": "open"}
{"do": "toolbar", "command": "Nuevo"}
{"do": "type", "control": "txt_Sc_Cve_Sucursal", "text": "mty"}
{"do": "type", "control": "txt_Vn_Cve_Vendedor", "text": "V002"}
{"do": "type", "control": "txt_Cl_Cve_Cliente", "text": "C00003"}
{"do": "type", "control": "txt_Tps_Cve_Tipo_Poliza", "text": "MANT90"}
{"do": "choose", "control": "cbCorte", "text": "15"}
)";
    const QString renew_end = R"({"do": "toolbar", "command": "Aceptar"}
{"do": "type", "control": "txtFolio", "text": "mty-11"}
{"do": "renew"}
{"do": "show"}
)";
    const QStringList renewed = {R"(-1 "busy":true)",
                                 R"(-1 "txt_Cl_Cve_Cliente":{"text":"C00003")"};
    const QString find = R"({"do": "open"}
{"do": "type", "control": "txtFolio", "text": "mty-7"}
{"do": "show"}
{"do": "find", "text": "hosp"}
)";
    for (const Played& row : std::initializer_list<Played>{
             {"a day picked",
              R"({"do": "open", "params": "NUEVO"}
{"do": "date", "control": "dp_Ps_Fecha_Inicio", "value": "2024-03-15"}
{"do": "type", "control": "txt_Tps_Cve_Tipo_Poliza", "text": "MANT90"}
{"do": "show"}
{"do": "date", "control": "dp_Ps_Fecha_Inicio", "value": "2024-03-20"}
{"do": "type", "control": "txt_Tps_Cve_Tipo_Poliza", "text": ""}
{"do": "show"}
)",
              {},
              2,
              {R"(0 "dp_Ps_Fecha_Fin":{"value":"2024-06-12T10:30:00")",
               R"(1 "dp_Ps_Fecha_Fin":{"value":"2024-03-20")"}},
             {"Renovar after a cut-off day chosen", renew_start + renew_end, {}, -1, renewed},
             {"Renovar after a start picked",
              renew_start +
                  R"({"do": "date", "control": "dp_Ps_Fecha_Inicio", "value": "2024-03-20"}
)" + renew_end,
              {},
              -1,
              renewed},
             {"a field's length",
              R"({"do": "open"}
{"do": "type", "control": "txtFolio", "text": "mty-7"}
{"do": "toolbar", "command": "Modificar"}
{"do": "type", "control": "txtComentario", "text": "Otro"}
{"do": "toolbar", "command": "Aceptar"}
{"do": "type", "control": "txtFolio", "text": "mty-11"}
{"do": "show"}
{"do": "toolbar", "command": "Nuevo"}
{"do": "type", "control": "txtReferencia", "text": "OC-2024-0000-😀xy"}
{"do": "show"}
)",
              {"UPDATE Poliza_Servicio SET Ps_Referencia = 'REF-1234567890-ABCDE' "
               "WHERE Ps_Folio = 'MTY-000007'"},
              2,
              {R"(0 "txtReferencia":{"text":"REF-1234567890-ABCDE")",
               R"(1 "txtReferencia":{"text":"OC-2024-0000-😀x")"}},
             {"line breaks in one-line boxes",
              R"({"do": "open"}
{"do": "find", "text": "gdl\n"}
{"do": "toolbar", "command": "Nuevo"}
{"do": "type", "control": "txtReferencia", "text": "OC-2024\n117"}
{"do": "type", "control": "txtComentario", "text": "Primera\r\nsegunda"}
{"do": "type", "control": "txt_ID_Facturacion", "text": "FACTURA-ae\u0301"}
{"do": "show"}
)",
              {},
              2,
              {R"(0 "text":"gdl")", R"(1 "txtReferencia":{"text":"OC-2024117")",
               R"(1 "txtComentario":{"text":"Primerasegunda")",
               R"(1 "txt_ID_Facturacion":{"text":"FACTURA-a")"}},
             {"an untouched extended text",
              R"({"do": "open"}
{"do": "type", "control": "txtFolio", "text": "mty-7"}
{"do": "toolbar", "command": "Modificar"}
{"do": "click", "control": "cmdDescripcion"}
{"do": "toolbar", "command": "Aceptar"}
{"do": "type", "control": "txtFolio", "text": "mty-11"}
{"do": "show"}
)",
              {"DELETE FROM extended_text WHERE record_key = 'MTY-000007'",
               "INSERT INTO extended_text VALUES ('Poliza_Servicio', 'MTY-000007', '0001', "
               "'Planta alta' || char(13, 10) || 'Planta' || char(160) || 'baja' || "
               "char(10) || 'Sótano' || char(13) || 'Azotea' || char(8232) || 'Patio')",
               "UPDATE Poliza_Servicio SET Ps_Concepto = 'Uno' || char(10) || 'dos' "
               "WHERE Ps_Folio = 'MTY-000007'"},
              -1,
              {"-1 \"extendedDescription\":\"Planta alta\\r\\nPlanta\u00A0baja\\nSótano\\rAzotea"
               "\u2028Patio\"",
               R"(-1 "txt_Concepto":{"text":"Uno\ndos")"}},
             {"the finder's fewest and most days",
              R"({"do": "open"}
{"do": "find", "text": "mty", "filter": "por-vencer", "days": "0"}
{"do": "find", "text": "mty", "filter": "por-vencer", "days": "9999"}
)",
              {"UPDATE Poliza_Servicio SET Ps_Fecha_Finaliza = '2024-03-16' "
               "WHERE Ps_Folio = 'MTY-000002'",
               "UPDATE Poliza_Servicio SET Ps_Fecha_Finaliza = '2050-01-01' "
               "WHERE Ps_Folio = 'MTY-000001'"},
              2,
              {"0 !MTY-000002", "1 MTY-000001"}},  // ends tomorrow; in 25 years
             {"a locale with a decimal comma", find, {}, 2, {R"(-1 "67 %")"}, "es_ES"},
             {"a locale with a Turkish I", find, {}, 2, {R"(-1 "67 %")"}, "tr_TR"}})
      QTest::newRow(row.name) << row;
  }
  void aScriptPlaysOnTheWindowAsItRuns() {
    QFETCH(Played, row);
    QTemporaryDir folder;
    QProcessEnvironment users = QProcessEnvironment::systemEnvironment();
    if (!row.locale.isEmpty()) {
      const QString name = row.locale + ".UTF-8";
      QCOMPARE(
          QProcess::execute("localedef", {"-i", row.locale, "-f", "UTF-8", folder.filePath(name)}),
          0);
      users.insert("LOCPATH", folder.path());
      users.insert("LC_ALL", name);
    }
    const auto [expected, played] = RunBoth(
        folder, Written(folder, "script.jsonl", row.script.toUtf8()), row.changes, {}, users);
    QCOMPARE(expected.exit_code, 0);
    QCOMPARE(played.exit_code, 0);
    QCOMPARE(Without(played.lines, "status"), expected.lines);
    if (row.lines >= 0) QCOMPARE(expected.lines.size(), row.lines);
    if (QTest::currentTestFailed()) return;
    // "N text": line N (from the end where negative) holds the text, "N !text" does not.
    for (const QString& shown : row.shown) {
      const int at = shown.section(' ', 0, 0).toInt();
      const QString& line = expected.lines.at(at < 0 ? expected.lines.size() + at : at);
      const QString text = shown.section(' ', 1);
      QVERIFY2(text.startsWith('!') ? !line.contains(text.mid(1)) : line.contains(text),
               qPrintable(text + " in " + line));
    }
  }

  // A line the window cannot act on stops the play where the script stops, for the same
  // reason.
  void aRefusedLineStopsThePlayAsItStopsTheScript_data() {
    QTest::addColumn<QString>("line");
    QTest::newRow("a disabled field")
        << R"({"do": "type", "control": "txtReferencia", "text": "x"})";
    QTest::newRow("a read-only field")
        << R"({"do": "type", "control": "txt_Sc_Descripcion", "text": "x"})";
    QTest::newRow("a command not available") << R"({"do": "toolbar", "command": "Baja"})";
    QTest::newRow("no such control") << R"({"do": "click", "control": "cmdNada"})";
    QTest::newRow("another kind") << R"({"do": "choose", "control": "txtFolio", "text": "1"})";
    QTest::newRow("not an action") << R"({"do": "dance"})";
  }
  void aRefusedLineStopsThePlayAsItStopsTheScript() {
    QFETCH(QString, line);
    QTemporaryDir folder;
    const QByteArray script = "{\"do\": \"open\"}\n{\"do\": \"show\"}\n" + line.toUtf8() + "\n";
    const ProgramRun headless = RunProgram(
        POLIZAS_SCRIPT_PROGRAM, {"--db", DemoDatabase(folder, "a.db"), "--clock", kClock}, script);
    const ProgramRun played =
        RunProgram(POLIZAS_PROGRAM, {"--db", DemoDatabase(folder, "b.db"), "--clock", kClock,
                                     "--play", Written(folder, "script.jsonl", script)});
    QCOMPARE(played.exit_code, 2);
    QCOMPARE(headless.exit_code, 2);
    const QString reason = headless.errors.section("polizas-script: ", 1).trimmed();
    QVERIFY2(reason.startsWith("line 3: "), qPrintable(headless.errors));
    QVERIFY2(played.errors.contains("polizas: " + reason), qPrintable(played.errors));
    QCOMPARE(Without(played.lines, "status"), headless.lines);
  }

  // Output that cannot be written (a full disk: /dev/full) stops the play at the line whose
  // output was lost, as it stops the script; so does a picture that cannot be saved (its
  // folder is a file).
  void lostOutputStopsThePlayAsItStopsTheScript() {
    QTemporaryDir folder;
    const auto [headless, played] =
        RunBoth(folder, QString(POLIZAS_EXAMPLES_DIR) + "/new_and_find.jsonl", {}, {},
                QProcessEnvironment::systemEnvironment(), "/dev/full");
    QCOMPARE(headless.exit_code, 2);
    QCOMPARE(played.exit_code, 2);
    const QString reason = "line 9: cannot write the output: No space left on device\n";
    QCOMPARE(headless.errors, "polizas-script: " + reason);
    QVERIFY2(played.errors.endsWith("polizas: " + reason), qPrintable(played.errors));
    // What the program prints instead of opening the window fails it likewise.
    for (const char* asked : {"--version", "--help", "--settings"}) {
      const ProgramRun printed = RunProgram(POLIZAS_PROGRAM, {asked}, {},
                                            QProcessEnvironment::systemEnvironment(), "/dev/full");
      QCOMPARE(printed.exit_code, 1);
      QVERIFY2(printed.errors.startsWith("polizas: cannot write the output: No space left"),
               qPrintable(printed.errors));
    }

    const QString script = Written(folder, "show.jsonl",
                                   "{\"do\": \"open\"}\n{\"do\": \"show\"}\n{\"do\": \"show\"}\n");
    const QString shots = Written(folder, "file", "not a folder") + "/shots";
    const ProgramRun shot =
        RunProgram(POLIZAS_PROGRAM, {"--db", DemoDatabase(folder, "shot.db"), "--clock", kClock,
                                     "--play", script, "--shots", shots});
    QCOMPARE(shot.exit_code, 2);
    QVERIFY2(shot.errors.endsWith("polizas: line 2: cannot write the shot " + shots + "/01.png\n"),
             qPrintable(shot.errors));
    QCOMPARE(shot.lines.size(), 1);  // the first show's, and nothing after it
  }

  // A script played on the window of a database whose operators sign in gives the password
  // as polizas-script takes it, from a file; without it, or with a wrong one, nothing opens.
  void aPlayedWindowSignsInWithThePasswordOfAFile() {
    QTemporaryDir folder;
    const QString database = folder.filePath("signin.db");
    QCOMPARE(
        RunProgram(POLIZAS_DB_PROGRAM, {"init", database}, "clave del administrador\n").exit_code,
        0);
    const QString script =
        Written(folder, "script.jsonl", "{\"do\": \"open\"}\n{\"do\": \"show\"}\n");
    const auto play = [&](const QString& password) {
      QStringList arguments = {"--db", database, "--play", script};
      if (!password.isEmpty()) {
        // Its owner's alone, as the programs take a password file.
        const QString file = Written(folder, "password.txt", password.toUtf8() + "\n");
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        arguments << "--password-file" << file;
      }
      return RunProgram(POLIZAS_PROGRAM, arguments);
    };
    for (const auto& [password, refusal] :
         {std::pair<QString, QString>{"", "the operators of this database sign in"},
          {"no es la clave", "sign-in refused: Operador o contraseña incorrectos"}}) {
      const ProgramRun refused = play(password);
      QCOMPARE(refused.exit_code, 1);
      QVERIFY2(refused.errors.contains(refusal), qPrintable(refused.errors));
    }
    const ProgramRun right = play("clave del administrador");
    QCOMPARE(right.exit_code, 0);
    QCOMPARE(right.lines.filter("\"event\":\"screen\"").size(), 1);
  }
};

}  // namespace nv407::testing

QTEST_MAIN(nv407::testing::CommandLineTest)
#include "command_line_test.moc"
