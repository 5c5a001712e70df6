#include "host/lists/catalogue_search.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <regex>
#include <stdexcept>

#include "host/db/dialect.h"
#include "host/db/text.h"
#include "host/headless/text_rules.h"

namespace nv407::host {
namespace {

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

// Beside the shown columns, the value that orders each row (PagePlace), not shown.
constexpr const char* kOrderedBy = "ordered_by";

// The smallest text above every text that starts with `prefix` (byte order); none when
// there is no such bound.
std::optional<std::string> PrefixEnd(std::string prefix) {
  while (!prefix.empty() && static_cast<unsigned char>(prefix.back()) == 0xFF) prefix.pop_back();
  if (prefix.empty()) return std::nullopt;
  prefix.back() = static_cast<char>(static_cast<unsigned char>(prefix.back()) + 1);
  return prefix;
}

// LIKE's own characters in the text stand for themselves (the escape is a backslash), and
// so does '[', which opens a set of characters in SQL Server's.
std::string LikeLiteral(std::string_view text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\\' || c == '%' || c == '_' || c == '[') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

bool HasLatinCase(std::string_view text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i)
    if (static_cast<unsigned char>(text[i]) == 0xC3 &&
        LatinOtherCase(static_cast<unsigned char>(text[i + 1])) != 0)
      return true;
  return false;
}

// A GLOB pattern of the text in which each letter is either of its cases ([aA], [éÉ]) and
// GLOB's own characters stand for themselves.
std::string GlobInAnyCase(std::string_view text) {
  std::string glob;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (static_cast<unsigned char>(c) == 0xC3 && i + 1 < text.size() &&
        IsContinuationByte(text[i + 1])) {
      const char second = text[++i];
      const unsigned char other = LatinOtherCase(static_cast<unsigned char>(second));
      if (other) glob += '[';
      glob += {c, second};
      if (other) glob += {c, static_cast<char>(other), ']'};
    } else if (IsAsciiAlnum(c) && !IsAsciiDigit(c)) {
      glob += {'[', AsciiLower(c), static_cast<char>(AsciiLower(c) - 'a' + 'A'), ']'};
    } else if (c == '*' || c == '?' || c == '[') {
      glob += {'[', c, ']'};
    } else {
      glob += c;
    }
  }
  return glob;
}

// A LIKE pattern (unquoted, without its '%') of the text in which each letter with another
// case outside ASCII stands for any one character: what GlobInAnyCase finds, and a little
// more, at the cost of LIKE.
std::string LikeAnyLatinCase(std::string_view text) {
  std::string like;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) == 0xC3 && i + 1 < text.size() &&
        IsContinuationByte(text[i + 1]) &&
        LatinOtherCase(static_cast<unsigned char>(text[i + 1])) != 0) {
      like += '_';
      ++i;
    } else {
      like += LikeLiteral(text.substr(i, 1));
    }
  }
  return like;
}

// `subject` LIKE `pattern`, both SQL; `text` is what the pattern was made of.
std::string Like(const std::string& subject, const std::string& pattern, std::string_view text) {
  std::string like = subject;
  like += " LIKE ";
  like += pattern;
  // The escape costs on every row: it is there only when the text needed it.
  if (LikeLiteral(text).size() != text.size()) like += " ESCAPE '\\'";
  return like;
}

// Keys start with the text, or a searched column holds it.
std::string FindsText(const ListSource& source, SqlDialect dialect, const std::string& text) {
  std::string finds = StartsWith(source.key, dialect, text);
  for (const std::string& column : source.searched) {
    finds += " OR ";
    finds += Holds(column, dialect, text);
  }
  return finds;
}

// How the page's order sorts, where its column says how.
const ColumnSort* SortOf(const ListSource& source, const ListOrder& order) {
  if (order.column == 0) return nullptr;
  const auto column = static_cast<std::size_t>(order.column - 1);
  return column < source.sorts.size() ? &source.sorts[column] : nullptr;
}

// The list as a page in this order reads it: with the table the order keeps joined. Where
// no text narrows the rows, that table is read first, in its index's order (CROSS JOIN,
// which SQLite never reorders), each row's own looked at until the page is full: the
// conditions of a quick filter keep a good part of the rows, so the page fills soon, where
// SQLite's planner would sort all they keep. A text may find a handful of rows in a
// million: the database then chooses where to start.
ListSource AsRead(const ListSource& source, const ListOrder& order, bool narrowed) {
  const ColumnSort* sort = SortOf(source, order);
  if (sort == nullptr || sort->table.empty()) return source;
  ListSource read = source;
  if (narrowed) {
    read.from = source.from + " JOIN " + sort->table + " ON " + sort->on;
    return read;
  }
  read.from = sort->table + " CROSS JOIN " + source.from;
  read.conditions =
      source.conditions.empty() ? sort->on : sort->on + " AND " + Parenthesised(source.conditions);
  return read;
}

// What orders the rows in another order than the key's, and what ends its ties.
struct SortKeys {
  std::string by;
  std::string ties;
  bool ties_descending;
};
SortKeys KeysOf(const ListSource& source, const ListOrder& order) {
  const ColumnSort* sort = SortOf(source, order);
  std::string by = sort && !sort->by.empty()
                       ? sort->by
                       : source.columns.at(static_cast<std::size_t>(order.column - 1));
  // Ties end on the key in its own order, or on the sort's key in the sort's direction, so
  // that either direction is one range of the sort's index.
  if (sort == nullptr || sort->key.empty()) return {std::move(by), source.key, false};
  return {std::move(by), sort->key, order.descending};
}

// What the rows are ordered by: the shown column's sort, then the key.
std::string OrderBy(const ListSource& source, const ListOrder& order) {
  const std::string direction = order.descending ? " DESC" : "";
  const std::string within = source.within_key.empty() ? "" : ", " + source.within_key;
  if (order.column == 0) return source.key + direction + within;
  const SortKeys keys = KeysOf(source, order);
  return keys.by + direction + ", " + keys.ties + (keys.ties_descending ? " DESC" : "") + within;
}

// The value a page reads on from in an order other than the key's: a place of a key alone
// has none.
const Variant& OrderingValue(const PagePlace& after) {
  if (after.value.IsEmpty())
    throw std::invalid_argument("a page in this order reads on from the value of its last row");
  return after.value;
}

// The value that ordered a row, as a literal of the statement: a text quoted (the host binds
// it), a number as exactly as it was read, so that it compares as it did when read.
std::string ValueLiteral(const Variant& value, SqlDialect dialect) {
  switch (value.kind()) {
    case Variant::Kind::kString:
      return QuotedText(value.ToText());
    case Variant::Kind::kDate:
      return QuotedText(DateTimeText(dialect, value.ToDate()));
    case Variant::Kind::kLong:
      return std::to_string(value.ToLong());
    case Variant::Kind::kBoolean:
      return value.ToBool() ? "1" : "0";
    case Variant::Kind::kDouble: {
      const double number = value.ToDouble();
      // Only a server keeps NaN (SQLite keeps NULL instead).
      if (std::isnan(number)) return "CAST('NaN' AS FLOAT)";
      if (std::isinf(number)) {
        std::string infinity = number > 0 ? "" : "-";
        infinity += Traits(dialect).infinity;
        return infinity;
      }
      // Seventeen digits read back as the same double.
      std::array<char, 32> text{};
      std::snprintf(text.data(), text.size(), "%.17g", number);
      return text.data();
    }
    case Variant::Kind::kEmpty:
    case Variant::Kind::kNull:
      break;
  }
  throw std::invalid_argument("a value without a literal");
}

// A stretch of the page's order, read on its own to the page's end: the rows of one
// condition ("" for every row).
struct Stretch {
  std::string where;
  // Its rows share one value: the key alone orders them, in its own order.
  bool by_key = false;
  // Descending, with ties on the key ascending, no index reads the rows in this order: its
  // highest value's rows are read on their own, by the key alone, and those below it apart.
  bool highest_apart = false;
};

// Whether a descending page's ties run against it (on the key ascending).
bool TiesAgainst(const ListSource& source, const ListOrder& order) {
  const ColumnSort* sort = SortOf(source, order);
  return order.descending && (sort == nullptr || sort->key.empty());
}

// In an order of a few values (ColumnSort::values): the stretch of each value that follows
// the place `after` (every value on a first page; none after a row without one), and of that
// value's ties beyond its key. The values are words that sort alike in every database and
// in bytes.
std::vector<Stretch> ValueStretches(const ListSource& source, const ListOrder& order,
                                    const PagePlace* after) {
  std::optional<std::string> after_value;
  if (after) {
    const Variant& value = OrderingValue(*after);
    if (value.IsNull()) return {{"1 = 0"}};
    after_value = value.ToText();
  }
  const SortKeys keys = KeysOf(source, order);
  const std::string by = Parenthesised(keys.by);
  std::vector<Stretch> stretches;
  for (const std::string& value : SortOf(source, order)->values) {
    std::string where = by + " = " + QuotedText(value);
    if (after) {
      if (value == *after_value) {
        where += " AND " + keys.ties + " > " + QuotedText(after->key);
      } else if ((value < *after_value) != order.descending) {
        continue;
      }
    }
    stretches.push_back({std::move(where), true});
  }
  if (stretches.empty()) return {{"1 = 0"}};
  return stretches;
}

// The stretches of a first page where the order's rows are not one range of an index: by
// value then NULL, or by each value.
std::vector<Stretch> FirstStretches(const ListSource& source, const ListOrder& order) {
  const ColumnSort* sort = SortOf(source, order);
  if (sort != nullptr && !sort->values.empty()) return ValueStretches(source, order, nullptr);
  if (order.column == 0 || !TiesAgainst(source, order)) return {};
  const std::string by = Parenthesised(KeysOf(source, order).by);
  return {{by + " IS NOT NULL", false, true}, {by + " IS NULL"}};
}

// The rows that follow the place `after` in the page's order, as stretches of the order each
// read on its own: in the key's order, the keys beyond; in another, the ties of its value
// beyond its key, the values beyond its own, and NULL where the dialect sorts it after them
// (or, where its value is NULL, the NULL beyond its key and the values where NULL sorts
// first).
std::vector<Stretch> Following(const ListSource& source, SqlDialect dialect, const ListOrder& order,
                               const PagePlace& after) {
  const std::string key = QuotedText(after.key);
  if (order.column == 0) return {{source.key + (order.descending ? " < " : " > ") + key}};
  const ColumnSort* sort = SortOf(source, order);
  if (sort != nullptr && !sort->values.empty()) return ValueStretches(source, order, &after);
  const SortKeys keys = KeysOf(source, order);
  const std::string by = Parenthesised(keys.by);
  const std::string ties = keys.ties + (keys.ties_descending ? " < " : " > ") + key;
  const bool apart = TiesAgainst(source, order);
  // An ascending order puts NULL first where the dialect sorts it first.
  const bool nulls_before = Traits(dialect).nulls_first != order.descending;
  if (OrderingValue(after).IsNull()) {
    std::vector<Stretch> stretches = {{by + " IS NULL AND " + ties}};
    if (nulls_before) stretches.push_back({by + " IS NOT NULL", false, apart});
    return stretches;
  }
  const std::string value = ValueLiteral(after.value, dialect);
  std::vector<Stretch> stretches = {
      {by + " = " + value + " AND " + ties},
      {by + (order.descending ? " < " : " > ") + value, false, apart}};
  if (!nulls_before) stretches.push_back({by + " IS NULL"});
  return stretches;
}

// The conditions of one statement over the source: its own, the way the text finds rows,
// the keys no key field can hold left out, the stretch of the order it reads, and the keys
// it is kept among.
std::vector<std::string> Conditions(const ListSource& source, SqlDialect dialect,
                                    const PageQuery& page, const std::string& way,
                                    const std::string& stretch) {
  std::vector<std::string> where;
  if (!source.conditions.empty()) where.push_back(Parenthesised(source.conditions));
  if (!way.empty()) where.push_back(Parenthesised(way));
  // After the text's own test: SQLite tests a row's conditions in the order written, and
  // this class of sixty letters costs ten times that test, a keystroke's whole time when
  // it runs on every row of a large catalogue.
  if (source.typed_keys) {
    std::string typed = "NOT ";
    typed += Parenthesised(Traits(dialect).holds_any_of(source.key, RaisedLetters()));
    where.push_back(std::move(typed));
  }
  if (!stretch.empty()) where.push_back(Parenthesised(stretch));
  if (page.among) {
    std::string keys;
    for (const std::string& key : *page.among) {
      if (!keys.empty()) keys += ", ";
      keys += QuotedText(key);
    }
    where.push_back(keys.empty() ? std::string("1 = 0") : source.key + " IN (" + keys + ")");
  }
  return where;
}

std::string Where(const std::vector<std::string>& conditions) {
  std::string sql;
  for (std::size_t i = 0; i < conditions.size(); ++i) {
    sql += i == 0 ? " WHERE " : " AND ";
    sql += conditions[i];
  }
  return sql;
}

// Hands over each row read, with the value that orders it where the statement reads one
// (`ordered`); returns how many there were.
using TakeRow = std::function<void(const FoundRow&, const Variant& ordered_by)>;
std::size_t ReadRows(Connection& connection, const ListSource& source, const std::string& sql,
                     bool ordered, const TakeRow& take) {
  std::size_t count = 0;
  std::unique_ptr<Recordset> result = connection.Execute(sql);
  FoundRow row(source.columns.size() + 1);
  Variant value;
  for (; !result->Eof(); result->MoveNext()) {
    for (std::size_t i = 0; i < row.size(); ++i)
      row[i] = result->Fields(Alias(i)).Value().TextOrEmpty();
    if (ordered) value = result->Fields(kOrderedBy).Value();
    take(row, value);
    ++count;
  }
  result->Close();
  return count;
}

// The shown columns, and in an order other than the key's the value that orders the rows,
// as stored (a date's text as it is, "2024-03-25" or with a time of day), so that the next
// page compares it as this one did.
std::string PageSelectList(const ListSource& source, SqlDialect dialect, const ListOrder& order) {
  std::string list = SelectList(source);
  if (order.column == 0) return list;
  list += ", ";
  list += Traits(dialect).as_stored;
  list += Parenthesised(KeysOf(source, order).by);
  list += " AS ";
  list += kOrderedBy;
  return list;
}

}  // namespace

std::string PageStatement(const ListSource& listed, SqlDialect dialect, const PageQuery& page,
                          const std::optional<std::vector<std::string>>& ways) {
  const std::string text = Trim(page.text);
  std::vector<std::string> found;
  if (ways)
    found = *ways;
  else if (!text.empty())
    found.push_back(FindsText(listed, dialect, text));
  const ListSource source = AsRead(listed, page.order, !found.empty());
  const DialectTraits& traits = Traits(dialect);
  std::string order = " ORDER BY ";
  order += OrderBy(source, page.order);
  std::vector<Stretch> stretches;
  if (page.after) stretches = Following(listed, dialect, page.order, *page.after);
  ListSource keys_source = listed;
  if (!listed.keys_from.empty()) keys_source.from = listed.keys_from;
  const ListSource keys = AsRead(keys_source, page.order, !found.empty());

  std::string sql = "SELECT ";
  // A whole list, or a page in the key's order read one way: one statement. A page's
  // columns in the key's order cost that page's rows alone.
  if (page.limit == 0 || (page.order.column == 0 && found.size() <= 1)) {
    std::string any, following;
    for (const std::string& way : found) {
      if (!any.empty()) any += " OR ";
      any += Parenthesised(way);
    }
    for (const Stretch& stretch : stretches) {
      if (!following.empty()) following += " OR ";
      following += Parenthesised(stretch.where);
    }
    sql += PageSelectList(source, dialect, page.order);
    sql += " FROM ";
    sql += source.from;
    sql += Where(Conditions(source, dialect, page, any, following));
    sql += order;
    if (page.limit > 0) {
      sql += ' ';
      sql += traits.rows(std::to_string(page.limit));
    }
    return sql;
  }
  // The keys first: each way and each stretch read on its own to the page's end, so that
  // each uses its own index, and no column computed for a row the page leaves out (a row's
  // use reads its services). The page is then taken from what they found together.
  if (found.empty()) found.emplace_back();
  if (!page.after) stretches = FirstStretches(listed, page.order);
  if (stretches.empty()) stretches.emplace_back();
  const ColumnSort* sort = SortOf(source, page.order);
  std::vector<std::string> bounds = {""};
  if (sort != nullptr && !sort->bounds.empty()) bounds = sort->bounds;
  const std::string by = page.order.column == 0 ? "" : Parenthesised(KeysOf(keys, page.order).by);
  const std::string limit = std::to_string(page.limit);
  std::string key_order = " ORDER BY ";
  key_order += keys.key;
  const auto keys_of = [&](const std::vector<std::string>& where, const std::string& ordered,
                           const std::string& rows) {
    std::string select = "SELECT ";
    select += keys.key;
    select += " AS k FROM ";
    select += keys.from;
    select += Where(where);
    select += ordered;
    select += ' ';
    select += traits.rows(rows);
    return select;
  };
  std::string united, highests;
  std::size_t read = 0, highests_named = 0;
  const auto read_on_its_own = [&](const std::vector<std::string>& where,
                                   const std::string& ordered, const std::string& rows) {
    if (read > 0) united += " UNION ";
    united += "SELECT k FROM (";
    united += keys_of(where, ordered, rows);
    united += ") w";
    united += std::to_string(read++);
  };
  for (const std::string& way : found) {
    for (const Stretch& stretch : stretches) {
      for (const std::string& bound : bounds) {
        std::vector<std::string> where = Conditions(keys, dialect, page, way, stretch.where);
        if (!bound.empty()) where.push_back(Parenthesised(bound));
        if (!stretch.highest_apart) {
          read_on_its_own(where, stretch.by_key ? key_order : order, limit);
          continue;
        }
        // The rest, which the database sorts a value at a time, only as far as the highest
        // value's rows leave the page short: not at all where they fill it. The highest value
        // is worked out once, however many statements name it.
        std::string name = "h";
        name += std::to_string(highests_named++);
        highests += highests.empty() ? "WITH " : ", ";
        highests += name;
        highests += " (v) AS (SELECT ";
        highests += by;
        highests += " FROM ";
        highests += keys.from;
        highests += Where(where);
        highests += " ORDER BY ";
        highests += by;
        highests += " DESC ";
        highests += traits.rows("1");
        highests += ") ";
        std::string highest = "(SELECT v FROM ";
        highest += name;
        highest += ')';
        std::vector<std::string> below = where;
        where.push_back(by + " = " + highest);
        read_on_its_own(where, key_order, limit);
        std::string left = "(SELECT ";
        left += limit;
        left += " - COUNT(*) FROM (";
        left += keys_of(where, key_order, limit);
        left += ") n)";
        below.push_back(by + " < " + highest);
        read_on_its_own(below, order, left);
      }
    }
  }
  const ListSource rows = AsRead(listed, page.order, true);
  sql += PageSelectList(rows, dialect, page.order);
  sql += " FROM ";
  sql += rows.from;
  sql += " WHERE ";
  sql += rows.key;
  sql += " IN (";
  sql += united;
  sql += ')';
  sql += " ORDER BY ";
  sql += OrderBy(rows, page.order);
  sql += ' ';
  sql += traits.rows(limit);
  return highests + sql;
}

namespace {

std::size_t ReadFrom(Database& database, const ListSource& source, const PageQuery& page,
                     const TakeRow& row) {
  std::optional<std::vector<std::string>> ways;
  const std::string text = Trim(page.text);
  if (source.ways && !text.empty()) ways = source.ways(database, text);
  return ReadRows(database.ForHost(), source, PageStatement(source, database.Dialect(), page, ways),
                  page.order.column != 0, row);
}

}  // namespace

std::vector<FoundRow> ReadPage(Database& database, const ListSource& source,
                               const PageQuery& page) {
  std::vector<FoundRow> rows;
  ReadEach(database, source, page, [&rows](const FoundRow& row) { rows.push_back(row); });
  return rows;
}

std::size_t ReadEach(Database& database, const ListSource& source, const PageQuery& page,
                     const std::function<void(const FoundRow&)>& row) {
  return ReadFrom(database, source, page,
                  [&row](const FoundRow& read, const Variant&) { row(read); });
}

NextPage ReadNextPage(Database& database, const ListSource& source, const PageQuery& page) {
  NextPage next;
  const std::size_t read =
      ReadFrom(database, source, page, [&next](const FoundRow& row, const Variant& ordered_by) {
        next.rows.push_back(row);
        next.last = PagePlace(row.front(), ordered_by);
      });
  next.more = page.limit > 0 && read == static_cast<std::size_t>(page.limit);
  return next;
}

std::string StartsWith(const std::string& column, SqlDialect dialect, const std::string& text) {
  const std::string prefix = UpperCaseText(Trim(text));
  if (!Traits(dialect).starts_by_range) {
    std::string start = LikeLiteral(prefix);
    start += '%';
    return Like(column, QuotedText(start), prefix);
  }
  std::string starts = "(";
  starts += column + " >= " + QuotedText(prefix);
  if (const auto end = PrefixEnd(prefix)) starts += " AND " + column + " < " + QuotedText(*end);
  starts += ")";
  return starts;
}

std::string Holds(const std::string& column, SqlDialect dialect, const std::string& text) {
  const std::string trimmed = Trim(text);
  // SQLite's LIKE ignores the case of ASCII letters alone: "SAN JOSÉ" would miss "San José".
  // GLOB's sets of either case cost ten times LIKE on every row: LIKE, with any character
  // where such a letter stands, goes first and leaves GLOB the few rows it finds.
  if (Traits(dialect).like_ignores_case && HasLatinCase(trimmed)) {
    std::string nearly = "%";
    nearly += LikeAnyLatinCase(trimmed);
    nearly += '%';
    std::string anywhere = "*";
    anywhere += GlobInAnyCase(trimmed);
    anywhere += '*';
    return Parenthesised(Like(column, QuotedText(nearly), trimmed) + " AND " + column + " GLOB " +
                         QuotedText(anywhere));
  }
  std::string anywhere = "%";
  anywhere += LikeLiteral(trimmed);
  anywhere += '%';
  // An UPPER() on every row would double what the search costs where LIKE needs none.
  const std::string pattern = QuotedText(anywhere);
  if (Traits(dialect).like_ignores_case) return Like(column, pattern, trimmed);
  return Like("UPPER(" + column + ")", "UPPER(" + pattern + ")", trimmed);
}

// A key that starts with the longer text starts with the shorter; a column that holds the
// longer text holds the shorter.
bool FindsWithin(std::string_view longer, std::string_view shorter) {
  const std::string wanted = Trim(longer);
  const std::string found = Trim(shorter);
  return !found.empty() && wanted.starts_with(found);
}

bool FindsWithin(const ListSource& source, std::string_view longer, std::string_view shorter) {
  if (!source.ways) return FindsWithin(longer, shorter);
  return source.finds_within && source.finds_within(longer, shorter);
}

std::optional<FoundRow> ReadRow(Connection& connection, const ListSource& source,
                                const std::string& key) {
  std::string sql = "SELECT ";
  sql += SelectList(source) + " FROM " + source.from + " WHERE " + source.key + " = " +
         QuotedText(key);
  std::optional<FoundRow> found;
  ReadRows(connection, source, sql, false,
           [&found](const FoundRow& row, const Variant&) { found = row; });
  return found;
}

std::optional<ListSource> CatalogueOf(std::string_view lookup_sql) {
  static const std::regex shape(
      R"(^\s*select\s+([A-Za-z_][\w.]*)\s+from\s+([A-Za-z_]\w*)\s+where\s+([A-Za-z_][\w.]*)\s*=\s*'\?'\s*(.*?)\s*$)",
      std::regex::icase);
  std::smatch match;
  const std::string sql(lookup_sql);
  if (!std::regex_match(sql, match, shape)) return std::nullopt;

  static const std::regex leading_and(R"(^and\s+)", std::regex::icase);
  const std::string conditions = std::regex_replace(Trim(match.str(4)), leading_and, "",
                                                    std::regex_constants::format_first_only);
  // Anything but further AND-ed conditions (an OR, an ORDER BY) would change what the
  // key condition meant: such a statement is not searched.
  static const std::regex plain_conditions(R"(^(?!.*\b(or|order|group|union|limit)\b).*$)",
                                           std::regex::icase);
  if (!std::regex_match(conditions, plain_conditions)) return std::nullopt;
  const std::string description = match[1];
  ListSource catalogue{match[2], match[3], "", {description}, {description}, conditions,
                       {},       {},       {}};
  catalogue.typed_keys = true;
  return catalogue;
}

}  // namespace nv407::host
