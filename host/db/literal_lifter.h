#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "host/db/hashed_text.h"
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

// A lifted statement as LiftedTexts keeps it, with its shape's hash, so that its prepared
// statement is found without reading the shape again.
struct KeptLift {
  LiftedStatement statement;
  std::size_t shape_hash;
};

// The statements lifted lately, by their exact text: a text run again (a key typed again, a
// list read again) is not read a second time. Shared, so that a result binds the values
// where they are kept.
class LiftedTexts {
 public:
  // The lifted form of the text, lifting it when it is new; null when it has nothing to lift.
  std::shared_ptr<const KeptLift> Lift(const std::string& sql);

 private:
  // A text is kept from its second time on: most texts that carry a folio or a date are run
  // once, and copying them would cost more than it saves. Past the capacity the memory
  // starts over rather than grow.
  static constexpr std::size_t kCapacity = 512;
  static constexpr std::size_t kSeenOnce = 1024;

  TextMap<std::shared_ptr<const KeptLift>> lifted_;
  std::array<std::size_t, kSeenOnce> seen_once_{};  // the hashes of texts seen once, by slot
};

}  // namespace nv407::host
