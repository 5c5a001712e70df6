#include "host/reports/report_writer.h"

#include <locale.h>
#include <wchar.h>

#include <algorithm>
#include <charconv>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

#include "component/date.h"
#include "host/db/text.h"
#include "host/lists/policy_usage.h"

namespace nv407::host {
namespace {

// Rows the table holds back to size its columns.
constexpr std::size_t kSizingRows = 1000;

// The columns a terminal draws the text in: an accent written apart from its letter takes
// none, a wide character (a CJK one, most emoji) two, by the C library's tables for UTF-8
// whatever the program's own locale.
std::size_t Width(std::string_view text) {
  if (std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; }))
    return text.size();
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
  const locale_t before = utf8 ? uselocale(utf8) : locale_t{};
  std::size_t width = 0;
  for (std::size_t at = 0; at < text.size();) {
    const DecodedCharacter character = DecodeAt(text, at);
    at += std::max<std::size_t>(character.length, 1);
    // Latin letters, accented ones included, take one: the tables only past them.
    const bool tabled = utf8 && character.length && character.code >= 0x300;
    const int columns = tabled ? wcwidth(static_cast<wchar_t>(character.code)) : 1;
    // A control character or one the tables do not know takes one, as the text's own count.
    width += columns >= 0 ? static_cast<std::size_t>(columns) : 1;
  }
  if (utf8) uselocale(before);
  return width;
}

std::string Padded(const std::string& text, std::size_t width, bool right) {
  const std::size_t drawn = Width(text);
  const std::string fill(width > drawn ? width - drawn : 0, ' ');
  return right ? fill + text : text + fill;
}

// A number cell's number; nothing for the text the database held there instead.
std::optional<double> NumberIn(const std::string& cell) {
  double number = 0;
  const char* const end = cell.data() + cell.size();
  const auto [stop, error] = std::from_chars(cell.data(), end, number);
  if (error != std::errc() || stop != end) return std::nullopt;
  return number;
}

// A text a spreadsheet would take for a formula (=, +, -, @, or a tab or carriage return
// before one) is written after an apostrophe, so that opening the file runs nothing that a
// name or a comment in the database holds; JSON keeps every text as it is. A byte that
// starts no character (a file another program wrote) becomes U+FFFD, as in JSON: the file
// stays UTF-8.
std::string CsvField(const std::string& stored, ReportColumn::Kind kind) {
  const std::string cell = IsUtf8(stored) ? stored : Narrow(Widen(stored));
  const bool written_as_text =
      kind == ReportColumn::Kind::kText || (kind == ReportColumn::Kind::kNumber && !NumberIn(cell));
  const bool formula = written_as_text && !cell.empty() &&
                       std::string_view("=+-@\t\r").find(cell.front()) != std::string_view::npos;
  const std::string text = formula ? "'" + cell : cell;
  const bool quoted = text.find_first_of(",\"\r\n") != std::string::npos ||
                      (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quoted) return text;
  std::string field = "\"";
  for (char c : text) field += c == '"' ? std::string("\"\"") : std::string(1, c);
  return field + "\"";
}

// A table's row is one line, and a text cannot drive the terminal it is printed on: control
// characters show as blanks.
std::string OnOneLine(const std::string& cell) {
  return ControlsMarked(cell, " ");
}

nlohmann::ordered_json JsonValue(const ReportColumn& column, const std::string& cell) {
  if (cell.empty()) return nullptr;
  const std::optional<double> number =
      column.kind == ReportColumn::Kind::kNumber ? NumberIn(cell) : std::nullopt;
  if (!number) return cell;
  if (*number == static_cast<double>(static_cast<long long>(*number)))
    return static_cast<long long>(*number);
  return *number;
}

}  // namespace

std::optional<ReportFormat> ReportFormatNamed(std::string_view name) {
  if (name == "table") return ReportFormat::kTable;
  if (name == "csv") return ReportFormat::kCsv;
  if (name == "json") return ReportFormat::kJson;
  return std::nullopt;
}

ReportWriter::ReportWriter(std::ostream& out, ReportFormat format,
                           std::vector<ReportColumn> columns)
    : out_(out), format_(format), columns_(std::move(columns)) {
  if (format_ == ReportFormat::kCsv) {
    for (std::size_t i = 0; i < columns_.size(); ++i)
      out_ << (i ? "," : "") << CsvField(columns_[i].header, ReportColumn::Kind::kText);
    out_ << '\n';
  }
  if (format_ == ReportFormat::kJson) out_ << '[';
}

void ReportWriter::Row(std::vector<std::string> cells) {
  cells.resize(columns_.size());
  ++rows_;
  switch (format_) {
    case ReportFormat::kCsv:
      for (std::size_t i = 0; i < cells.size(); ++i)
        out_ << (i ? "," : "") << CsvField(cells[i], columns_[i].kind);
      out_ << '\n';
      return;
    case ReportFormat::kJson: {
      nlohmann::ordered_json object = nlohmann::ordered_json::object();
      for (std::size_t i = 0; i < cells.size(); ++i)
        object[columns_[i].key] = JsonValue(columns_[i], cells[i]);
      out_ << (rows_ == 1 ? "\n  " : ",\n  ")
           << object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
      return;
    }
    case ReportFormat::kTable:
      for (std::size_t i = 0; i < cells.size(); ++i) {
        cells[i] = OnOneLine(cells[i]);
        if (columns_[i].kind != ReportColumn::Kind::kDate || cells[i].empty()) continue;
        if (const auto date = Date::Parse(cells[i])) cells[i] = ShortDate(*date);
      }
      if (widths_set_) return WriteTableLine(cells);
      held_.push_back(std::move(cells));
      if (held_.size() == kSizingRows) WriteHeldTable();
      return;
  }
}

void ReportWriter::Finish() {
  if (format_ == ReportFormat::kJson) out_ << (rows_ == 0 ? "]\n" : "\n]\n");
  if (format_ == ReportFormat::kTable && !widths_set_) WriteHeldTable();
  out_.flush();
}

void ReportWriter::WriteHeldTable() {
  widths_.clear();
  for (const ReportColumn& column : columns_) widths_.push_back(Width(column.header));
  for (const auto& row : held_)
    for (std::size_t i = 0; i < row.size(); ++i) widths_[i] = std::max(widths_[i], Width(row[i]));
  widths_set_ = true;
  std::vector<std::string> headers, rules;
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    headers.push_back(columns_[i].header);
    rules.push_back(std::string(widths_[i], '-'));
  }
  WriteTableLine(headers);
  WriteTableLine(rules);
  for (const auto& row : held_) WriteTableLine(row);
  held_.clear();
}

void ReportWriter::WriteTableLine(const std::vector<std::string>& cells) {
  std::string line;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) line += "  ";
    line += Padded(cells[i], widths_[i], columns_[i].kind == ReportColumn::Kind::kNumber);
  }
  line.erase(line.find_last_not_of(' ') + 1);
  out_ << line << '\n';
}

}  // namespace nv407::host
