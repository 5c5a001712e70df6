#include "host/db/sqlite_recordset.h"

#include <sqlite3.h>

#include <string>

#include "component/error.h"

namespace nv407::host::sqlite {

Variant ReadColumn(sqlite3_stmt* stmt, int column, bool is_date) {
  // Read through the column's value: one call into SQLite for the column, then plain reads.
  sqlite3_value* value = sqlite3_column_value(stmt, column);
  switch (sqlite3_value_type(value)) {
    case SQLITE_NULL:
      return Variant::MakeNull();
    case SQLITE_INTEGER:
      return Variant(static_cast<std::int64_t>(sqlite3_value_int64(value)));
    case SQLITE_FLOAT:
      return Variant(sqlite3_value_double(value));
    case SQLITE_BLOB: {
      const auto* bytes = static_cast<const char*>(sqlite3_value_blob(value));
      const int size = sqlite3_value_bytes(value);
      return Variant(bytes ? std::string(bytes, static_cast<std::size_t>(size)) : std::string());
    }
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
      const int size = sqlite3_value_bytes(value);
      const std::string_view read =
          text ? std::string_view(text, static_cast<std::size_t>(size)) : std::string_view();
      if (is_date) {
        // A text that is no date (an empty text, say) is handed out as it is stored.
        if (const auto date = Date::Parse(read)) return *date;
      }
      return Variant(std::string(read));
    }
  }
}

void BindValues(sqlite3_stmt* statement, const std::vector<LiftedValue>& values) {
  sqlite3* db = sqlite3_db_handle(statement);
  for (std::size_t i = 0; i < values.size(); ++i) {
    const int position = static_cast<int>(i) + 1;
    if (const auto* text = std::get_if<std::string>(&values[i])) {
      Check(db, sqlite3_bind_text(statement, position, text->data(), static_cast<int>(text->size()),
                                  SQLITE_STATIC));
    } else {
      Check(db, sqlite3_bind_int64(statement, position,
                                   static_cast<sqlite3_int64>(std::get<std::int64_t>(values[i]))));
    }
  }
}

SqliteRecordset::SqliteRecordset(StatementLease statement,
                                 std::shared_ptr<const std::vector<LiftedValue>> values)
    : shared_values_(std::move(values)), statement_(std::move(statement)) {
  Start(shared_values_.get());
}

SqliteRecordset::SqliteRecordset(StatementLease statement, std::vector<LiftedValue> values)
    : own_values_(std::move(values)), statement_(std::move(statement)) {
  Start(&own_values_);
}

void SqliteRecordset::Start(const std::vector<LiftedValue>* values) {
  if (statement_.get() != nullptr && values) BindValues(statement_.get(), *values);
  row_ = statement_.statement().Step();
  columns_ = statement_.columns();
  if (row_ && !sqlite3_stmt_readonly(statement_.get())) {
    // A write that returns rows (INSERT ... RETURNING) is run to its end here, so that it
    // has finished when Execute returns and cannot hold up the commit.
    do buffered_.push_back(ReadRow());
    while (statement_.statement().Step());
    buffering_ = true;
  }
  if (!row_ || buffering_) statement_.Release();
}

Field SqliteRecordset::Fields(std::string_view name) const {
  if (closed_) throw Error("the result is closed");
  const int column = columns_->Find(name, next_column_);
  if (column < 0) throw Error("no column named '" + std::string(name) + "' in the result");
  if (!row_) throw Error("no current row: the result is past its last row");
  const auto index = static_cast<std::size_t>(column);
  next_column_ = index + 1;
  if (buffering_) return Field(buffered_[next_buffered_][index]);
  return Field(ReadColumn(statement_.get(), column, columns_->is_date[index]));
}

void SqliteRecordset::MoveNext() {
  if (closed_) throw Error("the result is closed");
  if (!row_) throw Error("no current row: the result is past its last row");
  if (buffering_) {
    row_ = ++next_buffered_ < buffered_.size();
    return;
  }
  row_ = statement_.statement().Step();
  // Released at the end: the read snapshot ends at once, even if Close never comes.
  if (!row_) statement_.Release();
}

void SqliteRecordset::Close() {
  statement_.Release();
  buffered_.clear();
  row_ = false;
  closed_ = true;
}

std::vector<Variant> SqliteRecordset::ReadRow() const {
  std::vector<Variant> row;
  row.reserve(columns_->is_date.size());
  for (std::size_t i = 0; i < columns_->is_date.size(); ++i)
    row.push_back(ReadColumn(statement_.get(), static_cast<int>(i), columns_->is_date[i]));
  return row;
}

}  // namespace nv407::host::sqlite
