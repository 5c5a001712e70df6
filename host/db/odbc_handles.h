#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "component/error.h"
#include "component/variant.h"

// Owners of the ODBC handles. Every call into the driver manager that can fail goes
// through Check, so a failure surfaces as an nv407::Error carrying each of the driver's
// diagnostic records as "SQLSTATE: message". The ODBC headers stay in the .cpp: a handle
// is a void* there too.
namespace nv407::host::odbc {

// A failure the driver reported, its description every diagnostic record of the call.
class DriverError : public Error {
 public:
  DriverError(const std::string& description, std::string sqlstate)
      : Error(description), sqlstate_(std::move(sqlstate)) {}
  const std::string& SqlState() const { return sqlstate_; }  // of the first record

 private:
  std::string sqlstate_;
};

// Throws DriverError unless rc is SQL_SUCCESS, SQL_SUCCESS_WITH_INFO or SQL_NO_DATA.
// `handle_type` is SQL_HANDLE_ENV, _DBC or _STMT.
void Check(short handle_type, void* handle, short rc);

// The driver manager's environment, set to ODBC 3.
class EnvHandle {
 public:
  EnvHandle();
  void* get() const { return env_.get(); }

 private:
  struct Freer {
    void operator()(void* env) const noexcept;
  };
  std::unique_ptr<void, Freer> env_;
};

// One connection to a database, connected on construction and disconnected on destruction.
class DbHandle {
 public:
  DbHandle(const EnvHandle& env, const std::string& connection_string, int login_timeout_seconds);
  void* get() const { return dbc_.get(); }

  // The product name the driver reports ("PostgreSQL", "Microsoft SQL Server").
  std::string ProductName() const;
  // The driver's file name ("psqlodbcw.so").
  std::string DriverName() const;
  // Whether the driver knows the connection to be gone (a server stopped, a reset socket).
  bool Dead() const;
  // Whether the data source is set to refuse writes (SQL_DATA_SOURCE_READ_ONLY).
  bool DataSourceReadOnly() const;
  void SetAutocommit(bool on);
  void EndTransaction(bool commit);
  // Runs a statement the host itself issues (session settings), discarding any rows.
  void Run(std::string_view sql);

 private:
  std::string InfoText(unsigned short info) const;

  struct Disconnecter {
    void operator()(void* dbc) const noexcept;
  };
  std::unique_ptr<void, Disconnecter> dbc_;
};

// One statement handle, freed on destruction.
class Statement {
 public:
  explicit Statement(const DbHandle& db);

  // Runs sql and moves to its first result that has columns, if any; returns whether there
  // is one.
  bool Execute(std::string_view sql);
  // The result's column names, in order.
  std::vector<std::string> ColumnNames() const;
  // The next row of the result, each value in the kind of its column; false past the end.
  bool Fetch(std::vector<Variant>& row);
  // Passes the rest of the results, so that an error the server reports after the first
  // one (a trigger of a later statement of a batch) is raised here.
  void Finish();

  void* get() const { return stmt_.get(); }

 private:
  struct Freer {
    void operator()(void* stmt) const noexcept;
  };
  // How a column's values are read: its SQL type mapped to a C type.
  struct Column {
    std::string name;
    short c_type;
  };
  void Describe();
  Variant Read(unsigned short number, short c_type);

  std::unique_ptr<void, Freer> stmt_;
  std::vector<Column> columns_;
};

// Autocommit off on construction; rolls back and turns it on again on destruction unless
// committed or rolled back already.
class Transaction {
 public:
  explicit Transaction(DbHandle& db);
  ~Transaction();
  Transaction(Transaction&& other) noexcept;
  Transaction& operator=(Transaction&&) = delete;
  Transaction(const Transaction&) = delete;

  void Commit();
  void Rollback();

 private:
  DbHandle* db_;
};

}  // namespace nv407::host::odbc
