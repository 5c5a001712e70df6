// The host's dialogs as real windows answered from the keyboard, and the F2 search over a
// real catalogue.
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextLayout>
#include <algorithm>
#include <map>
#include <memory>

#include "component/error.h"
#include "component/host_services.h"
#include "host/headless/text_rules.h"
#include "host/lists/catalogue_search.h"
#include "host/lists/record_view.h"
#include "host/qt/alt_letters.h"
#include "host/qt/catalogue_dialog.h"
#include "host/qt/label_keys.h"
#include "host/qt/list_model.h"
#include "host/qt/policy_finder.h"
#include "host/qt/qt_dialogs.h"
#include "host/qt/sign_in_dialog.h"
#include "host/qt/spanish.h"
#include "host/qt/synthetic_input.h"
#include "host/services/host_records.h"
#include "screen/layout.h"
#include "support/test_database.h"

namespace nv407::testing {
namespace {

// The buttons' captions without their keys' marks, in alphabetical order.
QStringList Captions(const QList<QAbstractButton*>& buttons) {
  QStringList captions;
  for (const QAbstractButton* button : buttons) captions << button->text().remove('&');
  captions.sort();
  return captions;
}

// The focused widget by its name, or a button by its caption.
QString FocusName() {
  const QWidget* focused = QApplication::focusWidget();
  if (focused == nullptr) return "(none)";
  if (const auto* button = qobject_cast<const QAbstractButton*>(focused))
    return button->text().remove('&');
  return focused->objectName();
}

// The captions of the dialog's buttons and labels that share an Alt letter.
QStringList LetterClashes(const QWidget& dialog) {
  QMap<QString, QStringList> holders;
  const auto hold = [&holders](const QString& caption) {
    const QKeySequence letter = QKeySequence::mnemonic(caption);
    if (!letter.isEmpty()) holders[letter.toString()] << caption;
  };
  for (const QAbstractButton* button : dialog.findChildren<QAbstractButton*>())
    hold(button->text());
  for (const QLabel* label : dialog.findChildren<QLabel*>())
    if (label->buddy() != nullptr) hold(label->text());
  QStringList clashes;
  for (const QStringList& captions : holders)
    if (captions.size() > 1) clashes << captions.join(" / ");
  return clashes;
}

// The dialog shown and active, Alt and `letter` pressed in its focused widget, and the
// button the letter clicks (a moment later, as it shows the button pressed) clicked.
bool PressAlt(QDialog& dialog, Qt::Key letter) {
  dialog.show();
  if (!QTest::qWaitForWindowActive(&dialog)) return false;
  QTest::keyClick(QApplication::focusWidget(), letter, Qt::AltModifier);
  return QTest::qWaitFor([&dialog] {
    const QList<QAbstractButton*> buttons = dialog.findChildren<QAbstractButton*>();
    return std::none_of(buttons.begin(), buttons.end(),
                        [](const QAbstractButton* button) { return button->isDown(); });
  });
}

// The client catalogue's key field, as F2 searches it.
host::ListSource Clients() {
  for (const ControlLayout& row : frmNV407Layout().controls)
    if (row.name == "txt_Cl_Cve_Cliente") return *host::CatalogueOf(row.Setting("sql"));
  throw Error("The layout has no client field");
}

// `count` live clients C10000, C10001, ... named "Cliente de prueba N", after the demo's.
void AddClients(TestDatabase& db, int count) {
  for (int i = 0; i < count; ++i)
    db.AddClient("C1" + std::to_string(10000 + i).substr(1),
                 "Cliente de prueba " + std::to_string(i));
}

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(host::UseSpanish(*QCoreApplication::instance()));
    host::TypeNoAltLetters(*QCoreApplication::instance());
  }

  // Each style's icon, buttons (in Spanish) and default; the module and identifier under
  // the text. A failure the screen reports in its own words carries the database's account
  // as the box's details.
  void aMessageBoxHasTheIconAndButtonsOfItsStyle() {
    using B = QMessageBox;
    struct Style {
      int style;
      B::Icon icon;
      QStringList buttons;
      int enter;  // what Enter and Esc answer
    };
    TestDatabase db;
    host::QtDialogs dialogs(db.db());
    for (const Style& expected : {Style{16, B::Critical, {"Aceptar"}, message_answer::kOk},
                                  Style{48, B::Warning, {"Aceptar"}, message_answer::kOk},
                                  Style{292, B::Question, {"No", "Sí"}, message_answer::kNo}}) {
      const host::MessageRequest request{.text = "¿Inicializar los servicios?",
                                         .style = expected.style,
                                         .title = "Zembrel",
                                         .module = "NV407",
                                         .error_id = "ERR-ID:7500015"};
      const std::unique_ptr<QMessageBox> box = host::MakeMessageBox(request, nullptr);
      QCOMPARE(box->icon(), expected.icon);
      QCOMPARE(box->textFormat(), Qt::PlainText);  // "<México>" from a database is no tag
      QCOMPARE(Captions(box->buttons()), expected.buttons);
      QCOMPARE(box->windowTitle() + " | " + box->informativeText(),
               QString("Zembrel | NV407  ·  ERR-ID:7500015"));

      // Shown for real, the box answers each key as a user expects.
      for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        host::WhenShown<B>([key](B& open) { QTest::keyClick(&open, key); });
        QCOMPARE(dialogs.ShowMessage(request), expected.enter);
      }
      QCOMPARE(box->detailedText(), QString());
      host::MessageRequest failure = request;
      failure.detail = "database is locked";
      QCOMPARE(host::MakeMessageBox(failure, nullptr)->detailedText(),
               QString(failure.detail.c_str()));
      if (expected.style != 292) continue;  // only the question has Sí
      host::WhenShown<B>([](B& open) { open.button(B::Yes)->click(); });
      QCOMPARE(dialogs.ShowMessage(request), message_answer::kYes);
    }
  }

  // Alt+C and Alt+T reach the two fields; Aceptar keeps both edits (what Esc and Cancelar
  // drop is theEditorAsksBeforeDroppingChanges's). The concept is a one-line box: what is
  // pasted into it loses its line breaks and tabs.
  void theEditorReturnsEditsOnAceptar() {
    TestDatabase db;
    host::QtDialogs dialogs(db.db());
    QStringList buttons;
    host::WhenShown<host::ExtendedTextEditor>([&](host::ExtendedTextEditor& editor) {
      buttons = Captions(editor.findChild<QDialogButtonBox*>()->buttons());
      QCOMPARE(editor.TextField()->toPlainText(), QString("Línea uno"));
      QVERIFY(QTest::qWaitForWindowActive(&editor));  // Alt and a letter need it active
      QTest::keyClick(&editor, Qt::Key_C, Qt::AltModifier);
      QCOMPARE(QApplication::focusWidget(), editor.ConceptField());
      QApplication::clipboard()->setText(" Soporte\r\nanual\t2024");  // a one-line box
      QTest::keyClick(editor.ConceptField(), Qt::Key_End);
      QTest::keyClick(editor.ConceptField(), Qt::Key_V, Qt::ControlModifier);
      QTest::keyClick(&editor, Qt::Key_T, Qt::AltModifier);
      QCOMPARE(QApplication::focusWidget(), editor.TextField());
      QTest::keyClick(editor.TextField(), Qt::Key_End, Qt::ControlModifier);
      QTest::keyClicks(editor.TextField(), " y dos");
      editor.accept();
    });
    std::string concept_text = "Concepto";
    const std::string text = dialogs.EditExtendedText(concept_text, "Línea uno", 50);
    QCOMPARE(text + " / " + concept_text,
             std::string("Línea uno y dos / Concepto Soporteanual2024"));
    QCOMPARE(buttons, QStringList({"Aceptar", "Cancelar"}));

    // A concept stored with bytes that are not UTF-8 shows them as U+FFFD: left as shown, it
    // comes back as stored.
    host::WhenShown<host::ExtendedTextEditor>([](host::ExtendedTextEditor& editor) {
      QCOMPARE(editor.ConceptField()->text(), QString("Caf\uFFFD"));
      QTest::keyClicks(editor.TextField(), "!");
      editor.accept();
    });
    const std::string stored = "Caf\xE9";
    concept_text = stored;
    QCOMPARE(dialogs.EditExtendedText(concept_text, "Texto", 50), std::string("Texto!"));
    QCOMPARE(concept_text, stored);
  }

  // Esc, Cancelar and the title bar ask before they drop a change to the text or the
  // concept, as the window asks before it drops a capture: No keeps the editor open with
  // the text, Sí drops it. With nothing changed nothing is asked.
  void theEditorAsksBeforeDroppingChanges() {
    TestDatabase db;
    host::QtDialogs dialogs(db.db());
    QStringList seen;  // each question, and the editor after a No
    const auto answer = [&seen](QMessageBox::StandardButton button) {
      return host::WhenShown<QMessageBox>([&seen, button](QMessageBox& box) {
        seen << box.windowTitle() + ": " + box.text();
        box.button(button)->click();
      });
    };
    const auto leave = [](host::ExtendedTextEditor& editor, const QString& how) {
      if (how == "Esc") QTest::keyClick(editor.TextField(), Qt::Key_Escape);
      if (how == "Cancelar")
        editor.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
      if (how == "title bar") editor.close();
    };
    for (const QString how : {"Esc", "Cancelar", "title bar"}) {
      for (const bool change : {false, true}) {
        const host::StopWatching watch(
            host::WhenShown<host::ExtendedTextEditor>([&](host::ExtendedTextEditor& editor) {
              if (change && how == "title bar") host::TypeKeys(*editor.ConceptField(), " nuevo");
              if (change && how != "title bar") host::TypeKeys(*editor.TextField(), " y dos");
              {
                const host::StopWatching no(answer(QMessageBox::No));
                leave(editor, how);
              }
              if (!editor.isVisible()) return;
              seen << "abierto: " + editor.ConceptField()->text() + " / " +
                          editor.TextField()->toPlainText();
              const host::StopWatching yes(answer(QMessageBox::Yes));
              leave(editor, how);
            }));
        std::string concept_text = "Concepto";
        const std::string text = dialogs.EditExtendedText(concept_text, "Texto", 50);
        QCOMPARE(text + " / " + concept_text, std::string("Texto / Concepto"));
      }
    }
    const QString asked = QString::fromUtf8(
        "Descripción ampliada: Hay cambios sin aceptar. ¿Cerrar la descripción ampliada y "
        "descartarlos?");
    QCOMPARE(seen, QStringList({asked, "abierto: Concepto / Texto y dos", asked,  //
                                asked, "abierto: Concepto / Texto y dos", asked,  //
                                asked, "abierto: Concepto nuevo / Texto", asked}));
  }

  // The viewer shows where the focus is, as the window frames its focused field: on the
  // page as it opens, on Cerrar after Tab (Space then closes).
  void theViewerShowsWhereTheFocusIs() {
    host::RecordDialog viewer("Consultar MTY-000001", "<p>MTY-000001</p>", nullptr);
    viewer.show();
    QVERIFY(QTest::qWaitForWindowActive(&viewer));
    QWidget* page = viewer.Page();
    QWidget* close = viewer.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close);
    // The colour at the middle of the widget's left edge, and whether it has the focus.
    const auto edge = [](QWidget* widget) {
      const QImage drawn = widget->grab().toImage();
      return drawn.pixelColor(0, drawn.height() / 2).name() +
             (QApplication::focusWidget() == widget ? " focused" : "");
    };
    const QString focus_frame = "#00538a focused";
    QCOMPARE(edge(page), focus_frame);
    const QString close_unfocused = edge(close);
    QTest::keyClick(page, Qt::Key_Tab);
    QCOMPARE(edge(close), focus_frame);
    QVERIFY(edge(page) != focus_frame);
    QVERIFY(close_unfocused != focus_frame);
    QTest::keyClick(close, Qt::Key_Space);
    QVERIFY(!viewer.isVisible());
  }

  // The demo's policy whose counters were reset: its page names the fields as the screen
  // does, keys beside their descriptions, dates in Spanish, what each service has left,
  // the reset's report whole, line by line, and a value's spaces as stored.
  void theViewerShowsARecordAsAReadablePage() {
    TestDatabase db;
    host::LoadDemoPolicies(db.sql(), PinnedNow());
    db.Execute(
        "UPDATE Poliza_Servicio SET Ps_Comentario = '  dos  espacios   y' "
        "WHERE Ps_Folio = 'MTY-000007'");
    host::QtDialogs dialogs(db.db());
    QString page;
    host::WhenShown<host::RecordDialog>([&page](host::RecordDialog& viewer) {
      page = viewer.Page()->toPlainText();
      viewer.reject();
    });
    dialogs.ShowRecord("POLIZA_SERVICIO", "Ps_Folio", "MTY-000007");

    // The page's text has each cell on a line of its own.
    for (const char* shown :
         {"Póliza MTY-000007", "Folio\nMTY-000007", "Estado\nActiva",
          "Sucursal\nMTY  Monterrey Centro", "Fecha inicio\n15 de julio de 2023",
          "Tipo póliza\nSOPANUAL  Soporte anual", "SOPREM\nSoporte remoto\nHR\n120\n12\n108",
          "CAPACIT\nCurso de capacitación\nEV\n2\n0\n2", "15 de febrero de 2024, 17:40 · ADMIN",
          "Comentario\n  dos  espacios   y\n"}) {
      QVERIFY2(page.contains(QString::fromUtf8(shown)), shown);
    }
    const std::string note =
        db.Scalar("SELECT note FROM record_log WHERE record_key = 'MTY-000007'");
    for (const QString& line : QString::fromStdString(note).split("\r\n", Qt::SkipEmptyParts))
      QVERIFY2(page.contains(line), qPrintable(line));
    QVERIFY(!page.contains(QChar(0x2026)));  // nothing cut with an ellipsis

    // Table and column are names, never pieces of a statement.
    for (const auto& [table, column] :
         {std::pair{"Poliza_Servicio; DELETE FROM Sucursal", "Ps_Folio"},
          {"Poliza_Servicio", "Ps_Folio = Ps_Folio --"},
          {"No_Such_Table", "Ps_Folio"}})
      QVERIFY_THROWS_EXCEPTION(Error, host::ReadRecord(db.db(), table, column, "MTY-000007"));
    QVERIFY(db.Count("Sucursal") > 0);
  }

  // For each key field, every key the search lists is one its look-up accepts once the
  // field has upper-cased it (never a withdrawn row, nor a key in lower case, which the
  // field cannot hold); another statement shape gets no search.
  void theSearchListsWhatTheLookupAccepts() {
    TestDatabase db;
    // Live keys that another program wrote: the field holds none with a small letter.
    const std::vector<std::string> written = {"aaa", "MTé", "Añ1", "MTY-ß", "ÑÉ_9"};
    for (const std::string& key : written) {
      db.AddBranch(key, "Sucursal " + key);
      db.AddSeller(key, "Vendedor " + key);
      db.AddClient(key, "Cliente " + key);
      db.AddPolicyType(key, "Tipo " + key, "POL-SOP-MEN", 4, 1);
    }
    int fields = 0;
    for (const ControlLayout& row : frmNV407Layout().controls) {
      const std::string sql = row.Setting("sql");
      if (sql.empty()) continue;
      ++fields;
      const std::optional<host::ListSource> catalogue = host::CatalogueOf(sql);
      QVERIFY2(catalogue.has_value(), row.name.c_str());
      const std::vector<host::FoundRow> listed =
          host::ReadPage(db.db(), *catalogue, {"", std::nullopt, std::nullopt, 0});
      QVERIFY2(!listed.empty(), row.name.c_str());
      std::vector<std::string> kept;
      for (const host::FoundRow& found : listed) {
        const std::string typed = host::UpperCaseText(found.front());
        std::unique_ptr<Recordset> lookup = db.sql().Execute(host::LookupStatement(sql, typed));
        QVERIFY2(!lookup->Eof(), (row.name + " refuses " + found.front()).c_str());
        lookup->Close();
        if (std::ranges::find(written, found.front()) != written.end())
          kept.push_back(found.front());
      }
      // ß has no capital the field gives it: such a key is typed as it is.
      QCOMPARE(kept, (std::vector<std::string>{"MTY-ß", "ÑÉ_9"}));
    }
    QCOMPARE(fields, 4);
    QVERIFY(!host::CatalogueOf("select d from t where k = '?' OR 1 = 1"));
    QVERIFY(!host::CatalogueOf("select d from t where k = '?' order by d"));
  }

  // Pages follow each other by key: every row once, in key order. The text finds keys by
  // their start and descriptions anywhere in any case; LIKE's own characters stand for
  // themselves.
  void theSearchReadsPagesOfWhatTheTextFinds() {
    TestDatabase db;
    AddClients(db, 130);
    db.AddClient("C20001", "Algodón 100% mexicano");
    db.AddClient("C20002", "Tienda_Centro");
    db.AddClient("C20003", "Pâtisserie d'Arc");
    const QString every_live_client = QString::fromStdString(db.Joined(
        "SELECT Cl_Cve_Cliente FROM Cliente WHERE Es_Cve_Estado <> 'BA' ORDER BY 1", " "));
    // The text, and every key it finds over as many pages as it takes.
    for (const auto& [text, keys] :
         {std::pair<QString, QString>{"", every_live_client},
          // a key's start, typed in lower case
          {"c1000", "C10000 C10001 C10002 C10003 C10004 C10005 C10006 C10007 C10008 C10009"},
          {"PRUEBA 12",  // a description's middle, any case
           "C10012 C10120 C10121 C10122 C10123 C10124 C10125 C10126 C10127 C10128 C10129"},
          {"100%", "C20001"},  // LIKE's own characters stand for themselves
          {"_", "C20002"},
          {"d'A", "C20003"},
          {"Transportes", ""}}) {  // a withdrawn client is never found
      QStringList read;
      std::optional<std::string> after;
      for (int page = 0; page < 10; ++page) {
        const std::vector<host::FoundRow> rows =
            host::ReadPage(db.db(), Clients(), {text.toStdString(), after, std::nullopt, 40});
        for (const host::FoundRow& row : rows) read << QString::fromStdString(row.front());
        if (rows.size() < 40) break;
        after = rows.back().front();
      }
      QCOMPARE(text + ": " + read.join(' '), text + ": " + keys);
    }
  }

  // A page that cannot be read ends the list there, saying so; the rows read before it are
  // then not all the text finds, and text typed on is looked for in the whole list again.
  void aPageThatFailsLeavesTextTypedOnSearchingTheWholeList() {
    TestDatabase db;
    AddClients(db, 130);  // C10000 to C10129
    host::ListModel list(db.db(), Clients(), {"Clave", "Nombre"}, nullptr);
    QStringList failures;
    connect(&list, &host::ListModel::Failed, [&](const QString& reason) { failures << reason; });
    list.Find("c1");
    QCOMPARE(list.rowCount(), host::kPageRows);
    db.Execute("ALTER TABLE Cliente RENAME TO Cliente_fuera");
    list.fetchMore({});
    QCOMPARE(failures.size(), 1);
    QVERIFY(!list.canFetchMore({}));
    db.Execute("ALTER TABLE Cliente_fuera RENAME TO Cliente");

    list.Find("c101");
    while (list.canFetchMore({})) list.fetchMore({});
    QCOMPARE(list.rowCount(), 30);  // C10100 to C10129, none of them among the rows read
  }

  // A row renamed in another session after it was shown, the list scrolled on by name: it
  // reads on from where that row stood, so no page comes again and none is passed over.
  void theListScrollsOnFromWhereItsLastRowStoodWhenShown() {
    TestDatabase db(TestDatabase::Storage::kFile);
    AddClients(db, 130);
    const std::unique_ptr<host::Database> other = db.OpenAnotherSession();
    host::ListModel list(db.db(), Clients(), {"Clave", "Nombre"}, nullptr);
    list.sort(1, Qt::AscendingOrder);
    QCOMPARE(list.rowCount(), host::kPageRows);
    for (const char* name : {"Abarrotes Norte", "Zapatería Sur"}) {
      const std::string renamed = list.Row(list.rowCount() - 1).front();
      other->ForHost().Execute(std::string("UPDATE Cliente SET Cl_Razon_Social_1 = '") + name +
                               "' WHERE Cl_Cve_Cliente = '" + renamed + "'");
      list.fetchMore({});
    }
    while (list.canFetchMore({})) list.fetchMore({});
    std::map<std::string, int> times;
    for (int row = 0; row < list.rowCount(); ++row) ++times[list.Row(row).front()];
    for (const host::FoundRow& row : host::ReadPage(db.db(), Clients(), {"", {}, {}, 0}))
      if (times[row.front()] != 1)
        QVERIFY2(row.at(1) == "Zapatería Sur" && times[row.front()] == 2,
                 (row.front() + " read " + std::to_string(times[row.front()]) + " times").c_str());
  }

  // F2's list opens on the field's text and reads a page at a time as it scrolls; the keys
  // move through it while typing, Enter picks, Esc leaves without a pick.
  void theSearchDialogOpensFilteredAndReadsAsItScrolls() {
    TestDatabase db;
    AddClients(db, 130);
    host::CatalogueDialog search("Buscar cliente", db.db(), Clients(), "prueba", nullptr);
    search.show();
    QCOMPARE(search.Filter()->text(), QString("prueba"));
    QAbstractItemModel* rows = search.List()->model();
    QCOMPARE(rows->rowCount(), host::kPageRows);
    search.List()->scrollToBottom();
    QTRY_VERIFY(rows->rowCount() > host::kPageRows);

    QTest::keyClick(search.Filter(), Qt::Key_A, Qt::ControlModifier);
    host::TypeKeys(*search.Filter(), "c1012");
    QCOMPARE(rows->rowCount(), 10);  // C10120 to C10129
    // Typed on from a text whose rows were all read, the list looks among those keys only;
    // typed back, it reads the whole catalogue again.
    const auto& statements = db.TraceStatements();
    host::TypeKeys(*search.Filter(), "7");
    QCOMPARE(rows->rowCount(), 1);
    QCOMPARE(rows->index(0, 0).data().toString(), QString("C10127"));
    QTest::keyClick(search.Filter(), Qt::Key_Backspace);
    QCOMPARE(rows->rowCount(), 10);
    QCOMPARE(statements.size(), std::size_t{2});
    QVERIFY(statements[0].second.find(" IN ('C10120', ") != std::string::npos);
    QVERIFY(statements[1].second.find(" IN (") == std::string::npos);
    search.Filter()->setText("cliente");
    QTest::keyClick(search.Filter(), Qt::Key_Down);
    QTest::keyClick(search.Filter(), Qt::Key_Down);
    QTest::keyClick(search.Filter(), Qt::Key_Return);
    QCOMPARE(search.Picked(), std::optional<std::string>("C10002"));

    // The text is a one-line box: a key pasted loses its line break, and finds its row.
    host::CatalogueDialog left("Buscar cliente", db.db(), Clients(), "", nullptr);
    left.show();
    QApplication::clipboard()->setText("C100\n01");
    QTest::keyClick(left.Filter(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(left.Filter()->text(), QString("C10001"));
    QCOMPARE(left.List()->model()->rowCount(), 1);
    QTest::keyClick(left.Filter(), Qt::Key_Escape);
    QCOMPARE(left.result(), int(QDialog::Rejected));
    QVERIFY(!left.Picked());
    QCOMPARE(Captions(left.findChild<QDialogButtonBox*>()->buttons()),
             QStringList({"Aceptar", "Cancelar"}));
  }

  // In both searches Tab and Shift+Tab take the focus out of the list in one step, to the
  // buttons, the text and back: the row chosen with Down stays the one Enter picks.
  void tabLeavesASearchListWithoutMovingItsRow() {
    TestDatabase db;
    AddClients(db, 5);
    host::LoadDemoPolicies(db.sql(), PinnedNow());
    const auto walk = [](QDialog& dialog, QLineEdit& text, QTableView& list) {
      dialog.show();
      if (!QTest::qWaitForWindowActive(&dialog)) return QStringList{"never active"};
      QTest::keyClick(&text, Qt::Key_Down);  // the second row
      list.setFocus();
      QStringList steps;
      for (const Qt::KeyboardModifier shift :
           {Qt::NoModifier, Qt::NoModifier, Qt::NoModifier, Qt::ShiftModifier, Qt::ShiftModifier,
            Qt::ShiftModifier, Qt::ShiftModifier, Qt::NoModifier}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, shift);
        steps << FocusName() + " " + QString::number(list.currentIndex().row());
      }
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
      return steps;
    };
    // Before the list: the text in the F2 search, the quick filters in the finder.
    const auto steps = [](const QString& before_list) {
      return QStringList{"Aceptar 1", "Cancelar 1", "filter 1",         "Cancelar 1",
                         "Aceptar 1", "rows 1",     before_list + " 1", "rows 1"};
    };
    host::CatalogueDialog search("Buscar cliente", db.db(), Clients(), "c1000", nullptr);
    QCOMPARE(walk(search, *search.Filter(), *search.List()), steps("filter"));
    QCOMPARE(search.Picked(), std::optional<std::string>("C10001"));
    host::PolicyFinder finder(db.db(), PinnedNow(), "mty", nullptr);
    QCOMPARE(walk(finder, *finder.Filter(), *finder.List()), steps("Canceladas"));
    QCOMPARE(finder.Picked(), std::optional<std::string>("MTY-000002"));
  }

  // Aceptar, Cancelar, Salir and Cerrar answer Alt and a letter in every dialog, a letter
  // no other button or label of that dialog has: where Alt+A or Alt+C is taken, another.
  void theDialogsButtonsAnswerAltLettersOfTheirOwn() {
    TestDatabase db;
    AddClients(db, 3);
    host::LoadDemoPolicies(db.sql(), PinnedNow());

    // The F2 search: Alt+A picks the current row, Alt+C leaves; neither types.
    host::CatalogueDialog search("Buscar cliente", db.db(), Clients(), "c1000", nullptr);
    QCOMPARE(LetterClashes(search), QStringList());
    search.show();
    QVERIFY(QTest::qWaitForWindowActive(&search));
    QTest::keyClick(search.Filter(), Qt::Key_Down);
    QVERIFY(PressAlt(search, Qt::Key_A));
    QCOMPARE(search.Filter()->text() + " " + QString::number(search.result()),
             QString("c1000 %1").arg(QDialog::Accepted));
    QCOMPARE(search.Picked(), std::optional<std::string>("C10001"));
    host::CatalogueDialog left("Buscar cliente", db.db(), Clients(), "c1000", nullptr);
    QVERIFY(PressAlt(left, Qt::Key_C));
    QCOMPARE(left.Filter()->text() + " " + QString::number(left.result()),
             QString("c1000 %1").arg(QDialog::Rejected));

    // The finder: Alt+A is Casi agotadas, Aceptar Alt+P.
    host::PolicyFinder finder(db.db(), PinnedNow(), "", nullptr);
    QCOMPARE(LetterClashes(finder), QStringList());
    QVERIFY(PressAlt(finder, Qt::Key_A));
    QVERIFY(finder.isVisible());
    QVERIFY(finder.FilterButton(host::PolicyFilter::kNearlyUsedUp)->isChecked());
    QVERIFY(PressAlt(finder, Qt::Key_P));
    QCOMPARE(finder.result(), int(QDialog::Accepted));
    QCOMPARE(finder.Picked(), std::optional<std::string>("CDMX-00006"));
    host::PolicyFinder finder_left(db.db(), PinnedNow(), "", nullptr);
    QVERIFY(PressAlt(finder_left, Qt::Key_C));
    QCOMPARE(finder_left.result(), int(QDialog::Rejected));

    // The editor: Alt+C is the concept, Cancelar Alt+N.
    for (const auto& [letter, result] :
         {std::pair{Qt::Key_A, QDialog::Accepted}, {Qt::Key_N, QDialog::Rejected}}) {
      host::ExtendedTextEditor editor(
          "Concepto", "Texto", 50, [] { return true; }, nullptr);
      QCOMPARE(LetterClashes(editor), QStringList());
      QVERIFY(PressAlt(editor, letter));
      QCOMPARE(editor.result(), int(result));
    }

    // The record viewer's Cerrar, the sign-in's Salir (from the password).
    host::RecordDialog viewer("Consultar MTY-000001", "<p>MTY-000001</p>", nullptr);
    QVERIFY(PressAlt(viewer, Qt::Key_C));
    QCOMPARE(viewer.result(), int(QDialog::Rejected));
    QVERIFY(!viewer.isVisible());
    host::SignInDialog sign_in(
        [](const std::string&, const std::string&) { return host::SignInResult{}; }, "demo.db",
        "CAPTURA");
    QCOMPARE(LetterClashes(sign_in), QStringList());
    QVERIFY(PressAlt(sign_in, Qt::Key_S));
    QCOMPARE(sign_in.PasswordField()->text() + " " + QString::number(sign_in.result()),
             QString(" %1").arg(QDialog::Rejected));

    // Message boxes: Aceptar and Cancelar as well as Sí and No.
    for (const auto& [style, letter, button] : {std::tuple{0, Qt::Key_A, QMessageBox::Ok},
                                                {1, Qt::Key_C, QMessageBox::Cancel},
                                                {4, Qt::Key_S, QMessageBox::Yes}}) {
      const std::unique_ptr<QMessageBox> box = host::MakeMessageBox(
          {.text = "Texto", .style = style, .title = "Zembrel", .module = "NV407", .error_id = ""},
          nullptr);
      QCOMPARE(LetterClashes(*box), QStringList());
      QVERIFY(PressAlt(*box, letter));
      QCOMPARE(box->clickedButton(), box->button(button));
    }
  }

  // Lines wrap at the editor's width in characters, whether or not the text is long enough to
  // need the scroll bar. A played script types the editor's text as keys: each line break of
  // it, of whatever kind (CR LF, a lone CR or LF, NEL, a line or paragraph separator), is one
  // Enter, the words on either side kept apart.
  void theEditorWrapsAtItsWidthAndTakesEachLineBreakAsEnter() {
    host::ExtendedTextEditor editor(
        "Concepto", "", 50, [] { return true; }, nullptr);
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    QPlainTextEdit& text = *editor.TextField();
    const QString digits = QString("1234567890").repeated(6);
    const auto first_line_of_last_block = [&text] {
      QCoreApplication::processEvents();
      return text.document()->lastBlock().layout()->lineAt(0).textLength();
    };
    host::TypeKeys(text, digits);
    QCOMPARE(first_line_of_last_block(), 50);
    host::TypeKeys(text, QString("\n").repeated(30) + digits);
    QVERIFY(text.verticalScrollBar()->maximum() > 0);
    QCOMPARE(first_line_of_last_block(), 50);

    text.clear();
    host::TypeKeys(text,
                   QString::fromUtf8("uno\rdos\r\ntres\ncuatro\u0085cinco\u2028seis\u2029siete"));
    QCOMPARE(QString::fromStdString(editor.Text()),
             QString("uno\ndos\ntres\ncuatro\ncinco\nseis\nsiete"));
  }

  // An Alt letter or digit that no button or label of the dialog takes types nothing into
  // the box that has the focus: a search's text, the finder's days, the editor's concept and
  // text, the operator and the password. Ctrl+Alt (AltGr on some keyboards) types as ever.
  void anAltKeyNothingTakesTypesNothing() {
    TestDatabase db;
    host::CatalogueDialog search("Buscar cliente", db.db(), Clients(), "c1", nullptr);
    host::PolicyFinder finder(db.db(), PinnedNow(), "mty", nullptr);
    host::ExtendedTextEditor editor(
        "Concepto", "Texto", 50, [] { return true; }, nullptr);
    host::SignInDialog sign_in(
        [](const std::string&, const std::string&) { return host::SignInResult{}; }, "demo.db", "");
    const auto text = [](QWidget* box) {
      if (auto* line = qobject_cast<QLineEdit*>(box)) return line->text();
      if (auto* days = qobject_cast<QSpinBox*>(box)) return days->text();
      return qobject_cast<QPlainTextEdit*>(box)->toPlainText();
    };
    QStringList typed;
    for (const auto& [dialog, box] : {std::pair<QDialog*, QWidget*>{&search, search.Filter()},
                                      {&finder, finder.Filter()},
                                      {&finder, finder.Days()},
                                      {&editor, editor.ConceptField()},
                                      {&editor, editor.TextField()},
                                      {&sign_in, sign_in.UserField()},
                                      {&sign_in, sign_in.PasswordField()}}) {
      dialog->show();
      QVERIFY(QTest::qWaitForWindowActive(dialog));
      box->setFocus();
      QTest::keyClick(box, Qt::Key_End);
      QTest::keyClick(box, Qt::Key_J, Qt::AltModifier);
      QTest::keyClick(box, Qt::Key_J, Qt::AltModifier | Qt::ShiftModifier);
      QTest::keyClick(box, Qt::Key_5, Qt::AltModifier);
      QTest::sendKeyEvent(QTest::Click, box, Qt::Key_2, "@", Qt::ControlModifier | Qt::AltModifier);
      typed << text(box);
    }
    QCOMPARE(typed, QStringList({"c1@", "mty@", "30 días", "Concepto@", "Texto@", "@", "@"}));
  }

  // Every caption gets a letter of its own when the letters allow it, a word's first
  // where it can, never a taken one.
  void labelsGetLettersOfTheirOwn() {
    const struct {
      QStringList captions;
      QString taken, keys;                                 // '-' for none
    } cases[] = {{{"Fecha inicio", "Id fac"}, "F", "ID"},  // word starts first
                 {{"Ab", "A"}, "", "BA"},                  // an earlier caption gives way
                 {{"Ab", "Ba"}, "A", "B-"},                // no letter left
                 {{"Día"}, "D", "A"}};                     // accents are no letters
    for (const auto& [captions, taken, keys] : cases) {
      QString chosen;
      for (QChar key : host::ChooseLabelKeys({captions.begin(), captions.end()}, taken))
        chosen += key.isNull() ? QChar('-') : key;
      QCOMPARE(chosen, keys);
    }
    QCOMPARE(host::WithKey("Fecha inicio", 'I'), QString("Fecha &inicio"));
  }
};

}  // namespace nv407::testing

QTEST_MAIN(nv407::testing::DialogsTest)
#include "dialogs_test.moc"
