#include "host/qt/catalogue_search.h"

#include <memory>
#include <regex>

namespace nv407::host {
namespace {

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::string CellText(const Variant& value) {
  return value.IsNull() ? std::string() : value.ToText();
}

}  // namespace

std::optional<CatalogueQuery> CatalogueOf(std::string_view lookup_sql) {
  static const std::regex shape(
      R"(^\s*select\s+([A-Za-z_][\w.]*)\s+from\s+([A-Za-z_]\w*)\s+where\s+([A-Za-z_][\w.]*)\s*=\s*'\?'\s*(.*?)\s*$)",
      std::regex::icase);
  std::smatch match;
  const std::string sql(lookup_sql);
  if (!std::regex_match(sql, match, shape)) return std::nullopt;

  CatalogueQuery query{match[2], match[3], match[1], Trimmed(match[4])};
  static const std::regex leading_and(R"(^and\s+)", std::regex::icase);
  query.conditions = std::regex_replace(query.conditions, leading_and, "",
                                        std::regex_constants::format_first_only);
  // Anything but further AND-ed conditions (an OR, an ORDER BY) would change what the
  // key condition meant: such a statement is not searched.
  static const std::regex plain_conditions(R"(^(?!.*\b(or|order|group|union|limit)\b).*$)",
                                           std::regex::icase);
  if (!std::regex_match(query.conditions, plain_conditions)) return std::nullopt;
  return query;
}

std::string SearchStatement(const CatalogueQuery& query) {
  std::string sql = "SELECT " + query.key_column + " AS clave, " + query.description_column +
                    " AS descripcion FROM " + query.table;
  if (!query.conditions.empty()) sql += " WHERE " + query.conditions;
  return sql + " ORDER BY " + query.key_column;
}

std::vector<CatalogueRow> SearchCatalogue(Connection& connection, const CatalogueQuery& query) {
  std::vector<CatalogueRow> rows;
  std::unique_ptr<Recordset> result = connection.Execute(SearchStatement(query));
  for (; !result->Eof(); result->MoveNext()) {
    rows.push_back({CellText(result->Fields("clave").Value()),
                    CellText(result->Fields("descripcion").Value())});
  }
  result->Close();
  return rows;
}

}  // namespace nv407::host
