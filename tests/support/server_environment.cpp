#include <gtest/gtest.h>

#include <cstdio>

#include "support/test_backend.h"

namespace nv407::testing {
namespace {

// Skips every test of the program, with the reason, when its server is not there.
class ServerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    const std::string reason = ServerUnavailable();
    if (reason.empty()) return;
    // The marker ctest reads as "skipped": gtest names no test when set-up skips them all.
    std::printf("[  SKIPPED ] PostgreSQL: %s\n", reason.c_str());
    GTEST_SKIP() << reason;
  }
};

[[maybe_unused]] const ::testing::Environment* const kServerEnvironment =
    ::testing::AddGlobalTestEnvironment(new ServerEnvironment);

}  // namespace
}  // namespace nv407::testing
