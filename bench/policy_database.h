#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "component/database.h"
#include "component/date.h"

namespace polizas_bench {

// The policies of the large database: POLIZAS_BENCH_POLICIES, 1,000,000 when unset or
// outside what the folios' six digits of three branches hold.
std::int64_t PolicyCount();

// The day the bulk policies are dated around, and the finder's and reports' today.
nv407::Date BenchToday();

// A database file of `count` policies on the demo catalogues and count / 20 clients more,
// spread over the branches MTY, GDL and QRO (policy i is branch i % 3, number i / 3 + 1),
// with the folio series after them. Each is a yearly policy that started up to three years
// before BenchToday (so about two in three have expired), with three services used to
// between nothing and 120 % (about one in ten to 80 % or beyond); one in twenty is
// cancelled. IsOpenToEveryCommand tells the policies neither cancelled nor expired whose
// client is not withdrawn. Made once in the bench folder (POLIZAS_BENCH_DIR, else the temp
// folder) with a progress line, and reused by later runs while it was made by the same
// generation.
std::filesystem::path PolicyDatabase(std::int64_t count);
bool IsOpenToEveryCommand(std::int64_t i, std::int64_t count);

// `count` clients more, keys K0000000, K0000001, ..., named as a client catalogue names
// them (a trade, two family names, a number, a company form), one in fifty withdrawn
// (IsWithdrawnClient).
bool IsWithdrawnClient(std::int64_t k);
void AddClients(nv407::Connection& sql, std::int64_t count);

// A copy of a database file to write on, removed with this object.
class ScratchCopy {
 public:
  ScratchCopy(const std::filesystem::path& original, const std::string& name);
  ~ScratchCopy();
  ScratchCopy(const ScratchCopy&) = delete;
  ScratchCopy& operator=(const ScratchCopy&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The folio of bulk policy i as a user types it ("gdl-42" for "GDL-000042").
std::string TypedFolio(std::int64_t i);

}  // namespace polizas_bench
