#include "host/lists/policy_usage.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/test_database.h"

namespace nv407::testing {
namespace {

using host::Grade;

struct ShareCase {
  double used, included;
  std::optional<int> shown;
  Grade grade;
};

// Rounded as people read a share, but a share short of a threshold never shows it.
TEST(PolicyUsage, ShowsASharesPercentAndGradeWithoutReachingAThresholdEarly) {
  const ShareCase cases[] = {
      {110, 120, 92, Grade::kWarning},       {96, 120, 80, Grade::kWarning},
      {95.9, 120, 79, Grade::kNormal},       {79.6, 100, 79, Grade::kNormal},
      {99.6, 100, 99, Grade::kWarning},      {10, 10, 100, Grade::kAlarm},
      {126, 120, 105, Grade::kAlarm},        {0, 12, 0, Grade::kNormal},
      {0.4, 100, 0, Grade::kNormal},         {3, 0, std::nullopt, Grade::kNormal},
      {1, -5, std::nullopt, Grade::kNormal},
  };
  for (const ShareCase& c : cases) {
    EXPECT_EQ(host::ShownPercent(c.used, c.included), c.shown) << c.used << "/" << c.included;
    EXPECT_EQ(host::UsageGrade(c.used, c.included), c.grade) << c.used << "/" << c.included;
  }
}

TEST(PolicyUsage, TheMostUsedServiceByShareSpeaksForThePolicy) {
  const std::vector<host::ServiceUsage> services = {{"SOPREM", "Soporte remoto", "HR", 120, 110},
                                                    {"VISITA", "Visita", "EV", 12, 9},
                                                    {"CAPACIT", "Curso", "EV", 0, 4}};
  const auto line = host::MostUsedLine(services);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->text, "SOPREM: 110 de 120 horas (92%)");
  EXPECT_EQ(line->grade, Grade::kWarning);
  EXPECT_EQ(host::MostUsedLine({{"VISITA", "Visita", "EV", 1, 1}})->text,
            "VISITA: 1 de 1 evento (100%)");
  EXPECT_EQ(host::MostUsedLine({{"SOPSITIO", "Sitio", "HR", 1, 0.5}})->text,
            "SOPSITIO: 0.5 de 1 hora (50%)");
  // Nothing included, nothing to use up.
  EXPECT_FALSE(host::MostUsedLine({{"CAPACIT", "Curso", "EV", 0, 4}}));
  EXPECT_FALSE(host::MostUsedLine({}));
}

struct EndCase {
  Date end;
  const char* text;
  Grade grade;
};

TEST(PolicyUsage, AnEndDateIsFarAboutToComeOrPast) {
  const Date today = Date::FromYmd(2025, 3, 2);
  const EndCase cases[] = {
      {Date::FromYmd(2025, 3, 1), "Vencida el 01/03/2025", Grade::kAlarm},
      {Date::FromYmd(2024, 3, 14), "Vencida el 14/03/2024", Grade::kAlarm},
      {Date::FromYmd(2025, 3, 2), "Vence hoy", Grade::kWarning},
      {Date::FromYmd(2025, 3, 3), "Vence mañana", Grade::kWarning},
      {Date::FromYmd(2025, 3, 14), "Vence en 12 días", Grade::kWarning},
      {Date::FromYmd(2025, 4, 1), "Vence en 30 días", Grade::kWarning},
      {Date::FromYmd(2025, 4, 2), "Vigente hasta el 02/04/2025", Grade::kNormal},
  };
  for (const EndCase& c : cases) {
    const host::GlanceLine line = host::ExpiryLine(c.end, today);
    EXPECT_EQ(line.text, c.text);
    EXPECT_EQ(line.grade, c.grade) << c.text;
  }
}

// Read from the database as the screen lists the services: the counter of the service's
// unit, a NULL as 0; a cancelled policy has no glance.
TEST(PolicyUsage, ReadsAPolicysServicesAndEndAsTheScreenShowsThem) {
  TestDatabase db;
  PolicyRow policy;
  policy.folio = "MTY-000001";
  policy.end = "2024-03-25";
  policy.services = {{"VISITA", 12, 11, 2}, {"SOPREM", 120, 110, 3}};
  db.AddPolicy(policy);
  db.Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Evento_Utilizado = NULL "
      "WHERE Ts_Cve_Tipo_Servicio = 'VISITA'");
  policy.folio = "MTY-000002";
  policy.state = "CA";
  db.AddPolicy(policy);

  const auto usage = host::ReadPolicyUsage(db.sql(), "MTY-000001");
  ASSERT_TRUE(usage);
  ASSERT_EQ(usage->services.size(), 2u);
  EXPECT_EQ(usage->services[0].key + " " + usage->services[0].unit, "SOPREM HR");
  EXPECT_EQ(usage->services[0].used, 110);
  EXPECT_EQ(usage->services[1].key + " " + usage->services[1].unit, "VISITA EV");
  EXPECT_EQ(usage->services[1].used, 0);
  std::vector<std::string> glance;
  for (const auto& line : host::Glance(*usage, Date::FromYmd(2024, 3, 15)))
    glance.push_back(line.text);
  EXPECT_EQ(glance,
            (std::vector<std::string>{"SOPREM: 110 de 120 horas (92%)", "Vence en 10 días"}));

  // Nothing used yet: only the end.
  db.Execute(
      "UPDATE Poliza_Servicio_Tipo_Servicio SET Pst_Tiempo_Utilizado = 0 "
      "WHERE Ps_Folio = 'MTY-000001'");
  const auto unused = host::ReadPolicyUsage(db.sql(), "MTY-000001");
  ASSERT_TRUE(unused);
  const auto lines = host::Glance(*unused, Date::FromYmd(2024, 3, 15));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text, "Vence en 10 días");

  const auto cancelled = host::ReadPolicyUsage(db.sql(), "MTY-000002");
  ASSERT_TRUE(cancelled);
  EXPECT_TRUE(host::Glance(*cancelled, Date::FromYmd(2024, 3, 15)).empty());
  EXPECT_FALSE(host::ReadPolicyUsage(db.sql(), "MTY-000099"));
}

}  // namespace
}  // namespace nv407::testing
