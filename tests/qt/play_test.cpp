// `polizas --play` against polizas-script: the same script on the same database and clock
// gives the same events, the window's own status lines besides.
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace nv407::testing {
namespace {

constexpr const char* kClock = "2024-03-15T10:30:00";

struct Run {
  int exit_code = -1;
  QStringList lines;  // standard output, a line each
  QString errors;
};

Run Start(const QString& program, const QStringList& arguments, const QByteArray& input = {}) {
  QProcess process;
  process.start(program, arguments);
  process.write(input);
  process.closeWriteChannel();
  Run run;
  if (!process.waitForFinished(60000)) {
    run.errors = "did not finish";
    return run;
  }
  run.exit_code = process.exitCode();
  run.lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  run.errors = QString::fromUtf8(process.readAllStandardError());
  return run;
}

// A fresh demo database dated around the clock's day, in the folder.
QString DemoDatabase(const QTemporaryDir& folder, const QString& name) {
  const QString path = folder.filePath(name);
  Start(POLIZAS_DB_PROGRAM, {"init", path, "--demo", "--clock", kClock});
  return path;
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
    const Run script = Start(POLIZAS_SCRIPT_PROGRAM,
                             {"--db", DemoDatabase(folder, "a.db"), "--clock", kClock, example});
    const Run played =
        Start(POLIZAS_PROGRAM, {"--db", DemoDatabase(folder, "b.db"), "--clock", kClock, "--play",
                                example, "--shots", folder.filePath("shots")});
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
    QFile file(folder.filePath("script.jsonl"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(script);
    file.close();
    const Run headless = Start(POLIZAS_SCRIPT_PROGRAM,
                               {"--db", DemoDatabase(folder, "a.db"), "--clock", kClock}, script);
    const Run played = Start(POLIZAS_PROGRAM, {"--db", DemoDatabase(folder, "b.db"), "--clock",
                                               kClock, "--play", file.fileName()});
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
    QCOMPARE(Start(POLIZAS_DB_PROGRAM, {"init", database}, "clave del administrador\n").exit_code,
             0);
    QFile script(folder.filePath("script.jsonl"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("{\"do\": \"open\"}\n{\"do\": \"show\"}\n");
    script.close();
    const auto play = [&](const QString& password) {
      QStringList arguments = {"--db", database, "--play", script.fileName()};
      if (!password.isEmpty()) {
        QFile file(folder.filePath("password.txt"));
        if (!file.open(QIODevice::WriteOnly)) return Run{};
        file.write(password.toUtf8() + "\n");
        arguments << "--password-file" << file.fileName();
      }
      return Start(POLIZAS_PROGRAM, arguments);
    };
    const Run without = play("");
    QCOMPARE(without.exit_code, 1);
    QVERIFY2(without.errors.contains("the operators of this database sign in"),
             qPrintable(without.errors));
    const Run wrong = play("no es la clave");
    QCOMPARE(wrong.exit_code, 1);
    QVERIFY2(wrong.errors.contains("sign-in refused: Operador o contraseña incorrectos"),
             qPrintable(wrong.errors));
    const Run right = play("clave del administrador");
    QCOMPARE(right.exit_code, 0);
    QCOMPARE(right.lines.filter("\"event\":\"screen\"").size(), 1);
  }
};

}  // namespace nv407::testing

QTEST_MAIN(nv407::testing::PlayTest)
#include "play_test.moc"
