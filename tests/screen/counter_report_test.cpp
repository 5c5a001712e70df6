#include "screen/counter_report.h"

#include <gtest/gtest.h>

namespace nv407 {
namespace {

// The rows are written so that each column rule shows: a description cut at column 65
// (with an accented letter before the cut, counted as one column), a short key and
// description that move the line left, an amount longer than its field, a 3-letter unit.
TEST(CounterReport, LaysOutEveryRowUnderTheHeader) {
  const std::vector<ServiceUsage> rows = {
      {"MANT", "Mantenimiento preventivo de equipos de cómputo en sitio del cliente", "HR", "12.5"},
      {"SOP", "WEB", "EV", "1234567890123456"},
      {"CAP", "Capacitación de usuarios", "HRS", "3"},
  };

  // clang-format off
  const std::string expected =
      "                         INICIALIZACION DE SERVICIOS                            \r\n"
      "================================================================================\r\n"
      "           TIPO SERVICIO                                       UNIDAD  UTILIZADO\r\n"
      "================================================================================\r\n"
      "MANT - Mantenimiento preventivo de equipos de cómputo en sitio de HR        12.5\r\n"
      "SOP - WEB                                                        EV567890123456\r\n"
      "CAP - Capacitación de usuarios                                    HRS           3\r\n";
  // clang-format on
  EXPECT_EQ(CounterReport(rows), expected);
}

TEST(CounterReport, NoRowsGiveNoHeaderEither) {
  EXPECT_EQ(CounterReport({}), "");
}

}  // namespace
}  // namespace nv407
