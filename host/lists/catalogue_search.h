#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "component/database.h"
#include "component/variant.h"
#include "host/db/database.h"

namespace nv407::host {

// How a list sorts by one of its columns.
struct ColumnSort {
  std::string by;  // what orders the rows ("" for the column itself)
  // A table joined for this order alone ("t AS x"), which keeps `by` beside its own copy
  // of the key under an index on both, and how its rows meet the list's (`on`): a page in
  // this order is then a range of that index.
  std::string table = {};
  std::string on = {};
  // What ends the ties, in the order's direction (that copy of the key, or the key); where
  // this is empty, the key in its own order.
  std::string key = {};
  // Where the list's conditions keep only some of that table's rows: conditions on it of
  // which every row of the list meets one, each read on its own, so that a page starts
  // where a range of its index does instead of looking at every row before.
  std::vector<std::string> bounds = {};
  // Where `by` is worked out from other columns and takes a few values only (a state): the
  // values the list's rows can take, in ascending order. A page then reads each value's rows
  // on its own in the key's order, which no index on `by` need serve, instead of working
  // `by` out for every row and sorting them all. Its ties end on the key in its own order.
  std::vector<std::string> values = {};
};

// What a searchable list reads: rows of a table (or of tables joined), by default in the
// order of a unique, indexed key. The user's text finds the rows whose key starts with it
// or whose searched columns contain it, in any letter case; the list is read a page at a
// time, each page starting after the last row of the one before (in any order), so a
// catalogue of any size costs a screenful per page. The F2 search of a key field is one such list;
// the policy finder and the reports build their own (policy_list.h).
struct ListSource {
  std::string from;  // a table, or tables joined
  std::string key;   // the rows' key: unique, indexed, the list's order
  // For a list of several rows per key (a report), what orders the rows of one key; such a
  // list is read whole, never a page after a key.
  std::string within_key;
  std::vector<std::string> columns;   // shown after the key
  std::vector<std::string> searched;  // searched for the text anywhere in them
  std::string conditions;             // always applied, without a leading AND
  // How each shown column sorts where that is not by the column itself; none for a list
  // sorted by its key alone.
  std::vector<ColumnSort> sorts;
  // How the text finds rows, for a list where it is not by the key's start and the
  // searched columns: conditions of which any one finds a row, each read on its own so
  // that each can use an index of its own. The database lets a way depend on what the
  // text finds elsewhere.
  std::function<std::vector<std::string>(Database&, const std::string& text)> ways;
  // For a list with ways: whether every row the longer text finds is among those the
  // shorter one finds (FindsWithin says so of the key's start and the searched columns).
  // Without it such a list is always read whole.
  std::function<bool(std::string_view longer, std::string_view shorter)> finds_within;
  // Only keys that a key field can hold: it upper-cases what is typed, so a key with a
  // letter that upper-casing changes can never be looked up.
  bool typed_keys = false;
  // Where the conditions, the ways and the sorts need fewer of the tables `from` joins:
  // what a statement that reads the keys alone reads ("" for `from`). A join that a row
  // needs only for its shown columns can turn a planner from the order's index.
  std::string keys_from = {};
};

// A row as the list shows it: the key, then the shown columns, as text ("" for NULL).
using FoundRow = std::vector<std::string>;

// The rows a page holds, each statement alone.
inline constexpr int kPageRows = 50;

// The order of a list: by the key (column 0) or by shown column n, then by the key in its
// own order.
struct ListOrder {
  int column = 0;
  bool descending = false;
  bool operator==(const ListOrder&) const = default;
};

// Where a row read stands in its page's order: its key and, in an order other than the
// key's, the value that ordered it as it was read. A page after it reads on from these, not
// from what the row holds by then: a row changed or removed since it was shown moves alone,
// the rows around it are neither passed over nor read again.
struct PagePlace {
  // A key alone places a row in the key's order.
  PagePlace(std::string row_key, Variant ordered_by = {})
      : key(std::move(row_key)), value(std::move(ordered_by)) {}
  std::string key;
  Variant value;
};

// Which page of a list to read.
struct PageQuery {
  std::string text;                               // what the user typed; "" finds every row
  std::optional<PagePlace> after;                 // where the page before's last row stood
  std::optional<std::vector<std::string>> among;  // only these keys (none: the whole list)
  int limit = kPageRows;                          // 0: every row
  ListOrder order = {};
};

// The rows that the text finds, after the place `after`, in the page's order, at most
// `limit`. Values are quoted, LIKE's wildcards in the text are escaped; the key condition is
// one the key's index serves (StartsWith). How LIKE minds the case, how the rows are limited
// and where NULL sorts are the dialect's (DialectTraits). `ways` replace the text's own
// conditions (ListSource::ways); several are each read to the page's end and united. In an
// order other than the key's, the page's keys are read first and its columns then for those
// rows alone, with the value that orders each (PagePlace); past the first page, each stretch
// of the order that can follow the place `after` (its value's ties beyond its key, the values
// beyond its own, NULL) is read on its own to the page's end, so that each is a range of an
// index where one serves the order.
std::string PageStatement(const ListSource& source, SqlDialect dialect, const PageQuery& page,
                          const std::optional<std::vector<std::string>>& ways = std::nullopt);
// Through the host's side of the database.
std::vector<FoundRow> ReadPage(Database& database, const ListSource& source, const PageQuery& page);
// A page, and where its last row stands (none for a page without rows): what the page
// after it reads on from (PageQuery::after). `more`: a page may follow it.
struct NextPage {
  std::vector<FoundRow> rows;
  std::optional<PagePlace> last;
  bool more = false;
};
NextPage ReadNextPage(Database& database, const ListSource& source, const PageQuery& page);
// Every row of the page's statement, handed over one by one as it is read, without a
// limit (a report); returns how many there were.
std::size_t ReadEach(Database& database, const ListSource& source, const PageQuery& page,
                     const std::function<void(const FoundRow&)>& row);

// The key starts with the text as a key field takes it (upper case): a range on the key's
// index (DialectTraits::starts_by_range says how). And a column holds the text in any
// letter case.
std::string StartsWith(const std::string& column, SqlDialect dialect, const std::string& text);
std::string Holds(const std::string& column, SqlDialect dialect, const std::string& text);

// Whether every row `longer` finds is among those `shorter` finds: the one was typed on
// from the other. A list that read all of what `shorter` found can then look among those
// keys alone. The first is for the key's start and the searched columns; the second asks
// the list's own ways where it has them.
bool FindsWithin(std::string_view longer, std::string_view shorter);
bool FindsWithin(const ListSource& source, std::string_view longer, std::string_view shorter);

// The row of one key, whatever the list's conditions say (a withdrawn one included).
std::optional<FoundRow> ReadRow(Connection& connection, const ListSource& source,
                                const std::string& key);

// The catalogue behind a key field, read from the field's own look-up statement
// ("select <description> from <table> where <key> = '?' <further conditions>"), so that
// the search lists exactly the keys that the look-up accepts: withdrawn rows
// (Es_Cve_Estado = 'BA') stay out because the look-up leaves them out, and keys that the
// field cannot hold (typed_keys) because it never looks them up. Its one shown and
// searched column is the description. Nothing for a statement of another shape (or none).
std::optional<ListSource> CatalogueOf(std::string_view lookup_sql);

}  // namespace nv407::host
