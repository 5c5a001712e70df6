// The capture screen in its desktop window, worked through the real widgets with the
// keyboard and the mouse.
#include <QCalendarWidget>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QWheelEvent>
#include <algorithm>

#include "component/host_services.h"
#include "host/lists/policy_usage.h"
#include "host/qt/alt_letters.h"
#include "host/qt/catalogue_dialog.h"
#include "host/qt/look.h"
#include "host/qt/questions.h"
#include "host/qt/spanish.h"
#include "host/qt/status_report.h"
#include "host/qt/synthetic_input.h"
#include "screen/layout.h"
#include "window_fixture.h"

namespace nv407::testing {
namespace {

constexpr const char* kStart = "dp_Ps_Fecha_Inicio";

// Nuevo, then the cut-off day and the keys a save needs, each typed and left with Enter.
void FillCapture(ScreenWindow& window) {
  window.Alt(Qt::Key_N);
  for (int i = 0; i < 3; ++i) window.Key(Qt::Key_Tab);  // date, reference, start, cut-off day
  // The combo box's search takes keys typed within this time as one text.
  QTest::qWait(QApplication::keyboardInputInterval() + 50);
  window.Enter({"5", "mty", "v001", "c00001", "sopmen"});
}

// A command on the policy shown, and what its question's answer leaves.
struct Change {
  QString command;  // "reset" (the services'), "Baja" or "Modificar" (which asks nothing)
  int answer;
  QString after;  // SOPREM's used time, or the policy's state
  QString status;
  QString typed = "";  // another folio typed over the shown one and not entered, if any
};

// A way out of a capture, and what it asks.
struct Leaving {
  QString how;     // "Salir", "Cancelar", "title bar", "title bar while typing", "Esc"
  QString change;  // "", "reference", or "date" (the start's day erased: typed part way)
  int answer;
  QString question;  // "" for none
  bool left;         // the capture was left (the window closed for Salir)
};

// Each row of the tree as its cells joined with '|'.
QStringList RowsShown(const QTreeWidget& tree) {
  QStringList rows;
  for (int r = 0; r < tree.topLevelItemCount(); ++r) {
    QStringList cells;
    for (int c = 0; c < tree.columnCount(); ++c) cells << tree.topLevelItem(r)->text(c);
    rows << cells.join('|');
  }
  return rows;
}

// The demo's policies, MTY-000001 stored without a start date.
void StartDateDatabase(TestDatabase& db) {
  host::LoadDemoPolicies(db.sql(), PinnedNow());
  db.Execute("UPDATE Poliza_Servicio SET Ps_Fecha_Inicia = NULL WHERE Ps_Folio = 'MTY-000001'");
}

// The start date focused in a capture: blank (MTY-000001 edited) or the day (a new policy).
void FocusStartDate(ScreenWindow& window, bool blank) {
  if (blank) {
    window.Load("mty-1");
    window.Alt(Qt::Key_M);
  } else {
    window.Alt(Qt::Key_N);
  }
  window.Widget(kStart).setFocus(Qt::TabFocusReason);
}

// A notch of the mouse wheel, away from the user, over the middle of the widget.
void WheelUp(QWidget& widget) {
  const QPointF middle = QRectF(widget.rect()).center();
  QWheelEvent wheel(middle, widget.mapToGlobal(middle), QPoint(),
                    QPoint(0, QWheelEvent::DefaultDeltasPerStep), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(&widget, &wheel);
}

host::HeadlessDateField& StartControl(ScreenWindow& window) {
  return host::FindControlAs<host::HeadlessDateField>(window.desktop->screen(), kStart);
}
// The start date the screen holds, "yyyy-MM-dd", "" for none.
QString StartHeld(ScreenWindow& window) {
  const Variant value = StartControl(window).Value();
  return value.IsNull() || value.IsEmpty() ? ""
                                           : QString::fromStdString(value.ToDate().ToIsoDate());
}
QString StartShown(ScreenWindow& window) {
  return window.Shown({kStart}).front();
}
// "yyyy-MM-dd" as a date field shows it.
QString Shows(const QString& iso) {
  return iso.isEmpty() ? "" : QDate::fromString(iso, Qt::ISODate).toString("dd/MM/yyyy");
}
// The start date picked by the user, "yyyy-MM-dd".
void PickStart(ScreenWindow& window, const QString& iso) {
  const QDate day = QDate::fromString(iso, Qt::ISODate);
  host::HeadlessDateField& start = StartControl(window);
  window.desktop->canvas().Run(
      [&] { start.UserPick(Date::FromYmd(day.year(), day.month(), day.day())); });
}
// The messages said so far are `count`, the last one naming `words`; the focus stays on the
// start date, which shows `shown` and holds `held`.
void ExpectStartRefused(ScreenWindow& window, std::size_t count, const QString& words,
                        const QString& shown, const QString& held) {
  const std::vector<host::MessageCall> said = window.dialogs.Messages();
  QCOMPARE(said.size(), count);
  const QString text = QString::fromStdString(said.back().request.text);
  QVERIFY2(text.contains(words), qPrintable(text));
  QCOMPARE(window.Focus(), std::string(kStart));
  QCOMPARE(StartShown(window), shown);
  QCOMPARE(StartHeld(window), held);
}
// The start date saved with Ctrl+S as the only policy there is.
void ExpectStartSaved(ScreenWindow& window, TestDatabase& db, const QString& iso) {
  window.Key(Qt::Key_S, Qt::ControlModifier);
  QCOMPARE(db.Count("Poliza_Servicio"), 1LL);
  QCOMPARE(
      QString::fromStdString(db.Scalar("SELECT Ps_Fecha_Inicia FROM Poliza_Servicio")).left(10),
      iso);
}

// A right click on the field's text opens its menu, and `item` ("Pegar", "Aumentar") is
// chosen in it with the keyboard; false where the menu has no such item enabled. The window
// is active again after, as a window manager leaves it once a menu closes.
bool ChooseFromMenu(QWidget& field, const QString& item) {
  bool chosen = false;
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr) return;
    for (QAction* action : menu->actions()) {
      // "&Pegar\tControl+V"
      if (action->text().section('\t', 0, 0).remove('&') != item || !action->isEnabled()) continue;
      menu->setActiveAction(action);
      QTest::keyClick(menu, Qt::Key_Return);
      chosen = true;
      return;
    }
    menu->close();
  });
  QLineEdit& line = *field.findChild<QLineEdit*>();
  const QPoint at = line.rect().center();
  QContextMenuEvent click(QContextMenuEvent::Mouse, at, line.mapToGlobal(at));
  QApplication::sendEvent(&line, &click);
  QCoreApplication::processEvents();
  field.window()->activateWindow();
  return QTest::qWaitForWindowActive(field.window()) && chosen;
}

// A step by keys in braces, the wheel ("wheel") or the field's menu (its item).
void StepStart(ScreenWindow& window, const QString& step) {
  if (step == "wheel")
    WheelUp(window.Widget(kStart));
  else if (step.startsWith('{'))
    window.Play(step);
  else
    QVERIFY(ChooseFromMenu(window.Widget(kStart), step));
}

// Rows of the date tables, each named by its first member.
struct TypedDate {
  const char* name;
  const char* held;   // dd/MM/yyyy
  bool over_all;      // Ctrl+A first, else the day is typed over
  const char* typed;  // with the keys pressed between, in braces
  const char* taken;  // "" for refused
  const char* said;
};
struct Step {
  const char* name;
  const char* before;  // the start date held, its day selected
  const char* keys;
  bool blanked;      // then the screen empties the field
  const char* step;  // keys in braces, "wheel", or the menu's item
  const char* held;
};
struct Paste {
  const char* name;
  const char* paste;   // "{Ctrl+V}" or the menu's item
  const char* typing;  // typed before, "" for none
  const char* pasted;
  const char* shown;
  const char* taken;  // "" for refused
};

}  // namespace

class ScreenWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    host::UseSpanish(*QCoreApplication::instance());
    host::TypeNoAltLetters(*QCoreApplication::instance());
  }

  // Nuevo, every field by Tab and Enter, a refused branch replaced through its F2 search,
  // Aceptar: then the folio brings the policy back, and Salir closes the window.
  void aPolicyIsCapturedWithTheKeyboardAlone() {
    TestDatabase db;
    ScreenWindow window(db);
    window.Alt(Qt::Key_N);

    // Once round the Tab order: the folio and the reset button are off while capturing;
    // the end date, descriptions, lists and toolbar are never stops.
    std::string visited = window.Focus();
    for (int i = 0; i < 12; ++i, visited += " " + window.Focus()) window.Key(Qt::Key_Tab);
    QCOMPARE(visited,
             "dp_Ps_Fecha txtReferencia dp_Ps_Fecha_Inicio cbCorte txt_Sc_Cve_Sucursal "
             "txt_Vn_Cve_Vendedor txt_Cl_Cve_Cliente txt_Tps_Cve_Tipo_Poliza txtComentario "
             "txt_Concepto txt_ID_Facturacion cmdDescripcion dp_Ps_Fecha");
    window.Key(Qt::Key_Backtab);
    QCOMPARE(window.Focus(), "cmdDescripcion");
    window.Key(Qt::Key_Tab);
    window.Key(Qt::Key_Tab);  // back on the date, then on to the reference
    window.Enter({"oc-2024-9", ""});
    QCOMPARE(window.Focus(), "cbCorte");
    window.Enter({"15"});
    QCOMPARE(window.Focus(), "txt_Sc_Cve_Sucursal");

    window.Enter({"pue", ""});  // withdrawn: Enter keeps the focus there, and the status says why
    QCOMPARE(window.Focus(), "txt_Sc_Cve_Sucursal");
    QCOMPARE(window.Shown({"txt_Sc_Descripcion"}), QStringList({""}));
    QCOMPARE(window.Status(), QString("Sucursal PUE inexistente o dada de baja"));
    // F2 opens on what the field holds, titled with the field's label.
    QString opened_on, title;
    host::WhenShown<host::CatalogueDialog>([&](host::CatalogueDialog& search) {
      opened_on = search.Filter()->text();
      title = search.windowTitle();
      search.Filter()->selectAll();
      QTest::keyClicks(search.Filter(), "guadal");
      QTest::keyClick(search.Filter(), Qt::Key_Return);
    });
    window.Key(Qt::Key_F2);
    QCOMPARE(opened_on + " | " + title, QString("PUE | Buscar sucursal"));
    QCOMPARE(window.Shown({"txt_Sc_Cve_Sucursal"}), QStringList({"GDL"}));
    QTRY_COMPARE(window.Focus(), "txt_Vn_Cve_Vendedor");  // once the window is back
    QCOMPARE(window.Status(), QString());                 // the refusal was put right

    window.Enter({"v002", "c00002", "sopmen", "Alta desde el teclado", "Soporte"});
    QCOMPARE(dynamic_cast<QTreeWidget&>(window.Widget("lvServicios")).topLevelItemCount(), 2);
    window.Type("f-1");
    window.Alt(Qt::Key_A);  // with the last field still being typed

    QVERIFY(window.dialogs.Messages().empty());
    QCOMPARE(db.Scalar("SELECT COUNT(*) || ' ' || Ps_Factura_ID AS saved FROM Poliza_Servicio"),
             std::string("1 f-1"));
    const QString folio = QString::fromStdString(db.Scalar("SELECT Ps_Folio FROM Poliza_Servicio"));
    QCOMPARE(window.Status(), "Póliza " + folio + " guardada");
    QCOMPARE(window.Focus(), "txtFolio");
    window.Enter({folio});
    QCOMPARE(window.Shown({"txt_Sc_Cve_Sucursal", "txt_Cl_Cve_Cliente", "txtReferencia", "cbCorte",
                           "txtComentario"}),
             QStringList({"GDL", "C00002", "oc-2024-9", "15", "Alta desde el teclado"}));

    window.Alt(Qt::Key_S);  // nothing unsaved: no question
    QTRY_VERIFY(!window.desktop->window().isVisible());
    QVERIFY(window.desktop->Closed());
    QVERIFY(window.dialogs.Messages().empty());
  }

  // Another type's services replace the list's rows, kept, added or taken away cell by cell,
  // each row as the screen's list holds it.
  void theServicesFollowTheType() {
    TestDatabase db;
    ScreenWindow window(db);
    FillCapture(window);
    auto& tree = dynamic_cast<host::QtListView&>(window.Widget("lvServicios"));
    ListItems& items = dynamic_cast<ListView&>(tree.control()).Items();
    for (const char* type : {"sopanual", "gar12", "sopmen", "asesor", "sopanual", "gar12"}) {
      window.Click("txt_Tps_Cve_Tipo_Poliza");
      window.Key(Qt::Key_A, Qt::ControlModifier);
      window.Enter({type});
      QStringList held;
      for (const ListItem& item : items.All()) {
        QStringList cells{QString::fromStdString(item.Text())};
        for (int c = 1; c < tree.columnCount(); ++c)
          cells << QString::fromStdString(item.SubItem(c));
        held << cells.join('|');
      }
      QCOMPARE(RowsShown(tree), held);
    }
    QCOMPARE(RowsShown(tree), QStringList({"SOPSITIO|Soporte en sitio|HR|8.5|0"}));
    QVERIFY(window.dialogs.Messages().empty());
  }

  // A key typed and left by a click, or by the window's menu, is taken all the same: its
  // look-up runs. A save with keys missing is refused by name and identifier.
  void aRefusedSaveShowsItsMessageAndIdentifier() {
    TestDatabase db;
    ScreenWindow window(db);
    window.Press(host::ToolbarCommand::kNuevo);
    window.Click("txt_Sc_Cve_Sucursal");
    window.Type("QRO");
    window.Click("txtComentario");
    QTRY_COMPARE(window.Shown({"txt_Sc_Descripcion"}), QStringList({"Querétaro Juriquilla"}));
    window.Click("txt_Vn_Cve_Vendedor");
    window.Type("v001");
    window.desktop->window().menuBar()->setFocus(Qt::MenuBarFocusReason);
    QTRY_VERIFY(!window.Shown({"txt_Vn_Vendedor"})[0].isEmpty());

    window.Press(host::ToolbarCommand::kAceptar);
    const std::vector<host::MessageCall> messages = window.dialogs.Messages();
    QCOMPARE(messages.size(), std::size_t{1});
    QCOMPARE(messages[0].request.title + " " + messages[0].request.module,
             std::string("Datos incompletos NV407"));
    QVERIFY(messages[0].request.error_id.rfind("ERR-ID:75000", 0) == 0);
    QCOMPARE(db.Count("Poliza_Servicio"), 0LL);
    QVERIFY(window.Capturing());           // still capturing
    QCOMPARE(window.Status(), QString());  // nothing was saved
  }

  // A typed folio shows its policy; the services' reset and Baja ask first, No changes
  // nothing, and what Yes did is said in the status bar. Another folio typed but not entered
  // when one of them or Modificar is pressed is only shown, with nothing asked or changed:
  // the command acts on that policy when pressed again.
  void aTypedFolioShowsThePolicyAndItsChangesAskFirst_data() {
    QTest::addColumn<Change>("change");
    const int no = message_answer::kNo, yes = message_answer::kYes;
    QTest::newRow("reset, No") << Change{"reset", no, "14.5", ""};
    QTest::newRow("reset, Yes") << Change{"reset", yes, "0",
                                          "Contadores reiniciados: póliza MTY-000007"};
    QTest::newRow("Baja, No") << Change{"Baja", no, "AC", ""};
    QTest::newRow("Baja, Yes") << Change{"Baja", yes, "CA", "Póliza MTY-000007 cancelada"};
    QTest::newRow("reset, another folio typed, Yes")
        << Change{"reset", yes, "0", "Contadores reiniciados: póliza MTY-000008", "mty-8"};
    QTest::newRow("Baja, another folio typed, Yes")
        << Change{"Baja", yes, "CA", "Póliza MTY-000008 cancelada", "mty-8"};
    QTest::newRow("Modificar, another folio typed") << Change{"Modificar", 0, "AC", "", "mty-8"};
  }
  void aTypedFolioShowsThePolicyAndItsChangesAskFirst() {
    QFETCH(Change, change);
    TestDatabase db;
    // Live policies with part of their services used, as the demo's MTY-000007 once was.
    PolicyRow policy;
    policy.type = "SOPANUAL";
    policy.reference = "OC-117";
    policy.services = {{"SOPREM", 120, 14.5, 0}, {"VISITA", 12, 0, 3}};
    for (const char* folio : {"MTY-000007", "MTY-000008"}) {
      policy.folio = folio;
      db.AddPolicy(policy);
    }
    const std::string states =
        "SELECT Ps_Folio || ' ' || Es_Cve_Estado || ' ' || (SELECT Pst_Tiempo_Utilizado FROM "
        "Poliza_Servicio_Tipo_Servicio s WHERE s.Ps_Folio = p.Ps_Folio AND "
        "s.Ts_Cve_Tipo_Servicio = 'SOPREM') AS v FROM Poliza_Servicio p ORDER BY Ps_Folio";
    const std::string stored = db.Joined(states, ", ");
    ScreenWindow window(db);
    QCOMPARE(window.Focus(), "txtFolio");
    window.Enter({"mty-7"});
    QCOMPARE(window.Shown({"txtFolio", "txt_Sc_Cve_Sucursal", "txt_Sc_Descripcion", "txtReferencia",
                           "cbCorte", "dp_Ps_Fecha_Fin"}),
             QStringList({"MTY-000007", "MTY", "Monterrey Centro", "OC-117", "5", "01/04/2024"}));
    auto& services = dynamic_cast<QTreeWidget&>(window.Widget("lvServicios"));
    QCOMPARE(services.topLevelItemCount(), 2);
    QStringList first;
    for (int column : {0, 2, 3, 4}) first << services.topLevelItem(0)->text(column);
    QCOMPARE(first, QStringList({"SOPREM", "HR", "120", "14.5"}));
    QVERIFY(window.dialogs.Messages().empty());

    const bool reset = change.command == "reset";
    auto press = [&] {
      if (reset) window.Click("cmdInicializa");
      if (change.command == "Baja") window.Alt(Qt::Key_B);
      if (change.command == "Modificar") window.Alt(Qt::Key_M);
    };
    if (change.answer != 0) window.dialogs.QueueAnswer(change.answer);
    const std::string acted = change.typed.isEmpty() ? "MTY-000007" : "MTY-000008";
    if (!change.typed.isEmpty()) {
      window.Click("txtFolio");
      window.Key(Qt::Key_A, Qt::ControlModifier);
      window.Type(change.typed);
      press();
      QCOMPARE(window.Shown({"txtFolio"}), QStringList({QString::fromStdString(acted)}));
      QCOMPARE(window.Focus(), "txtFolio");
      QVERIFY(!window.Capturing());
      QCOMPARE(window.dialogs.Messages().size(), std::size_t{0});
      QCOMPARE(db.Joined(states, ", "), stored);
    }
    press();
    if (change.command == "Modificar") {
      QVERIFY(window.Capturing());
      QCOMPARE(window.Shown({"txtFolio"}), QStringList({QString::fromStdString(acted)}));
      return;
    }
    const std::vector<host::MessageCall> messages = window.dialogs.Messages();
    QVERIFY(!messages.empty());
    QCOMPARE(messages[0].request.style, message_style::kYesNoQuestion);
    if (reset) QCOMPARE(messages[0].request.error_id, "ERR-ID:7500015");
    const std::string where = " WHERE Ps_Folio = '" + acted + "'";
    QCOMPARE(QString::fromStdString(db.Scalar(
                 reset ? "SELECT Pst_Tiempo_Utilizado FROM Poliza_Servicio_Tipo_Servicio" + where +
                             " AND Ts_Cve_Tipo_Servicio = 'SOPREM'"
                       : "SELECT Es_Cve_Estado FROM Poliza_Servicio" + where)),
             change.after);
    if (reset) QCOMPARE(services.topLevelItem(0)->text(4), change.after);  // in place
    QCOMPARE(window.Status(), change.status);
    // A Baja empties the form: no policy is left to look at.
    const bool shown = reset || change.answer == message_answer::kNo;
    QCOMPARE(window.Command(host::ToolbarCommand::kConsultar).isEnabled(), shown);
  }

  // Salir, Cancelar and the title bar ask before they throw away what the user changed,
  // and only then: No keeps the capture as it was. A date typed part way does not hold them
  // up: it is a change to ask about, and No leaves it to be finished.
  void unsavedWorkIsAskedAboutFirst_data() {
    QTest::addColumn<Leaving>("leaving");
    const int no = message_answer::kNo, yes = message_answer::kYes;
    const QString close = host::kCloseQuestion, cancel = host::kCancelQuestion;
    QTest::newRow("Salir, nothing typed") << Leaving{"Salir", "", 0, "", true};
    QTest::newRow("Salir, No") << Leaving{"Salir", "reference", no, close, false};
    QTest::newRow("Salir, Yes") << Leaving{"Salir", "reference", yes, close, true};
    QTest::newRow("title bar, No") << Leaving{"title bar", "reference", no, close, false};
    QTest::newRow("title bar while typing, No")
        << Leaving{"title bar while typing", "reference", no, close, false};
    QTest::newRow("Cancelar, nothing typed") << Leaving{"Cancelar", "", 0, "", true};
    QTest::newRow("Cancelar, No") << Leaving{"Cancelar", "reference", no, cancel, false};
    QTest::newRow("Esc, Yes") << Leaving{"Esc", "reference", yes, cancel, true};
    QTest::newRow("Cancelar, a date part way, Yes")
        << Leaving{"Cancelar", "date", yes, cancel, true};
    QTest::newRow("Cancelar, a date part way, No")
        << Leaving{"Cancelar", "date", no, cancel, false};
    QTest::newRow("Salir, a date part way, Yes") << Leaving{"Salir", "date", yes, close, true};
    QTest::newRow("Salir, a date part way, No") << Leaving{"Salir", "date", no, close, false};
  }
  void unsavedWorkIsAskedAboutFirst() {
    QFETCH(Leaving, leaving);
    const QString& leave = leaving.how;
    TestDatabase db;
    ScreenWindow window(db);
    window.Alt(Qt::Key_N);
    if (leaving.change == "reference") {
      window.Key(Qt::Key_Tab);
      window.Type("OC-1");
      if (leave != "title bar while typing") window.Key(Qt::Key_Tab);
    }
    if (leaving.change == "date") {
      for (int i = 0; i < 2; ++i) window.Key(Qt::Key_Tab);
      window.Key(Qt::Key_Backspace);
      QCOMPARE(StartShown(window), QString("/03/2024"));
    }
    if (leaving.answer != 0) window.dialogs.QueueAnswer(leaving.answer);
    if (leave == "Salir") window.Press(host::ToolbarCommand::kSalir);
    if (leave == "Cancelar") window.Press(host::ToolbarCommand::kCancelar);
    if (leave == "Esc") window.Key(Qt::Key_Escape);
    if (leave.startsWith("title bar")) window.desktop->window().close();
    QCoreApplication::processEvents();

    const std::vector<host::MessageCall> asked = window.dialogs.Messages();
    QCOMPARE(asked.size(), std::size_t{leaving.question.isEmpty() ? 0u : 1u});
    if (!asked.empty()) {
      QCOMPARE(QString::fromStdString(asked[0].request.text), leaving.question);
      QCOMPARE(asked[0].request.style, message_style::kYesNoQuestion);
    }
    const bool closing = leave == "Salir" || leave.startsWith("title bar");
    QCOMPARE(closing ? !window.desktop->window().isVisible() : !window.Capturing(), leaving.left);
    if (leaving.change == "reference" && !leaving.left)
      QCOMPARE(window.Shown({"txtReferencia"}), QStringList({"OC-1"}));
    if (leaving.change != "date" || (closing && leaving.left)) return;
    QCOMPARE(StartShown(window), QString(leaving.left ? "" : "/03/2024"));  // "": the reset's
    if (!leaving.left) QCOMPARE(window.Focus(), kStart);
  }

  // A comment a line edit cannot hold as stored: longer than it takes by itself (32,767
  // UTF-16 units), or with bytes that are not UTF-8 (shown as U+FFFD). Shown whole, it is no
  // edit of the user's to hand over or ask about, and it is saved as stored when another
  // field changes.
  void aStoredTextTheScreenShowsStaysAsStored_data() {
    QTest::addColumn<QString>("comment");  // SQL
    QTest::addColumn<int>("shown");        // its length as the box shows it
    QTest::newRow("longer than a line edit")
        << "replace(hex(zeroblob(20000)), '00', 'ab') || 'FIN'" << 40003;
    QTest::newRow("not UTF-8") << "CAST(X'436166E9206465206D61F16F' AS TEXT)" << 12;
  }
  void aStoredTextTheScreenShowsStaysAsStored() {
    QFETCH(QString, comment);
    QFETCH(int, shown);
    TestDatabase db;
    host::LoadDemoPolicies(db.sql(), PinnedNow());
    db.Execute("UPDATE Poliza_Servicio SET Ps_Comentario = " + comment.toStdString() +
               " WHERE Ps_Folio = 'MTY-000002'");
    const std::string stored = db.Scalar(
        "SELECT hex(Ps_Comentario) AS comment FROM Poliza_Servicio WHERE Ps_Folio = 'MTY-000002'");
    ScreenWindow window(db);
    window.Load("mty-2");
    QCOMPARE(window.Shown({"txtComentario"}).front().size(), shown);
    window.Alt(Qt::Key_N);  // the comment, disabled, was never edited
    QVERIFY(window.Capturing());
    window.Alt(Qt::Key_C);
    window.Load("mty-2");
    window.Alt(Qt::Key_M);
    window.Alt(Qt::Key_C);  // nothing changed: nothing asked
    QVERIFY(!window.Capturing());
    QCOMPARE(window.dialogs.Messages().size(), std::size_t{0});

    window.Load("mty-2");
    window.Alt(Qt::Key_M);
    window.Click("txtReferencia");
    window.Key(Qt::Key_A, Qt::ControlModifier);
    window.Type("HSJ-2292");
    window.Alt(Qt::Key_A);  // saved as the policy that replaces MTY-000002
    QCOMPARE(window.dialogs.Messages().size(), std::size_t{0});
    QCOMPARE(db.Scalar("SELECT hex(Ps_Comentario) AS comment FROM Poliza_Servicio "
                       "WHERE Ps_Referencia = 'HSJ-2292'"),
             stored);
  }

  // What is pasted into a one-line box loses its line breaks and tabs before the box's
  // maximum, in characters, keeps what fits; a box without a maximum takes it all.
  void aPasteDropsControlCharactersThenKeepsWhatFits() {
    TestDatabase db;
    ScreenWindow window(db);
    FillCapture(window);
    const auto paste_over = [&window](const char* field, const QString& text) {
      window.Click(field);
      window.Key(Qt::Key_A, Qt::ControlModifier);
      window.Paste(text);
    };
    paste_over("txt_ID_Facturacion", "\n1234567890");       // at most 10
    paste_over("txtReferencia", "\t123456789012345\r\n6");  // at most 15
    paste_over("txt_Concepto", "uno\ndos\ttres");
    paste_over("txtComentario", QString(100000, QChar(0x00F1)));  // ñ, two UTF-8 bytes each
    QCOMPARE(window.Shown({"txt_ID_Facturacion", "txtReferencia", "txt_Concepto"}),
             QStringList({"1234567890", "123456789012345", "unodostres"}));
    QCOMPARE(window.Shown({"txtComentario"}).front().size(), 100000);

    window.Alt(Qt::Key_A);
    QCOMPARE(window.dialogs.Messages().size(), std::size_t{0});
    QCOMPARE(db.Scalar("SELECT Ps_Factura_ID || ' ' || Ps_Referencia || ' ' || Ps_Concepto || "
                       "' ' || length(Ps_Comentario) AS saved FROM Poliza_Servicio"),
             std::string("1234567890 123456789012345 unodostres 100000"));
  }

  // A date is typed into a date field as the day, month and year, with or without the
  // slashes, left with Enter or Tab; one that shows no date lays out the server's day to
  // be typed over. Esc takes back a date typed part way: the field shows, and holds, what it
  // did before, and the capture stays.
  void aDateIsTypedIntoADateField_data() {
    QTest::addColumn<bool>("blank");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("leave");
    QTest::addColumn<QString>("held");
    for (const bool blank : {true, false}) {
      const char* field = blank ? "no date" : "a date";
      QTest::addRow("%s, slashes, Enter", field)
          << blank << "20/04/2025" << int(Qt::Key_Return) << "2025-04-20";
      QTest::addRow("%s, digits, Enter", field)
          << blank << "20042025" << int(Qt::Key_Return) << "2025-04-20";
      QTest::addRow("%s, digits, Tab", field)
          << blank << "20042025" << int(Qt::Key_Tab) << "2025-04-20";
      QTest::addRow("%s, a digit, Esc", field)
          << blank << "2" << int(Qt::Key_Escape) << (blank ? "" : "2024-03-15");
    }
    QTest::addRow("no date, the day alone, Tab")
        << true << "20" << int(Qt::Key_Tab) << "2024-03-20";
  }
  void aDateIsTypedIntoADateField() {
    QFETCH(bool, blank);
    QFETCH(QString, typed);
    QFETCH(int, leave);
    QFETCH(QString, held);
    TestDatabase db;
    StartDateDatabase(db);
    ScreenWindow window(db);
    FocusStartDate(window, blank);
    QCOMPARE(StartShown(window), QString(blank ? "" : "15/03/2024"));

    window.Type(typed);
    if (leave != Qt::Key_Escape) QCOMPARE(StartShown(window), Shows(held));
    window.Key(static_cast<Qt::Key>(leave));
    QVERIFY(window.dialogs.Messages().empty());
    QVERIFY(window.Capturing());
    QCOMPARE(StartShown(window), Shows(held));
    if (leave == Qt::Key_Tab) QCOMPARE(window.Focus(), std::string("cbCorte"));
    QCOMPARE(StartHeld(window), held);
  }

  // The date taken is the one typed, or none: the field does not read each section against
  // the month it shows, moving on or putting a day in range by itself, and the keys and the
  // mouse that edit a text edit the one typed, never the date held. A slash ends the section
  // at the cursor. What is not a day of the calendar, or not yet a whole date, is refused by
  // name (at Tab, again at Tab and at Aceptar, the field showing it behind the message box)
  // and stays to be put right; nothing is saved on the date held before.
  void aTypedDateIsTakenAsTyped_data() {
    QTest::addColumn<TypedDate>("row");
    for (const TypedDate& row : std::initializer_list<TypedDate>{
             {"a March day over February", "10/02/2024", false, "31/3/2024", "2024-03-31", ""},
             {"the day and month, the year kept", "20/01/2024", false, "5/1", "2024-01-05", ""},
             {"the 31st of April", "15/03/2024", false, "31/4/2024", "",
              "abril de 2024 tiene 30 días"},
             {"the 29th of February of 2023", "15/03/2024", false, "29/2/2023", "",
              "febrero de 2023 tiene 28 días"},
             {"month 13", "15/03/2024", true, "15/13/2024", "", "no hay mes 13"},
             {"nothing but zeros", "15/03/2024", true, "00/00/0000", "",
              "no hay mes 0 ni día 0 ni año 0 (del año 100 al 9999)."},
             {"day 0", "15/03/2024", true, "00/03/2024", "", "no hay día 0."},
             {"a year before the first", "15/03/2024", true, "15/03/0099", "",
              "no hay año 99 (del año 100 al 9999)."},
             {"the first day of all", "15/03/2024", true, "01/01/0100", "0100-01-01", ""},
             {"no year", "20/01/2024", true, "5/1", "", "no es una fecha completa"},
             {"Backspace in the year", "15/03/2024", true, "1/2/2024{Backspace}3", "2023-02-01",
              ""},
             {"Left and Backspace into the month", "15/03/2024", true,
              "9/6/2{Left}{Left}{Backspace}7{End}023", "2023-07-09", ""},
             {"Home, Right and Delete", "15/03/2024", true,
              "1/2/2023{Home}{Delete}5{Right}{Delete}4", "2023-04-05", ""},
             {"Shift+Left over the year", "15/03/2024", true, "1/2/2023{Shift+Left}{Shift+Left}22",
              "2022-02-01", ""},
             {"a year of five digits", "15/03/2024", true, "1/1/10000", "", "del año 100 al 9999"},
             {"a click into a date typed part way", "15/11/2023", false,
              "1/2/202{Click 2}{Delete}3{End}4", "2024-03-01", ""},
             {"a click, then Backspace", "15/11/2023", false, "1/2/2023{Click 3}{Backspace}5",
              "2023-05-01", ""},
             {"a double click on the year", "15/11/2023", false, "1/2/2023{DoubleClick 6}2024",
              "2024-02-01", ""},
             {"a drag over the month", "15/11/2023", false, "1/2/2023{Drag 2-3}5", "2023-05-01",
              ""},
             {"a click before the day", "15/11/2023", false, "{Click 0}1/2/2024", "2024-02-01", ""},
             {"a slash inside the day", "15/11/2023", false, "{Click 1}/2/2024", "2024-02-01", ""},
             {"the calendar opened and closed", "15/11/2023", false, "{F4}{Esc}1/2/2024",
              "2024-02-01", ""}})
      QTest::newRow(row.name) << row;
  }
  void aTypedDateIsTakenAsTyped() {
    QFETCH(TypedDate, row);
    TestDatabase db;
    ScreenWindow window(db);
    FillCapture(window);
    const QString before = QDate::fromString(row.held, "dd/MM/yyyy").toString(Qt::ISODate);
    PickStart(window, before);
    // The message box takes the focus while it is open, and the window gets it back.
    QStringList behind;
    window.dialogs.Observe([&](const host::DialogCall&) {
      QWidget box(&window.desktop->window(), Qt::Dialog);
      box.show();
      box.activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(&box));
      behind << StartShown(window);
      box.close();
      window.desktop->window().activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(&window.desktop->window()));
    });
    window.Widget(kStart).setFocus(Qt::TabFocusReason);
    if (row.over_all) window.Key(Qt::Key_A, Qt::ControlModifier);
    window.Play(row.typed);
    window.Key(Qt::Key_Tab);

    if (*row.taken != '\0') {
      QVERIFY(window.dialogs.Messages().empty());
      QCOMPARE(StartHeld(window), QString(row.taken));
      QCOMPARE(StartShown(window), Shows(row.taken));
      return ExpectStartSaved(window, db, row.taken);
    }
    for (std::size_t times = 1; times <= 3; ++times) {
      if (times == 2) window.Key(Qt::Key_Tab);
      if (times == 3) window.Key(Qt::Key_S, Qt::ControlModifier);
      ExpectStartRefused(window, times, "\"" + QString(row.typed) + "\"", row.typed, before);
      const host::MessageRequest refused = window.dialogs.Messages().back().request;
      QVERIFY2(QString::fromStdString(refused.text).contains(QString::fromUtf8(row.said)),
               refused.text.c_str());
      // A refusal of what was typed, not an error nobody reported.
      QCOMPARE(std::string(refused.title), std::string("Dato no válido"));
      QCOMPARE(refused.style, message_style::kWarning);
      QCOMPARE(std::string(refused.error_id), std::string());
    }
    QCOMPARE(behind, QStringList({row.typed, row.typed, row.typed}));
    QCOMPARE(db.Count("Poliza_Servicio"), 0LL);
  }

  // A step in a field that shows no date goes from the server's day, never from the lowest
  // day, which only stands for blank; the wheel steps the field that has the focus.
  void aBlankDateStepsFromTheServersDay_data() {
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("held");
    QTest::newRow("Up") << "{Up}"
                        << "2024-03-16";
    QTest::newRow("Down") << "{Down}"
                          << "2024-03-14";
    QTest::newRow("PageUp") << "{PgUp}"
                            << "2024-03-25";
    QTest::newRow("the wheel") << "wheel"
                               << "2024-03-16";
  }
  void aBlankDateStepsFromTheServersDay() {
    QFETCH(QString, step);
    QFETCH(QString, held);
    TestDatabase db;
    StartDateDatabase(db);
    ScreenWindow window(db);
    FocusStartDate(window, true);
    StepStart(window, step);
    QCOMPARE(StartShown(window), Shows(held));
    window.Key(Qt::Key_S, Qt::ControlModifier);
    QVERIFY(window.dialogs.Messages().empty());
    // The save made a policy in its place, under the branch's next folio.
    QCOMPARE(
        QString::fromStdString(
            db.Scalar("SELECT Ps_Fecha_Inicia FROM Poliza_Servicio WHERE Ps_Folio = "
                      "(SELECT MAX(Ps_Folio) FROM Poliza_Servicio WHERE Ps_Folio LIKE 'MTY-%')"))
            .left(10),
        held);
  }

  // The field's own menu (a right click) takes the focus: its Aumentar takes the date typed
  // before it steps, or refuses it keeping the text, and its Cut and Copy act on the part of
  // the text typed that was selected.
  void theFieldsMenuActsOnTheDateTyped() {
    TestDatabase db;
    StartDateDatabase(db);
    ScreenWindow window(db);
    FocusStartDate(window, true);
    auto& start = window.desktop->WidgetAs<host::QtDateField>(kStart);
    const auto menu_opens = [&start] {
      QFocusEvent out(QEvent::FocusOut, Qt::PopupFocusReason);
      QApplication::sendEvent(&start, &out);
    };
    window.Play("15/2/20");
    menu_opens();
    start.stepUp();
    QCOMPARE(window.dialogs.Messages().size(), std::size_t{1});
    QCOMPARE(StartShown(window), QString("15/2/20"));
    QCOMPARE(StartHeld(window), QString());

    window.Play("24{Left}{Left}{Shift+Left}{Shift+Left}");
    menu_opens();
    auto* edit = start.findChild<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly);
    edit->copy();
    QCOMPARE(QApplication::clipboard()->text(), "20");
    edit->cut();
    QCOMPARE(StartShown(window), QString("15/2/24"));
    // Aumentar takes a date typed whole and steps it in the section of the cursor: the year.
    window.Play("{End}{Backspace}{Backspace}2025");
    menu_opens();
    start.stepUp();
    QCOMPARE(StartHeld(window), QString("2026-02-15"));
  }

  // A step goes in the section at the cursor, or selected, at that moment, by a key, the wheel
  // or the field's menu alike (which offers the step that section can take): after the typing
  // that moved on to the next section, after a date typed and taken (with the focus staying
  // in the field, also where there is no later date to step to), and in a field the screen
  // has just left blank (its day).
  void aStepGoesInTheSectionAtTheCursor_data() {
    QTest::addColumn<Step>("row");
    for (const Step& row : std::initializer_list<Step>{
             {"the day typed, Up", "2024-03-15", "15", false, "{Up}", "2024-04-15"},
             {"the day typed, Aumentar", "2024-03-15", "15", false, "Aumentar", "2024-04-15"},
             {"the last day typed, Aumentar", "2024-03-31", "31", false, "Aumentar", "2024-04-30"},
             {"the day and month typed, the wheel", "2024-03-15", "1503", false, "wheel",
              "2025-03-15"},
             {"a date typed, Up", "2024-03-15", "20042024", false, "{Up}", "2025-04-20"},
             {"a date typed, Aumentar", "2024-03-15", "20042024", false, "Aumentar", "2025-04-20"},
             {"the last date typed, Up", "2024-03-15", "{Ctrl+A}31/12/9999", false, "{Up}",
              "9999-12-31"},
             {"a date typed, the cursor in its month, Reducir", "2024-03-15",
              "1/2/2024{Left}{Left}{Left}{Left}{Left}", false, "Reducir", "2024-01-01"},
             {"the year clicked, then blank, Up", "2024-03-15", "{Click 8}", true, "{Up}",
              "2024-03-16"}})
      QTest::newRow(row.name) << row;
  }
  void aStepGoesInTheSectionAtTheCursor() {
    QFETCH(Step, row);
    TestDatabase db;
    ScreenWindow window(db);
    window.Alt(Qt::Key_N);
    PickStart(window, row.before);
    window.Widget(kStart).setFocus(Qt::TabFocusReason);
    window.Play(row.keys);
    if (row.blanked) {
      window.desktop->canvas().Run([&] { StartControl(window).SetValue(Variant()); });
      QCOMPARE(StartShown(window), QString());
    }
    StepStart(window, row.step);
    QVERIFY(window.dialogs.Messages().empty());
    QCOMPARE(StartHeld(window), QString(row.held));
    QCOMPARE(StartShown(window), Shows(row.held));
    QTRY_COMPARE(window.Focus(), kStart);
  }

  // A text pasted over the field's own date is kept as typed, as one pasted over a date being
  // typed is, by Ctrl+V and the menu's Pegar alike: read when the field is left, refused by
  // name or taken.
  // A date copied from elsewhere is shown in the field's form: a spreadsheet cell's line end
  // or tab dropped, other separators and a year written first taken as such.
  void aPastedTextIsKeptAsTyped_data() {
    QTest::addColumn<Paste>("row");
    for (const char* paste : {"{Ctrl+V}", "Pegar"}) {
      for (const char* typing : {"", "2"}) {
        const char* over = *typing ? "over a date being typed" : "over the field's date";
        QTest::addRow("%s, a date part way, %s", paste, over)
            << Paste{"", paste, typing, "7/12/26", "7/12/26", ""};
        QTest::addRow("%s, a date, %s", paste, over)
            << Paste{"", paste, typing, "20/1/2025", "20/1/2025", "2025-01-20"};
      }
    }
    for (const Paste& row : std::initializer_list<Paste>{
             {"a spreadsheet's cell", "{Ctrl+V}", "", "31/12/2026\r\n", "31/12/2026", "2026-12-31"},
             {"a tab after it", "Pegar", "2", "22/01/2027\t", "22/01/2027", "2027-01-22"},
             {"dashes", "{Ctrl+V}", "", "23-01-2027", "23/01/2027", "2027-01-23"},
             {"dots", "{Ctrl+V}", "", "24.1.2027", "24/1/2027", "2027-01-24"},
             {"the year first", "{Ctrl+V}", "", "2027-01-25", "25/01/2027", "2027-01-25"}})
      QTest::newRow(row.name) << row;
  }
  void aPastedTextIsKeptAsTyped() {
    QFETCH(Paste, row);
    TestDatabase db;
    ScreenWindow window(db);
    FocusStartDate(window, false);
    window.Type(row.typing);
    window.Key(Qt::Key_A, Qt::ControlModifier);
    QApplication::clipboard()->setText(row.pasted);
    StepStart(window, row.paste);  // a paste, by the keys or the menu's item
    QCOMPARE(StartShown(window), QString(row.shown));
    QCOMPARE(StartHeld(window), QString("2024-03-15"));

    window.Key(Qt::Key_Tab);
    if (*row.taken != '\0') {
      QVERIFY(window.dialogs.Messages().empty());
      QCOMPARE(StartHeld(window), QString(row.taken));
      QCOMPARE(window.Focus(), "cbCorte");
      return;
    }
    ExpectStartRefused(window, 1, "\"7/12/26\" no es una fecha", row.shown, "2024-03-15");
  }

  // The calendar picks the day on Enter; one opened in a field that shows no date starts on
  // the server's day. Esc closes it on the date held before, and the screen is never told of
  // the days passed on the way.
  void aDayIsPickedFromTheCalendar_data() {
    QTest::addColumn<bool>("blank");
    QTest::addColumn<QString>("keys");  // in the open calendar
    QTest::addColumn<QString>("held");
    for (const bool blank : {true, false}) {
      const char* field = blank ? "no date" : "a date";
      QTest::addRow("%s, Enter", field) << blank << "{Right}{Right}{Return}"
                                        << "2024-03-17";
      QTest::addRow("%s, Esc", field)
          << blank << "{Right}{Right}{Esc}" << (blank ? "" : "2024-03-15");
    }
  }
  void aDayIsPickedFromTheCalendar() {
    QFETCH(bool, blank);
    QFETCH(QString, keys);
    QFETCH(QString, held);
    TestDatabase db;
    StartDateDatabase(db);
    ScreenWindow window(db);
    FocusStartDate(window, blank);
    auto& start = window.desktop->WidgetAs<host::QtDateField>(kStart);
    window.Key(Qt::Key_F4);
    QTRY_VERIFY(start.calendarWidget()->isVisible());
    QCOMPARE(start.calendarWidget()->selectedDate(), QDate(2024, 3, 15));
    QCOMPARE(QApplication::focusWidget(), start.calendarWidget()->findChild<QAbstractItemView*>());
    window.Play(keys);
    QTRY_VERIFY(!start.calendarWidget()->isVisible());
    QTRY_COMPARE(window.Focus(), kStart);
    QCOMPARE(StartHeld(window), held);
    QCOMPARE(StartShown(window), Shows(held));
    if (keys.endsWith("{Esc}")) {
      window.Key(Qt::Key_Escape);  // nothing changed: no question
      QVERIFY(!window.Capturing());
      QVERIFY(window.dialogs.Messages().empty());
    }
  }

  // The calendar opens on the date typed, taken first with the focus staying in the field;
  // one refused is said and left to be put right, and the calendar stays shut.
  void theCalendarOpensOnTheDateTyped_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("open");  // keys in braces, or "arrow"
    for (const char* open : {"{F4}", "{Alt+Down}", "arrow"}) {
      QTest::addRow("a date, %s", open) << "1/2/2024" << open;
      QTest::addRow("the 31st of April, %s", open) << "31/4/2024" << open;
    }
  }
  void theCalendarOpensOnTheDateTyped() {
    QFETCH(QString, typed);
    QFETCH(QString, open);
    TestDatabase db;
    ScreenWindow window(db);
    FillCapture(window);
    auto& start = window.desktop->WidgetAs<host::QtDateField>(kStart);
    start.setFocus(Qt::TabFocusReason);
    window.Type(typed);
    if (open == "arrow")
      QTest::mouseClick(&start, Qt::LeftButton, Qt::NoModifier,
                        QPoint(start.width() - 4, start.height() / 2));
    else
      window.Play(open);
    QCoreApplication::processEvents();

    if (typed == "1/2/2024") {
      QTRY_VERIFY(start.calendarWidget()->isVisible());
      QCOMPARE(start.calendarWidget()->selectedDate(), QDate(2024, 2, 1));
      QCOMPARE(StartHeld(window), "2024-02-01");
      QCOMPARE(window.desktop->canvas().focus().FocusedName(), kStart);
      window.Key(Qt::Key_Escape);
      QTRY_VERIFY(!start.calendarWidget()->isVisible());
      QTRY_COMPARE(window.Focus(), kStart);
      QCOMPARE(StartShown(window), QString("01/02/2024"));
      QCOMPARE(StartHeld(window), "2024-02-01");
      QVERIFY(window.dialogs.Messages().empty());
      return;
    }
    QVERIFY(!start.calendarWidget()->isVisible());
    ExpectStartRefused(window, 1, "abril de 2024 tiene 30 días", typed, "2024-03-15");
    window.Play("{Home}{Delete}{Delete}30{Tab}");  // the text kept, put right
    QCOMPARE(StartHeld(window), "2024-04-30");
    QCOMPARE(window.dialogs.Messages().size(), std::size_t{1});
  }

  // The wheel passing over a field that does not have the focus (a date, the cut-off day)
  // leaves it as it was, and the focus where it is. Only a date's digits and slashes are
  // pasted into a date field; a date typed there is taken when a click leaves the field, and
  // one typed part way is refused and kept.
  void aDateFieldTakesOnlyADate() {
    TestDatabase db;
    StartDateDatabase(db);
    ScreenWindow window(db);
    FocusStartDate(window, true);
    window.Widget("txtReferencia").setFocus(Qt::TabFocusReason);
    const QStringList before = window.Shown({kStart, "dp_Ps_Fecha", "cbCorte"});
    QCOMPARE(before[0], "");
    QVERIFY(!before[2].isEmpty());
    for (const char* field : {kStart, "dp_Ps_Fecha", "cbCorte"}) WheelUp(window.Widget(field));
    QCOMPARE(window.Shown({kStart, "dp_Ps_Fecha", "cbCorte"}), before);
    QCOMPARE(window.Focus(), "txtReferencia");
    QCOMPARE(StartHeld(window), "");
    window.Key(Qt::Key_Escape);  // nothing changed: no question
    QVERIFY(!window.Capturing());
    QVERIFY(window.dialogs.Messages().empty());

    FocusStartDate(window, true);
    QApplication::clipboard()->setText("DAB-31020/01/20");
    window.Key(Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(StartShown(window), QString());
    window.Key(Qt::Key_A, Qt::ControlModifier);
    window.Key(Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(StartShown(window), QString());

    window.Key(Qt::Key_A, Qt::ControlModifier);
    window.Paste("20/1/2024");
    QCOMPARE(StartShown(window), QString("20/1/2024"));
    window.Click("txtReferencia");
    QCoreApplication::processEvents();
    QVERIFY(window.dialogs.Messages().empty());
    QCOMPARE(StartHeld(window), QString("2024-01-20"));
    QCOMPARE(StartShown(window), QString("20/01/2024"));

    window.Click(*window.Widget(kStart).findChild<QLineEdit*>());  // its text
    window.Key(Qt::Key_End);
    window.Key(Qt::Key_Backspace);
    window.Click("txtReferencia");
    QCoreApplication::processEvents();
    ExpectStartRefused(window, 1, "", "20/01/202", "2024-01-20");
  }

  // Esc takes back typing before it cancels; Ctrl+S and F10 save; F4 and Alt+Down open the
  // calendar, F4 the cut-off day's list, and Esc with a pop-up open closes the pop-up alone:
  // the capture stays, and the focus with the field.
  void theKeyboardReachesEveryCommand() {
    TestDatabase db;
    ScreenWindow window(db);
    window.Alt(Qt::Key_N);
    window.Key(Qt::Key_Tab);
    window.Type("typed");
    window.Key(Qt::Key_Escape);
    QCOMPARE(window.Shown({"txtReferencia"}), QStringList({""}));
    QVERIFY(window.Capturing());
    window.Key(Qt::Key_Escape);  // nothing was taken: no question
    QVERIFY(!window.Capturing());
    QVERIFY(window.dialogs.Messages().empty());

    for (const QKeyCombination save :
         {QKeyCombination(Qt::CTRL, Qt::Key_S), QKeyCombination(Qt::Key_F10)}) {
      FillCapture(window);
      window.Key(save.key(), save.keyboardModifiers());
      QVERIFY(window.dialogs.Messages().empty());
    }
    QCOMPARE(db.Count("Poliza_Servicio"), 2LL);

    window.Alt(Qt::Key_N);
    auto& date = window.desktop->WidgetAs<host::QtDateField>("dp_Ps_Fecha");
    QCOMPARE(QApplication::focusWidget(), &date);
    for (const QKeyCombination open :
         {QKeyCombination(Qt::Key_F4), QKeyCombination(Qt::ALT, Qt::Key_Down)}) {
      window.Key(open.key(), open.keyboardModifiers());
      QTRY_VERIFY(date.calendarWidget()->isVisible());
      // The calendar, made when it first opens, wears the date fields' colours.
      auto* title = date.calendarWidget()->findChild<QWidget*>("qt_calendar_navigationbar");
      QVERIFY(title != nullptr);
      const QWidget* previous = title->findChild<QWidget*>("qt_calendar_prevmonth");
      QVERIFY(previous != nullptr);  // the bar between its buttons
      QCOMPARE(title->grab().toImage().pixelColor(previous->geometry().right() + 3, 2),
               QColor(137, 177, 201));
      QCOMPARE(
          date.calendarWidget()->findChild<QAbstractItemView*>()->palette().color(QPalette::Base),
          QColor(255, 255, 192));
      window.Key(Qt::Key_Escape);
      QTRY_VERIFY(!date.calendarWidget()->isVisible());
      QVERIFY(window.Capturing());
      QTRY_COMPARE(window.Focus(), "dp_Ps_Fecha");
    }
    QCOMPARE(date.date(), QDate(2024, 3, 15));  // opening it picked nothing
    window.Widget("cbCorte").setFocus(Qt::TabFocusReason);
    window.Key(Qt::Key_F4);
    QWidget* list = window.desktop->WidgetAs<host::QtComboBox>("cbCorte").view();
    QTRY_VERIFY(list->isVisible());
    window.Key(Qt::Key_Escape);
    QTRY_VERIFY(!list->isVisible());
    QVERIFY(window.Capturing());
    QCOMPARE(window.Focus(), "cbCorte");
    QVERIFY(window.dialogs.Messages().empty());
  }

  // A date of any year the screen takes is shown as it is, not blank nor moved, the first day
  // of all too; only a field left empty shows blank. A policy stored starting on the first
  // day of all shows it, and one stored without a start shows blank; the first day is typed
  // as any other, and Down cannot take it on to blank.
  void theFirstDayIsADateAndBlankIsNone() {
    TestDatabase db;
    StartDateDatabase(db);
    db.Execute(
        "UPDATE Poliza_Servicio SET Ps_Fecha_Inicia = '0100-01-01' "
        "WHERE Ps_Folio = 'MTY-000002'");
    ScreenWindow window(db);
    window.Load("mty-2");
    QCOMPARE(StartShown(window), QString("01/01/0100"));
    window.Load("mty-1");
    QCOMPARE(StartShown(window), QString());
    window.Alt(Qt::Key_M);
    window.Widget(kStart).setFocus(Qt::TabFocusReason);
    window.Play("01/01/0100{Tab}");
    QVERIFY(window.dialogs.Messages().empty());
    QCOMPARE(StartHeld(window), "0100-01-01");
    QCOMPARE(StartShown(window), QString("01/01/0100"));
    window.Widget(kStart).setFocus(Qt::TabFocusReason);
    window.Key(Qt::Key_Down);
    QCOMPARE(StartShown(window), QString("01/01/0100"));
    QCOMPARE(StartHeld(window), "0100-01-01");
    QVERIFY(window.dialogs.Messages().empty());
    for (const char* day : {"1700-05-01", "0100-01-02", "0100-01-01", "1753-01-01", "9999-12-31"}) {
      PickStart(window, day);
      QCOMPARE(StartShown(window), Shows(day));
    }
    window.desktop->canvas().Run([&] { StartControl(window).SetValue(Variant()); });
    QCOMPARE(StartShown(window), QString());
  }

  // Every field label takes Alt and a letter of its own (never a toolbar command's) to
  // its field; an Alt letter nothing takes types nothing.
  void fieldLabelsTakeAltToTheirFields() {
    TestDatabase db;
    ScreenWindow window(db);
    window.Alt(Qt::Key_N);
    QString keys = window.Toolbar().Keys();
    int linked = 0;
    for (QLabel* label : window.desktop->canvas().findChildren<QLabel*>()) {
      if (label->buddy() == nullptr) continue;
      ++linked;
      const QKeySequence key = QKeySequence::mnemonic(label->text());
      const QString letter = key.toString().right(1);
      QVERIFY2(!keys.contains(letter), qPrintable(label->text()));
      keys += letter;
      if (!label->buddy()->isEnabled()) continue;
      window.Alt(static_cast<Qt::Key>(key[0].key()));
      QVERIFY2(QApplication::focusWidget() == label->buddy(), qPrintable(label->text()));
    }
    QCOMPARE(linked, 12);  // the fields that can take input, the folio among them

    // Back at the folio, the letters that nothing takes type nothing over the folio selected.
    window.Alt(Qt::Key_C);
    window.Type("mty-1");
    window.Key(Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(window.Focus(), std::string("txtFolio"));
    for (char letter = 'A'; letter <= 'Z'; ++letter)
      if (!keys.contains(letter)) window.Alt(static_cast<Qt::Key>(letter));
    QCOMPARE(window.Shown({"txtFolio"}), QStringList({"MTY-1"}));
    QCOMPARE(window.Focus(), std::string("txtFolio"));
  }

  // Every control where the layout table puts it, and no caption cut off; a wider window
  // keeps the form centred under a toolbar that spans it.
  void widgetsSitAtTheirLayoutPositions() {
    TestDatabase db;
    ScreenWindow window(db);
    const ScreenLayout& layout = frmNV407Layout();
    host::ScreenCanvas& canvas = window.desktop->canvas();
    QCOMPARE(canvas.size(),
             QSize(host::ToPixels(layout.client_width), host::ToPixels(layout.client_height)));
    for (const ControlLayout& row : layout.controls) {
      if (row.kind == ControlKind::kColorScheme) continue;
      QWidget& widget = window.desktop->Widget(row.name, row.index);
      QCOMPARE(widget.geometry(), host::ToPixels(row.position));
      if (auto* label = qobject_cast<QLabel*>(&widget)) {
        const QString caption = QString(label->text()).remove('&');
        const int needed = label->fontMetrics().horizontalAdvance(caption);
        QVERIFY2(needed <= label->contentsRect().width(), qPrintable(caption));
      }
      if (auto* button = qobject_cast<QPushButton*>(&widget)) {
        const int needed = button->fontMetrics().horizontalAdvance(button->text());
        QVERIFY2(needed < button->width(), qPrintable(button->text()));
      }
    }

    // The window carries the icon the package installs (a resource of the program).
    QCOMPARE(window.desktop->window().windowIcon().pixmap(64).size(), QSize(64, 64));

    window.desktop->window().resize(window.desktop->window().size() + QSize(200, 100));
    QTRY_COMPARE(canvas.width(), host::ToPixels(layout.client_width) + 200);
    const auto folio =
        std::find_if(layout.controls.begin(), layout.controls.end(),
                     [](const ControlLayout& row) { return row.name == "txtFolio"; });
    QCOMPARE(window.Widget("txtFolio").geometry(),
             host::ToPixels(folio->position).translated(100, 0));
    QCOMPARE(window.Widget("Controles").width(), canvas.width());
  }

  // The demo's story: a cancelled policy is marked while it is shown, a live one is not, nor
  // one whose load stopped at an error (a counter without value), which leaves it inactive.
  // Only a live one offers its counters' reset. The folio shown typed again loads its policy
  // again: one cancelled meanwhile is marked.
  void aCancelledPolicyIsMarked() {
    TestDatabase db;
    host::LoadDemoPolicies(db.sql(), PinnedNow());
    db.Execute(
        "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = NULL WHERE Ps_Folio = "
        "'QRO-000001' AND Ts_Cve_Tipo_Servicio = 'SOPSITIO'");
    ScreenWindow window(db);
    QWidget* mark = window.Toolbar().findChild<QLabel*>("cancelled");
    window.Load("mty-5");
    QCOMPARE(window.Shown({"txtFolio"}), QStringList({"MTY-000005"}));
    QVERIFY(mark->isVisible());
    QVERIFY(!window.Command(host::ToolbarCommand::kBaja).isEnabled());
    QWidget& reset = window.Widget("cmdInicializa");
    window.Load("mty-6");
    QVERIFY(!mark->isVisible());
    QVERIFY(reset.isEnabled());
    window.Load("mty-999");  // not found
    QVERIFY(!reset.isEnabled());
    window.Load("mty-6");
    QVERIFY(reset.isEnabled());
    window.Load("mty-5");
    QVERIFY(!reset.isEnabled());
    window.Alt(Qt::Key_N);  // a new capture shows no record
    QVERIFY(!mark->isVisible());
    window.Alt(Qt::Key_C);
    window.Load("mty-5");
    QVERIFY(mark->isVisible());
    window.Load("qro-1");
    QCOMPARE(window.dialogs.Messages().size(), std::size_t{1});  // the counter without value
    QVERIFY(!window.Command(host::ToolbarCommand::kModificar).isEnabled());
    QVERIFY(!mark->isVisible());

    window.Load("mty-6");
    QVERIFY(window.Command(host::ToolbarCommand::kBaja).isEnabled());
    db.Execute("UPDATE Poliza_Servicio SET Es_Cve_Estado = 'CA' WHERE Ps_Folio = 'MTY-000006'");
    window.Load("MTY-000006");
    QVERIFY(mark->isVisible());
    QVERIFY(!window.Command(host::ToolbarCommand::kBaja).isEnabled());
  }

  // A save that waits for another session's lock says so and shows a busy cursor until the
  // wait is over.
  void aWaitForAnotherSessionIsShown() {
    QTemporaryDir folder;
    const std::string path = folder.filePath("polizas.db").toStdString();
    std::unique_ptr<host::Database> database = host::OpenSqliteDatabase(
        path, {.create = true, .clock = [] { return PinnedNow(); }, .busy_timeout_ms = 300});
    host::CreateSchema(database->ForHost(), host::SqlDialect::kSqlite);
    host::LoadDemoData(database->ForHost());
    host::LoadDemoPolicies(database->ForHost(), PinnedNow());
    ScreenWindow window(*database, host::SessionSettings{kOperatorWithPermissions, {}});
    window.Load("mty-1");
    QSignalSpy said(window.desktop->window().statusBar(), &QStatusBar::messageChanged);

    std::unique_ptr<host::Database> other = host::OpenSqliteDatabase(path);
    other->ForHost().BeginTrans();  // holds the write lock
    window.dialogs.QueueAnswer(message_answer::kYes);
    window.Alt(Qt::Key_B);
    other->ForHost().RollbackTrans();

    QStringList lines;
    for (const QList<QVariant>& signal : said) lines << signal.at(0).toString();
    QVERIFY2(lines.contains(host::kLockWaitStatus), qPrintable(lines.join(" | ")));
    QVERIFY(QApplication::overrideCursor() == nullptr);
    const std::vector<host::MessageCall> messages = window.dialogs.Messages();
    QCOMPARE(messages.back().request.error_id, "ERR-ID:7500013");  // Baja failed
  }
};

}  // namespace nv407::testing

QTEST_MAIN(nv407::testing::ScreenWindowTest)
#include "screen_window_test.moc"
