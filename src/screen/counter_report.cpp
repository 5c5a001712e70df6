#include "screen/counter_report.h"

#include <cstddef>

#include "component/text_characters.h"

namespace nv407 {
namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr const char* kTitle =
    "                         INICIALIZACION DE SERVICIOS                            ";
constexpr const char* kRule =
    "================================================================================";
constexpr const char* kColumns =
    "           TIPO SERVICIO                                       UNIDAD  UTILIZADO";

// The text's first `width` characters; a character that would not fit whole gives its
// columns to spaces. A shorter text keeps its own width.
std::string LeftField(const std::string& text, int width) {
  std::string field = FirstCharacters(text, width);
  if (field.size() < text.size())
    field.append(static_cast<std::size_t>(width - CharacterCount(field)), ' ');
  return field;
}

// The text's last `width` characters, right-aligned: spaces before it for what is shorter,
// or for a character that would not fit whole.
std::string RightField(const std::string& text, int width) {
  const std::string field = LastCharacters(text, width);
  return std::string(static_cast<std::size_t>(width - CharacterCount(field)), ' ') + field;
}

// The left field takes 55 spaces, not 65: a key and description shorter than ten
// characters give a narrower field and move the rest of the line left.
std::string RowLine(const ServiceUsage& row) {
  std::string line = LeftField(row.key + " - " + row.description + std::string(55, ' '), 65);
  line += " ";
  line += row.unit;
  line += RightField(row.used, 12);
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
