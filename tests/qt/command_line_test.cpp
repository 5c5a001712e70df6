// The `polizas` command line, its database and its start without a display.
#include "host/qt/command_line.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include "component/error.h"
#include "support/test_database.h"

namespace nv407::testing {
class CommandLineTest : public QObject {
  Q_OBJECT

 private slots:
  void theOptionsAreRead() {
    for (const auto& [words, read] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{}, "db=(demo) user=(none) clock= params="},
             {{"--db", "a.db", "--user", "CAPTURA", "--clock", "2024-03-15T10:30:00", "--params",
               "EDICION,MTY-7"},
              "db=a.db user=CAPTURA clock=2024-03-15T10:30:00 params=EDICION,MTY-7"},
             {{"--play", "a.jsonl", "--shots", "pictures"},
              "db=(demo) user=(none) clock= params= play=a.jsonl shots=pictures"},
             {{"--shots", "pictures"}, "--shots needs --play"},
             {{"--db"}, "--db needs a value"},
             {{"--odbc", "DSN=x"}, "db=(demo) user=(none) clock= params= odbc=DSN=x"},
             {{"--db", "a.db", "--odbc", "DSN=x"}, "give either --db or --odbc, not both"},
             {{"--user", ""}, "--user needs an operator code"},
             {{"--password-file", "pw"},
              "--password-file needs --play: the window asks for the password"}}) {
      std::string got;
      try {
        const host::ProgramOptions options = host::ParseCommandLine(words);
        got = "db=" + options.database.value_or("(demo)") +
              " user=" + options.user.value_or("(none)") + " clock=" + options.clock +
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

  void withoutADisplayTheProgramSaysHowToRunIt() {
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
    environment.insert("DISPLAY", "");  // set but empty is no display
    program.setProcessEnvironment(environment);
    program.start(POLIZAS_PROGRAM, {});
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 1);
    QVERIFY(program.readAllStandardError().contains("xvfb-run -a polizas"));
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
