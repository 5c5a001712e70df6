// The counter report. Input: one line per services row, its key, description, unit and used
// amount separated by tabs.
#include "fuzz/fuzz_support.h"
#include "screen/counter_report.h"

namespace nv407::fuzz {
namespace {

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// Bytes that are not UTF-8 become '?', and so do line ends: the lines of a report are
// then found by their CR LF.
std::string Utf8WithoutLineEnds(std::string_view bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = lead < 0x80                    ? 1
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                                                              : 0;
    bool whole = length > 0 && i + length <= bytes.size();
    for (std::size_t k = 1; whole && k < length; ++k)
      whole = IsContinuation(static_cast<unsigned char>(bytes[i + k]));
    if (!whole || bytes[i] == '\r' || bytes[i] == '\n') {
      out += '?';
      ++i;
    } else {
      out.append(bytes.substr(i, length));
      i += length;
    }
  }
  return out;
}

std::size_t Characters(std::string_view utf8) {
  std::size_t count = 0;
  for (const char c : utf8) count += !IsContinuation(static_cast<unsigned char>(c));
  return count;
}

std::vector<std::string> Split(std::string_view text, std::string_view separator) {
  std::vector<std::string> parts;
  for (;;) {
    const std::size_t end = text.find(separator);
    parts.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) return parts;
    text.remove_prefix(end + separator.size());
  }
}

std::vector<ServiceUsage> Rows(std::string_view input, bool as_utf8) {
  std::vector<ServiceUsage> rows;
  if (input.empty()) return rows;
  for (const std::string& line : Split(input, "\n")) {
    std::vector<std::string> fields = Split(line, "\t");
    fields.resize(4);
    for (std::string& field : fields)
      if (as_utf8) field = Utf8WithoutLineEnds(field);
    rows.push_back({fields[0], fields[1], fields[2], fields[3]});
  }
  return rows;
}

// Header lines are 80 characters; a row line is its left field (key, " - ", description and
// 55 blanks, cut to 65 characters), a blank, the unit and the used amount in 12 characters.
void CheckLayout(const std::vector<ServiceUsage>& rows) {
  const std::string report = CounterReport(rows);
  if (rows.empty()) {
    Check(report.empty(), "no rows make an empty report", report);
    return;
  }
  Check(report.ends_with("\r\n"), "every line ends with CR LF", report);
  std::vector<std::string> lines = Split(report, "\r\n");
  lines.pop_back();  // after the last CR LF
  Check(lines.size() == rows.size() + 4, "four header lines, then one line per row", report);
  for (std::size_t i = 0; i < 4; ++i)
    Check(Characters(lines[i]) == 80, "header lines are 80 characters", lines[i]);
  Check(lines[1] == std::string(80, '=') && lines[3] == lines[1], "the rules are equals signs");
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const ServiceUsage& row = rows[i];
    const std::string& line = lines[i + 4];
    const std::size_t left =
        std::min<std::size_t>(Characters(row.key) + 3 + Characters(row.description) + 55, 65);
    Check(Characters(line) == left + 1 + Characters(row.unit) + 12,
          "a row line is as wide as its fields", Shown(line));
    Check(Utf8WithoutLineEnds(line) == line, "no cut falls inside a character", Shown(line));
    const std::size_t used = Characters(row.used);
    if (used <= 12) {
      Check(line.ends_with(std::string(12 - used, ' ') + row.used),
            "the used amount is right-aligned in its field", Shown(line));
    }
  }
}

}  // namespace
}  // namespace nv407::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nv407::fuzz;
  const std::string_view input = Text(data, size);
  nv407::CounterReport(Rows(input, false));  // any bytes at all: nothing but a report
  CheckLayout(Rows(input, true));
  return 0;
}
