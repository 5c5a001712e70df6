#pragma once

#include <stdexcept>
#include <string>

namespace nv407 {

// Raised by every failing host call, control call and statement. The description is
// what the screen shows the user, so it carries the failing party's own text.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& description) : std::runtime_error(description) {}
  std::string Description() const { return what(); }
};

}  // namespace nv407
