#pragma once

#include <stdexcept>
#include <string>

namespace nv407 {

// Raised by every failing host call, control call and statement. The description is
// what the screen shows the user, so it carries the failing party's own text.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& description)
      : std::runtime_error(description), description_(description) {}
  // Whole, even past a NUL that what() would stop at.
  const std::string& Description() const { return description_; }

 private:
  std::string description_;
};

// What a failure says: an Error's whole description, any other exception's what().
inline std::string DescriptionOf(const std::exception& failure) {
  if (const auto* error = dynamic_cast<const Error*>(&failure)) return error->Description();
  return failure.what();
}

}  // namespace nv407
