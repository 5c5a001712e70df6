#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace nv407::testing {

// A locale the test makes with localedef (Debian's package locales) in a folder of its own,
// so that the machine need not have it, set for one category of the process and put back
// to C on leaving. `language` is a localedef source, "es_ES" or "tr_TR".
class MadeLocale {
 public:
  MadeLocale(int category, const std::string& language) : category_(category) {
    const std::filesystem::path folder = std::filesystem::path(::testing::TempDir()) / "locales";
    std::filesystem::create_directories(folder);
    const std::string name = language + ".UTF-8";
    const std::string make =
        "localedef -i " + language + " -f UTF-8 '" + (folder / name).string() + "'";
    made_ = std::system(make.c_str()) == 0;
    EXPECT_TRUE(made_) << make << " (Debian's package locales) failed";
    ::setenv("LOCPATH", folder.c_str(), 1);
    made_ = made_ && std::setlocale(category, name.c_str()) != nullptr;
    EXPECT_TRUE(made_) << name << " cannot be set";
  }
  ~MadeLocale() { std::setlocale(category_, "C"); }
  MadeLocale(const MadeLocale&) = delete;
  MadeLocale& operator=(const MadeLocale&) = delete;

  bool Made() const { return made_; }

 private:
  int category_;
  bool made_ = false;
};

}  // namespace nv407::testing
