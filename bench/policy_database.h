#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace polizas_bench {

// A database file of `count` live policies on the demo catalogues, three partly used
// services each, spread over the branches MTY, GDL and QRO (policy i is branch i % 3,
// number i / 3 + 1), with the folio series after them. Made once in the bench folder
// (POLIZAS_BENCH_DIR, else the temp folder) with a progress line, and reused by later runs
// while it was made by the same generation.
std::filesystem::path PolicyDatabase(std::int64_t count);

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

// The folio of bulk policy i as stored ("GDL-000042") and as a user types it ("gdl-42").
std::string StoredFolio(std::int64_t i);
std::string TypedFolio(std::int64_t i);

}  // namespace polizas_bench
