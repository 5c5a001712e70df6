// The capture screen in its desktop window, worked through the real widgets, and the
// host's dialogs as real windows answered from the keyboard.
#include <QAbstractButton>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <functional>

#include "component/error.h"
#include "component/host_services.h"
#include "host/headless/scripted_dialogs.h"
#include "host/headless/text_rules.h"
#include "host/qt/catalogue_dialog.h"
#include "host/qt/catalogue_search.h"
#include "host/qt/control_widgets.h"
#include "host/qt/look.h"
#include "host/qt/qt_dialogs.h"
#include "host/qt/qt_host.h"
#include "host/qt/record_view.h"
#include "host/services/host_records.h"
#include "screen/layout.h"
#include "support/test_database.h"

namespace nv407::testing {
namespace {

// Runs `act` on the next modal dialog of type T once it is on the screen (a modal
// dialog blocks the test's own call until it closes).
template <typename T>
void WhenShown(std::function<void(T&)> act) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(*dialog);
  });
  timer->start();
}

// The screen in its window over a test database, the component loaded from its shared
// library as the program loads it. The dialogs record what they were shown and answer
// from a queue (a question nobody answered gets its default button, No).
struct ScreenWindow {
  explicit ScreenWindow(TestDatabase& db)
      : desktop(std::make_unique<host::QtHost>(
            db.db(), host::SessionSettings{kOperatorWithPermissions, db.clock()}, dialogs)) {
    desktop->Open();
    desktop->window().show();
    desktop->window().activateWindow();
    if (!QTest::qWaitForWindowActive(&desktop->window()))
      throw Error("The window never became active");
  }

  QWidget& Widget(const std::string& name) { return desktop->Widget(name); }
  QToolButton& Command(host::ToolbarCommand command) {
    return *dynamic_cast<host::QtToolbar&>(Widget("Controles")).Button(command);
  }
  // The keyboard, into whichever widget has the focus.
  void Type(const QString& text) { QTest::keyClicks(QApplication::focusWidget(), text); }
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    QCoreApplication::processEvents();
  }
  // The focused control when Qt and the screen agree on it, else "Qt: X, screen: Y".
  std::string Focus() const {
    const std::string screen = desktop->canvas().focus().FocusedName();
    const QWidget* focused = QApplication::focusWidget();
    const std::string shown = focused == nullptr ? "" : focused->objectName().toStdString();
    return shown == screen ? screen : "Qt: " + shown + ", screen: " + screen;
  }
  // What the text boxes, combo boxes and date fields show.
  QStringList Shown(std::initializer_list<const char*> names) {
    QStringList texts;
    for (const char* name : names) {
      QWidget& widget = Widget(name);
      if (auto* line = qobject_cast<QLineEdit*>(&widget)) texts << line->text();
      if (auto* combo = qobject_cast<QComboBox*>(&widget)) texts << combo->currentText();
      if (auto* date = qobject_cast<QDateEdit*>(&widget)) texts << date->text().trimmed();
    }
    return texts;
  }

  host::ScriptedDialogs dialogs;
  std::unique_ptr<host::QtHost> desktop;
};

}  // namespace

class ScreenWindowTest : public QObject {
  Q_OBJECT

 private slots:
  // Nuevo, every field by Tab and Enter, a refused branch replaced through its F2 search,
  // Aceptar: then the folio brings the policy back, and Salir closes the window.
  void aPolicyIsCapturedWithTheKeyboardAlone() {
    TestDatabase db;
    ScreenWindow window(db);
    window.Key(Qt::Key_N, Qt::AltModifier);

    // Once round the Tab order: the folio and the reset button are off while capturing;
    // the end date, descriptions, lists and toolbar are never stops.
    std::vector<std::string> visited{window.Focus()};
    for (int i = 0; i < 12; ++i) {
      window.Key(Qt::Key_Tab);
      visited.push_back(window.Focus());
    }
    const std::vector<std::string> order{"dp_Ps_Fecha",         "txtReferencia",
                                         "dp_Ps_Fecha_Inicio",  "cbCorte",
                                         "txt_Sc_Cve_Sucursal", "txt_Vn_Cve_Vendedor",
                                         "txt_Cl_Cve_Cliente",  "txt_Tps_Cve_Tipo_Poliza",
                                         "txtComentario",       "txt_Concepto",
                                         "txt_ID_Facturacion",  "cmdDescripcion",
                                         "dp_Ps_Fecha"};
    QCOMPARE(visited, order);
    window.Key(Qt::Key_Backtab);
    QCOMPARE(window.Focus(), std::string("cmdDescripcion"));
    window.Key(Qt::Key_Tab);
    window.Key(Qt::Key_Tab);  // back on the date, then on to the reference
    window.Type("oc-2024-9");
    window.Key(Qt::Key_Return);
    window.Key(Qt::Key_Return);
    QCOMPARE(window.Focus(), std::string("cbCorte"));
    window.Type("15");
    window.Key(Qt::Key_Return);
    QCOMPARE(window.Focus(), std::string("txt_Sc_Cve_Sucursal"));

    window.Type("pue");  // withdrawn: Enter keeps the focus there
    window.Key(Qt::Key_Return);
    window.Key(Qt::Key_Return);
    QCOMPARE(window.Focus(), std::string("txt_Sc_Cve_Sucursal"));
    QCOMPARE(window.Shown({"txt_Sc_Descripcion"}), QStringList({""}));
    WhenShown<host::CatalogueDialog>([](host::CatalogueDialog& search) {
      QTest::keyClicks(search.Filter(), "guadal");
      QTest::keyClick(search.Filter(), Qt::Key_Return);
    });
    window.Key(Qt::Key_F2);
    QCOMPARE(window.Shown({"txt_Sc_Cve_Sucursal"}), QStringList({"GDL"}));
    QTRY_COMPARE(window.Focus(), std::string("txt_Vn_Cve_Vendedor"));  // once the window is back

    for (const char* typed : {"v002", "c00002", "sopmen", "Alta desde el teclado", "Soporte"}) {
      window.Type(typed);
      window.Key(Qt::Key_Return);
    }
    QCOMPARE(dynamic_cast<QTreeWidget&>(window.Widget("lvServicios")).topLevelItemCount(), 2);
    window.Type("f-1");
    window.Key(Qt::Key_A, Qt::AltModifier);  // with the last field still being typed

    QVERIFY(window.dialogs.Messages().empty());
    QCOMPARE(db.Scalar("SELECT COUNT(*) || ' ' || Ps_Factura_ID AS saved FROM Poliza_Servicio"),
             std::string("1 f-1"));
    QCOMPARE(window.Focus(), std::string("txtFolio"));
    window.Type(QString::fromStdString(db.Scalar("SELECT Ps_Folio FROM Poliza_Servicio")));
    window.Key(Qt::Key_Return);
    QCOMPARE(window.Shown({"txt_Sc_Cve_Sucursal", "txt_Cl_Cve_Cliente", "txtReferencia", "cbCorte",
                           "txtComentario"}),
             QStringList({"GDL", "C00002", "oc-2024-9", "15", "Alta desde el teclado"}));

    window.Key(Qt::Key_S, Qt::AltModifier);
    QTRY_VERIFY(!window.desktop->window().isVisible());
    QVERIFY(window.desktop->Closed());
  }

  void aRefusedSaveShowsItsMessageAndIdentifier() {
    TestDatabase db;
    ScreenWindow window(db);
    QTest::mouseClick(&window.Command(host::ToolbarCommand::kNuevo), Qt::LeftButton);
    // A key typed and left by a click is taken all the same: its look-up runs.
    QTest::mouseClick(&window.Widget("txt_Sc_Cve_Sucursal"), Qt::LeftButton);
    window.Type("mty");
    QTest::mouseClick(&window.Widget("txtComentario"), Qt::LeftButton);
    QTRY_VERIFY(!window.Shown({"txt_Sc_Descripcion"})[0].isEmpty());

    QTest::mouseClick(&window.Command(host::ToolbarCommand::kAceptar), Qt::LeftButton);
    const std::vector<host::MessageCall> messages = window.dialogs.Messages();
    QCOMPARE(messages.size(), std::size_t{1});
    QCOMPARE(messages[0].request.title + " " + messages[0].request.module,
             std::string("Datos incompletos NV407"));
    QVERIFY(messages[0].request.error_id.rfind("ERR-ID:75000", 0) == 0);
    QCOMPARE(db.Count("Poliza_Servicio"), 0LL);
    QVERIFY(window.Command(host::ToolbarCommand::kAceptar).isEnabled());  // still capturing
  }

  // A typed folio shows its policy; the services' reset and Baja ask first, and No changes
  // nothing.
  void aTypedFolioShowsThePolicyAndItsChangesAskFirst_data() {
    QTest::addColumn<bool>("reset");  // the services' reset, else Baja
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("after");  // SOPREM's used time, or the policy's state
    QTest::newRow("reset, No") << true << message_answer::kNo << "14.5";
    QTest::newRow("reset, Yes") << true << message_answer::kYes << "0";
    QTest::newRow("Baja, No") << false << message_answer::kNo << "AC";
    QTest::newRow("Baja, Yes") << false << message_answer::kYes << "CA";
  }
  void aTypedFolioShowsThePolicyAndItsChangesAskFirst() {
    QFETCH(bool, reset);
    QFETCH(int, answer);
    QFETCH(QString, after);
    TestDatabase db;
    PolicyRow policy;
    policy.folio = "MTY-000007";
    policy.type = "SOPANUAL";
    policy.reference = "OC-117";
    policy.services = {{"SOPREM", 120, 14.5, 0}, {"VISITA", 12, 0, 3}};
    db.AddPolicy(policy);
    ScreenWindow window(db);
    QCOMPARE(window.Focus(), std::string("txtFolio"));
    window.Type("mty-7");
    window.Key(Qt::Key_Return);
    QCOMPARE(window.Shown({"txtFolio", "txt_Sc_Cve_Sucursal", "txt_Sc_Descripcion", "txtReferencia",
                           "cbCorte", "dp_Ps_Fecha_Fin"}),
             QStringList({"MTY-000007", "MTY",
                          QString::fromStdString(db.Scalar(
                              "SELECT Sc_Descripcion FROM Sucursal WHERE Sc_Cve_Sucursal = 'MTY'")),
                          "OC-117", "5", "01/04/2024"}));
    auto& services = dynamic_cast<QTreeWidget&>(window.Widget("lvServicios"));
    QCOMPARE(services.topLevelItemCount(), 2);
    QStringList first;
    for (int column : {0, 2, 3, 4}) first << services.topLevelItem(0)->text(column);
    QCOMPARE(first, QStringList({"SOPREM", "HR", "120", "14.5"}));
    QVERIFY(window.dialogs.Messages().empty());

    window.dialogs.QueueAnswer(answer);
    if (reset)
      QTest::mouseClick(&window.Widget("cmdInicializa"), Qt::LeftButton);
    else
      window.Key(Qt::Key_B, Qt::AltModifier);
    const std::vector<host::MessageCall> messages = window.dialogs.Messages();
    QVERIFY(!messages.empty());
    QCOMPARE(messages[0].request.style, message_style::kYesNoQuestion);
    if (reset) QCOMPARE(messages[0].request.error_id, std::string("ERR-ID:7500015"));
    QCOMPARE(QString::fromStdString(
                 db.Scalar(reset ? "SELECT Pst_Tiempo_Utilizado FROM Poliza_Servicio_Tipo_Servicio "
                                   "WHERE Ts_Cve_Tipo_Servicio = 'SOPREM'"
                                 : "SELECT Es_Cve_Estado FROM Poliza_Servicio")),
             after);
  }

  // For each key field, the F2 list holds only keys that the field's look-up accepts, so
  // no withdrawn row.
  void theSearchListsWhatTheLookupAccepts() {
    TestDatabase db;
    int fields = 0;
    for (const ControlLayout& row : frmNV407Layout().controls) {
      const std::string sql = row.Setting("sql");
      if (sql.empty()) continue;
      ++fields;
      const std::optional<host::CatalogueQuery> query = host::CatalogueOf(sql);
      QVERIFY2(query.has_value(), row.name.c_str());
      const std::vector<host::CatalogueRow> listed = host::SearchCatalogue(db.sql(), *query);
      QVERIFY2(!listed.empty(), row.name.c_str());
      for (const host::CatalogueRow& found : listed) {
        std::unique_ptr<Recordset> lookup = db.sql().Execute(host::LookupStatement(sql, found.key));
        QVERIFY2(!lookup->Eof(), (row.name + " refuses " + found.key).c_str());
        lookup->Close();
      }
    }
    QCOMPARE(fields, 4);

    // Another shape would list keys the look-up refuses: no search at all.
    QVERIFY(!host::CatalogueOf("select d from t where k = '?' OR 1 = 1"));
    QVERIFY(!host::CatalogueOf("select d from t where k = '?' order by d"));
  }

  // Every control where the layout table puts it, and no caption cut off.
  void widgetsSitAtTheirLayoutPositions() {
    TestDatabase db;
    ScreenWindow window(db);
    const ScreenLayout& layout = frmNV407Layout();
    QCOMPARE(window.desktop->canvas().size(),
             QSize(host::ToPixels(layout.client_width), host::ToPixels(layout.client_height)));
    for (const ControlLayout& row : layout.controls) {
      if (row.kind == ControlKind::kColorScheme) continue;
      QWidget& widget = window.desktop->Widget(row.name, row.index);
      QCOMPARE(widget.geometry(), host::ToPixels(row.position));
      if (auto* label = qobject_cast<QLabel*>(&widget)) {
        const int needed = label->fontMetrics().horizontalAdvance(label->text());
        QVERIFY2(needed <= label->contentsRect().width(), qPrintable(label->text()));
      }
      if (auto* button = qobject_cast<QPushButton*>(&widget)) {
        const int needed = button->fontMetrics().horizontalAdvance(button->text());
        QVERIFY2(needed < button->width(), qPrintable(button->text()));
      }
    }
  }

  void aMessageBoxHasTheIconAndButtonsOfItsStyle() {
    using B = QMessageBox;
    struct Style {
      int style;
      B::Icon icon;
      QList<B::StandardButton> buttons;
      int enter;  // what Enter and Esc answer
    };
    TestDatabase db;
    host::QtDialogs dialogs(db.db());
    for (const Style& expected : {Style{16, B::Critical, {B::Ok}, message_answer::kOk},
                                  Style{48, B::Warning, {B::Ok}, message_answer::kOk},
                                  Style{292, B::Question, {B::Yes, B::No}, message_answer::kNo}}) {
      const host::MessageRequest request{.text = "¿Inicializar los servicios?",
                                         .style = expected.style,
                                         .title = "Zembrel",
                                         .module = "NV407",
                                         .error_id = "ERR-ID:7500015"};
      std::unique_ptr<QMessageBox> box = host::MakeMessageBox(request, nullptr);
      QCOMPARE(box->icon(), expected.icon);
      QList<B::StandardButton> buttons;
      for (QAbstractButton* button : box->buttons()) buttons << box->standardButton(button);
      std::sort(buttons.begin(), buttons.end());
      QCOMPARE(buttons, expected.buttons);
      QCOMPARE(box->windowTitle() + " | " + box->informativeText(),
               QString("Zembrel | NV407  ·  ERR-ID:7500015"));

      // Shown for real, the box answers each key as a user expects.
      for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        WhenShown<B>([key](B& open) { QTest::keyClick(&open, key); });
        QCOMPARE(dialogs.ShowMessage(request), expected.enter);
      }
      if (!buttons.contains(B::Yes)) continue;
      WhenShown<B>([](B& open) { open.button(B::Yes)->click(); });
      QCOMPARE(dialogs.ShowMessage(request), message_answer::kYes);
    }
  }

  void theEditorReturnsEditsOnOkOnly() {
    TestDatabase db;
    host::QtDialogs dialogs(db.db());
    for (const bool ok : {true, false}) {
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
      QCOMPARE(text + " / " + concept_text,
               std::string(ok ? "Línea uno y dos / Concepto nuevo" : "Línea uno / Concepto"));
    }
  }

  void theViewerShowsEveryColumnAndTheRecordsNotes() {
    TestDatabase db;
    PolicyRow policy;
    policy.folio = "MTY-0'0007";  // a key that would end its literal if pasted in bare
    db.AddPolicy(policy);
    host::HostRecords records(db.db());
    records.AppendNote("POLIZA_SERVICIO", policy.folio, "Baja", "ADMIN", PinnedNow());
    records.AppendNote("POLIZA_SERVICIO", "MTY-000008", "otra póliza", "ADMIN", PinnedNow());
    records.AppendNote("POLIZA_SERVICIO", policy.folio, "Reinicio", "CAPTURA", PinnedNow());

    const host::RecordView record =
        host::ReadRecord(db.db(), "POLIZA_SERVICIO", "Ps_Folio", policy.folio);
    QVERIFY(record.found);
    std::string shown;
    for (const auto& [name, text] : record.columns)
      if (name == "Ps_Folio" || name == "Ps_Dia_Corte" || name == "Oper_Baja")
        shown += name + "=" + text + " ";
    for (const host::RecordNote& note : record.notes)
      shown += note.user_code + ":" + note.note + " ";
    QCOMPARE(shown, std::string("Ps_Folio=MTY-0'0007 Ps_Dia_Corte=5 Oper_Baja= "
                                "ADMIN:Baja CAPTURA:Reinicio "));

    // The viewer lists every column of the table, then the two notes.
    host::QtDialogs dialogs(db.db());
    int rows = -1;
    WhenShown<host::RecordDialog>([&rows](host::RecordDialog& viewer) {
      rows = viewer.findChild<QTableWidget*>("columns")->rowCount() +
             viewer.findChild<QTreeWidget*>("notes")->topLevelItemCount();
      viewer.reject();
    });
    dialogs.ShowRecord("POLIZA_SERVICIO", "Ps_Folio", policy.folio);
    QCOMPARE(rows,
             std::stoi(db.Scalar("SELECT COUNT(*) FROM pragma_table_info('Poliza_Servicio')")) + 2);

    // Table and column are names, never pieces of a statement.
    for (const auto& [table, column] : std::vector<std::pair<std::string, std::string>>{
             {"Poliza_Servicio; DELETE FROM Sucursal", "Ps_Folio"},
             {"Poliza_Servicio", "Ps_Folio = Ps_Folio --"},
             {"No_Such_Table", "Ps_Folio"}}) {
      QVERIFY_THROWS_EXCEPTION(Error, host::ReadRecord(db.db(), table, column, policy.folio));
    }
    QVERIFY(db.Count("Sucursal") > 0);
  }
};

}  // namespace nv407::testing

QTEST_MAIN(nv407::testing::ScreenWindowTest)
#include "screen_window_test.moc"
