#pragma once

#include <memory>
#include <string>

#include "host/db/literal_lifter.h"
#include "host/db/sqlite_handles.h"

namespace nv407::host::sqlite {

// For the tests (POLIZAS_CHECK_LIFTED_STATEMENTS=1): runs the statement as written and as
// lifted, each inside a savepoint rolled back afterwards, and raises an Error naming the
// statement when the two differ in column names, rows, the kinds of their values, the
// rows changed, what the database then holds, or the error raised.
void CheckLiftedStatement(const std::shared_ptr<DbHandle>& db, const std::string& sql,
                          const LiftedStatement& lifted);

}  // namespace nv407::host::sqlite
