#include "host/db/sqlite_statement_cache.h"

#include <sqlite3.h>

#include <algorithm>

#include "host/db/text.h"

namespace nv407::host::sqlite {
namespace {

bool DeclaredAsDate(const char* declared_type) {
  if (!declared_type) return false;
  const std::string type = AsciiLower(declared_type);
  return type == "date" || type == "datetime";
}

int Reprepares(sqlite3_stmt* statement) {
  return sqlite3_stmt_status(statement, SQLITE_STMTSTATUS_REPREPARE, 0);
}

// Each text keeps at most this many idle statements: more are in use only when results of
// one text nest, which a screen never does deeply.
constexpr std::size_t kIdlePerText = 2;

}  // namespace

int Columns::Find(std::string_view name) const {
  // The screen spells most names as the schema does: an exact match is tried first.
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return static_cast<int>(i);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& candidate = names[i];
    if (candidate.size() != name.size()) continue;
    std::size_t k = 0;
    while (k < name.size() && AsciiLower(candidate[k]) == AsciiLower(name[k])) ++k;
    if (k == name.size()) return static_cast<int>(i);
  }
  return -1;
}

std::shared_ptr<const Columns> Columns::Of(sqlite3_stmt* statement) {
  auto columns = std::make_shared<Columns>();
  if (statement == nullptr) return columns;
  const int count = sqlite3_column_count(statement);
  columns->is_date.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const char* name = sqlite3_column_name(statement, i);
    if (std::find(columns->names.begin(), columns->names.end(), name) != columns->names.end())
      columns->distinct_names = false;
    columns->names.emplace_back(name);
    columns->is_date.push_back(DeclaredAsDate(sqlite3_column_decltype(statement, i)));
  }
  columns->reprepares = Reprepares(statement);
  return columns;
}

StatementLease::StatementLease(Statement statement, std::weak_ptr<StatementCache> cache,
                               SharedText shape, std::shared_ptr<const Columns> columns)
    : statement_(std::move(statement)),
      cache_(std::move(cache)),
      shape_(std::move(shape)),
      columns_(columns ? std::move(columns) : Columns::Of(statement_.get())) {}

std::shared_ptr<const Columns> StatementLease::columns() {
  if (statement_.get() != nullptr && Reprepares(statement_.get()) != columns_->reprepares)
    columns_ = Columns::Of(statement_.get());
  return columns_;
}

void StatementLease::Release() noexcept {
  if (statement_.Finalized()) return;
  std::shared_ptr<StatementCache> cache = cache_.lock();
  if (!cache) return statement_.Finalize();
  statement_.Reset();
  try {
    cache->Return(shape_, std::move(statement_), std::move(columns_));
  } catch (...) {
    // Out of memory while keeping it: the statement is finalized instead.
  }
  statement_.Finalize();
}

std::optional<StatementLease> StatementCache::TakeIdle(HashedText key) {
  const auto found = entries_.find(key);
  if (found == entries_.end() || found->second.idle.empty()) return std::nullopt;
  Idle idle = std::move(found->second.idle.back());
  found->second.idle.pop_back();
  recent_.splice(recent_.begin(), recent_, found->second.recent);
  return StatementLease(std::move(idle.statement), weak_from_this(), found->second.text,
                        std::move(idle.columns));
}

StatementLease StatementCache::PrepareOnce(std::shared_ptr<DbHandle> db, std::string_view sql) {
  return StatementLease(Statement(std::move(db), sql), {}, {nullptr, 0}, nullptr);
}

void StatementCache::Return(const SharedText& text, Statement statement,
                            std::shared_ptr<const Columns> columns) {
  const HashedText key = text.Key();
  auto found = entries_.find(key);
  if (found == entries_.end()) {
    if (entries_.size() >= capacity_) {
      entries_.erase(recent_.back());
      recent_.pop_back();
    }
    // The entry first: the list's key views the entry's text, which must outlive it.
    found = entries_.emplace(key, Entry{recent_.end(), {}, text}).first;
    try {
      recent_.push_front(key);
    } catch (...) {
      entries_.erase(found);
      throw;
    }
    found->second.recent = recent_.begin();
  }
  if (found->second.idle.size() < kIdlePerText)
    found->second.idle.push_back({std::move(statement), std::move(columns)});
}

}  // namespace nv407::host::sqlite
