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

// Whether a libpq connection string (psqlODBC's pqopt) sets a password: "k=v k = 'a b'" read
// as libpq reads it, or a URI with one in its user part or its query. One libpq would refuse
// still counts when it mentions a password: it may hold one all the same.
bool LibpqOptionsHoldPassword(std::string_view text) {
  const std::string lower = AsciiLower(text);
  const std::string_view trimmed = Trimmed(lower);
  if (trimmed.starts_with("postgresql://") || trimmed.starts_with("postgres://")) {
    const std::string_view rest = trimmed.substr(trimmed.find("://") + 3);
    const std::string_view authority = rest.substr(0, rest.find_first_of("/?"));
    const std::size_t at = authority.rfind('@');
    return (at != std::string_view::npos &&
            authority.substr(0, at).find(':') != std::string_view::npos) ||
           rest.find("password=") != std::string_view::npos;
  }
  const bool mentioned = lower.find("password") != std::string::npos;
  std::size_t i = 0;
  const auto skip_blanks = [&] {
    while (i < lower.size() && IsAsciiSpace(lower[i])) ++i;
  };
  for (skip_blanks(); i < lower.size(); skip_blanks()) {
    const std::size_t key_start = i;
    while (i < lower.size() && lower[i] != '=' && !IsAsciiSpace(lower[i])) ++i;
    const std::string_view key = std::string_view(lower).substr(key_start, i - key_start);
    skip_blanks();
    if (i == lower.size() || lower[i] != '=') return mentioned;
    ++i;
    skip_blanks();
    if (key == "password") return true;
    const bool quoted = i < lower.size() && lower[i] == '\'';
    if (quoted) ++i;
    for (; i < lower.size(); ++i) {
      if (lower[i] == '\\') {
        ++i;
      } else if (quoted ? lower[i] == '\'' : IsAsciiSpace(lower[i])) {
        break;
      }
    }
    if (quoted && i >= lower.size()) return mentioned;  // no closing quote
    if (quoted) ++i;
  }
  return false;
}

bool IsPassword(std::string_view attribute) {
  const std::size_t equals = attribute.find('=');
  if (equals == std::string_view::npos) return false;
  const std::string key = AsciiLower(Trimmed(attribute.substr(0, equals)));
  if (key == "pwd" || key == "password") return true;
  // psqlODBC hands pqopt's libpq options to libpq, a password among them.
  return key == "pqopt" && LibpqOptionsHoldPassword(AttributeValue(attribute, "pqopt"));
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
