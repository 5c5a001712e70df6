#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "component/database.h"
#include "host/db/literal_lifter.h"
#include "host/db/sqlite_statement_cache.h"

namespace nv407::host::sqlite {

// A value of a column as the screen reads it: dates of columns declared DATE or DATETIME
// as dates, NULL as Null, numbers as numbers, text as text.
Variant ReadColumn(sqlite3_stmt* statement, int column, bool is_date);

// Binds the values to the statement's parameters, in order. The texts are not copied: they
// must stay where they are while the statement runs.
void BindValues(sqlite3_stmt* statement, const std::vector<LiftedValue>& values);

// The result of one statement, read forward. Its statement goes back to the cache as soon
// as the result is past its last row or closed.
class SqliteRecordset final : public Recordset {
 public:
  // Binds the values (kept here while the statement runs; none for a statement without
  // parameters) and steps to the first row.
  SqliteRecordset(StatementLease statement, std::shared_ptr<const std::vector<LiftedValue>> values);
  // The same with values of its own (a host query's).
  SqliteRecordset(StatementLease statement, std::vector<LiftedValue> values);

  bool Eof() const override { return !row_; }
  Field Fields(std::string_view name) const override;
  void MoveNext() override;
  void Close() override;

 private:
  void Start(const std::vector<LiftedValue>* values);
  std::vector<Variant> ReadRow() const;

  // Before the statement, which reads them until released.
  std::shared_ptr<const std::vector<LiftedValue>> shared_values_;
  std::vector<LiftedValue> own_values_;
  StatementLease statement_;
  std::shared_ptr<const Columns> columns_;
  // A screen reads a row's columns mostly in the statement's order: a name is looked for
  // first in the column after the one read last.
  mutable std::size_t next_column_ = 0;
  bool row_ = false;
  bool closed_ = false;
  bool buffering_ = false;
  std::vector<std::vector<Variant>> buffered_;  // a write's rows, read at once
  std::size_t next_buffered_ = 0;
};

}  // namespace nv407::host::sqlite
