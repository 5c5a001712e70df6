// The `polizas` command line, its database and its start without a display.
#include "host/qt/command_line.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include "component/error.h"
#include "host/qt/program_settings.h"
#include "window_fixture.h"

namespace nv407::testing {
class CommandLineTest : public QObject {
  Q_OBJECT

 private slots:
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
             {{"--user", ""}, "--user needs an operator code"},
             {{"--password-file", "pw"},
              "--password-file needs --play: the window asks for the password"}}) {
      std::string got;
      try {
        const host::ProgramOptions options = host::ParseCommandLine(words);
        got = "db=" + options.database.value_or("(demo)") +
              " user=" + options.user.value_or("(settings)") + " clock=" + options.clock +
              " params=" + options.parameters;
        if (options.odbc) got += " odbc=" + *options.odbc;
        if (options.play) got += " play=" + *options.play;
        if (options.shots) got += " shots=" + *options.shots;
      } catch (const Error& error) {
        got = error.what();
      }
      QCOMPARE(got, read);
    }
  }

  // The window names a server database by the database its connection string names, never
  // by the string, which may hold a password.
  void theWindowNamesItsDatabase() {
    host::ProgramOptions options;
    QCOMPARE(host::DatabaseName(options, "/home/u/demo.db"), std::string("/home/u/demo.db"));
    options.odbc = "Driver={PostgreSQL Unicode};Servername=db1; database = polizas ;Pwd=s3cret";
    QCOMPARE(host::DatabaseName(options, "/home/u/demo.db"), std::string("polizas (servidor)"));
    options.odbc = "DSN=polizas_prod;UID=op;PWD=s3cret";
    QCOMPARE(host::DatabaseName(options, ""), std::string("polizas_prod (servidor)"));
  }

  void aDisplayIsAnyOfThePlatformsVariables() {
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
    auto write = [](const std::string& path, const char* text, QFile::Permissions permissions) {
      QFile file(QString::fromStdString(path));
      QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
      file.write(text);
      file.close();
      QVERIFY(file.setPermissions(permissions));
    };
    const QFile::Permissions owner = QFile::ReadOwner | QFile::WriteOwner;
    write(site, "[General]\ndatabase=/srv/polizas.db\nuser=CAPTURA\n", owner | QFile::ReadOther);
    // A connection string is read as written: semicolons and commas are not comments or lists.
    write(user, "# the server of the office\n[General]\nodbc = DSN=polizas;UID=op,2;PWD=s3cret\n",
          owner);
    const host::SettingsFiles files{user, site, ""};

    host::ProgramSettings read = host::ReadSettings(files);
    QCOMPARE(host::Describe(read), "Settings files read:\n  " + site + "\n  " + user +
                                       "\nIn force:\n  odbc = DSN=polizas;UID=op,2;PWD=****   (" +
                                       user + ")\n  user = CAPTURA   (" + site + ")\n");
    host::ProgramOptions options = host::ParseCommandLine({"--db", "a.db", "--user", "ADMIN"});
    host::ProgramSettings in_force = host::WithCommandLine(read, options);
    host::ApplyTo(in_force, options);
    QCOMPARE(options.database.value_or("") + "|" + options.odbc.value_or("-") + "|" + *options.user,
             std::string("a.db|-|ADMIN"));

    write(user, "[General]\nodbc=Driver={x};Password=s3cret\n", owner | QFile::ReadGroup);
    QVERIFY_THROWS_EXCEPTION(Error, host::ReadSettings(files));
    write(user, "[General]\ndatabase=a.db\nodbc=DSN=x\n", owner);
    QVERIFY_THROWS_EXCEPTION(Error, host::ReadSettings(files));

    write(user, "[General]\ndatbase=a.db\n", owner);
    QVERIFY_THROWS_EXCEPTION(Error, host::ReadSettings(files));

    write(user, "[General]\nuser=\"CAPTURA\"\n[other]\nkey=x\n", owner);
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

  void withoutADisplayTheProgramSaysHowToRunIt() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
    environment.insert("DISPLAY", "");  // set but empty is no display
    const ProgramRun run = RunProgram(POLIZAS_PROGRAM, {}, {}, environment);
    QCOMPARE(run.exit_code, 1);
    QVERIFY2(run.errors.contains("xvfb-run -a polizas"), qPrintable(run.errors));
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

    // A database named on the command line must exist: never a new empty one.
    options.database = folder.filePath("missing.db").toStdString();
    QVERIFY_THROWS_EXCEPTION(Error, host::OpenProgramDatabase(options, path, {}));
    QVERIFY(!QFile::exists(folder.filePath("missing.db")));
  }
};

}  // namespace nv407::testing

QTEST_MAIN(nv407::testing::CommandLineTest)
#include "command_line_test.moc"
