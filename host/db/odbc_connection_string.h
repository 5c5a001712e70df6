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

// Whether it holds a password attribute (PWD=, PASSWORD=, in any letter case), or a PQOPT=
// whose libpq options set one (psqlODBC passes them to libpq).
bool HoldsPassword(std::string_view connection);
// The connection string as written but for its password's value, shown as ****, whole
// however it is written (in braces, with ';' or '}}' inside); a PQOPT= that sets a password
// has all its value hidden.
std::string WithPasswordHidden(std::string_view connection);
// The value of the attribute `key` (any letter case), out of its braces; "" without one.
std::string AttributeValue(std::string_view connection, std::string_view key);
// What a program says of a connection string given on its command line that holds a
// password, which other users of the machine can read there; "" when it holds none.
std::string CommandLinePasswordNote(std::string_view connection);

}  // namespace nv407::host
