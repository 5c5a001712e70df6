#include "host/services/host_records.h"

#include <array>

#include "component/error.h"
#include "host/db/dialect.h"
#include "host/db/text.h"

namespace nv407::host {
namespace {

constexpr std::array<KnownTable, 1> kKnownTables{{{"Poliza_Servicio", "Ps_Folio"}}};

// The value of the single column a host query selects, named "v" in every statement.
constexpr std::string_view kColumn = "v";

}  // namespace

std::string RemovedPolicyMessage(std::string_view folio) {
  return "La póliza " + std::string(folio) + " ya no existe; cárguela de nuevo";
}

const KnownTable* FindKnownTable(std::string_view table) {
  const std::string wanted = AsciiUpper(Trim(table));
  for (const KnownTable& known : kKnownTables)
    if (AsciiUpper(known.name) == wanted) return &known;
  return nullptr;
}

std::string StoredTableName(std::string_view table) {
  const KnownTable* known = FindKnownTable(table);
  return known ? std::string(known->name) : Trim(table);
}

std::optional<std::string> HostRecords::FirstText(const std::string& sql,
                                                  std::vector<StatementValue> values) {
  auto result = database_.HostQuery(sql, std::move(values));
  std::optional<std::string> text;
  if (!result->Eof()) {
    const Variant value = result->Fields(kColumn).Value();
    if (!value.IsNull() && !value.IsEmpty()) text = value.ToText();
  }
  result->Close();
  return text;
}

std::optional<std::string> HostRecords::Parameter(const std::string& name) {
  return FirstText("SELECT value AS v FROM host_parameter WHERE name = ?", {name});
}

bool HostRecords::HoldsPermission(const std::string& user, const std::string& module,
                                  const std::string& key) {
  return FirstText(
             "SELECT 1 AS v FROM operator_permission WHERE user_code = ? AND module = ? AND "
             "permission_key = ?",
             {user, module, key})
      .has_value();
}

bool HostRecords::LoginHoldsPermission(const std::string& module, const std::string& key) {
  return FirstText(std::string(Traits(database_.Dialect()).login_permission_query), {module, key})
      .has_value();
}

std::optional<Date> HostRecords::ServerTime() {
  const std::string_view query = Traits(database_.Dialect()).server_time_query;
  if (query.empty()) return std::nullopt;
  auto result = database_.HostQuery(std::string(query), {});
  std::optional<Date> now;
  if (!result->Eof()) now = result->Fields(kColumn).Value().ToDate();
  result->Close();
  return now;
}

bool HostRecords::OperatorExists(const std::string& user) {
  return FirstText("SELECT 1 AS v FROM operator WHERE user_code = ?", {user}).has_value();
}

std::optional<std::string> HostRecords::ExtendedText(const std::string& table,
                                                     const std::string& key,
                                                     const std::string& entry) {
  return FirstText(
      "SELECT text AS v FROM extended_text WHERE table_name = ? AND record_key = ? AND "
      "entry_code = ?",
      {StoredTableName(table), key, entry});
}

void HostRecords::StoreExtendedText(const std::string& table, const std::string& key,
                                    const std::string& entry, const std::string& text) {
  static constexpr std::array<std::string_view, 3> kKeys = {"table_name", "record_key",
                                                            "entry_code"};
  static constexpr std::array<std::string_view, 1> kColumns = {"text"};
  database_
      .HostQuery(Traits(database_.Dialect()).upsert("extended_text", kKeys, kColumns),
                 {StoredTableName(table), key, entry, text})
      ->Close();
}

void HostRecords::AppendNote(const std::string& table, const std::string& key,
                             const std::string& note, const std::string& user, const Date& at) {
  // A policy removed by another program since the screen showed it gets no note: the Baja or
  // the edit that would write one fails with it, having changed nothing.
  if (const KnownTable* known = FindKnownTable(table); known && !RowExists(*known, key))
    throw Error(RemovedPolicyMessage(key));
  database_
      .HostQuery(
          "INSERT INTO record_log (table_name, record_key, note, user_code, logged_at) "
          "VALUES (?, ?, ?, ?, ?)",
          {StoredTableName(table), key, note, user, DateTimeText(database_.Dialect(), at)})
      ->Close();
}

std::optional<std::string> HostRecords::ProductText(const std::string& product) {
  return FirstText("SELECT text AS v FROM product_text WHERE product_code = ?", {product});
}

std::optional<std::string> HostRecords::TransactionCode(const std::string& application,
                                                        const std::string& transaction) {
  return FirstText(
      "SELECT code AS v FROM host_transaction WHERE application = ? AND transaction_name = ?",
      {application, transaction});
}

FolioSeriesStatement AdvanceFolioSeriesStatement(SqlDialect dialect, const std::string& branch,
                                                 const std::string& stored_table,
                                                 std::int64_t largest, const FolioCheck& check) {
  const DialectTraits& traits = Traits(dialect);
  FolioSeriesStatement statement{{}, {branch, stored_table, largest}, false};
  statement.checked = check.table != nullptr && traits.folio_checked_in_series;
  if (!statement.checked) {
    statement.sql = traits.advance_folio_series({}, {});
    return statement;
  }
  statement.sql = traits.advance_folio_series(check.table->name, check.table->key_column);
  statement.values.insert(statement.values.end(), {check.prefix, check.digits});
  return statement;
}

std::optional<IssuedNumber> HostRecords::AdvanceFolioSeries(const std::string& branch,
                                                            const std::string& table,
                                                            std::int64_t largest,
                                                            const FolioCheck& check) {
  FolioSeriesStatement statement = AdvanceFolioSeriesStatement(
      database_.Dialect(), branch, StoredTableName(table), largest, check);
  auto result = database_.HostQuery(statement.sql, std::move(statement.values));
  std::optional<IssuedNumber> issued;
  if (!result->Eof()) {
    issued.emplace();
    issued->number = result->Fields(kColumn).Value().ToLong();
    if (statement.checked) issued->taken = result->Fields("taken").Value().ToLong() != 0;
  }
  result->Close();
  return issued;
}

bool HostRecords::RowExists(const KnownTable& table, const std::string& key) {
  return FirstText("SELECT 1 AS v FROM " + std::string(table.name) + " WHERE " +
                       std::string(table.key_column) + " = ?",
                   {key})
      .has_value();
}

}  // namespace nv407::host
