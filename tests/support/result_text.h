#pragma once

// Results, refusals and program runs as text, for tests to compare whole. Header-only, so
// that a test program without the support library (tests/host/db) has them too.
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "component/database.h"
#include "component/error.h"
#include "component/variant.h"

namespace nv407::testing {

using Lines = std::vector<std::string>;

inline std::string Joined(const Lines& parts, const std::string& separator = ", ") {
  std::string joined;
  for (std::size_t i = 0; i < parts.size(); ++i) joined += (i ? separator : "") + parts[i];
  return joined;
}

// A value with its kind in sight: Null, #date#, n:12 (a whole number), d:1.5, 'text'.
inline std::string Shown(const Variant& value) {
  // Built by appending: GCC 12 at -O3 takes "x" + a temporary for an overlapping copy.
  std::string shown;
  switch (value.kind()) {
    case Variant::Kind::kNull:
      return "Null";
    case Variant::Kind::kDate:
      shown = "#";
      break;
    case Variant::Kind::kLong:
      shown = "n:";
      break;
    case Variant::Kind::kDouble:
      shown = "d:";
      break;
    default:
      shown = "'";
  }
  shown += value.ToText();
  if (shown.front() == '#' || shown.front() == '\'') shown += shown.front();
  return shown;
}

// Every row of a query as the named columns' values (Shown) joined by '|', in its order.
inline Lines Rows(Connection& connection, const std::string& sql, const Lines& columns) {
  Lines rows;
  for (auto result = connection.Execute(sql); !result->Eof(); result->MoveNext()) {
    std::string row;
    for (const std::string& column : columns) {
      if (!row.empty()) row += '|';
      row += Shown(result->Fields(column).Value());
    }
    rows.push_back(row);
  }
  return rows;
}

// Column v of every row, as text ("NULL" for NULL).
inline Lines Column(Connection& connection, const std::string& sql) {
  Lines texts;
  for (auto result = connection.Execute(sql); !result->Eof(); result->MoveNext()) {
    const Variant value = result->Fields("v").Value();
    texts.push_back(value.IsNull() ? "NULL" : value.ToText());
  }
  return texts;
}

// The first row's column v (Shown), or "<no row>".
inline std::string Scalar(Connection& connection, const std::string& sql) {
  const Lines rows = Rows(connection, sql, {"v"});
  return rows.empty() ? "<no row>" : rows.front();
}

inline long long Count(Connection& connection, const std::string& from_where) {
  return connection.Execute("SELECT COUNT(*) AS n FROM " + from_where)
      ->Fields("n")
      .Value()
      .ToLong();
}

// The description of the Error that run raises.
inline std::string Refusal(const std::function<void()>& run) {
  try {
    run();
  } catch (const Error& error) {
    return error.Description();
  }
  return "no error";
}
// What `connection` says to `sql`.
inline std::string RefusalOf(Connection& connection, const std::string& sql) {
  return Refusal([&] { connection.Execute(sql); });
}

inline std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Runs a shell command line, its output and errors to the file `output`: "EXIT OUTPUT".
inline std::string RunCommand(const std::string& command, const std::string& output) {
  const int status = std::system((command + " >'" + output + "' 2>&1").c_str());
  return std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + " " + FileText(output);
}

}  // namespace nv407::testing
