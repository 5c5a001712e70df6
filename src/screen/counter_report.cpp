#include "screen/counter_report.h"

#include <cstddef>

namespace nv407 {
namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr const char* kTitle =
    "                         INICIALIZACION DE SERVICIOS                            ";
constexpr const char* kRule =
    "================================================================================";
constexpr const char* kColumns =
    "           TIPO SERVICIO                                       UNIDAD  UTILIZADO";

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Byte offset just past the first `count` characters of UTF-8 text.
std::size_t OffsetAfter(const std::string& text, std::size_t count) {
  std::size_t offset = 0;
  while (offset < text.size() && count > 0) {
    ++offset;
    while (offset < text.size() && IsContinuationByte(text[offset])) ++offset;
    --count;
  }
  return offset;
}

std::string FirstCharacters(const std::string& text, std::size_t count) {
  return text.substr(0, OffsetAfter(text, count));
}

std::string LastCharacters(const std::string& text, std::size_t count) {
  std::size_t offset = text.size();
  while (offset > 0 && count > 0) {
    --offset;
    while (offset > 0 && IsContinuationByte(text[offset])) --offset;
    --count;
  }
  return text.substr(offset);
}

// The left field takes 55 spaces, not 65: a key and description shorter than ten
// characters give a narrower field and move the rest of the line left.
std::string RowLine(const ServiceUsage& row) {
  std::string line = FirstCharacters(row.key + " - " + row.description + std::string(55, ' '), 65);
  line += " ";
  line += row.unit;
  line += LastCharacters(std::string(12, ' ') + row.used, 12);
  return line;
}

}  // namespace

std::string CounterReport(const std::vector<ServiceUsage>& rows) {
  std::string report;
  for (const ServiceUsage& row : rows) {
    if (report.empty()) {
      for (const char* line : {kTitle, kRule, kColumns, kRule}) {
        report += line;
        report += kLineEnd;
      }
    }
    report += RowLine(row);
    report += kLineEnd;
  }
  return report;
}

}  // namespace nv407
