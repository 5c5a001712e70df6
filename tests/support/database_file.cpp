#include "support/database_file.h"

#include <unistd.h>

#include <system_error>

namespace nv407::testing {

DatabaseFile::DatabaseFile()
    : folder_(std::filesystem::temp_directory_path() /
              ("polizas-" + std::to_string(::getpid()) + "-" +
               std::to_string(reinterpret_cast<std::uintptr_t>(this)))) {
  std::filesystem::remove_all(folder_);
  std::filesystem::create_directories(folder_);
  host::SqliteOptions options;
  options.create = true;
  const std::unique_ptr<host::Database> database = host::OpenSqliteDatabase(Path(), options);
  host::TransactionScope transaction(database->ForHost());
  host::CreateSchema(database->ForHost(), database->Dialect());
  host::LoadDemoData(database->ForHost());
  transaction.Commit();
}

DatabaseFile::~DatabaseFile() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::unique_ptr<host::Database> DatabaseFile::Open(host::Clock clock) const {
  host::SqliteOptions options;
  options.clock = std::move(clock);
  return host::OpenSqliteDatabase(Path(), options);
}

}  // namespace nv407::testing
