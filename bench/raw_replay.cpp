#include "raw_replay.h"

#include <sqlite3.h>

#include <stdexcept>

#include "host/db/sqlite_dialect.h"

namespace polizas_bench {
namespace {

void Check(sqlite3* db, int rc) {
  if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE)
    throw std::runtime_error(std::string("raw replay: ") + sqlite3_errmsg(db));
}

// The database's GetDate(), as the host registers it on its sessions.
void GetDate(sqlite3_context* context, int, sqlite3_value**) {
  sqlite3_result_text(context, "2024-03-15 10:30:00", -1, SQLITE_STATIC);
}

}  // namespace

RawReplay::RawReplay(const std::filesystem::path& database) {
  Check(db_, sqlite3_open_v2(database.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                             nullptr));
  for (const char* pragma :
       {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON"})
    Check(db_, sqlite3_exec(db_, pragma, nullptr, nullptr, nullptr));
  Check(db_, sqlite3_create_function_v2(db_, "GetDate", 0, SQLITE_UTF8, nullptr, &GetDate, nullptr,
                                        nullptr, nullptr));
}

RawReplay::~RawReplay() {
  for (auto& [shape, statement] : statements_) sqlite3_finalize(statement);
  sqlite3_close_v2(db_);
}

sqlite3_stmt* RawReplay::Prepared(const std::string& shape) {
  sqlite3_stmt*& statement = statements_[shape];
  if (statement == nullptr) {
    const std::string sql = nv407::host::sqlite::TranslateToSqlite(shape);
    Check(db_,
          sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr));
  }
  return statement;
}

void RawReplay::Prepare(const std::vector<CommandTrace>& commands) {
  for (const CommandTrace& trace : commands) {
    std::vector<Step>& steps = commands_.emplace_back();
    for (const TracedStatement& traced : trace) {
      if (auto lifted = nv407::host::LiftLiterals(traced.sql))
        steps.push_back(
            {Prepared(lifted->shape), std::move(lifted->values), traced.in_transaction});
      else
        steps.push_back({Prepared(traced.sql), {}, traced.in_transaction});
    }
  }
}

void RawReplay::Run(std::size_t command) {
  bool open = false;
  for (const Step& step : commands_.at(command)) {
    if (step.in_transaction != open) {
      const char* boundary = open ? "COMMIT" : "BEGIN IMMEDIATE";
      Check(db_, sqlite3_exec(db_, boundary, nullptr, nullptr, nullptr));
      open = step.in_transaction;
    }
    for (std::size_t i = 0; i < step.values.size(); ++i) {
      const int at = static_cast<int>(i) + 1;
      if (const auto* text = std::get_if<std::string>(&step.values[i]))
        sqlite3_bind_text(step.statement, at, text->data(), static_cast<int>(text->size()),
                          SQLITE_STATIC);
      else
        sqlite3_bind_int64(step.statement, at, std::get<std::int64_t>(step.values[i]));
    }
    int rc;
    while ((rc = sqlite3_step(step.statement)) == SQLITE_ROW) {
      for (int column = 0; column < sqlite3_column_count(step.statement); ++column) {
        const int kind = sqlite3_column_type(step.statement, column);
        sink_ += kind == SQLITE_TEXT ? sqlite3_column_bytes(step.statement, column)
                                     : sqlite3_column_int64(step.statement, column);
      }
    }
    Check(db_, rc);
    sqlite3_reset(step.statement);
    sqlite3_clear_bindings(step.statement);
  }
  if (open) Check(db_, sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr));
}

}  // namespace polizas_bench
