#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "component/database.h"

namespace nv407::host {

// The catalogue behind a key field, read from the field's own look-up statement
// ("select <description> from <table> where <key> = '?' <further conditions>"), so that
// the search lists exactly the keys that the look-up accepts: withdrawn rows
// (Es_Cve_Estado = 'BA') stay out because the look-up leaves them out.
struct CatalogueQuery {
  std::string table, key_column, description_column;
  std::string conditions;  // what the look-up adds to the key's condition, without its AND
};

// Nothing for a statement of another shape (or none).
std::optional<CatalogueQuery> CatalogueOf(std::string_view lookup_sql);

// Every row the field would accept, as key and description, in key order.
std::string SearchStatement(const CatalogueQuery& query);

struct CatalogueRow {
  std::string key, description;
};
std::vector<CatalogueRow> SearchCatalogue(Connection& connection, const CatalogueQuery& query);

}  // namespace nv407::host
