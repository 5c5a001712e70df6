#include "host/db/odbc_handles.h"

#include <locale.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <iterator>
#include <type_traits>
#include <utility>

#include "component/error.h"
#include "host/db/text.h"

namespace nv407::host::odbc {

static_assert(std::is_same_v<SQLHANDLE, void*>, "ODBC handles are held as void*");
static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager's wide API is UTF-16");

namespace {

const SQLWCHAR* Wide(const std::u16string& text) {
  return reinterpret_cast<const SQLWCHAR*>(text.c_str());
}

std::string FromWide(const SQLWCHAR* text, std::size_t length) {
  return Narrow(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

// The driver manager and psqlODBC find a connection string's keywords with strcasecmp,
// which follows LC_CTYPE: in a Turkish locale "Driver" is not "DRIVER", the upper case of
// i being a dotted I, and no connection would be made. They connect in C.UTF-8, on this
// thread alone (psqlODBC sets the process's LC_CTYPE from the environment as it connects).
class CLocaleOnThisThread {
 public:
  CLocaleOnThisThread() : before_(Plain() ? ::uselocale(Plain()) : nullptr) {}
  ~CLocaleOnThisThread() {
    if (before_) ::uselocale(before_);
  }
  CLocaleOnThisThread(const CLocaleOnThisThread&) = delete;
  CLocaleOnThisThread& operator=(const CLocaleOnThisThread&) = delete;

 private:
  static locale_t Plain() {
    static const locale_t plain = [] {
      const locale_t utf8 = ::newlocale(LC_ALL_MASK, "C.UTF-8", nullptr);
      return utf8 ? utf8 : ::newlocale(LC_ALL_MASK, "C", nullptr);
    }();
    return plain;
  }
  locale_t before_;
};

// A message without the line break drivers end it with.
// The server's message as the operator reads it: without the line the PostgreSQL driver
// adds to every refused statement, which says nothing the message does not.
std::string Trimmed(std::string text) {
  constexpr std::string_view kDriverLine = ";\nError while executing the query";
  if (text.ends_with(kDriverLine)) text.resize(text.size() - kDriverLine.size());
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text;
}

// Every record as "SQLSTATE: message", one a line; `first_state` gets the first SQLSTATE.
std::string Diagnostics(SQLSMALLINT handle_type, SQLHANDLE handle, std::string& first_state) {
  std::string out;
  for (SQLSMALLINT record = 1;; ++record) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::u16string message(512, u'\0');
    SQLRETURN rc = SQLGetDiagRecW(handle_type, handle, record, state, &native,
                                  reinterpret_cast<SQLWCHAR*>(message.data()),
                                  static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
      message.assign(static_cast<std::size_t>(length) + 1, u'\0');
      rc = SQLGetDiagRecW(handle_type, handle, record, state, &native,
                          reinterpret_cast<SQLWCHAR*>(message.data()),
                          static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc)) break;
    message.resize(static_cast<std::size_t>(length));
    if (out.empty()) first_state = FromWide(state, 5);
    if (!out.empty()) out += '\n';
    out += FromWide(state, 5) + ": " + Trimmed(Narrow(message));
  }
  return out;
}

}  // namespace

void Check(short handle_type, void* handle, short rc) {
  if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return;
  if (rc == SQL_INVALID_HANDLE) throw DriverError("ODBC: invalid handle", "");
  std::string state;
  const std::string message = handle ? Diagnostics(handle_type, handle, state) : std::string();
  throw DriverError(message.empty() ? "ODBC: the call failed without a diagnostic" : message,
                    state);
}

EnvHandle::EnvHandle() {
  SQLHENV raw = nullptr;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &raw)))
    throw Error("ODBC: the driver manager cannot allocate an environment");
  env_.reset(raw);
  Check(SQL_HANDLE_ENV, raw,
        SQLSetEnvAttr(raw, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
}

void EnvHandle::Freer::operator()(void* env) const noexcept {
  SQLFreeHandle(SQL_HANDLE_ENV, env);
}

DbHandle::DbHandle(const EnvHandle& env, const std::string& connection_string,
                   int login_timeout_seconds) {
  SQLHDBC raw = nullptr;
  Check(SQL_HANDLE_ENV, env.get(), SQLAllocHandle(SQL_HANDLE_DBC, env.get(), &raw));
  dbc_.reset(raw);
  const auto timeout = static_cast<SQLULEN>(login_timeout_seconds);
  Check(SQL_HANDLE_DBC, raw,
        SQLSetConnectAttrW(raw, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(timeout), 0));
  const std::u16string text = Widen(connection_string);
  const CLocaleOnThisThread plain_keywords;
  Check(SQL_HANDLE_DBC, raw,
        SQLDriverConnectW(raw, nullptr, const_cast<SQLWCHAR*>(Wide(text)), SQL_NTS, nullptr, 0,
                          nullptr, SQL_DRIVER_NOPROMPT));
}

void DbHandle::Disconnecter::operator()(void* dbc) const noexcept {
  // Disconnecting fails for a handle that never connected, which is then only freed; the
  // server undoes a transaction still open.
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
}

std::string DbHandle::InfoText(unsigned short info) const {
  SQLWCHAR text[256] = {};
  SQLSMALLINT length = 0;
  Check(SQL_HANDLE_DBC, get(), SQLGetInfoW(get(), info, text, sizeof text, &length));
  const auto units =
      std::min(static_cast<std::size_t>(length) / sizeof(SQLWCHAR), std::size(text) - 1);
  return FromWide(text, units);
}

std::string DbHandle::ProductName() const {
  return InfoText(SQL_DBMS_NAME);
}

std::string DbHandle::DriverName() const {
  return InfoText(SQL_DRIVER_NAME);
}

bool DbHandle::DataSourceReadOnly() const {
  SQLWCHAR answer[8] = {};
  SQLSMALLINT length = 0;
  // A driver that cannot tell leaves it to the server's answer.
  const SQLRETURN rc =
      SQLGetInfoW(get(), SQL_DATA_SOURCE_READ_ONLY, answer, sizeof answer, &length);
  return SQL_SUCCEEDED(rc) &&
         FromWide(answer, static_cast<std::size_t>(length) / sizeof(SQLWCHAR)) == "Y";
}

bool DbHandle::Dead() const {
  SQLUINTEGER dead = SQL_CD_FALSE;
  const SQLRETURN rc = SQLGetConnectAttrW(get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
  return SQL_SUCCEEDED(rc) && dead == SQL_CD_TRUE;
}

void DbHandle::SetAutocommit(bool on) {
  const auto value = static_cast<SQLULEN>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF);
  Check(SQL_HANDLE_DBC, get(),
        SQLSetConnectAttrW(get(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(value), 0));
}

void DbHandle::EndTransaction(bool commit) {
  Check(SQL_HANDLE_DBC, get(),
        SQLEndTran(SQL_HANDLE_DBC, get(), commit ? SQL_COMMIT : SQL_ROLLBACK));
}

void DbHandle::Run(std::string_view sql) {
  Statement statement(*this);
  statement.Execute(sql);
  statement.Finish();
}

Statement::Statement(const DbHandle& db) {
  SQLHSTMT raw = nullptr;
  Check(SQL_HANDLE_DBC, db.get(), SQLAllocHandle(SQL_HANDLE_STMT, db.get(), &raw));
  stmt_.reset(raw);
}

void Statement::Freer::operator()(void* stmt) const noexcept {
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

bool Statement::Execute(std::string_view sql) {
  const std::u16string text = Widen(sql);
  const SQLRETURN rc = SQLExecDirectW(get(), const_cast<SQLWCHAR*>(Wide(text)),
                                      static_cast<SQLINTEGER>(text.size()));
  Check(SQL_HANDLE_STMT, get(), rc);
  if (rc == SQL_NO_DATA) return false;  // a write that touched no row
  for (;;) {
    SQLSMALLINT count = 0;
    Check(SQL_HANDLE_STMT, get(), SQLNumResultCols(get(), &count));
    if (count > 0) {
      Describe();
      return true;
    }
    const SQLRETURN more = SQLMoreResults(get());
    Check(SQL_HANDLE_STMT, get(), more);
    if (more == SQL_NO_DATA) return false;
  }
}

void Statement::Describe() {
  SQLSMALLINT count = 0;
  Check(SQL_HANDLE_STMT, get(), SQLNumResultCols(get(), &count));
  columns_.clear();
  for (SQLUSMALLINT number = 1; number <= static_cast<SQLUSMALLINT>(count); ++number) {
    SQLWCHAR name[256] = {};
    SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    Check(SQL_HANDLE_STMT, get(),
          SQLDescribeColW(get(), number, name, 256, &length, &type, &size, &digits, &nullable));
    SQLSMALLINT c_type = SQL_C_WCHAR;
    switch (type) {
      case SQL_TYPE_DATE:
      case SQL_DATE:
        c_type = SQL_C_TYPE_DATE;
        break;
      case SQL_TYPE_TIMESTAMP:
      case SQL_TIMESTAMP:
        c_type = SQL_C_TYPE_TIMESTAMP;
        break;
      case SQL_TINYINT:
      case SQL_SMALLINT:
      case SQL_INTEGER:
      case SQL_BIGINT:
        c_type = SQL_C_SBIGINT;
        break;
      case SQL_BIT:
        c_type = SQL_C_BIT;
        break;
      case SQL_REAL:
      case SQL_FLOAT:
      case SQL_DOUBLE:
        c_type = SQL_C_DOUBLE;
        break;
      case SQL_DECIMAL:
      case SQL_NUMERIC:
        c_type = digits == 0 && size <= 18 ? SQL_C_SBIGINT : SQL_C_DOUBLE;
        break;
      case SQL_BINARY:
      case SQL_VARBINARY:
      case SQL_LONGVARBINARY:
        c_type = SQL_C_BINARY;
        break;
      default:
        break;
    }
    const auto shown = std::min<std::size_t>(static_cast<std::size_t>(length), 255);
    columns_.push_back({FromWide(name, shown), c_type});
  }
}

std::vector<std::string> Statement::ColumnNames() const {
  std::vector<std::string> names;
  names.reserve(columns_.size());
  for (const Column& column : columns_) names.push_back(column.name);
  return names;
}

bool Statement::Fetch(std::vector<Variant>& row) {
  const SQLRETURN rc = SQLFetch(get());
  Check(SQL_HANDLE_STMT, get(), rc);
  if (rc == SQL_NO_DATA) return false;
  row.clear();
  row.reserve(columns_.size());
  for (std::size_t i = 0; i < columns_.size(); ++i)
    row.push_back(Read(static_cast<SQLUSMALLINT>(i + 1), columns_[i].c_type));
  return true;
}

Variant Statement::Read(unsigned short number, short c_type) {
  SQLLEN indicator = 0;
  const auto get_fixed = [&](SQLPOINTER target, SQLLEN size) {
    Check(SQL_HANDLE_STMT, get(), SQLGetData(get(), number, c_type, target, size, &indicator));
    return indicator != SQL_NULL_DATA;
  };
  switch (c_type) {
    case SQL_C_SBIGINT: {
      SQLBIGINT value = 0;
      if (!get_fixed(&value, sizeof value)) return Variant::MakeNull();
      return Variant(static_cast<std::int64_t>(value));
    }
    case SQL_C_DOUBLE: {
      SQLDOUBLE value = 0;
      if (!get_fixed(&value, sizeof value)) return Variant::MakeNull();
      return Variant(static_cast<double>(value));
    }
    case SQL_C_BIT: {
      unsigned char value = 0;
      if (!get_fixed(&value, sizeof value)) return Variant::MakeNull();
      return Variant(value != 0);
    }
    case SQL_C_TYPE_DATE: {
      SQL_DATE_STRUCT value{};
      if (!get_fixed(&value, sizeof value)) return Variant::MakeNull();
      return Variant(Date::FromYmd(value.year, value.month, value.day));
    }
    case SQL_C_TYPE_TIMESTAMP: {
      SQL_TIMESTAMP_STRUCT value{};
      if (!get_fixed(&value, sizeof value)) return Variant::MakeNull();
      return Variant(Date::FromYmd(value.year, value.month, value.day, value.hour, value.minute,
                                   value.second));
    }
    default:
      break;
  }
  // Text and bytes come in pieces: each call returns what fits and says there is more.
  const bool wide = c_type == SQL_C_WCHAR;
  std::string bytes;
  char buffer[4096];
  for (;;) {
    const SQLRETURN rc = SQLGetData(get(), number, c_type, buffer, sizeof buffer, &indicator);
    Check(SQL_HANDLE_STMT, get(), rc);
    if (rc == SQL_NO_DATA) break;
    if (indicator == SQL_NULL_DATA) return Variant::MakeNull();
    const std::size_t room = sizeof buffer - (wide ? sizeof(SQLWCHAR) : 0);  // less the NUL
    const bool more = indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > room;
    bytes.append(buffer, more ? room : static_cast<std::size_t>(indicator));
    if (rc == SQL_SUCCESS || !more) break;
  }
  if (!wide) return Variant(std::move(bytes));
  std::u16string text(bytes.size() / sizeof(char16_t), u'\0');
  bytes.copy(reinterpret_cast<char*>(text.data()), text.size() * sizeof(char16_t));
  return Variant(Narrow(text));
}

void Statement::Finish() {
  for (;;) {
    const SQLRETURN rc = SQLMoreResults(get());
    Check(SQL_HANDLE_STMT, get(), rc);
    if (rc == SQL_NO_DATA) return;
  }
}

Transaction::Transaction(DbHandle& db) : db_(&db) {
  db_->SetAutocommit(false);
}

Transaction::Transaction(Transaction&& other) noexcept : db_(other.db_) {
  other.db_ = nullptr;
}

Transaction::~Transaction() {
  if (!db_) return;
  try {
    Rollback();
  } catch (...) {
    // A destructor must not throw; a connection that cannot roll back is gone, and the
    // server undoes the transaction of a lost connection.
  }
}

void Transaction::Commit() {
  // A commit that fails leaves the transaction open for the caller to roll back.
  db_->EndTransaction(true);
  DbHandle* db = std::exchange(db_, nullptr);
  db->SetAutocommit(true);
}

void Transaction::Rollback() {
  DbHandle* db = std::exchange(db_, nullptr);
  db->EndTransaction(false);
  db->SetAutocommit(true);
}

}  // namespace nv407::host::odbc
