#include "host/db/odbc_connection_string.h"

#include "component/error.h"
#include "host/db/dialect.h"
#include "host/db/text.h"

namespace nv407::host {
namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsAsciiSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsAsciiSpace(text.back())) text.remove_suffix(1);
  return text;
}

// The end (one past) of the attribute that starts at `start`: its ';' or the text's end.
// A value in braces may hold ';' and '=' and ends at the '}' that is not doubled.
std::size_t AttributeEnd(std::string_view text, std::size_t start) {
  std::size_t i = text.find('=', start);
  if (i == std::string_view::npos) return text.find(';', start);
  ++i;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i < text.size() && text[i] == '{') {
    for (++i; i < text.size(); ++i) {
      if (text[i] != '}') continue;
      if (i + 1 < text.size() && text[i + 1] == '}') {
        ++i;
        continue;
      }
      break;
    }
  }
  return text.find(';', i);
}

// Each attribute as written, in order, without its ';'.
template <typename Visit>
void ForEachAttribute(std::string_view text, Visit visit) {
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = AttributeEnd(text, start);
    if (end == std::string_view::npos) end = text.size();
    visit(text.substr(start, end - start));
    start = end + 1;
  }
}

bool IsPassword(std::string_view attribute) {
  const std::size_t equals = attribute.find('=');
  if (equals == std::string_view::npos) return false;
  const std::string key = AsciiLower(Trimmed(attribute.substr(0, equals)));
  return key == "pwd" || key == "password";
}

}  // namespace

OdbcConnectionString ParseOdbcConnectionString(std::string_view text) {
  OdbcConnectionString parsed;
  ForEachAttribute(text, [&](std::string_view attribute) {
    const std::size_t equals = attribute.find('=');
    const std::string_view key = Trimmed(attribute.substr(0, equals));
    if (equals != std::string_view::npos && AsciiLower(key) == "dialect") {
      const std::string_view name = Trimmed(attribute.substr(equals + 1));
      parsed.dialect = DialectNamed(name);
      if (!parsed.dialect || *parsed.dialect == SqlDialect::kSqlite) {
        throw Error("unknown Dialect '" + std::string(name) +
                    "' in the connection string: postgresql or sqlserver");
      }
    } else if (!Trimmed(attribute).empty()) {
      if (!parsed.for_driver.empty()) parsed.for_driver += ';';
      parsed.for_driver += attribute;
    }
  });
  return parsed;
}

bool HoldsPassword(std::string_view connection) {
  bool holds = false;
  ForEachAttribute(connection, [&](std::string_view attribute) { holds |= IsPassword(attribute); });
  return holds;
}

std::string WithPasswordHidden(std::string_view connection) {
  std::string shown;
  bool first = true;
  ForEachAttribute(connection, [&](std::string_view attribute) {
    if (!first) shown += ';';
    first = false;
    shown += IsPassword(attribute)
                 ? std::string(attribute.substr(0, attribute.find('=') + 1)) + "****"
                 : std::string(attribute);
  });
  if (!connection.empty() && connection.back() == ';') shown += ';';
  return shown;
}

std::string AttributeValue(std::string_view connection, std::string_view key) {
  std::string value;
  ForEachAttribute(connection, [&](std::string_view attribute) {
    const std::size_t equals = attribute.find('=');
    if (equals == std::string_view::npos ||
        AsciiLower(Trimmed(attribute.substr(0, equals))) != AsciiLower(key))
      return;
    const std::string_view written = Trimmed(attribute.substr(equals + 1));
    value.clear();
    if (written.size() < 2 || written.front() != '{' || written.back() != '}') {
      value = written;
      return;
    }
    for (std::size_t i = 1; i + 1 < written.size(); ++i) {
      value += written[i];
      if (written[i] == '}') ++i;  // "}}" stands for "}"
    }
  });
  return value;
}

std::string CommandLinePasswordNote(std::string_view connection) {
  if (!HoldsPassword(connection)) return {};
  return "the connection string holds a password, which other users of this machine can read "
         "on the command line: keep it in the ODBC data source, in a settings file only you can "
         "read, or for PostgreSQL in ~/.pgpass";
}

}  // namespace nv407::host
