#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace nv407::host {

enum class ReportFormat { kTable, kCsv, kJson };
// "table", "csv", "json".
std::optional<ReportFormat> ReportFormatNamed(std::string_view name);

struct ReportColumn {
  enum class Kind { kText, kDate, kNumber };
  std::string header;  // the table's and the CSV's
  std::string key;     // JSON's
  Kind kind = Kind::kText;
};

// Writes a report's rows as they come, in one format: an aligned table for people (dates
// as 14/03/2025, numbers to the right, one line a row), CSV with a header line (a text a
// spreadsheet would take for a formula after an apostrophe), or a JSON array of objects
// (dates as YYYY-MM-DD, numbers as numbers, an empty cell as null, texts as stored). A
// date cell holds YYYY-MM-DD, a number cell its digits or nothing, or else the text the
// database holds there (a file edited by hand), which every format writes as a text.
class ReportWriter {
 public:
  ReportWriter(std::ostream& out, ReportFormat format, std::vector<ReportColumn> columns);
  void Row(std::vector<std::string> cells);
  // After the last row: what is still held back (the table's first rows), the JSON array's end.
  void Finish();

 private:
  void WriteTableLine(const std::vector<std::string>& cells);
  void WriteHeldTable();

  std::ostream& out_;
  ReportFormat format_;
  std::vector<ReportColumn> columns_;
  std::size_t rows_ = 0;
  // The table's columns are as wide as their widest cell among the first rows, which are
  // held back until then; later rows keep those widths rather than the whole report being
  // held in memory.
  std::vector<std::vector<std::string>> held_;
  std::vector<std::size_t> widths_;
  bool widths_set_ = false;
};

}  // namespace nv407::host
