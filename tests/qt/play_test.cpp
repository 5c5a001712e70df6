// `polizas --play` against polizas-script: the same script on the same database and clock
// gives the same events, the window's own status lines besides.
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

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

// The text as a file of the folder; its path.
QString Written(const QTemporaryDir& folder, const QString& name, const QByteArray& text) {
  QFile file(folder.filePath(name));
  if (file.open(QIODevice::WriteOnly)) file.write(text);
  return file.fileName();
}

QStringList Without(const QStringList& lines, const QString& kind) {
  QStringList kept;
  for (const QString& line : lines)
    if (!line.startsWith("{\"event\":\"" + kind + "\"")) kept << line;
  return kept;
}

}  // namespace

class PlayTest : public QObject {
  Q_OBJECT

 private slots:
  void theReadmeExamplePlaysOnTheWindowAsTheScriptRunsIt() {
    QTemporaryDir folder;
    const QString example = QString(POLIZAS_EXAMPLES_DIR) + "/new_and_find.jsonl";
    const ProgramRun script = RunProgram(
        POLIZAS_SCRIPT_PROGRAM, {"--db", DemoDatabase(folder, "a.db"), "--clock", kClock, example});
    const ProgramRun played =
        RunProgram(POLIZAS_PROGRAM, {"--db", DemoDatabase(folder, "b.db"), "--clock", kClock,
                                     "--play", example, "--shots", folder.filePath("shots")});
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
      if (!password.isEmpty())
        arguments << "--password-file" << Written(folder, "password.txt", password.toUtf8() + "\n");
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

QTEST_MAIN(nv407::testing::PlayTest)
#include "play_test.moc"
