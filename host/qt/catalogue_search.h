#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "component/database.h"
#include "host/db/database.h"

namespace nv407::host {

// What a searchable list reads: rows of a table (or of tables joined), in the order of a
// unique, indexed key. The user's text finds the rows whose key starts with it or whose
// searched columns contain it, in any letter case; the list is read a page at a time, each
// page starting after the last key of the one before, so a catalogue of any size costs a
// screenful per page. The F2 search of a key field is one such list; a finder or a report
// over other tables builds its own.
struct ListSource {
  std::string from;                   // a table, or tables joined
  std::string key;                    // the rows' key: unique, indexed, the list's order
  std::vector<std::string> columns;   // shown after the key
  std::vector<std::string> searched;  // searched for the text anywhere in them
  std::string conditions;             // always applied, without a leading AND
};

// A row as the list shows it: the key, then the shown columns, as text ("" for NULL).
using FoundRow = std::vector<std::string>;

// The rows a page holds, each statement alone.
inline constexpr int kPageRows = 50;

// Which page of a list to read.
struct PageQuery {
  std::string text;                               // what the user typed; "" finds every row
  std::optional<std::string> after;               // the last key of the page before, if any
  std::optional<std::vector<std::string>> among;  // only these keys (none: the whole list)
  int limit = kPageRows;
};

// The rows that the text finds, after `after`, in key order, at most `limit`. Values are
// quoted, LIKE's wildcards in the text are escaped; the key condition is a range, so that
// the key's index serves it. How LIKE minds the case and how the rows are limited are the
// dialect's (DialectTraits).
std::string PageStatement(const ListSource& source, SqlDialect dialect, const PageQuery& page);
// Through the host's side of the database.
std::vector<FoundRow> ReadPage(Database& database, const ListSource& source,
                               const PageQuery& page);

// Whether every row `longer` finds is among those `shorter` finds: the one was typed on
// from the other. A list that read all of what `shorter` found can then look among those
// keys alone.
bool FindsWithin(std::string_view longer, std::string_view shorter);

// The row of one key, whatever the list's conditions say (a withdrawn one included).
std::optional<FoundRow> ReadRow(Connection& connection, const ListSource& source,
                                const std::string& key);

// The catalogue behind a key field, read from the field's own look-up statement
// ("select <description> from <table> where <key> = '?' <further conditions>"), so that
// the search lists exactly the keys that the look-up accepts: withdrawn rows
// (Es_Cve_Estado = 'BA') stay out because the look-up leaves them out. Its one shown and
// searched column is the description. Nothing for a statement of another shape (or none).
std::optional<ListSource> CatalogueOf(std::string_view lookup_sql);

}  // namespace nv407::host
