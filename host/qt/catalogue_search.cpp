#include "host/qt/catalogue_search.h"

#include <memory>
#include <regex>

#include "host/db/dialect.h"
#include "host/headless/text_rules.h"

namespace nv407::host {
namespace {

std::string Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

std::string CellText(const Variant& value) {
  return value.IsNull() ? std::string() : value.ToText();
}

// The statements are appended piece by piece: GCC 12 at -O3 takes a literal + a temporary
// text for an overlapping copy (-Wrestrict).
std::string Alias(std::size_t column) {
  std::string alias = "c";
  alias += std::to_string(column);
  return alias;
}

std::string Parenthesised(const std::string& text) {
  std::string out = "(";
  out += text;
  out += ')';
  return out;
}

std::string SelectList(const ListSource& source) {
  std::string list = source.key + " AS " + Alias(0);
  for (std::size_t i = 0; i < source.columns.size(); ++i)
    list += ", " + source.columns[i] + " AS " + Alias(i + 1);
  return list;
}

// The smallest text above every text that starts with `prefix` (byte order); none when
// there is no such bound.
std::optional<std::string> PrefixEnd(std::string prefix) {
  while (!prefix.empty() && static_cast<unsigned char>(prefix.back()) == 0xFF) prefix.pop_back();
  if (prefix.empty()) return std::nullopt;
  prefix.back() = static_cast<char>(static_cast<unsigned char>(prefix.back()) + 1);
  return prefix;
}

// LIKE's own characters in the text stand for themselves (the escape is a backslash).
std::string LikeLiteral(std::string_view text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\\' || c == '%' || c == '_') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

// Keys start with the text, typed as a key field takes it (upper case); or a searched
// column holds it in any letter case.
std::string FindsText(const ListSource& source, SqlDialect dialect, const std::string& text) {
  const std::string prefix = UpperCaseText(text);
  std::string finds = "(";
  finds += source.key + " >= " + QuotedText(prefix);
  if (const auto end = PrefixEnd(prefix)) finds += " AND " + source.key + " < " + QuotedText(*end);
  finds += ")";
  const std::string literal = LikeLiteral(text);
  std::string anywhere = "%";
  anywhere += literal;
  anywhere += '%';
  const std::string pattern = QuotedText(anywhere);
  // The escape costs on every row: it is there only when the text needed it.
  const bool escaped = literal.size() != text.size();
  // An UPPER() on every row would double what the search costs where LIKE needs none.
  const bool case_blind_like = Traits(dialect).like_ignores_case;
  for (const std::string& column : source.searched) {
    finds += " OR ";
    finds += case_blind_like ? column + " LIKE " + pattern
                             : "UPPER(" + column + ") LIKE UPPER(" + pattern + ")";
    if (escaped) finds += " ESCAPE '\\'";
  }
  return finds;
}

std::vector<FoundRow> ReadRows(Connection& connection, const ListSource& source,
                               const std::string& sql) {
  std::vector<FoundRow> rows;
  std::unique_ptr<Recordset> result = connection.Execute(sql);
  for (; !result->Eof(); result->MoveNext()) {
    FoundRow row;
    for (std::size_t i = 0; i <= source.columns.size(); ++i)
      row.push_back(CellText(result->Fields(Alias(i)).Value()));
    rows.push_back(std::move(row));
  }
  result->Close();
  return rows;
}

}  // namespace

std::string PageStatement(const ListSource& source, SqlDialect dialect, const PageQuery& page) {
  std::vector<std::string> where;
  if (!source.conditions.empty()) where.push_back(Parenthesised(source.conditions));
  const std::string text = Trimmed(page.text);
  if (!text.empty()) where.push_back(Parenthesised(FindsText(source, dialect, text)));
  if (page.after) where.push_back(source.key + " > " + QuotedText(*page.after));
  if (page.among) {
    std::string keys;
    for (const std::string& key : *page.among) {
      if (!keys.empty()) keys += ", ";
      keys += QuotedText(key);
    }
    where.push_back(keys.empty() ? std::string("1 = 0") : source.key + " IN (" + keys + ")");
  }

  std::string sql = "SELECT ";
  sql += SelectList(source) + " FROM " + source.from;
  for (std::size_t i = 0; i < where.size(); ++i) {
    sql += i == 0 ? " WHERE " : " AND ";
    sql += where[i];
  }
  sql += " ORDER BY " + source.key + " ";
  sql += Traits(dialect).first_rows(page.limit);
  return sql;
}

std::vector<FoundRow> ReadPage(Database& database, const ListSource& source,
                               const PageQuery& page) {
  return ReadRows(database.ForHost(), source, PageStatement(source, database.Dialect(), page));
}

// A key that starts with the longer text starts with the shorter; a column that holds the
// longer text holds the shorter.
bool FindsWithin(std::string_view longer, std::string_view shorter) {
  const std::string wanted = Trimmed(longer);
  const std::string found = Trimmed(shorter);
  return !found.empty() && wanted.starts_with(found);
}

std::optional<FoundRow> ReadRow(Connection& connection, const ListSource& source,
                                const std::string& key) {
  std::string sql = "SELECT ";
  sql += SelectList(source) + " FROM " + source.from + " WHERE " + source.key + " = " +
         QuotedText(key);
  std::vector<FoundRow> rows = ReadRows(connection, source, sql);
  if (rows.empty()) return std::nullopt;
  return std::move(rows.front());
}

std::optional<ListSource> CatalogueOf(std::string_view lookup_sql) {
  static const std::regex shape(
      R"(^\s*select\s+([A-Za-z_][\w.]*)\s+from\s+([A-Za-z_]\w*)\s+where\s+([A-Za-z_][\w.]*)\s*=\s*'\?'\s*(.*?)\s*$)",
      std::regex::icase);
  std::smatch match;
  const std::string sql(lookup_sql);
  if (!std::regex_match(sql, match, shape)) return std::nullopt;

  static const std::regex leading_and(R"(^and\s+)", std::regex::icase);
  const std::string conditions = std::regex_replace(Trimmed(match.str(4)), leading_and, "",
                                                    std::regex_constants::format_first_only);
  // Anything but further AND-ed conditions (an OR, an ORDER BY) would change what the
  // key condition meant: such a statement is not searched.
  static const std::regex plain_conditions(R"(^(?!.*\b(or|order|group|union|limit)\b).*$)",
                                           std::regex::icase);
  if (!std::regex_match(conditions, plain_conditions)) return std::nullopt;
  const std::string description = match[1];
  return ListSource{match[2], match[3], {description}, {description}, conditions};
}

}  // namespace nv407::host
