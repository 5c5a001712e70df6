// The F2 search of the key fields: its rows come from the field's own look-up statement.
#include "host/qt/catalogue_search.h"

#include <QTest>
#include <set>

#include "host/headless/text_rules.h"
#include "screen/layout.h"
#include "support/test_database.h"

namespace nv407::testing {

class CatalogueSearchTest : public QObject {
  Q_OBJECT

 private slots:
  // For each key field of the screen: the search lists every key that the field's
  // look-up accepts, and no withdrawn row.
  void theSearchListsWhatTheLookupAccepts() {
    TestDatabase db;
    int fields = 0;
    for (const ControlLayout& row : frmNV407Layout().controls) {
      const std::string sql = row.Setting("sql");
      if (sql.empty()) continue;
      ++fields;
      const std::optional<host::CatalogueQuery> query = host::CatalogueOf(sql);
      QVERIFY2(query.has_value(), row.name.c_str());

      std::set<std::string> listed;
      for (const host::CatalogueRow& found : host::SearchCatalogue(db.sql(), *query)) {
        listed.insert(found.key);
        std::unique_ptr<Recordset> lookup = db.sql().Execute(host::LookupStatement(sql, found.key));
        QVERIFY2(!lookup->Eof(), (row.name + " refuses " + found.key).c_str());
        lookup->Close();
      }
      QVERIFY2(!listed.empty(), row.name.c_str());

      std::unique_ptr<Recordset> withdrawn =
          db.sql().Execute("SELECT " + query->key_column + " AS k FROM " + query->table +
                           " WHERE Es_Cve_Estado = 'BA'");
      QVERIFY2(!withdrawn->Eof(), ("the demo data has a withdrawn " + query->table).c_str());
      for (; !withdrawn->Eof(); withdrawn->MoveNext())
        QVERIFY(!listed.count(withdrawn->Fields("k").Value().ToText()));
    }
    QCOMPARE(fields, 4);
  }

  void onlyPlainLookupsAreSearched_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("parsed");  // table|key|description|conditions, or "" for none
    QTest::newRow("compact equals")
        << "select Cl_Razon_Social_1 from Cliente where Cl_Cve_Cliente='?' AND Es_Cve_Estado <> "
           "'BA'"
        << "Cliente|Cl_Cve_Cliente|Cl_Razon_Social_1|Es_Cve_Estado <> 'BA'";
    QTest::newRow("no further condition") << "SELECT d FROM t WHERE k = '?'"
                                          << "t|k|d|";
    QTest::newRow("an OR would widen the search") << "select d from t where k = '?' OR 1 = 1"
                                                  << "";
    QTest::newRow("ordered") << "select d from t where k = '?' order by d"
                             << "";
    QTest::newRow("two columns") << "select d, e from t where k = '?'"
                                 << "";
    QTest::newRow("none") << ""
                          << "";
  }
  void onlyPlainLookupsAreSearched() {
    QFETCH(QString, sql);
    QFETCH(QString, parsed);
    const std::optional<host::CatalogueQuery> query = host::CatalogueOf(sql.toStdString());
    const QString shown =
        query ? QString::fromStdString(query->table + "|" + query->key_column + "|" +
                                       query->description_column + "|" + query->conditions)
              : QString();
    QCOMPARE(shown, parsed);
  }
};

}  // namespace nv407::testing

QTEST_MAIN(nv407::testing::CatalogueSearchTest)
#include "catalogue_search_test.moc"
