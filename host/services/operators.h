#pragma once

#include <string>

#include "host/db/database.h"

namespace nv407::host {

// Only an operator of the database's `operator` table may work: the code goes into the
// audit columns and the record log. Raises an Error saying why otherwise.
void RequireOperator(Database& database, const std::string& user_code);

}  // namespace nv407::host
