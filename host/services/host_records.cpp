#include "host/services/host_records.h"

#include <array>

#include "component/error.h"
#include "host/db/dialect.h"
#include "host/services/folio.h"

namespace nv407::host {
namespace {

constexpr std::array<KnownTable, 1> kKnownTables{{{"Poliza_Servicio", "Ps_Folio"}}};

// The value of the single column a host query selects, named "v" in every statement.
constexpr std::string_view kColumn = "v";

}  // namespace

std::string Quoted(std::string_view value) {
  std::string out = "'";
  for (char c : value) {
    out += c;
    if (c == '\'') out += '\'';
  }
  out += '\'';
  return out;
}

const KnownTable* FindKnownTable(std::string_view table) {
  const std::string wanted = Upper(Trim(table));
  for (const KnownTable& known : kKnownTables)
    if (Upper(known.name) == wanted) return &known;
  return nullptr;
}

std::string StoredTableName(std::string_view table) {
  const KnownTable* known = FindKnownTable(table);
  return known ? std::string(known->name) : Trim(table);
}

std::optional<std::string> HostRecords::FirstText(const std::string& sql) {
  auto result = database_.ForHost().Execute(sql);
  std::optional<std::string> text;
  if (!result->Eof()) {
    const Variant value = result->Fields(kColumn).Value();
    if (!value.IsNull() && !value.IsEmpty()) text = value.ToText();
  }
  result->Close();
  return text;
}

std::optional<std::string> HostRecords::Parameter(const std::string& name) {
  return FirstText("SELECT value AS v FROM host_parameter WHERE name = " + Quoted(name));
}

bool HostRecords::HoldsPermission(const std::string& user, const std::string& module,
                                  const std::string& key) {
  return FirstText("SELECT 1 AS v FROM operator_permission WHERE user_code = " + Quoted(user) +
                   " AND module = " + Quoted(module) + " AND permission_key = " + Quoted(key))
      .has_value();
}

bool HostRecords::OperatorExists(const std::string& user) {
  return FirstText("SELECT 1 AS v FROM operator WHERE user_code = " + Quoted(user)).has_value();
}

std::optional<std::string> HostRecords::ExtendedText(const std::string& table,
                                                     const std::string& key,
                                                     const std::string& entry) {
  return FirstText(
      "SELECT text AS v FROM extended_text WHERE table_name = " + Quoted(StoredTableName(table)) +
      " AND record_key = " + Quoted(key) + " AND entry_code = " + Quoted(entry));
}

void HostRecords::StoreExtendedText(const std::string& table, const std::string& key,
                                    const std::string& entry, const std::string& text) {
  // A read, then an update or an insert: plain statements that every dialect runs. Inside
  // the screen's transaction they are serialised; outside one, a lost race ends in the key's
  // refusal, which the caller reports as "not stored".
  const std::string where = " WHERE table_name = " + Quoted(StoredTableName(table)) +
                            " AND record_key = " + Quoted(key) +
                            " AND entry_code = " + Quoted(entry);
  Connection& connection = database_.ForHost();
  if (FirstText("SELECT 1 AS v FROM extended_text" + where)) {
    connection.Execute("UPDATE extended_text SET text = " + Quoted(text) + where)->Close();
  } else {
    connection
        .Execute("INSERT INTO extended_text (table_name, record_key, entry_code, text) VALUES (" +
                 Quoted(StoredTableName(table)) + ", " + Quoted(key) + ", " + Quoted(entry) + ", " +
                 Quoted(text) + ")")
        ->Close();
  }
}

void HostRecords::AppendNote(const std::string& table, const std::string& key,
                             const std::string& note, const std::string& user, const Date& at) {
  database_.ForHost()
      .Execute(
          "INSERT INTO record_log (table_name, record_key, note, user_code, logged_at) "
          "VALUES (" +
          Quoted(StoredTableName(table)) + ", " + Quoted(key) + ", " + Quoted(note) + ", " +
          Quoted(user) + ", " + Quoted(DateTimeText(database_.Dialect(), at)) + ")")
      ->Close();
}

std::optional<std::string> HostRecords::ProductText(const std::string& product) {
  return FirstText("SELECT text AS v FROM product_text WHERE product_code = " + Quoted(product));
}

std::optional<std::string> HostRecords::TransactionCode(const std::string& application,
                                                        const std::string& transaction) {
  return FirstText("SELECT code AS v FROM host_transaction WHERE application = " +
                   Quoted(application) + " AND transaction_name = " + Quoted(transaction));
}

std::optional<std::int64_t> HostRecords::AdvanceFolioSeries(const std::string& branch,
                                                            const std::string& table,
                                                            std::int64_t largest) {
  const std::string sql =
      Traits(database_.Dialect())
          .advance_folio_series(Quoted(branch), Quoted(StoredTableName(table)), largest);
  auto result = database_.ForHost().Execute(sql);
  std::optional<std::int64_t> number;
  if (!result->Eof()) number = result->Fields(kColumn).Value().ToLong();
  result->Close();
  return number;
}

bool HostRecords::RowExists(const KnownTable& table, const std::string& key) {
  return FirstText("SELECT 1 AS v FROM " + std::string(table.name) + " WHERE " +
                   std::string(table.key_column) + " = " + Quoted(key))
      .has_value();
}

}  // namespace nv407::host
