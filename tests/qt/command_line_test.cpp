// The `polizas` command line, its database and its start without a display.
#include "host/qt/command_line.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include "component/error.h"
#include "support/test_database.h"

namespace nv407::testing {
namespace {

std::vector<std::string> Split(const QString& line) {
  std::vector<std::string> words;
  for (const QString& word : line.split(' ', Qt::SkipEmptyParts))
    words.push_back(word.toStdString());
  return words;
}

std::string Describe(const host::ProgramOptions& options) {
  return "db=" + options.database.value_or("(demo)") + " user=" + options.user +
         " clock=" + options.clock + " params=" + options.parameters;
}

}  // namespace

class CommandLineTest : public QObject {
  Q_OBJECT

 private slots:
  void theOptionsAreRead_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("read");  // or the error (\"\" stands for an empty word)
    QTest::newRow("none") << ""
                          << "db=(demo) user=ADMIN clock= params=";
    QTest::newRow("all") << "--db a.db --user CAPTURA --clock 2024-03-15T10:30:00 --params NUEVO"
                         << "db=a.db user=CAPTURA clock=2024-03-15T10:30:00 params=NUEVO";
    QTest::newRow("edit a folio") << "--params EDICION,MTY-7"
                                  << "db=(demo) user=ADMIN clock= params=EDICION,MTY-7";
    QTest::newRow("missing value") << "--db"
                                   << "--db needs a value";
    QTest::newRow("unknown") << "--odbc DSN=x"
                             << "unknown argument --odbc";
    QTest::newRow("empty user") << "--user \"\""
                                << "--user needs an operator code";
  }
  void theOptionsAreRead() {
    QFETCH(QString, line);
    QFETCH(QString, read);
    std::vector<std::string> words = Split(line);
    for (std::string& word : words)
      if (word == "\"\"") word.clear();
    std::string got;
    try {
      got = Describe(host::ParseCommandLine(words));
    } catch (const Error& error) {
      got = error.what();
    }
    QCOMPARE(QString::fromStdString(got), read);
  }

  void aDisplayIsAnyOfThePlatformsVariables_data() {
    QTest::addColumn<QString>("set");
    QTest::addColumn<bool>("display");
    QTest::newRow("X") << "DISPLAY" << true;
    QTest::newRow("Wayland") << "WAYLAND_DISPLAY" << true;
    QTest::newRow("chosen platform") << "QT_QPA_PLATFORM" << true;
    QTest::newRow("nothing") << "" << false;
  }
  void aDisplayIsAnyOfThePlatformsVariables() {
    QFETCH(QString, set);
    QFETCH(bool, display);
    const host::Environment environment =
        [&](const std::string& name) -> std::optional<std::string> {
      if (QString::fromStdString(name) == set) return std::string("x");
      if (name == "DISPLAY") return std::string();  // set but empty counts as unset
      return std::nullopt;
    };
    QCOMPARE(host::HasDisplay(environment), display);
  }

  void withoutADisplayTheProgramSaysHowToRunIt() {
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
      environment.remove(name);
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
