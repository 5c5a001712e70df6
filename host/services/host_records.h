#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "component/date.h"
#include "host/db/database.h"

namespace nv407::host {

// A table whose rows the host knows by key: its spelling in the schema and its key column.
struct KnownTable {
  std::string_view name;
  std::string_view key_column;
};
// Callers spell table names in either case ("Poliza_Servicio", "POLIZA_SERVICIO");
// nullptr for a table the host does not know.
const KnownTable* FindKnownTable(std::string_view table);
// A command on a policy another program removed since the screen showed it is refused with this.
std::string RemovedPolicyMessage(std::string_view folio);
// The spelling the host tables store: the schema's for a known table, else trimmed as given.
std::string StoredTableName(std::string_view table);

// Which table a new folio must not be a row of already, and how its folio is written:
// the text before the number, and the number's digits.
struct FolioCheck {
  const KnownTable* table = nullptr;
  std::string prefix;
  std::int64_t digits = 0;
};
struct IssuedNumber {
  std::int64_t number = 0;
  std::optional<bool> taken;  // whether that folio is a row of the checked table already
};

// The statement that advances a folio series on a dialect, with its values; `checked` when it
// also tells whether the new folio is taken (a column "taken").
struct FolioSeriesStatement {
  std::string sql;
  std::vector<StatementValue> values;
  bool checked = false;
};
FolioSeriesStatement AdvanceFolioSeriesStatement(SqlDialect dialect, const std::string& branch,
                                                 const std::string& stored_table,
                                                 std::int64_t largest, const FolioCheck& check);

// The host's own tables, read and written through the host's side of the shared session,
// so that everything here joins (and rolls back with) the screen's open transaction.
class HostRecords {
 public:
  explicit HostRecords(Database& database) : database_(database) {}

  std::optional<std::string> Parameter(const std::string& name);
  bool HoldsPermission(const std::string& user, const std::string& module, const std::string& key);
  // Whether the session's own login holds it, through its group role (a server's).
  bool LoginHoldsPermission(const std::string& module, const std::string& key);
  // The server's date and time; none where the database's clock is the host's.
  std::optional<Date> ServerTime();
  bool OperatorExists(const std::string& user);
  std::optional<std::string> ExtendedText(const std::string& table, const std::string& key,
                                          const std::string& entry);
  void StoreExtendedText(const std::string& table, const std::string& key, const std::string& entry,
                         const std::string& text);
  void AppendNote(const std::string& table, const std::string& key, const std::string& note,
                  const std::string& user, const Date& at);
  std::optional<std::string> ProductText(const std::string& product);
  std::optional<std::string> TransactionCode(const std::string& application,
                                             const std::string& transaction);
  // Advances the series in one atomic statement and returns its new last number (and,
  // when asked and the dialect can tell, whether its folio is taken); empty when the
  // series already stands at `largest`.
  std::optional<IssuedNumber> AdvanceFolioSeries(const std::string& branch,
                                                 const std::string& table, std::int64_t largest,
                                                 const FolioCheck& check);
  bool RowExists(const KnownTable& table, const std::string& key);

 private:
  // The first column of the first row, empty when there is no row or it holds NULL.
  std::optional<std::string> FirstText(const std::string& sql, std::vector<StatementValue> values);

  Database& database_;
};

}  // namespace nv407::host
