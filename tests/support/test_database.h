#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "component/database.h"
#include "component/date.h"
#include "host/db/database.h"
#include "support/test_backend.h"

namespace nv407::testing {

// The time every test sees unless it says otherwise (the database's GetDate() and the
// host's server date both follow TestDatabase::SetNow).
inline Date PinnedNow() {
  return Date::FromYmd(2024, 3, 15, 10, 30, 0);
}

// Demo operators: one holds "CHFECHA" and "INISERV" for NV407, the other neither.
inline constexpr const char* kOperatorWithPermissions = "ADMIN";
inline constexpr const char* kOperatorWithoutPermissions = "CAPTURA";

struct ServiceUse {
  std::string service;  // Ts_Cve_Tipo_Servicio
  double included = 0, used_hours = 0, used_events = 0;
};

// One stored policy; the defaults name demo catalogue rows.
struct PolicyRow {
  std::string folio = "MTY-000001";
  std::string branch = "MTY", seller = "V001", client = "C00001", type = "SOPMEN";
  std::string date = "2024-03-01", start = "2024-03-01", end = "2024-04-01";
  int cut_off_day = 5;
  std::string reference{}, comment{}, invoice_id{}, concept_text{};
  std::string state = "AC";
  std::vector<ServiceUse> services;
};

// A real database with the schema and the demo data, on a pinned clock. On SQLite: in memory,
// or in a file of its own (removed at the end) where two sessions must meet; on the
// PostgreSQL backend, a database of its own on the test server.
class TestDatabase {
 public:
  enum class Storage { kMemory, kFile };
  explicit TestDatabase(Storage storage = Storage::kMemory);
  ~TestDatabase();
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  host::Database& db() { return *database_; }
  Connection& sql() { return database_->ForHost(); }
  // What the clock of the database and of the host reads from now on.
  void SetNow(const Date& now) { *now_ = now; }
  host::Clock clock() const;

  // Another session on the same file, as a second operator's program would open it.
  std::unique_ptr<host::Database> OpenAnotherSession();

  void Execute(const std::string& statement) { sql().Execute(statement); }
  // The first column of the first row as text ("" for NULL); raises when there is no row.
  std::string Scalar(const std::string& query);
  long long Count(const std::string& table, const std::string& where = "");
  // The first column of every row as text ("NULL" for NULL), joined by the separator.
  std::string Joined(const std::string& query, const std::string& separator);
  // The rows of a table in the order of their first column, every column as Literal.
  std::string Rows(const std::string& table, const std::string& where = "1 = 1");
  // Every table that a save, a cancellation or a counter reset writes, as Rows.
  std::vector<std::string> Written();
  // The steps of the statement's plan that read a whole table rather than search a key
  // (the planner told to prefer any index it has, so that a tiny table still shows one).
  std::vector<std::string> TableScans(const std::string& statement);
  // Every statement run from now on, as {"screen" or "host", text}.
  const std::vector<std::pair<std::string, std::string>>& TraceStatements();

  // Catalogue rows, written with their columns' plain values.
  void AddBranch(const std::string& code, const std::string& description,
                 const std::string& state = "AC");
  void AddSeller(const std::string& code, const std::string& description,
                 const std::string& state = "AC");
  void AddClient(const std::string& code, const std::string& name, const std::string& state = "AC");
  void AddServiceType(const std::string& code, const std::string& description, bool hours);
  // `length_unit`: 1 days, 2 weeks, 3 months, 4 years.
  void AddPolicyType(const std::string& code, const std::string& description,
                     const std::string& product, int length_unit, int length,
                     const std::vector<std::pair<std::string, double>>& services = {},
                     const std::string& state = "AC");
  void AddPolicy(const PolicyRow& policy);
  void GrantPermission(const std::string& user, const std::string& key);

  // A trigger that refuses every `event` ("INSERT", "UPDATE") on the table with the message,
  // as an audit rule of the host's might; AllowWrites removes it.
  void RefuseWrites(const std::string& event, const std::string& table, const std::string& message);
  void AllowWrites(const std::string& table);

 private:
  std::shared_ptr<Date> now_;
  std::unique_ptr<ScratchDatabase> file_;     // Storage::kFile on SQLite
  std::unique_ptr<ServerDatabase> server_;    // on the PostgreSQL backend
  std::unique_ptr<host::Database> database_;  // closed before its file or server goes
  std::vector<std::pair<std::string, std::string>> trace_;
};

// A value as a statement literal.
std::string Quote(const std::string& text);
// Values as a statement's list of literals: "('a', 'b')".
std::string QuotedValues(std::initializer_list<std::string> values);
// The description of a statement the database refused with `message` (RefuseWrites, the
// schema's guards), as the backend's connection reports it.
std::string Refused(const std::string& message);
// ASCII letters in lower case: PostgreSQL's messages name tables and columns so.
std::string Lowercase(std::string text);
// A value as SQL would write it: NULL, 12, 10.0 (a floating number keeps a decimal), 'text'
// (a date as its text).
std::string Literal(const Variant& value);

}  // namespace nv407::testing
