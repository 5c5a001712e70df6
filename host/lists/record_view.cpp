#include "host/lists/record_view.h"

#include <algorithm>
#include <memory>

#include "component/error.h"
#include "data/schema.h"
#include "host/db/dialect.h"
#include "host/db/text.h"
#include "host/headless/text_rules.h"
#include "host/services/host_records.h"

namespace nv407::host {
namespace {

void RequireName(const std::string& name) {
  const bool plain =
      !name.empty() && !IsAsciiDigit(name[0]) &&
      std::all_of(name.begin(), name.end(), [](char c) { return IsAsciiAlnum(c) || c == '_'; });
  if (!plain) throw Error("\"" + name + "\" is not a table or column name");
}

std::vector<std::string> ColumnNames(Database& database, const std::string& table) {
  std::vector<std::string> names;
  std::unique_ptr<Recordset> result =
      database.HostQuery(std::string(Traits(database.Dialect()).table_columns_query), {table});
  for (; !result->Eof(); result->MoveNext())
    names.push_back(result->Fields("column_name").Value().TextOrEmpty());
  result->Close();
  if (names.empty()) throw Error("There is no table " + table);
  return names;
}

}  // namespace

RecordView ReadRecord(Database& database, const std::string& table, const std::string& key_column,
                      const std::string& key) {
  RequireName(table);
  RequireName(key_column);
  RecordView view{table, key_column, key, false, {}, {}, {}};
  Connection& connection = database.ForHost();

  const std::vector<std::string> names = ColumnNames(database, table);
  std::unique_ptr<Recordset> row = connection.Execute("SELECT * FROM " + table + " WHERE " +
                                                      key_column + " = " + QuotedText(key));
  view.found = !row->Eof();
  for (const std::string& name : names)
    view.columns.emplace_back(name, view.found ? row->Fields(name).Value() : Variant::MakeNull());
  row->Close();

  // The record log keeps the table as its writer spelled it; names compare without case.
  std::unique_ptr<Recordset> notes = connection.Execute(
      "SELECT logged_at AS a, user_code AS u, note AS n FROM record_log "
      "WHERE UPPER(table_name) = UPPER(" +
      QuotedText(table) + ") AND record_key = " + QuotedText(key) + " ORDER BY id");
  for (; !notes->Eof(); notes->MoveNext()) {
    view.notes.push_back({notes->Fields("a").Value().TextOrEmpty(),
                          notes->Fields("u").Value().TextOrEmpty(),
                          notes->Fields("n").Value().TextOrEmpty()});
  }
  notes->Close();

  if (const KnownTable* known = FindKnownTable(table);
      known && known->name == schema::kPolizaServicio)
    view.services = ReadServiceUsage(connection, key);
  return view;
}

}  // namespace nv407::host
