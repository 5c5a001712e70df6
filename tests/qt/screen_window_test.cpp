// The capture screen in its desktop window, worked through the real widgets.
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "component/host_services.h"
#include "host/qt/catalogue_dialog.h"
#include "host/qt/control_widgets.h"
#include "host/qt/look.h"
#include "screen/layout.h"
#include "support/qt_fixture.h"

namespace nv407::testing {
namespace {

PolicyRow AnnualPolicy(const std::string& folio) {
  PolicyRow policy;
  policy.folio = folio;
  policy.type = "SOPANUAL";
  policy.reference = "OC-117";
  policy.services = {{"SOPREM", 120, 14.5, 0}, {"VISITA", 12, 0, 3}};
  return policy;
}

QStringList Row(QTreeWidget& list, int row) {
  QStringList cells;
  for (int column = 0; column < list.columnCount(); ++column)
    cells << list.topLevelItem(row)->text(column);
  return cells;
}

host::QtToolbar& Toolbar(ScreenWindow& window) {
  return dynamic_cast<host::QtToolbar&>(window.Widget("Controles"));
}

}  // namespace

class ScreenWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void typingAFolioShowsThePolicy() {
    TestDatabase db;
    db.AddPolicy(AnnualPolicy("MTY-000007"));
    ScreenWindow window(db);
    QCOMPARE(window.Focus(), std::string("txtFolio"));

    window.Type("mty-7");
    window.Key(Qt::Key_Return);

    QCOMPARE(window.Shown("txtFolio"), QString("MTY-000007"));
    QCOMPARE(window.Shown("txt_Sc_Cve_Sucursal"), QString("MTY"));
    QVERIFY(!window.Shown("txt_Sc_Descripcion").isEmpty());
    QCOMPARE(window.Shown("txtReferencia"), QString("OC-117"));
    QCOMPARE(window.Shown("cbCorte"), QString("5"));
    QCOMPARE(window.Shown("dp_Ps_Fecha_Fin"), QString("01/04/2024"));
    auto& services = dynamic_cast<QTreeWidget&>(window.Widget("lvServicios"));
    QCOMPARE(services.topLevelItemCount(), 2);
    QCOMPARE(Row(services, 0).mid(0, 1) + Row(services, 0).mid(2),
             QStringList({"SOPREM", "HR", "120", "14.5"}));
    // A live policy is shown: it can be edited or cancelled, not saved.
    host::QtToolbar& toolbar = Toolbar(window);
    QVERIFY(toolbar.Button(host::ToolbarCommand::kModificar)->isEnabled());
    QVERIFY(toolbar.Button(host::ToolbarCommand::kBaja)->isEnabled());
    QVERIFY(!toolbar.Button(host::ToolbarCommand::kAceptar)->isEnabled());
    QVERIFY(window.Messages().empty());
  }

  // Nuevo, every field by Tab and Enter, the branch by its F2 search, Aceptar: then the
  // folio brings the policy back.
  void aPolicyIsCapturedWithTheKeyboardAlone() {
    TestDatabase db;
    ScreenWindow window(db);

    window.Key(Qt::Key_N, Qt::AltModifier);  // Nuevo
    QCOMPARE(window.Focus(), std::string("dp_Ps_Fecha"));
    window.Key(Qt::Key_Tab);
    QCOMPARE(window.Focus(), std::string("txtReferencia"));
    window.Type("oc-2024-9");
    window.Key(Qt::Key_Return);
    QCOMPARE(window.Focus(), std::string("dp_Ps_Fecha_Inicio"));
    window.Key(Qt::Key_Return);
    QCOMPARE(window.Focus(), std::string("cbCorte"));  // the end date is never editable
    window.Type("1");
    window.Type("5");
    window.Key(Qt::Key_Return);
    QCOMPARE(window.Focus(), std::string("txt_Sc_Cve_Sucursal"));

    WhenShown<host::CatalogueDialog>([](host::CatalogueDialog& search) {
      QTest::keyClicks(search.Filter(), "guadal");
      QTest::keyClick(search.Filter(), Qt::Key_Return);
    });
    window.Key(Qt::Key_F2);
    QCOMPARE(window.Shown("txt_Sc_Cve_Sucursal"), QString("GDL"));
    QVERIFY(!window.Shown("txt_Sc_Descripcion").isEmpty());
    QTRY_COMPARE(window.Focus(), std::string("txt_Vn_Cve_Vendedor"));  // once the window is back

    for (const char* key : {"v002", "c00002", "sopmen"}) {
      window.Type(key);
      window.Key(Qt::Key_Return);
    }
    QCOMPARE(window.Shown("txt_Tps_Descripcion").isEmpty(), false);
    QCOMPARE(dynamic_cast<QTreeWidget&>(window.Widget("lvServicios")).topLevelItemCount(), 2);
    QCOMPARE(window.Focus(), std::string("txtComentario"));
    window.Type("Alta desde el teclado");
    window.Key(Qt::Key_Return);
    window.Type("Soporte mensual");
    window.Key(Qt::Key_Return);
    window.Type("f-1");
    window.Key(Qt::Key_A, Qt::AltModifier);  // Aceptar, with the last field still being typed

    QVERIFY(window.Messages().empty());
    QCOMPARE(db.Count("Poliza_Servicio"), 1LL);
    const std::string folio = db.Scalar("SELECT Ps_Folio FROM Poliza_Servicio");
    QCOMPARE(db.Scalar("SELECT Ps_Factura_ID FROM Poliza_Servicio"), std::string("f-1"));
    QCOMPARE(window.Focus(), std::string("txtFolio"));

    window.Type(QString::fromStdString(folio));
    window.Key(Qt::Key_Return);
    QCOMPARE(window.Shown("txt_Sc_Cve_Sucursal"), QString("GDL"));
    QCOMPARE(window.Shown("txt_Cl_Cve_Cliente"), QString("C00002"));
    QCOMPARE(window.Shown("txtReferencia"), QString("oc-2024-9"));
    QCOMPARE(window.Shown("cbCorte"), QString("15"));
    QCOMPARE(window.Shown("txtComentario"), QString("Alta desde el teclado"));
  }

  void theTabKeyFollowsTheLayoutsTabOrder() {
    TestDatabase db;
    ScreenWindow window(db);
    window.Key(Qt::Key_N, Qt::AltModifier);
    std::vector<std::string> visited{window.Focus()};
    for (int i = 0; i < 14; ++i) {
      window.Key(Qt::Key_Tab);
      visited.push_back(window.Focus());
    }
    // The folio and the initialization button are off while capturing; the end date,
    // descriptions, lists and toolbar are never stops.
    const std::vector<std::string> expected{"dp_Ps_Fecha",         "txtReferencia",
                                            "dp_Ps_Fecha_Inicio",  "cbCorte",
                                            "txt_Sc_Cve_Sucursal", "txt_Vn_Cve_Vendedor",
                                            "txt_Cl_Cve_Cliente",  "txt_Tps_Cve_Tipo_Poliza",
                                            "txtComentario",       "txt_Concepto",
                                            "txt_ID_Facturacion",  "cmdDescripcion",
                                            "dp_Ps_Fecha",         "txtReferencia",
                                            "dp_Ps_Fecha_Inicio"};
    QCOMPARE(visited, expected);
    window.Key(Qt::Key_Backtab);
    QCOMPARE(window.Focus(), std::string("txtReferencia"));
  }

  void aRefusedKeyKeepsTheFocusAndEnterDoesNotLeaveIt() {
    TestDatabase db;
    ScreenWindow window(db);
    window.Key(Qt::Key_N, Qt::AltModifier);
    auto& branch = dynamic_cast<QLineEdit&>(window.Widget("txt_Sc_Cve_Sucursal"));
    branch.setFocus();
    QCOMPARE(window.Focus(), std::string("txt_Sc_Cve_Sucursal"));

    window.Type("pue");  // withdrawn
    window.Key(Qt::Key_Return);
    QCOMPARE(window.Focus(), std::string("txt_Sc_Cve_Sucursal"));
    QCOMPARE(window.Shown("txt_Sc_Descripcion"), QString());
    window.Key(Qt::Key_Return);
    QCOMPARE(window.Focus(), std::string("txt_Sc_Cve_Sucursal"));

    // Text typed and left by a click goes to the field all the same.
    branch.selectAll();
    window.Type("mty");
    QTest::mouseClick(&window.Widget("txtComentario"), Qt::LeftButton);
    QTRY_VERIFY(!window.Shown("txt_Sc_Descripcion").isEmpty());
    QCOMPARE(window.Focus(), std::string("txtComentario"));
  }

  void aRefusedSaveShowsItsMessageAndIdentifier() {
    TestDatabase db;
    ScreenWindow window(db);
    QTest::mouseClick(Toolbar(window).Button(host::ToolbarCommand::kNuevo), Qt::LeftButton);
    QTest::mouseClick(Toolbar(window).Button(host::ToolbarCommand::kAceptar), Qt::LeftButton);

    const std::vector<host::MessageCall> messages = window.Messages();
    QCOMPARE(messages.size(), std::size_t{1});
    QCOMPARE(messages[0].request.title, std::string("Datos incompletos"));
    QCOMPARE(messages[0].request.module, std::string("NV407"));
    QVERIFY(messages[0].request.error_id.rfind("ERR-ID:75000", 0) == 0);
    QCOMPARE(db.Count("Poliza_Servicio"), 0LL);
    // Still capturing: nothing typed so far is lost.
    QVERIFY(Toolbar(window).Button(host::ToolbarCommand::kAceptar)->isEnabled());
  }

  void theCounterResetAsksFirst_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("used");
    QTest::newRow("no changes nothing") << message_answer::kNo << "14.5";
    QTest::newRow("yes resets") << message_answer::kYes << "0";
  }
  void theCounterResetAsksFirst() {
    QFETCH(int, answer);
    QFETCH(QString, used);
    TestDatabase db;
    db.AddPolicy(AnnualPolicy("MTY-000007"));
    ScreenWindow window(db);
    window.Type("MTY-000007");
    window.Key(Qt::Key_Return);

    window.dialogs().QueueAnswer(answer);
    auto& reset = dynamic_cast<QPushButton&>(window.Widget("cmdInicializa"));
    QVERIFY(reset.isEnabled());
    QTest::mouseClick(&reset, Qt::LeftButton);

    const std::vector<host::MessageCall> messages = window.Messages();
    QVERIFY(!messages.empty());
    QCOMPARE(messages[0].request.style, message_style::kYesNoQuestion);
    QCOMPARE(messages[0].request.error_id, std::string("ERR-ID:7500015"));
    QCOMPARE(QString::fromStdString(
                 db.Scalar("SELECT Pst_Tiempo_Utilizado FROM Poliza_Servicio_Tipo_Servicio "
                           "WHERE Ts_Cve_Tipo_Servicio = 'SOPREM'")),
             used);
  }

  void bajaAsksBeforeCancelling_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("state");
    QTest::newRow("no keeps the policy") << message_answer::kNo << "AC";
    QTest::newRow("yes cancels it") << message_answer::kYes << "CA";
  }
  void bajaAsksBeforeCancelling() {
    QFETCH(int, answer);
    QFETCH(QString, state);
    TestDatabase db;
    db.AddPolicy(AnnualPolicy("MTY-000007"));
    ScreenWindow window(db);
    window.Type("mty-7");
    window.Key(Qt::Key_Return);

    window.dialogs().QueueAnswer(answer);
    window.Key(Qt::Key_B, Qt::AltModifier);

    QCOMPARE(window.Messages().size(), std::size_t{1});
    QCOMPARE(window.Messages()[0].request.style, message_style::kYesNoQuestion);
    QCOMPARE(QString::fromStdString(db.Scalar("SELECT Es_Cve_Estado FROM Poliza_Servicio")), state);
  }

  void salirClosesTheWindow() {
    TestDatabase db;
    ScreenWindow window(db);
    window.Key(Qt::Key_S, Qt::AltModifier);
    QTRY_VERIFY(!window.host().window().isVisible());
    QVERIFY(window.host().Closed());
  }

  // Every control where the layout table puts it, and no caption cut off.
  void widgetsSitAtTheirLayoutPositions() {
    TestDatabase db;
    ScreenWindow window(db);
    const ScreenLayout& layout = frmNV407Layout();
    QCOMPARE(window.host().canvas().size(),
             QSize(host::ToPixels(layout.client_width), host::ToPixels(layout.client_height)));
    for (const ControlLayout& row : layout.controls) {
      if (row.kind == ControlKind::kColorScheme) continue;
      QWidget& widget = window.Widget(row.name, row.index);
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
};

}  // namespace nv407::testing

QTEST_MAIN(nv407::testing::ScreenWindowTest)
#include "screen_window_test.moc"
