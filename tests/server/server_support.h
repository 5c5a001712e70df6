#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "host/db/database.h"
#include "support/result_text.h"
#include "support/test_backend.h"
#include "support/test_database.h"

namespace nv407::testing {

// polizas-db as built, run with `arguments`: "EXIT OUTPUT".
inline std::string PolizasDb(const std::string& arguments) {
  const std::string output = "polizas-db-output-" + std::to_string(::getpid()) + ".txt";
  const std::string said = RunCommand(
      std::string(std::getenv("POLIZAS_BUILD_DIR")) + "/bin/polizas-db " + arguments, output);
  std::remove(output.c_str());
  return said;
}

// A copy of the demo database on the test server, and sessions on it.
class ServerTest : public ::testing::Test {
 protected:
  std::unique_ptr<host::Database> Open(host::OdbcOptions options = {}) {
    return host::OpenOdbcDatabase(database_.ConnectionString(), std::move(options));
  }

  ServerDatabase database_{ServerDatabase::Contents::kDemo};
};

}  // namespace nv407::testing
