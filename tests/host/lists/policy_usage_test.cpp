#include "host/lists/policy_usage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "support/test_backend.h"
#include "support/test_database.h"

namespace nv407::testing {
namespace {

using host::Grade;

// Rounded as people read a share, but a share short of a threshold never shows it.
TEST(PolicyUsage, ShowsASharesPercentAndGradeWithoutReachingAThresholdEarly) {
  const struct {
    double used, included;
    std::optional<long long> shown;
    Grade grade;
  } cases[] = {
      {110, 120, 92, Grade::kWarning},
      {96, 120, 80, Grade::kWarning},
      {95.9, 120, 79, Grade::kNormal},
      {79.6, 100, 79, Grade::kNormal},
      {99.6, 100, 99, Grade::kWarning},
      {10, 10, 100, Grade::kAlarm},
      {126, 120, 105, Grade::kAlarm},
      {0, 12, 0, Grade::kNormal},
      {0.4, 100, 0, Grade::kNormal},
      {3, 0, std::nullopt, Grade::kNormal},
      {1, -5, std::nullopt, Grade::kNormal},
      // Beyond what an int holds, as a tiny quantity included makes it.
      {50000, 0.001, 5'000'000'000, Grade::kAlarm},
      // Near the largest a double holds, where 100 × used is beyond it.
      {5e306, 1e307, 50, Grade::kNormal},
      {9e306, 1e307, 90, Grade::kWarning},
      {1.7e308, 1.7e308, 100, Grade::kAlarm},
      {1e308, 1e-300, std::nullopt, Grade::kAlarm},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.used) + "/" + std::to_string(c.included));
    EXPECT_EQ(host::ShownPercent(c.used, c.included), c.shown);
    EXPECT_EQ(host::UsageGrade(c.used, c.included), c.grade);
  }
}

host::ServiceUsage Service(const char* key, const char* unit, double included, double used) {
  return {key, "", unit, included, used, NumberText(included), NumberText(used)};
}

TEST(PolicyUsage, TheMostUsedServiceByShareSpeaksForThePolicy) {
  const auto line =
      host::MostUsedLine({Service("SOPREM", "HR", 120, 110), Service("VISITA", "EV", 12, 9),
                          Service("CAPACIT", "EV", 0, 4)});
  ASSERT_TRUE(line);
  EXPECT_EQ(line->text, "SOPREM: 110 de 120 horas (92%)");
  EXPECT_EQ(line->grade, Grade::kWarning);
  EXPECT_EQ(host::MostUsedLine({Service("VISITA", "EV", 1, 1)})->text,
            "VISITA: 1 de 1 evento (100%)");
  EXPECT_EQ(host::MostUsedLine({Service("SOPSITIO", "HR", 1, 0.5)})->text,
            "SOPSITIO: 0.5 de 1 hora (50%)");
  // Nothing included, nothing to use up; nothing used of what is included, nothing to say.
  EXPECT_FALSE(host::MostUsedLine({Service("CAPACIT", "EV", 0, 4)}));
  EXPECT_FALSE(host::MostUsedLine({Service("CAPACIT", "EV", 0, 4), Service("VISITA", "EV", 3, 0)}));
  EXPECT_FALSE(host::MostUsedLine({}));
  // A share too large for a percent is no percent.
  EXPECT_EQ(host::MostUsedLine({Service("VISITA", "EV", 1e-300, 1)})->text,
            "VISITA: 1 de 1E-300 eventos");
  // Shares compared whose products pass the largest a double holds.
  const auto huge = host::MostUsedLine(
      {Service("VISITA", "EV", 1.7e308, 1e308), Service("SOPREM", "HR", 1e307, 9e306)});
  ASSERT_TRUE(huge);
  EXPECT_TRUE(huge->text.starts_with("SOPREM: ") && huge->text.ends_with(" (90%)")) << huge->text;
}

TEST(PolicyUsage, AnEndDateIsFarAboutToComeOrPast) {
  const struct {
    int year, month, day;
    const char* text;
    Grade grade;
  } cases[] = {
      {2025, 3, 1, "Vencida el 01/03/2025", Grade::kAlarm},
      {2024, 3, 14, "Vencida el 14/03/2024", Grade::kAlarm},
      {2025, 3, 2, "Vence hoy", Grade::kWarning},
      {2025, 3, 3, "Vence mañana", Grade::kWarning},
      {2025, 3, 14, "Vence en 12 días", Grade::kWarning},
      {2025, 4, 1, "Vence en 30 días", Grade::kWarning},
      {2025, 4, 2, "Vigente hasta el 02/04/2025", Grade::kNormal},
  };
  for (const auto& c : cases) {
    const host::GlanceLine line =
        host::ExpiryLine(Date::FromYmd(c.year, c.month, c.day), Date::FromYmd(2025, 3, 2));
    EXPECT_EQ(line.text, c.text);
    EXPECT_EQ(line.grade, c.grade) << c.text;
  }
}

// Read from the database as the screen lists the services: the counter of the service's
// unit, a NULL as 0; a cancelled policy has no glance.
TEST(PolicyUsage, ReadsAPolicysServicesAndEndAsTheScreenShowsThem) {
  TestDatabase db;
  PolicyRow policy;
  policy.end = "2024-03-25";
  policy.services = {{"VISITA", 12, 11, 2}, {"SOPREM", 120, 110, 3}};
  db.AddPolicy(policy);
  db.Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Evento_Utilizado = NULL "
      "WHERE Ts_Cve_Tipo_Servicio = 'VISITA'");
  policy.folio = "MTY-000002";
  policy.state = "CA";
  db.AddPolicy(policy);
  const auto glance = [&db](const std::string& folio) {
    const auto usage = host::ReadPolicyUsage(db.sql(), folio);
    if (!usage) return std::string("(no policy)");
    std::string lines;
    for (const auto& line : host::Glance(*usage, Date::FromYmd(2024, 3, 15)))
      lines += line.text + "; ";
    return lines;
  };

  EXPECT_EQ(glance("MTY-000001"), "SOPREM: 110 de 120 horas (92%); Vence en 10 días; ");
  // SOPREM's hours no longer used, and VISITA's events NULL (its 11 hours are not its use):
  // only the end.
  db.Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = 0 "
      "WHERE Ps_Folio = 'MTY-000001'");
  EXPECT_EQ(glance("MTY-000001"), "Vence en 10 días; ");
  EXPECT_EQ(glance("MTY-000002"), "");
  EXPECT_EQ(glance("MTY-000099"), "(no policy)");
}

// A quantity stored as a text that is no number (a file edited by hand) is read as its
// text, with no share; the other service and the end still speak for the policy. So do the
// services where the end is an empty text.
TEST(PolicyUsage, AQuantityStoredAsATextIsReadAsStoredWithNoShare) {
  if (TestBackend() != Backend::kSqlite) GTEST_SKIP() << "a server's quantity is a number";
  TestDatabase db;
  PolicyRow policy;
  policy.end = "2024-03-25";
  policy.services = {{"VISITA", 12, 0, 2}, {"SOPREM", 120, 110, 3}};
  db.AddPolicy(policy);
  db.Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = 'mucho' "
      "WHERE Ts_Cve_Tipo_Servicio = 'SOPREM'");
  db.Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Cantidad_Incluida = 'diez', "
      "Pst_Evento_Utilizado = 6 WHERE Ts_Cve_Tipo_Servicio = 'VISITA'");
  const std::vector<host::ServiceUsage> services = host::ReadServiceUsage(db.sql(), "MTY-000001");
  ASSERT_EQ(services.size(), 2u);
  EXPECT_TRUE(std::isnan(services[0].used));
  EXPECT_EQ(services[0].used_text, "mucho");
  EXPECT_TRUE(std::isnan(services[1].included));
  EXPECT_EQ(services[1].included_text, "diez");
  std::string lines;
  for (const auto& line :
       host::Glance(*host::ReadPolicyUsage(db.sql(), "MTY-000001"), Date::FromYmd(2024, 3, 15)))
    lines += line.text + "; ";
  EXPECT_EQ(lines, "Vence en 10 días; ");

  // An end another program left as an empty text is no end: the services still speak.
  db.Execute("UPDATE Poliza_Servicio SET Ps_Fecha_Finaliza = '' WHERE Ps_Folio = 'MTY-000001'");
  db.Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Cantidad_Incluida = 12 "
      "WHERE Ts_Cve_Tipo_Servicio = 'VISITA'");
  lines.clear();
  for (const auto& line :
       host::Glance(*host::ReadPolicyUsage(db.sql(), "MTY-000001"), Date::FromYmd(2024, 3, 15)))
    lines += line.text + "; ";
  EXPECT_EQ(lines, "VISITA: 6 de 12 eventos (50%); ");
}

}  // namespace
}  // namespace nv407::testing
