#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "host/db/statement_text.h"

namespace nv407::host {

// A literal taken out of a statement: a quoted text, or a whole number that fits 64 bits.
using LiftedValue = StatementValue;

// A statement with its literals replaced by `?`, in order, and their values. Statements
// that differ only in their values share the shape, so one prepared statement serves them
// all (what SQL Server calls simple parameterization).
struct LiftedStatement {
  std::string shape;
  std::vector<LiftedValue> values;
};

// Lifts the literals whose place a bound value takes without changing the result: the
// values of a query, an insert, an update or a delete. A literal stays written where
// binding could change what the statement means or returns: in the result columns of a
// query (their names are their text), after AS, in ORDER BY and GROUP BY (a number there
// is a column's position), in RETURNING, a blob (X'..'), a number with a point or an
// exponent. Empty for any other statement (schema, PRAGMA, transaction commands), one
// that already has parameters, or one that holds no literal to lift.
std::optional<LiftedStatement> LiftLiterals(std::string_view sql);

}  // namespace nv407::host
