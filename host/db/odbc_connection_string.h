#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/db/database.h"

namespace nv407::host {

// An ODBC connection string as the user gives it, less the host's own attribute.
struct OdbcConnectionString {
  std::string for_driver;             // what the driver manager receives
  std::optional<SqlDialect> dialect;  // Dialect=postgresql|sqlserver, when given
};

// Reads "key=value;key={value; with braces};..." (a "}}" inside braces stands for "}"),
// takes out the attribute Dialect (any letter case) and leaves the rest as written. An
// unknown dialect name raises an Error.
OdbcConnectionString ParseOdbcConnectionString(std::string_view text);

}  // namespace nv407::host
