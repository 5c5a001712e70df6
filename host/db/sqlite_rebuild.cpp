#include "host/db/sqlite_rebuild.h"

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "component/error.h"
#include "host/db/dialect.h"
#include "host/db/replaced_indexes.h"

namespace nv407::host {
namespace {

constexpr const char* kOldSuffix = "__by_row_number";

// Column v of every row.
std::vector<std::string> Texts(Database& database, const std::string& query,
                               std::vector<StatementValue> values = {}) {
  std::vector<std::string> texts;
  for (auto result = database.HostQuery(query, std::move(values)); !result->Eof();
       result->MoveNext())
    texts.push_back(result->Fields("v").Value().ToText());
  return texts;
}

// A database in memory with the schema as a new file gets it, to read the schema off.
std::unique_ptr<Database> NewSchema() {
  auto fresh = OpenSqliteMemoryDatabase();
  CreateSchema(fresh->ForHost(), SqlDialect::kSqlite);
  return fresh;
}

// The schema's keyed tables.
std::set<std::string> KeyedTables() {
  const std::vector<std::string> names =
      Texts(*NewSchema(),
            "SELECT name AS v FROM pragma_table_list WHERE schema = 'main' AND type = 'table' "
            "AND wr");
  return {names.begin(), names.end()};
}

enum class HeldInAnotherText { kKept, kWrittenAgain };

// Makes, in one transaction, each object of the given type that a new file's schema has and
// the file lacks; one the file holds in another text is kept or written again. Returns the
// names made or written again.
std::vector<std::string> MakeMissing(Database& database, const std::string& type,
                                     HeldInAnotherText other_text) {
  const std::unique_ptr<Database> fresh = NewSchema();
  Connection& sql = database.ForHost();
  std::vector<std::string> made;
  TransactionScope transaction(sql);
  for (const std::string& name :
       Texts(*fresh,
             "SELECT name AS v FROM sqlite_master WHERE type = ? AND sql IS NOT NULL ORDER BY "
             "name",
             {type})) {
    const std::string written =
        Texts(*fresh, "SELECT sql AS v FROM sqlite_master WHERE name = ?", {name}).at(0);
    // SQLite's names match in any letter case.
    const std::vector<std::string> held = Texts(
        database, "SELECT sql AS v FROM sqlite_master WHERE type = ? AND name = ? COLLATE NOCASE",
        {type, name});
    if (!held.empty() && (held.front() == written || other_text == HeldInAnotherText::kKept))
      continue;
    if (!held.empty()) sql.Execute("DROP " + type + " \"" + name + "\"")->Close();
    sql.Execute(written)->Close();
    made.push_back(held.empty() ? name : name + " as this version writes it");
  }
  transaction.Commit();
  return made;
}

// The pragmas a rebuild needs outside its transaction, set back however it ends: with
// foreign keys off, dropping a table checks nothing and renaming one leaves the other
// tables' references to it as they are.
class RebuildPragmas {
 public:
  explicit RebuildPragmas(Connection& sql) : sql_(sql) {
    sql_.Execute("PRAGMA foreign_keys = OFF")->Close();
    sql_.Execute("PRAGMA legacy_alter_table = ON")->Close();
  }
  ~RebuildPragmas() {
    try {
      sql_.Execute("PRAGMA legacy_alter_table = OFF")->Close();
      sql_.Execute("PRAGMA foreign_keys = ON")->Close();
    } catch (const Error&) {
      // The connection is closed next; its settings go with it.
    }
  }
  RebuildPragmas(const RebuildPragmas&) = delete;
  RebuildPragmas& operator=(const RebuildPragmas&) = delete;

 private:
  Connection& sql_;
};

void Rebuild(Database& database, const std::string& table) {
  Connection& sql = database.ForHost();
  const std::string old = table + kOldSuffix;
  const std::string definition =
      Texts(database, "SELECT sql AS v FROM sqlite_master WHERE type = 'table' AND name = ?",
            {table})
          .at(0);
  const std::vector<std::string> indexes =
      Texts(database,
            "SELECT sql AS v FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL AND "
            "tbl_name = ? ORDER BY rowid",
            {table});
  sql.Execute("ALTER TABLE \"" + table + "\" RENAME TO \"" + old + "\"")->Close();
  sql.Execute(definition + " WITHOUT ROWID")->Close();
  sql.Execute("INSERT INTO \"" + table + "\" SELECT * FROM \"" + old + "\"")->Close();
  sql.Execute("DROP TABLE \"" + old + "\"")->Close();
  for (const std::string& index : indexes) sql.Execute(index)->Close();
}

}  // namespace

std::vector<std::string> TablesStoredByRowNumber(Database& database) {
  if (database.Dialect() != SqlDialect::kSqlite) return {};
  const std::set<std::string> keyed = KeyedTables();
  std::vector<std::string> tables;
  for (const std::string& name :
       Texts(database,
             "SELECT name AS v FROM pragma_table_list WHERE schema = 'main' AND type = 'table' "
             "AND NOT wr ORDER BY name"))
    if (keyed.contains(name)) tables.push_back(name);
  return tables;
}

std::vector<std::string> RebuildTablesStoredByRowNumber(Database& database) {
  const std::vector<std::string> tables = TablesStoredByRowNumber(database);
  if (tables.empty()) return tables;
  Connection& sql = database.ForHost();
  RebuildPragmas pragmas(sql);
  TransactionScope transaction(sql);
  // Every trigger goes first and comes back last, the session's own (temporary) ones too: a
  // trigger on a table goes with it, and none may fire while the rows are copied. SQLite
  // keeps a temporary trigger's text without its TEMP, which it gets back here.
  std::vector<std::pair<std::string, std::string>> triggers;
  for (auto result = database.HostQuery(
           "SELECT '\"main\".\"' || name || '\"' AS n, sql AS v, 1 AS o, rowid AS r FROM "
           "sqlite_master WHERE type = 'trigger' UNION ALL SELECT '\"temp\".\"' || name || '\"', "
           "'CREATE TEMP ' || substr(sql, 8), 2, rowid FROM sqlite_temp_master WHERE type = "
           "'trigger' ORDER BY o, r",
           {});
       !result->Eof(); result->MoveNext())
    triggers.emplace_back(result->Fields("n").Value().ToText(),
                          result->Fields("v").Value().ToText());
  // References the file broke before (written with foreign keys off) are not the rebuild's
  // to mend; any other is a fault of the rebuild.
  const std::string references =
      "SELECT k || ' ' || n AS v FROM (SELECT \"table\" || ' -> ' || parent AS k, count(*) AS n "
      "FROM pragma_foreign_key_check GROUP BY k) ORDER BY v";
  const std::vector<std::string> broken_before = Texts(database, references);
  for (const auto& [name, definition] : triggers) sql.Execute("DROP TRIGGER " + name)->Close();
  for (const std::string& table : tables) Rebuild(database, table);
  for (const auto& [name, definition] : triggers) sql.Execute(definition)->Close();
  if (Texts(database, references) != broken_before)
    throw Error("the rebuilt tables would break a reference; the file was left as it was");
  transaction.Commit();
  return tables;
}

std::vector<std::string> AddMissingIndexes(Database& database) {
  return MakeMissing(database, "index", HeldInAnotherText::kKept);
}

std::vector<std::string> AddMissingGuards(Database& database) {
  return MakeMissing(database, "trigger", HeldInAnotherText::kWrittenAgain);
}

std::vector<std::string> DropReplacedIndexes(Database& database) {
  Connection& sql = database.ForHost();
  std::vector<std::string> dropped;
  TransactionScope transaction(sql);
  for (const ReplacedIndex& index : kReplacedIndexes) {
    const std::string name(index.name);
    if (Texts(database, std::string(Traits(SqlDialect::kSqlite).index_as_made_query),
              {name, std::string(index.table), std::string(index.columns)})
            .empty())
      continue;
    sql.Execute("DROP INDEX \"" + name + "\"")->Close();
    dropped.push_back(name);
  }
  transaction.Commit();
  return dropped;
}

}  // namespace nv407::host
