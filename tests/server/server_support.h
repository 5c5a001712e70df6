#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/db/database.h"
#include "support/result_text.h"
#include "support/test_backend.h"
#include "support/test_database.h"

namespace nv407::testing {

// A copy of the demo database on the test server, and sessions on it.
class ServerTest : public ::testing::Test {
 protected:
  std::unique_ptr<host::Database> Open(host::OdbcOptions options = {}) {
    return host::OpenOdbcDatabase(database_.ConnectionString(), std::move(options));
  }

  ServerDatabase database_{ServerDatabase::Contents::kDemo};
};

}  // namespace nv407::testing
