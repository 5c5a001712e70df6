#include "host/lists/record_view.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/test_database.h"

namespace nv407::testing {
namespace {

// The viewer lists the columns of the table the screen's statements reach. A table of the
// same name elsewhere (an archived copy in another schema, an attached file) with columns of
// its own is not that table: read with it, the viewer would ask the row for columns it has
// not.
TEST(RecordView, ReadsTheColumnsOfTheTableItsNameReachesAlone) {
  TestDatabase db;
  PolicyRow policy;
  policy.reference = "OC-1";
  db.AddPolicy(policy);
  if (TestBackend() == Backend::kPostgreSql) {
    db.Execute("CREATE SCHEMA archivo");
    db.Execute(
        "CREATE TABLE archivo.Poliza_Servicio (Archivada_El TIMESTAMP, Ps_Folio VARCHAR(20))");
  } else {
    db.Execute("ATTACH DATABASE ':memory:' AS archivo");
    db.Execute("CREATE TABLE archivo.Poliza_Servicio (Archivada_El DATETIME, Ps_Folio TEXT)");
  }

  const host::RecordView record =
      host::ReadRecord(db.db(), "POLIZA_SERVICIO", "Ps_Folio", "MTY-000001");
  ASSERT_TRUE(record.found);
  std::set<std::string> names;
  for (const auto& [name, value] : record.columns) {
    EXPECT_TRUE(names.insert(Lowercase(name)).second) << name << " listed twice";
    if (Lowercase(name) == "ps_referencia") {
      EXPECT_EQ(value.ToText(), "OC-1");
    }
  }
  EXPECT_EQ(Lowercase(record.columns.front().first), "ps_folio");
  EXPECT_FALSE(names.contains("archivada_el"));
  EXPECT_TRUE(names.contains("ps_referencia"));
}

}  // namespace
}  // namespace nv407::testing
