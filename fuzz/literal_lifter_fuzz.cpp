// Statements run with their literals lifted into bound values give what their text gives:
// the same columns, rows, kinds of values, rows changed, database afterwards and errors.
// The statements run on the demo database, each in a transaction rolled back afterwards.
#include <cstdlib>
#include <memory>

#include "component/error.h"
#include "fuzz/fuzz_support.h"
#include "host/db/database.h"
#include "host/db/literal_lifter.h"

namespace nv407::fuzz {
namespace {

host::Database& DemoDatabase() {
  static const std::unique_ptr<host::Database> db = [] {
    ::setenv("POLIZAS_CHECK_LIFTED_STATEMENTS", "1", 1);
    std::unique_ptr<host::Database> made = host::OpenSqliteMemoryDatabase(
        {.clock = [] { return Date::FromYmd(2025, 3, 14, 10, 30, 0); }});
    host::CreateSchema(made->ForHost(), host::SqlDialect::kSqlite);
    host::LoadDemoData(made->ForHost());
    host::LoadDemoPolicies(made->ForHost(), Date::FromYmd(2025, 3, 14, 10, 30, 0));
    return made;
  }();
  return *db;
}

}  // namespace
}  // namespace nv407::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nv407;
  const std::string sql(fuzz::Text(data, size));
  // Only what the lifter takes apart is run: anything else could write files (ATTACH).
  if (sql.find('\0') != std::string::npos || !host::LiftLiterals(sql)) return 0;
  Connection& connection = fuzz::DemoDatabase().ForScreen();
  connection.BeginTrans();
  try {
    connection.Execute(sql);
  } catch (const Error& error) {
    // The check's own refusal starts so; SQLite's messages may quote the text, which may say
    // anything.
    const std::string what = error.what();
    fuzz::Check(!what.starts_with("binding the literals of this statement changes"),
                "a lifted statement gives what its text gives", what);
  }
  try {
    connection.RollbackTrans();
  } catch (const Error&) {  // the statement ended the transaction itself
  }
  return 0;
}
