// The host's dialogs as desktop windows: message boxes, the extended-text editor and the
// record viewer.
#include <QAbstractButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include "component/error.h"
#include "component/host_services.h"
#include "host/qt/qt_dialogs.h"
#include "host/qt/record_view.h"
#include "host/services/host_records.h"
#include "support/qt_fixture.h"

Q_DECLARE_METATYPE(QMessageBox::Icon)

namespace nv407::testing {
namespace {

host::MessageRequest Request(int style) {
  host::MessageRequest request;
  request.text = "¿Inicializar los servicios?";
  request.style = style;
  request.title = "Zembrel";
  request.module = "NV407";
  request.error_id = "ERR-ID:7500015";
  return request;
}

QList<QMessageBox::StandardButton> Buttons(const QMessageBox& box) {
  QList<QMessageBox::StandardButton> buttons;
  for (QAbstractButton* button : box.buttons()) buttons << box.standardButton(button);
  std::sort(buttons.begin(), buttons.end());
  return buttons;
}

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void aMessageBoxHasTheIconAndButtonsOfItsStyle_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<QList<QMessageBox::StandardButton>>("buttons");
    QTest::addColumn<int>("enter");  // what Enter answers
    QTest::newRow("16 stop") << 16 << QMessageBox::Critical
                             << QList<QMessageBox::StandardButton>{QMessageBox::Ok}
                             << message_answer::kOk;
    QTest::newRow("48 warning") << 48 << QMessageBox::Warning
                                << QList<QMessageBox::StandardButton>{QMessageBox::Ok}
                                << message_answer::kOk;
    QTest::newRow("292 question, No the default")
        << 292 << QMessageBox::Question
        << QList<QMessageBox::StandardButton>{QMessageBox::Yes, QMessageBox::No}
        << message_answer::kNo;
  }
  void aMessageBoxHasTheIconAndButtonsOfItsStyle() {
    QFETCH(int, style);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(QList<QMessageBox::StandardButton>, buttons);
    QFETCH(int, enter);

    std::unique_ptr<QMessageBox> box = host::MakeMessageBox(Request(style), nullptr);
    QCOMPARE(box->icon(), icon);
    QCOMPARE(Buttons(*box), buttons);
    QCOMPARE(box->windowTitle(), QString("Zembrel"));
    QVERIFY(box->informativeText().contains("NV407"));
    QVERIFY(box->informativeText().contains("ERR-ID:7500015"));

    // Shown for real, the box answers Enter with its default button and Esc never with Yes.
    TestDatabase db;
    host::QtDialogs dialogs(db.db());
    WhenShown<QMessageBox>([](QMessageBox& shown) { QTest::keyClick(&shown, Qt::Key_Return); });
    QCOMPARE(dialogs.ShowMessage(Request(style)), enter);
    WhenShown<QMessageBox>([](QMessageBox& shown) { QTest::keyClick(&shown, Qt::Key_Escape); });
    QVERIFY(dialogs.ShowMessage(Request(style)) != message_answer::kYes);
  }

  void yesOnAQuestionAnswersSix() {
    TestDatabase db;
    host::QtDialogs dialogs(db.db());
    WhenShown<QMessageBox>([](QMessageBox& shown) { shown.button(QMessageBox::Yes)->click(); });
    QCOMPARE(dialogs.ShowMessage(Request(292)), message_answer::kYes);
  }

  void theEditorReturnsEditsOnOkOnly_data() {
    QTest::addColumn<bool>("ok");
    QTest::newRow("ok keeps the edits") << true;
    QTest::newRow("cancel keeps neither") << false;
  }
  void theEditorReturnsEditsOnOkOnly() {
    QFETCH(bool, ok);
    TestDatabase db;
    host::QtDialogs dialogs(db.db());
    WhenShown<host::ExtendedTextEditor>([ok](host::ExtendedTextEditor& editor) {
      QCOMPARE(editor.TextField()->toPlainText(), QString("Línea uno"));
      editor.ConceptField()->setText("Concepto nuevo");
      QTest::keyClick(editor.TextField(), Qt::Key_End, Qt::ControlModifier);
      QTest::keyClicks(editor.TextField(), " y dos");
      if (ok)
        editor.accept();
      else
        QTest::keyClick(editor.TextField(), Qt::Key_Escape);
    });
    std::string concept_text = "Concepto";
    const std::string text = dialogs.EditExtendedText(concept_text, "Línea uno", 50);
    QCOMPARE(text, std::string(ok ? "Línea uno y dos" : "Línea uno"));
    QCOMPARE(concept_text, std::string(ok ? "Concepto nuevo" : "Concepto"));
  }

  void theViewerShowsEveryColumnAndTheRecordsNotes() {
    TestDatabase db;
    PolicyRow policy;
    policy.folio = "MTY-0'0007";  // a key that would end its literal if pasted in bare
    policy.reference = "OC-117";
    db.AddPolicy(policy);
    host::HostRecords records(db.db());
    const Date when = PinnedNow();
    records.AppendNote("POLIZA_SERVICIO", policy.folio, "Baja", "ADMIN", when);
    records.AppendNote("POLIZA_SERVICIO", "MTY-000008", "otra póliza", "ADMIN", when);
    records.AppendNote("POLIZA_SERVICIO", policy.folio, "Servicios inicializados", "CAPTURA", when);

    const host::RecordView record =
        host::ReadRecord(db.db(), "POLIZA_SERVICIO", "Ps_Folio", policy.folio);
    QVERIFY(record.found);
    QCOMPARE(static_cast<long long>(record.columns.size()),
             std::stoll(db.Scalar("SELECT COUNT(*) FROM pragma_table_info('Poliza_Servicio')")));
    auto value = [&](const std::string& column) {
      for (const auto& [name, text] : record.columns)
        if (name == column) return text;
      return std::string("(missing)");
    };
    QCOMPARE(value("Ps_Folio"), policy.folio);
    QCOMPARE(value("Ps_Referencia"), std::string("OC-117"));
    QCOMPARE(value("Ps_Dia_Corte"), std::string("5"));
    QCOMPARE(value("Oper_Baja"), std::string());  // NULL
    QCOMPARE(record.notes.size(), std::size_t{2});
    QCOMPARE(record.notes[0].note, std::string("Baja"));
    QCOMPARE(record.notes[1].user_code, std::string("CAPTURA"));

    host::QtDialogs dialogs(db.db());
    int rows = -1;
    WhenShown<host::RecordDialog>([&rows](host::RecordDialog& viewer) {
      rows = viewer.findChild<QTableWidget*>("columns")->rowCount() +
             viewer.findChild<QTreeWidget*>("notes")->topLevelItemCount();
      viewer.reject();
    });
    dialogs.ShowRecord("POLIZA_SERVICIO", "Ps_Folio", policy.folio);
    QCOMPARE(rows, static_cast<int>(record.columns.size() + record.notes.size()));
  }

  void theViewerRefusesWhatIsNotAName() {
    TestDatabase db;
    for (const auto& [table, column] : std::vector<std::pair<std::string, std::string>>{
             {"Poliza_Servicio; DELETE FROM Sucursal", "Ps_Folio"},
             {"Poliza_Servicio", "Ps_Folio = Ps_Folio --"},
             {"No_Such_Table", "Ps_Folio"}}) {
      QVERIFY_THROWS_EXCEPTION(Error, host::ReadRecord(db.db(), table, column, "MTY-000001"));
    }
    QVERIFY(db.Count("Sucursal") > 0);
    const host::RecordView missing =
        host::ReadRecord(db.db(), "Poliza_Servicio", "Ps_Folio", "MTY-999999");
    QVERIFY(!missing.found);
    QVERIFY(!missing.columns.empty());
  }
};

}  // namespace nv407::testing

QTEST_MAIN(nv407::testing::DialogsTest)
#include "dialogs_test.moc"
