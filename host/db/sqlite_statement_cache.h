#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/db/hashed_text.h"
#include "host/db/sqlite_handles.h"

namespace nv407::host::sqlite {

// What every result of one prepared statement shares, found once: the columns' names and
// whether each holds dates (declared DATE or DATETIME).
struct Columns {
  std::vector<std::string> names;
  std::vector<bool> is_date;
  bool distinct_names = true;  // no two columns spelled alike
  int reprepares = 0;  // SQLite re-prepares after a schema change; the columns may differ then
  static std::shared_ptr<const Columns> Of(sqlite3_stmt* statement);
  // The position of the first column of that name, in any letter case, as a by-name look-up
  // in ADO finds it; -1 when there is none.
  int Find(std::string_view name) const;
  // The same, the column at `likely` tried first: among distinct names, one spelled exactly
  // so is the one Find finds.
  int Find(std::string_view name, std::size_t likely) const {
    if (distinct_names && likely < names.size() && names[likely] == name)
      return static_cast<int>(likely);
    return Find(name);
  }
};

class StatementCache;

// A statement's text as a lease keeps it: shared with what made it (a lifted statement keeps
// its shape and its values together), so that no run copies it; and its hash.
struct SharedText {
  std::shared_ptr<const std::string> text;
  std::size_t hash = 0;
  SharedText(std::shared_ptr<const std::string> t, std::size_t h) : text(std::move(t)), hash(h) {}
  HashedText Key() const { return {hash, *text}; }
};

// A prepared statement while one result uses it. Released, it goes back to its cache
// reset and unbound, or is finalized when it came from none.
class StatementLease {
 public:
  StatementLease(Statement statement, std::weak_ptr<StatementCache> cache, SharedText shape,
                 std::shared_ptr<const Columns> columns);
  ~StatementLease() { Release(); }
  StatementLease(StatementLease&&) noexcept = default;
  StatementLease& operator=(StatementLease&&) = delete;
  StatementLease(const StatementLease&) = delete;

  Statement& statement() { return statement_; }
  sqlite3_stmt* get() const { return statement_.get(); }
  // The columns, found again when SQLite has re-prepared the statement since.
  std::shared_ptr<const Columns> columns();
  void Release() noexcept;

 private:
  Statement statement_;
  std::weak_ptr<StatementCache> cache_;
  SharedText shape_;
  std::shared_ptr<const Columns> columns_;
};

// Prepared statements kept by their text, the least recently used dropped first. A
// statement in use is taken out, so a result nested in another gets one of its own.
class StatementCache : public std::enable_shared_from_this<StatementCache> {
 public:
  StatementCache(std::shared_ptr<DbHandle> db, std::size_t capacity)
      : db_(std::move(db)), capacity_(capacity) {}

  // The idle statement kept under `key`, or a new one prepared from `translate(key)` (the
  // text SQLite runs may be a translation of the key; made only on a miss). A kept text is
  // shared with the lease; on a miss the lease shares `owner`, the text's owner if the caller
  // has one, or a copy. Raises when SQLite refuses the text.
  template <typename Translate>
  StatementLease Acquire(HashedText key, Translate&& translate,
                         std::shared_ptr<const std::string> owner = nullptr) {
    if (std::optional<StatementLease> idle = TakeIdle(key)) return std::move(*idle);
    Statement statement(db_, translate(key.text), true);
    if (!owner) owner = std::make_shared<const std::string>(key.text);
    return StatementLease(std::move(statement), weak_from_this(),
                          SharedText(std::move(owner), key.hash), nullptr);
  }
  // A statement prepared for one use, never kept.
  static StatementLease PrepareOnce(std::shared_ptr<DbHandle> db, std::string_view sql);

 private:
  friend class StatementLease;
  struct Idle {
    Statement statement;
    std::shared_ptr<const Columns> columns;
  };
  struct Entry {
    std::list<HashedText>::iterator recent;
    std::vector<Idle> idle;
    SharedText text;  // what the leases of its statements share, and what its key views
  };
  std::optional<StatementLease> TakeIdle(HashedText key);
  void Return(const SharedText& text, Statement statement, std::shared_ptr<const Columns> columns);

  std::shared_ptr<DbHandle> db_;
  std::size_t capacity_;
  // Keyed by a view of the entry's own text: a lease returning compares it by address.
  std::list<HashedText> recent_;  // the most recently used first
  std::unordered_map<HashedText, Entry, HashedTextHash, SameHashedText> entries_;
};

}  // namespace nv407::host::sqlite
