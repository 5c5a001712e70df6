// What the desktop host adds around the screen: the policy finder, the status bar's glance
// at the shown policy, Renovar and the viewer's usage bars, on the demo's policies.
#include <pwd.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolTip>
#include <algorithm>
#include <optional>

#include "host/lists/policy_list.h"
#include "host/qt/command_line.h"
#include "host/qt/list_model.h"
#include "host/qt/policy_finder.h"
#include "host/qt/record_page.h"
#include "host/qt/spanish.h"
#include "host/qt/synthetic_input.h"
#include "support/faults.h"
#include "support/test_backend.h"
#include "window_fixture.h"

namespace nv407::testing {
namespace {

// The demo as of the pinned day (2024-03-15).
struct DemoWindow {
  DemoWindow() { host::LoadDemoPolicies(db.sql(), PinnedNow()); }
  TestDatabase db;
  ScreenWindow window{db};
  QString Glance() { return window.desktop->window().Glance(); }
};

// The status bar's glance is drawn whole, and no section runs under the next one.
bool StatusBarWhole(const QMainWindow& window) {
  QList<QLabel*> sections;
  for (QLabel* label : window.statusBar()->findChildren<QLabel*>())
    if (label->isVisible() && !label->text().isEmpty()) sections << label;
  std::sort(sections.begin(), sections.end(),
            [](const QLabel* a, const QLabel* b) { return a->x() < b->x(); });
  for (qsizetype i = 0; i + 1 < sections.size(); ++i)
    if (sections[i]->geometry().right() >= sections[i + 1]->x()) return false;
  const auto* glance = window.findChild<QLabel*>("glance");
  return glance->isHidden() || glance->width() >= glance->sizeHint().width();
}

// The status bar's message is drawn whole: from its start to the first section shown, as
// QStatusBar leaves it room.
bool MessageWhole(const QMainWindow& window) {
  const QStatusBar& bar = *window.statusBar();
  int room = bar.width() - 12;
  for (QLabel* label : bar.findChildren<QLabel*>())
    if (label->isVisible()) room = std::min(room, label->x() - 2);
  return bar.fontMetrics().horizontalAdvance(bar.currentMessage()) <= room - 6;
}

QStringList Folios(const host::PolicyFinder& finder) {
  QStringList folios;
  for (int row = 0; row < finder.Model().rowCount(); ++row)
    folios << QString::fromStdString(finder.Model().Row(row).front());
  return folios;
}

// `path` opened as the user nobody where the test runs as root (who writes write-protected
// files), then root again: the file keeps the access it was opened with.
std::unique_ptr<host::Database> OpenedAsNobody(const std::string& path) {
  const passwd* nobody = ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
  if (nobody != nullptr && (::setresgid(nobody->pw_gid, nobody->pw_gid, 0) != 0 ||
                            ::setresuid(nobody->pw_uid, nobody->pw_uid, 0) != 0))
    throw Error("cannot become nobody");
  std::unique_ptr<host::Database> database = host::OpenSqliteDatabase(path);
  if (nobody != nullptr && (::setresuid(0, 0, 0) != 0 || ::setresgid(0, 0, 0) != 0))
    throw Error("cannot become root again");
  return database;
}

}  // namespace

class BeyondScreenTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { host::UseSpanish(*QCoreApplication::instance()); }

  // A database the window may only read says why in the status bar, in the words the other
  // programs use.
  void aReadOnlyDatabaseSaysWhyInTheStatusBar() {
    QTemporaryDir folder;
    QVERIFY(QFile::setPermissions(folder.path(), QFileDevice::Permissions(0x7777)));
    const std::string path = folder.filePath("polizas.db").toStdString();
    host::OpenProgramDatabase({}, path, {});  // made as the demo
    QVERIFY(QFile::setPermissions(QString::fromStdString(path), QFileDevice::ReadOwner |
                                                                    QFileDevice::ReadGroup |
                                                                    QFileDevice::ReadOther));
    std::unique_ptr<host::Database> database = OpenedAsNobody(path);
    QVERIFY(database->ReadOnly());
    ScreenWindow window(*database, host::SessionSettings{kOperatorWithPermissions, PinnedNow});

    const auto* label = window.desktop->window().findChild<QLabel*>("readOnly");
    QVERIFY(label->isVisible());
    QVERIFY2(label->toolTip().contains("(the file is write-protected)"),
             qPrintable(label->toolTip()));
  }

  // F2 in the folio field: typing filters, a quick filter narrows, a header click sorts,
  // and Enter loads the picked policy as typing its folio would. The text is a one-line box:
  // the line break of a client's key pasted into it is dropped, and the key finds the
  // client's policies.
  void theFinderFiltersSortsAndLoadsThePickedFolio() {
    DemoWindow demo;
    QString pasted;
    QStringList by_key, by_name, expiring, used_up, by_use, days;
    const host::StopWatching watch(host::WhenShown<host::PolicyFinder>([&](host::PolicyFinder& f) {
      QApplication::clipboard()->setText("C000\n03");
      QTest::keyClick(f.Filter(), Qt::Key_V, Qt::ControlModifier);
      pasted = f.Filter()->text();
      by_key = Folios(f);
      QTest::keyClick(f.Filter(), Qt::Key_A, Qt::ControlModifier);
      host::TypeKeys(*f.Filter(), "ruiz");
      by_name = Folios(f);
      QTest::mouseClick(f.FilterButton(host::PolicyFilter::kExpiring), Qt::LeftButton);
      expiring = Folios(f);  // soonest end first, ties by folio
      for (int value : {1, 0, 40}) {
        f.Days()->setValue(value);
        days << f.Days()->text();
      }
      QTest::mouseClick(f.FilterButton(host::PolicyFilter::kNearlyUsedUp), Qt::LeftButton);
      used_up = Folios(f);
      QTest::keyClick(f.Filter(), Qt::Key_A, Qt::ControlModifier);
      QTest::keyClick(f.Filter(), Qt::Key_Delete);
      f.List()->horizontalHeader()->setSortIndicator(host::kPolicyUsage, Qt::DescendingOrder);
      by_use = Folios(f);
      QTest::keyClick(f.Filter(), Qt::Key_Down);
      QTest::keyClick(f.Filter(), Qt::Key_Return);
    }));
    demo.window.Click("txtFolio");
    demo.window.Key(Qt::Key_F2);

    QCOMPARE(pasted, QString("C00003"));
    QVERIFY2(by_key.contains("MTY-000002"), qPrintable(by_key.join(' ')));
    QCOMPARE(by_name, QStringList({"GDL-000003", "QRO-000003"}));  // Despacho Contable Ruiz
    QCOMPARE(expiring, QStringList({"GDL-000003", "QRO-000003"}));
    QCOMPARE(used_up, QStringList({"GDL-000003"}));  // exactly 80 %
    QCOMPARE(days, QStringList({"1 día", "0 días", "40 días"}));
    QVERIFY(by_use.size() > 5);
    // 105 %, then the policies used up, ties by folio in the same direction
    QCOMPARE(by_use.mid(0, 3), QStringList({"GDL-000006", "QRO-000002", "MTY-000009"}));
    // The second row, loaded: the folio box holds it, the screen shows it live.
    QCOMPARE(demo.window.Shown({"txtFolio"}), QStringList({"QRO-000002"}));
    QCOMPARE(demo.window.Focus(), std::string("txtFolio"));
    QVERIFY(demo.window.Command(host::ToolbarCommand::kModificar).isEnabled());
  }

  // A folio stored in lower case is listed as stored; the folio field would read it as
  // another policy's: picked, it is refused with a warning and not entered.
  void aPickedFolioTheFolioFieldWouldAlterIsNotEntered() {
    DemoWindow demo;
    demo.db.Execute(
        "INSERT INTO Poliza_Servicio (Ps_Folio, Sc_Cve_Sucursal, Cl_Cve_Cliente) VALUES "
        "('mty-000001', 'MTY', 'C00010')");
    QStringList listed;
    const host::StopWatching watch(host::WhenShown<host::PolicyFinder>([&](host::PolicyFinder& f) {
      host::TypeKeys(*f.Filter(), "ruiz");
      listed = Folios(f);
      f.List()->setCurrentIndex(f.Model().index(int(listed.indexOf("mty-000001")), 0));
      QTest::keyClick(f.Filter(), Qt::Key_Return);
    }));
    demo.window.Click("txtFolio");
    demo.window.Key(Qt::Key_F2);

    QVERIFY2(listed.contains("mty-000001"), qPrintable(listed.join(' ')));
    const std::vector<host::MessageCall> messages = demo.window.dialogs.Messages();
    QCOMPARE(messages.size(), std::size_t{1});
    QVERIFY2(
        messages.front().request.text.find("lo tomaría como «MTY-000001»") != std::string::npos,
        messages.front().request.text.c_str());
    QCOMPARE(demo.window.Shown({"txtFolio", "txt_Cl_Cve_Cliente"}), QStringList({"", ""}));
  }

  // The finder reads the database as it opens: a failure there is told as a command's is,
  // and the window goes on, its folio field as it was.
  void aFinderThatCannotReadTheDatabaseIsToldAndTheWindowGoesOn() {
    TestDatabase db;
    testing::FaultyDatabase faulty(db.db());
    ScreenWindow window(faulty, host::SessionSettings{kOperatorWithPermissions, db.clock()});
    window.Click("txtFolio");
    faulty.Arm(1);
    window.Key(Qt::Key_F2);
    const std::vector<host::MessageCall> messages = window.dialogs.Messages();
    QCOMPARE(messages.size(), std::size_t{1});
    QVERIFY2(messages.front().request.text.find(testing::FaultyDatabase::FailureText(1)) !=
                 std::string::npos,
             messages.front().request.text.c_str());
    QCOMPARE(window.Focus(), std::string("txtFolio"));
    QVERIFY(window.Widget("txtFolio").isEnabled());
  }

  // Enter picks a row only from the text or the list: in the days box it lists what ends
  // within them, on a focused quick filter it presses it, and the finder stays open. A name
  // that its column cuts shows whole in the cell's tooltip; a name shown whole has none.
  // Picking the policy already shown reads it again: another session changed it meanwhile.
  void enterInTheFinderPicksOnlyFromTheTextOrTheList() {
    DemoWindow demo;
    const QString longest = "Distribuidora Alimentaria del Bajío, S.A. de C.V.";
    QString wide_tip = "not asked", narrow_tip = "not asked";
    struct Seen {
      bool open;
      QString focus, filter;  // the quick filter's caption and the days
      QStringList folios;
    };
    std::vector<Seen> seen;
    std::optional<host::StopWatching> watch(
        host::WhenShown<host::PolicyFinder>([&](host::PolicyFinder& f) {
          QTableView& list = *f.List();
          const auto tip = [&] {
            for (int row = 0; row < f.Model().rowCount(); ++row) {
              const QModelIndex cell = f.Model().index(row, host::kPolicyClientName);
              if (cell.data().toString() != longest) continue;
              list.scrollTo(cell);
              const QPoint at = list.visualRect(cell).center();
              QHelpEvent help(QEvent::ToolTip, at, list.viewport()->mapToGlobal(at));
              QCoreApplication::sendEvent(list.viewport(), &help);
              return QToolTip::isVisible() ? QToolTip::text() : QString();
            }
            return QString("no row of ") + longest;
          };
          for (auto [width, asked] : {std::pair{1600, &wide_tip}, {840, &narrow_tip}}) {
            f.resize(width, f.height());
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            *asked = tip();
          }
          const auto look = [&] {
            QString filter;
            for (auto chosen : {host::PolicyFilter::kAll, host::PolicyFilter::kExpiring,
                                host::PolicyFilter::kCancelled})
              if (f.FilterButton(chosen)->isChecked()) filter = f.FilterButton(chosen)->text();
            const QWidget* focused = f.focusWidget();
            seen.push_back({f.isVisible(), focused ? focused->objectName() : QString(),
                            filter + " " + f.Days()->text(), Folios(f)});
          };
          f.Days()->setFocus();
          f.Days()->selectAll();
          QTest::keyClicks(f.Days(), "40");
          QTest::keyClick(f.Days(), Qt::Key_Return);
          look();
          QAbstractButton& cancelled = *f.FilterButton(host::PolicyFilter::kCancelled);
          cancelled.setFocus();
          QTest::keyClick(&cancelled, Qt::Key_Enter);
          look();
          f.List()->setFocus();
          QTest::keyClick(f.List(), Qt::Key_Return);
          look();
          if (f.isVisible()) f.reject();
        }));
    demo.window.Click("txtFolio");
    demo.window.Key(Qt::Key_F2);

    QCOMPARE(seen.size(), std::size_t{3});
    QVERIFY(seen[0].open);
    QCOMPARE(seen[0].focus + " | " + seen[0].filter, QString("days | Por &vencer en 40 días"));
    // soonest end first
    QCOMPARE(seen[0].folios,
             QStringList({"CDMX-00004", "GDL-000003", "MTY-000002", "MTY-000003", "MTY-000009",
                          "QRO-000002", "QRO-000003", "CDMX-00002", "CDMX-00005", "GDL-000006"}));
    QVERIFY(seen[1].open);
    QCOMPARE(seen[1].filter, QString("Ca&nceladas 40 días"));
    QCOMPARE(seen[1].folios, QStringList({"MTY-000005", "GDL-000004"}));
    QVERIFY(!seen[2].open);  // Enter in the list picks, as ever
    QCOMPARE(demo.window.Shown({"txtFolio"}), QStringList({"MTY-000005"}));
    QCOMPARE(demo.window.Focus(), std::string("txtFolio"));
    QCOMPARE(wide_tip, QString());
    QCOMPARE(narrow_tip, longest);

    watch.reset();
    demo.window.Load("mty-1");
    const QString before = demo.window.Shown({"txtReferencia"}).front();
    demo.db.Execute(
        "UPDATE Poliza_Servicio SET Ps_Referencia = 'OC-CAMBIADA' WHERE Ps_Folio = 'MTY-000001'");
    watch.emplace(host::WhenShown<host::PolicyFinder>([&](host::PolicyFinder& f) {
      host::TypeKeys(*f.Filter(), "mty-1");
      QTest::keyClick(f.Filter(), Qt::Key_Return);
    }));
    demo.window.Key(Qt::Key_B, Qt::ControlModifier);
    QVERIFY(before != "OC-CAMBIADA");
    QCOMPARE(demo.window.Shown({"txtFolio", "txtReferencia"}),
             QStringList({"MTY-000001", "OC-CAMBIADA"}));
    QCOMPARE(demo.window.Focus(), std::string("txtFolio"));
    QVERIFY(demo.window.Command(host::ToolbarCommand::kModificar).isEnabled());
  }

  // A live policy shown gets its most used service and its end in the status bar, graded;
  // a cancelled one or a new capture none. A message takes the glance's room while it is
  // shown, at the window's own size, and the database's name shortens for it; the next
  // policy shown has its glance again.
  void theStatusBarGlancesAtTheShownPolicy() {
    DemoWindow demo;
    // A file named at length leaves the glance less room.
    demo.window.desktop->window().ShowDatabase(
        "/srv/polizas/respaldo de la oficina de Guadalajara, cierre anual de 2024.db", false);
    for (const auto& [folio, glance] : std::initializer_list<std::pair<QString, QString>>{
             // used up, ending this month
             {"mty-3", "VISITA: 1 de 1 evento (100%) · Vence en 16 días"},
             {"gdl-3", "SOPREM: 8 de 10 horas (80%) · Vence en 16 días"},  // exactly 80 %
             {"gdl-6", "SOPREM: 126 de 120 horas (105%) · Vence en 30 días"},
             {"mty-4", "SOPSITIO: 8.5 de 8.5 horas (100%) · Vencida el 28/01/2024"},
             {"mty-8", "Vigente hasta el 14/08/2024"},  // no services, far from its end
             {"gdl-4", ""}}) {                          // cancelled
      demo.window.Load(folio);
      QTRY_COMPARE(folio + ": " + demo.Glance(), folio + ": " + glance);
      QTRY_VERIFY2(StatusBarWhole(demo.window.desktop->window()), qPrintable(folio));
    }
    demo.window.Load("mty-3");
    QTRY_VERIFY(!demo.Glance().isEmpty());
    demo.window.Alt(Qt::Key_N);
    QTRY_COMPARE(demo.Glance(), QString());
    demo.window.Alt(Qt::Key_C);

    demo.window.Load("gdl-6");
    QTRY_VERIFY(!demo.Glance().isEmpty());
    demo.window.dialogs.QueueAnswer(message_answer::kYes);
    demo.window.Click("cmdInicializa");
    QCOMPARE(demo.window.Status(), QString("Contadores reiniciados: póliza GDL-000006"));
    QTRY_VERIFY(MessageWhole(demo.window.desktop->window()));
    QVERIFY(StatusBarWhole(demo.window.desktop->window()));
    demo.window.Load("mty-3");
    QTRY_COMPARE(demo.Glance(), QString("VISITA: 1 de 1 evento (100%) · Vence en 16 días"));
    QCOMPARE(demo.window.Status(), QString());
  }

  // Ctrl+R on a live policy starts its renewal; the menu offers it only then; nothing is
  // stored until Aceptar. Ctrl+R with a folio typed but not entered shows that policy and
  // stops there, so that the operator sees what is renewed: a policy that cannot be renewed
  // (cancelled, not there) gets no refusal besides the load's own, and a live one its renewal
  // at the next Ctrl+R.
  void renovarStartsTheRenewalOfTheShownPolicy() {
    DemoWindow demo;
    QAction* renew = demo.window.desktop->window().RenewAction();
    QTRY_VERIFY(!renew->isEnabled());
    demo.window.Load("mty-2");
    QTRY_VERIFY(renew->isEnabled());
    const long long policies = demo.db.Count("Poliza_Servicio");

    demo.window.Key(Qt::Key_R, Qt::ControlModifier);

    QCOMPARE(demo.window.Shown({"txt_Sc_Cve_Sucursal", "txt_Vn_Cve_Vendedor", "txt_Cl_Cve_Cliente",
                                "cbCorte", "txt_Tps_Cve_Tipo_Poliza"}),
             QStringList({"MTY", "V002", "C00003", "10", "MANT90"}));
    QCOMPARE(demo.window.Shown({"dp_Ps_Fecha_Inicio", "dp_Ps_Fecha_Fin"}),
             QStringList({"01/04/2024", "29/06/2024"}));
    QTRY_VERIFY(!renew->isEnabled());
    QCOMPARE(demo.db.Count("Poliza_Servicio"), policies);
    demo.window.Key(Qt::Key_S, Qt::ControlModifier);  // Aceptar
    QCOMPARE(demo.db.Count("Poliza_Servicio"), policies + 1);
    QCOMPARE(demo.window.Status(), QString("Póliza MTY-000011 guardada"));

    for (const auto& [typed, shown] : std::initializer_list<std::pair<QString, QString>>{
             {"gdl-4", "GDL-000004"}, {"mty-99", "MTY-000099"}, {"mty-3", "MTY-000003"}}) {
      demo.window.Load("mty-2");
      QTRY_VERIFY(renew->isEnabled());
      demo.window.Click("txtFolio");
      demo.window.Key(Qt::Key_A, Qt::ControlModifier);
      demo.window.Type(typed);

      demo.window.Key(Qt::Key_R, Qt::ControlModifier);

      QCOMPARE(demo.window.Shown({"txtFolio"}), QStringList({shown}));
      QVERIFY2(!demo.window.Capturing(), qPrintable(typed));
      QCOMPARE(typed + ": " + QString::fromStdString(demo.window.Focus()), typed + ": txtFolio");
      for (const host::MessageCall& message : demo.window.dialogs.Messages())
        QVERIFY2(message.request.text.find("Renovar") == std::string::npos,
                 message.request.text.c_str());
    }
    QTRY_VERIFY(renew->isEnabled());
    demo.window.Key(Qt::Key_R, Qt::ControlModifier);
    QVERIFY(demo.window.Capturing());
    QCOMPARE(demo.window.Shown({"txt_Sc_Cve_Sucursal", "dp_Ps_Fecha_Inicio"}),
             QStringList({"MTY", "01/04/2024"}));
    QCOMPARE(demo.db.Count("Poliza_Servicio"), policies + 1);
  }

  // Ctrl+R renews as Renovar does elsewhere: a client another program stored in lower case,
  // which the field would turn into another client's key, is named as stored and not carried.
  void renovarRefusesAKeyTheFieldWouldTurnIntoAnother() {
    DemoWindow demo;
    demo.db.AddClient("c00003", "Clínica Menor de Monterrey");
    demo.db.Execute(
        "UPDATE Poliza_Servicio SET Cl_Cve_Cliente = 'c00003' WHERE Ps_Folio = 'MTY-000002'");
    QAction* renew = demo.window.desktop->window().RenewAction();
    demo.window.Load("mty-2");
    QTRY_VERIFY(renew->isEnabled());
    const long long policies = demo.db.Count("Poliza_Servicio");

    demo.window.Key(Qt::Key_R, Qt::ControlModifier);

    const std::vector<host::MessageCall> messages = demo.window.dialogs.Messages();
    QVERIFY(!messages.empty());
    QVERIFY2(messages.back().request.text.find("Renovar: Cliente c00003 existe, pero no se pudo "
                                               "usar") != std::string::npos,
             messages.back().request.text.c_str());
    QCOMPARE(demo.window.Shown({"txt_Sc_Cve_Sucursal", "txt_Cl_Cve_Cliente", "txt_Cl_Cliente"}),
             QStringList({"MTY", "", ""}));
    demo.window.Key(Qt::Key_S, Qt::ControlModifier);  // Aceptar
    QCOMPARE(demo.db.Count("Poliza_Servicio"), policies);
  }

  // A command's message tells of the policy it ran on: the next policy shown, whether found
  // or not, live or cancelled, takes it away.
  void aCommandsMessageGoesWhenAnotherFolioIsShown() {
    struct Case {
      QString folio;
      bool reset;  // else Baja
      QString message, next;
    };
    for (const Case& row :
         {Case{"mty-7", false, "Póliza MTY-000007 cancelada", "gdl-4"},
          Case{"mty-7", false, "Póliza MTY-000007 cancelada", "mty-99"},
          Case{"gdl-6", true, "Contadores reiniciados: póliza GDL-000006", "gdl-4"}}) {
      DemoWindow demo;
      demo.window.Load(row.folio);
      demo.window.dialogs.QueueAnswer(message_answer::kYes);
      row.reset ? demo.window.Click("cmdInicializa") : demo.window.Alt(Qt::Key_B);
      QTRY_COMPARE(demo.window.Status(), row.message);

      demo.window.Load(row.next);
      QTRY_COMPARE(row.next + ": " + demo.window.Status(), row.next + ": ");
    }
  }

  // The viewer's services: what is left, and a bar in the grade's colour with the share.
  // What is left has the decimals of the quantities it comes from, not a subtraction's
  // binary residue. A quantity stored as a text that is no number (a file edited by hand)
  // is shown as stored, with nothing left and no share.
  void theViewerShowsWhatIsLeftAndAUsageBar() {
    TestDatabase db;
    host::LoadDemoPolicies(db.sql(), PinnedNow());
    const auto page = [&db](QString* html = nullptr) {
      const QString shown = host::RecordPageHtml(
          db.sql(), host::ReadRecord(db.db(), "POLIZA_SERVICIO", "Ps_Folio", "GDL-000006"));
      if (html != nullptr) *html = shown;
      QTextDocument document;
      document.setHtml(shown);
      return document.toPlainText();
    };
    const auto use = [&db](const std::string& service, const std::string& used) {
      db.Execute("UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = " + used +
                 " WHERE Ps_Folio = 'GDL-000006' AND Ts_Cve_Tipo_Servicio = '" + service + "'");
    };
    QString html;
    QString text = page(&html);
    // Each cell on a line of its own; the bar's cells are empty lines.
    for (const char* shown : {"SOPREM\nSoporte remoto\nHR\n120\n126\n-6\n\\s*105 %",
                              "SOPSITIO\nSoporte en sitio\nHR\n24\n22\n2\n\\s*92 %",
                              "CAPACIT\nCurso de capacitación\nEV\n2\n2\n0\n\\s*100 %"})
      QVERIFY2(text.contains(QRegularExpression(QString::fromUtf8(shown))), shown);
    QVERIFY(html.contains("width='100%' bgcolor='#b00020'"));  // used beyond: a full red bar
    QVERIFY(html.contains("width='92%' bgcolor='#b06f00'"));   // amber from 80 %

    use("SOPREM", "119.9");
    use("SOPSITIO", "0.35");
    text = page();
    for (const char* shown : {"\nHR\n120\n119.9\n0.1\n", "\nHR\n24\n0.35\n23.65\n"})
      QVERIFY2(text.contains(QString::fromUtf8(shown)), qPrintable(text));

    if (TestBackend() != Backend::kSqlite) return;  // a server's quantity is a number
    use("SOPREM", "'mucho'");
    text = page();
    QVERIFY2(text.contains(QString::fromUtf8("\nHR\n120\nmucho\n\n")), qPrintable(text));
  }
};

}  // namespace nv407::testing

QTEST_MAIN(nv407::testing::BeyondScreenTest)
#include "beyond_screen_test.moc"
