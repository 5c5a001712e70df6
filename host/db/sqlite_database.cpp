#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <deque>
#include <filesystem>
#include <optional>
#include <unordered_map>
#include <vector>

#include "component/error.h"
#include "host/db/database.h"
#include "host/db/sqlite_dialect.h"
#include "host/db/sqlite_handles.h"
#include "host/db/sqlite_schema.h"

namespace nv407::host {
namespace {

using sqlite::Check;
using sqlite::DbHandle;
using sqlite::Statement;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Columns declared DATE or DATETIME hold dates as text; they are handed out as dates.
bool DeclaredAsDate(const char* declared_type) {
  if (!declared_type) return false;
  const std::string type = Lower(declared_type);
  return type == "date" || type == "datetime";
}

Variant ReadColumn(sqlite3_stmt* stmt, int column, bool is_date) {
  switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_NULL:
      return Variant::MakeNull();
    case SQLITE_INTEGER:
      return Variant(static_cast<std::int64_t>(sqlite3_column_int64(stmt, column)));
    case SQLITE_FLOAT:
      return Variant(sqlite3_column_double(stmt, column));
    case SQLITE_BLOB: {
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, column));
      const int size = sqlite3_column_bytes(stmt, column);
      return Variant(bytes ? std::string(bytes, static_cast<std::size_t>(size)) : std::string());
    }
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
      const int size = sqlite3_column_bytes(stmt, column);
      std::string value = text ? std::string(text, static_cast<std::size_t>(size)) : std::string();
      if (is_date) {
        // A text that is no date (an empty text, say) is handed out as it is stored.
        if (const auto date = Date::Parse(value)) return *date;
      }
      return Variant(std::move(value));
    }
  }
}

class SqliteRecordset final : public Recordset {
 public:
  SqliteRecordset(Statement statement, bool row) : statement_(std::move(statement)), row_(row) {
    if (sqlite3_stmt* stmt = statement_.get()) {
      const int count = sqlite3_column_count(stmt);
      is_date_.reserve(static_cast<std::size_t>(count));
      for (int i = 0; i < count; ++i) {
        // The first column of a name wins, as it does for a by-name look-up in ADO.
        columns_.emplace(Lower(sqlite3_column_name(stmt, i)), i);
        is_date_.push_back(DeclaredAsDate(sqlite3_column_decltype(stmt, i)));
      }
    }
    if (row_ && !sqlite3_stmt_readonly(statement_.get())) {
      // A write that returns rows (INSERT ... RETURNING) is run to its end here, so that it
      // has finished when Execute returns and cannot hold up the commit.
      do buffered_.push_back(ReadRow());
      while (statement_.Step());
      buffering_ = true;
    }
    if (!row_ || buffering_) statement_.Finalize();
  }

  bool Eof() const override { return !row_; }

  Field Fields(std::string_view name) const override {
    if (closed_) throw Error("the result is closed");
    const auto found = columns_.find(Lower(name));
    if (found == columns_.end()) {
      throw Error("no column named '" + std::string(name) + "' in the result");
    }
    if (!row_) throw Error("no current row: the result is past its last row");
    const auto column = static_cast<std::size_t>(found->second);
    if (buffering_) return Field(buffered_.front()[column]);
    return Field(ReadColumn(statement_.get(), found->second, is_date_[column]));
  }

  void MoveNext() override {
    if (closed_) throw Error("the result is closed");
    if (!row_) throw Error("no current row: the result is past its last row");
    if (buffering_) {
      buffered_.pop_front();
      row_ = !buffered_.empty();
      return;
    }
    row_ = statement_.Step();
    // Finalising at the end releases the read snapshot at once, even if Close never comes.
    if (!row_) statement_.Finalize();
  }

  void Close() override {
    statement_.Finalize();
    buffered_.clear();
    row_ = false;
    closed_ = true;
  }

 private:
  std::vector<Variant> ReadRow() const {
    std::vector<Variant> row;
    row.reserve(is_date_.size());
    for (std::size_t i = 0; i < is_date_.size(); ++i) {
      row.push_back(ReadColumn(statement_.get(), static_cast<int>(i), is_date_[i]));
    }
    return row;
  }

  Statement statement_;
  bool row_ = false;
  bool closed_ = false;
  bool buffering_ = false;
  std::deque<std::vector<Variant>> buffered_;
  std::unordered_map<std::string, int> columns_;
  std::vector<bool> is_date_;
};

// What the screen's and the host's connections share.
struct Session {
  std::shared_ptr<DbHandle> db;
  std::optional<sqlite::Transaction> transaction;
  StatementTrace trace;
  int busy_timeout_ms = 0;
  LockWaitObserver lock_wait;
  bool waiting = false;

  bool InTransaction() const { return !sqlite3_get_autocommit(db->get()); }
  void EndWait() {
    if (!waiting) return;
    waiting = false;
    if (lock_wait) lock_wait(false);
  }
};

// SQLite's own busy timeout, and the observer told when a wait starts.
int WaitForLock(void* data, int attempt) {
  auto& session = *static_cast<Session*>(data);
  static constexpr int kDelaysMs[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50, 100};
  static constexpr int kCount = sizeof kDelaysMs / sizeof kDelaysMs[0];
  int waited = 0;
  for (int i = 0; i < std::min(attempt, kCount); ++i) waited += kDelaysMs[i];
  if (attempt >= kCount) waited += (attempt - kCount) * kDelaysMs[kCount - 1];
  if (waited >= session.busy_timeout_ms) return 0;
  if (attempt == 0 && !session.waiting) {
    session.waiting = true;
    if (session.lock_wait) session.lock_wait(true);
  }
  const int delay = std::min(kDelaysMs[std::min(attempt, kCount - 1)],
                             session.busy_timeout_ms - waited);
  sqlite3_sleep(delay);
  return 1;
}

// Tells the observer that a wait is over when the call that waited returns, however it does.
struct WaitScope {
  explicit WaitScope(Session& s) : session(s) {}
  ~WaitScope() { session.EndWait(); }
  WaitScope(const WaitScope&) = delete;
  WaitScope& operator=(const WaitScope&) = delete;
  Session& session;
};

class SqliteConnection final : public Connection {
 public:
  SqliteConnection(Session& session, SqlOrigin origin) : session_(session), origin_(origin) {}

  std::unique_ptr<Recordset> Execute(const std::string& sql) override {
    if (session_.trace) session_.trace(origin_, sql);
    WaitScope wait(session_);
    Statement statement(session_.db, sqlite::TranslateToSqlite(sql));
    const bool row = statement.Step();
    return std::make_unique<SqliteRecordset>(std::move(statement), row);
  }

  void BeginTrans() override {
    if (session_.InTransaction()) throw Error("BeginTrans: a transaction is already open");
    WaitScope wait(session_);
    session_.transaction.emplace(session_.db);
  }

  void CommitTrans() override {
    if (!session_.transaction) throw Error("CommitTrans: no transaction is open");
    WaitScope wait(session_);
    try {
      session_.transaction->Commit();
    } catch (const Error&) {
      // A commit that failed leaves the transaction open for the caller to roll back,
      // unless SQLite has rolled it back itself.
      if (!session_.transaction->Open()) session_.transaction.reset();
      throw;
    }
    session_.transaction.reset();
  }

  void RollbackTrans() override {
    if (!session_.transaction) throw Error("RollbackTrans: no transaction is open");
    session_.transaction->Rollback();
    session_.transaction.reset();
  }

 private:
  Session& session_;
  SqlOrigin origin_;
};

class SqliteDatabase final : public Database {
 public:
  SqliteDatabase(std::shared_ptr<DbHandle> db, int busy_timeout_ms)
      : session_{std::move(db), std::nullopt, {}, busy_timeout_ms, {}, false},
        screen_(session_, SqlOrigin::kScreen),
        host_(session_, SqlOrigin::kHost) {
    Check(session_.db->get(), sqlite3_busy_handler(session_.db->get(), &WaitForLock, &session_));
  }

  Connection& ForScreen() override { return screen_; }
  Connection& ForHost() override { return host_; }
  SqlDialect Dialect() const override { return SqlDialect::kSqlite; }
  bool InTransaction() const override { return session_.InTransaction(); }
  bool ReadOnly() const override { return sqlite3_db_readonly(session_.db->get(), "main") == 1; }
  void SetTrace(StatementTrace trace) override { session_.trace = std::move(trace); }
  void SetLockWaitObserver(LockWaitObserver observer) override {
    session_.lock_wait = std::move(observer);
  }

 private:
  Session session_;
  SqliteConnection screen_;
  SqliteConnection host_;
};

Date LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return Date::FromYmd(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                       local.tm_min, std::min(local.tm_sec, 59));
}

void GetDateFunction(sqlite3_context* context, int, sqlite3_value**) {
  const auto& clock = *static_cast<const Clock*>(sqlite3_user_data(context));
  try {
    const std::string text = (clock ? clock() : LocalNow()).ToIsoDateTime(' ');
    sqlite3_result_text(context, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  } catch (const std::exception& failure) {
    sqlite3_result_error(context, failure.what(), -1);
  }
}

void RegisterGetDate(sqlite3* db, Clock clock) {
  auto owned = std::make_unique<Clock>(std::move(clock));
  // SQLite owns the clock from here on, and destroys it even when registration fails.
  Check(db, sqlite3_create_function_v2(db, "GetDate", 0, SQLITE_UTF8, owned.release(),
                                       &GetDateFunction, nullptr, nullptr,
                                       [](void* p) { delete static_cast<Clock*>(p); }));
}

void CancelledPolicyFunction(sqlite3_context* context, int, sqlite3_value** arguments) {
  const auto* folio = reinterpret_cast<const char*>(sqlite3_value_text(arguments[0]));
  const std::string message = sqlite::CancelledPolicyMessage(folio ? folio : "");
  sqlite3_result_error(context, message.c_str(), static_cast<int>(message.size()));
}

// The session's own guards of cancelled policies, on a database that has the policies.
void InstallSessionGuards(const std::shared_ptr<DbHandle>& db) {
  Check(db->get(), sqlite3_create_function_v2(db->get(), sqlite::kCancelledPolicyFunction, 1,
                                              SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                              &CancelledPolicyFunction, nullptr, nullptr, nullptr));
  Statement has_policies(db,
                         "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = "
                         "'Poliza_Servicio'");
  if (!has_policies.Step()) return;
  has_policies.Finalize();
  for (const std::string& statement : sqlite::SessionGuardStatements()) db->Run(statement.c_str());
}

std::string JournalMode(const std::shared_ptr<DbHandle>& db, const char* pragma) {
  Statement statement(db, pragma);
  if (!statement.Step()) return {};
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0));
  return text ? Lower(text) : std::string();
}

}  // namespace

std::unique_ptr<Database> OpenSqliteDatabase(const std::string& path, SqliteOptions options) {
  const bool in_memory = path == ":memory:";
  if (!options.create && !in_memory && !std::filesystem::exists(path)) {
    throw Error("database file not found: " + path);
  }
  int flags = SQLITE_OPEN_READWRITE;
  if (options.create || in_memory) flags |= SQLITE_OPEN_CREATE;
  auto db = std::make_shared<DbHandle>(path, flags);

  // A write-protected file opens for reading; its journal mode is whatever it was made with.
  const bool read_only = sqlite3_db_readonly(db->get(), "main") == 1;
  Check(db->get(), sqlite3_busy_timeout(db->get(), options.busy_timeout_ms));
  const std::string mode = JournalMode(db, "PRAGMA journal_mode=WAL");
  if (!in_memory && !read_only && mode != "wal") {
    throw Error(path + ": the database cannot run in WAL journal mode (it stays in '" + mode +
                "')");
  }
  db->Run("PRAGMA synchronous=FULL");
  db->Run("PRAGMA foreign_keys=ON");
  RegisterGetDate(db->get(), std::move(options.clock));
  InstallSessionGuards(db);
  return std::make_unique<SqliteDatabase>(std::move(db), options.busy_timeout_ms);
}

}  // namespace nv407::host
