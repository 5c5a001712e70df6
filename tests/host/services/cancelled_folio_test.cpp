#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <regex>
#include <string>

#include "host/services/replacement_chain.h"

namespace nv407::testing {
namespace {

// What a cancellation is, said as a regular expression: the reading by hand must agree with
// it on every statement.
std::optional<std::string> CancelledFolioByExpression(const std::string& sql) {
  static const std::regex cancellation(
      R"(^\s*UPDATE\s+Poliza_Servicio\s+SET\s[\s\S]*\bEs_Cve_Estado\s*=\s*'CA'[\s\S]*\sWHERE\s+Ps_Folio\s*=\s*'((?:[^']|'')*)'\s*$)",
      std::regex::icase);
  std::smatch match;
  if (!std::regex_match(sql, match, cancellation)) return std::nullopt;
  std::string folio;
  const std::string quoted = match.str(1);
  for (std::size_t i = 0; i < quoted.size(); ++i) {
    folio += quoted[i];
    if (quoted[i] == '\'') ++i;
  }
  return folio;
}

// Statements near a cancellation: each piece in any case and spacing, now and then swapped
// for one that should not count (another table, another column, another state, a longer name, the
// state after WHERE, a folio with apostrophes, text left after the folio).
class Near {
 public:
  std::string Statement() {
    std::string sql = Pick({"", " ", "\n\t"});
    sql += Cased(Pick({"UPDATE", "SELECT", "UPDATEX"})) + Blanks();
    sql += Cased(Pick({"Poliza_Servicio", "Poliza_Servicio_Tipo_Servicio"}));
    sql += Blanks() + Cased(Pick({"SET", "SETX"})) + Pick({" ", "\n", "", "  "});
    sql += Pick({"", "Oper_Baja = 'ADMIN', ", "Fecha_Baja = GetDate(),\n "});
    sql += Cased(Pick({"Es_Cve_Estado", "XEs_Cve_Estado", "Oper_Ult_Modif"}));
    sql += Pick({"", " ", "\t"}) + "=" + Pick({"", " "});
    sql += Cased(Pick({"'CA'", "'AC'", "'CA '", "'C'"}));
    sql += Pick({"", ", Fecha_Baja = '2024-03-15'", ","}) + Blanks() + Cased("WHERE") + Blanks();
    sql += Cased(Pick({"Ps_Folio", "Cl_Cve_Cliente", "XPs_Folio"}));
    sql += Pick({"", " "}) + Pick({"=", "<>"}) + Pick({"", " ", "\n"});
    sql += Pick({"'MTY-000007'", "'O''K-1'", "''''", "''", "'A''", "MTY"});
    sql += Pick({"", " ", " AND Es_Cve_Estado = 'CA'", "'"});
    return sql;
  }

 private:
  // The first choice most of the time, so that many statements are cancellations.
  std::string Pick(std::initializer_list<const char*> choices) {
    std::uniform_int_distribution<std::size_t> pick(0, choices.size() - 1);
    return *(choices.begin() + (random_() % 4 == 0 ? pick(random_) : 0));
  }
  std::string Blanks() { return Pick({" ", "  ", "\t", "\n", "\r\n "}); }
  std::string Cased(std::string word) {
    for (char& c : word)
      if (random_() % 4 == 0 && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return word;
  }
  std::mt19937 random_{407};
};

TEST(CancelledFolio, AgreesWithItsExpressionOnStatementsNearACancellation) {
  // The expression itself, on the Baja's statement as the screen writes it.
  const std::string baja =
      "UPDATE Poliza_Servicio SET    Oper_Baja = 'ADMIN',    Fecha_Baja = '2024-03-15 10:30:00',"
      "    Es_Cve_Estado = 'CA' WHERE Ps_Folio = 'O''K-1'";
  ASSERT_EQ(CancelledFolioByExpression(baja), "O'K-1");
  ASSERT_EQ(CancelledFolioByExpression("UPDATE Poliza_Servicio SET Es_Cve_Estado = 'AC' WHERE "
                                       "Ps_Folio = 'X'"),
            std::nullopt);
  EXPECT_EQ(host::CancelledFolio(baja), "O'K-1");
  Near near;
  int cancellations = 0;
  for (int i = 0; i < 20000; ++i) {
    const std::string sql = near.Statement();
    const std::optional<std::string> expected = CancelledFolioByExpression(sql);
    ASSERT_EQ(host::CancelledFolio(sql), expected) << sql;
    cancellations += expected.has_value();
  }
  // Both kinds were seen in number, so the agreement says something.
  EXPECT_GT(cancellations, 500);
  EXPECT_LT(cancellations, 19500);
}

}  // namespace
}  // namespace nv407::testing
