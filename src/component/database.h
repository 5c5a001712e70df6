#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "component/variant.h"

namespace nv407 {

// One column of the current row of a result.
class Field {
 public:
  explicit Field(Variant value = {}) : value_(std::move(value)) {}
  const Variant& Value() const& { return value_; }
  Variant Value() && { return std::move(value_); }  // a field read once gives its value away

 private:
  Variant value_;
};

// A forward-only result. Fields are found by column name without regard to case;
// an unknown name raises an Error.
class Recordset {
 public:
  virtual ~Recordset() = default;
  // True past the last row (the old platform's EOF; that name is a macro in C++).
  virtual bool Eof() const = 0;
  virtual Field Fields(std::string_view name) const = 0;
  virtual void MoveNext() = 0;
  virtual void Close() = 0;
};

// The open connection that the host hands out. Every refused statement raises an
// Error carrying the database's own message.
class Connection {
 public:
  virtual ~Connection() = default;
  // Runs one statement; a statement without a result gives an empty (Eof) recordset.
  virtual std::unique_ptr<Recordset> Execute(const std::string& sql) = 0;
  virtual void BeginTrans() = 0;
  virtual void CommitTrans() = 0;
  virtual void RollbackTrans() = 0;
};

}  // namespace nv407
