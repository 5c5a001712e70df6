#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "screen/frm_nv407.h"
#include "support/screen_fixture.h"

namespace nv407::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

using Row = std::vector<std::string>;

// A new capture on the pinned day (15 March 2024), where the operator enters the policy
// type and the screen fills the included services and the end date.
class PolicyTypeTest : public ScreenTest {
 protected:
  void GivenNewCapture() {
    GivenOpenScreen();
    WhenPress("Nuevo");
  }
  frmNV407& Form() { return dynamic_cast<frmNV407&>(host().screen()); }
  // New captures start on the server's date and time; the end date keeps that time.
  std::optional<Date> Day(const std::string& control) {
    const std::optional<Date> date = DateIn(control);
    return date ? std::optional<Date>(date->DateOnly()) : std::nullopt;
  }
  host::HeadlessTextBox& Box(const std::string& name) {
    return host().Get<host::HeadlessTextBox>(name);
  }
  // The database returns the services in no fixed order.
  std::vector<Row> SortedServices() {
    std::vector<Row> rows = Services();
    std::sort(rows.begin(), rows.end());
    return rows;
  }
  std::vector<std::string> SortedKeys() {
    std::vector<std::string> keys;
    for (const Row& row : SortedServices()) keys.push_back(row.at(0));
    return keys;
  }
  long long ScreenStatements(const std::vector<std::pair<std::string, std::string>>& trace) {
    long long n = 0;
    for (const auto& entry : trace) n += entry.first == "screen";
    return n;
  }
};

TEST_F(PolicyTypeTest, ChosenTypeListsItsServicesUnusedAndSetsTheEndDate) {
  GivenNewCapture();
  const int formatted = host().Get<host::HeadlessListView>("lvServicios").FitCount();

  WhenType("txt_Tps_Cve_Tipo_Poliza", "sopanual");

  EXPECT_THAT(
      SortedServices(),
      ElementsAre(Row{"KCAPACIT", "CAPACIT", "Curso de capacitación", "EV", "2", "0"},
                  Row{"KSOPREM", "SOPREM", "Soporte remoto", "HR", "120", "0"},
                  Row{"KSOPSITIO", "SOPSITIO", "Soporte en sitio", "HR", "24", "0"},
                  Row{"KVISITA", "VISITA", "Visita de mantenimiento preventivo", "EV", "12", "0"}));
  EXPECT_EQ(Day("dp_Ps_Fecha_Fin"), Date::FromYmd(2025, 3, 14));
  EXPECT_EQ(host().Get<host::HeadlessListView>("lvServicios").FitCount(), formatted + 1);

  // A fractional quantity keeps its plain form.
  WhenType("txt_Tps_Cve_Tipo_Poliza", "GAR12");
  EXPECT_THAT(Services(),
              ElementsAre(Row{"KSOPSITIO", "SOPSITIO", "Soporte en sitio", "HR", "8.5", "0"}));
  EXPECT_EQ(Day("dp_Ps_Fecha_Fin"), Date::FromYmd(2024, 6, 6));
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(PolicyTypeTest, ConfirmingTheSameTypeAgainReplacesItsRows) {
  // Given a type chosen and its end date overwritten by a later start date
  GivenNewCapture();
  WhenType("txt_Tps_Cve_Tipo_Poliza", "SOPMEN");
  WhenPick("dp_Ps_Fecha_Inicio", Date::FromYmd(2024, 1, 31));

  // When the operator confirms the same type again
  WhenType("txt_Tps_Cve_Tipo_Poliza", "SOPMEN");

  // Then the list holds each service once and the end date follows the new start
  EXPECT_THAT(SortedKeys(), ElementsAre("KSOPREM", "KVISITA"));
  EXPECT_EQ(DateIn("dp_Ps_Fecha_Fin"), Date::FromYmd(2024, 2, 28));
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(PolicyTypeTest, ClearedOrRefusedTypeEmptiesTheListAndEndsOnTheStartDate) {
  GivenNewCapture();
  WhenPick("dp_Ps_Fecha_Inicio", Date::FromYmd(2024, 5, 10));

  for (const std::string typed : {"", "NOEXISTE", "BASICA"}) {
    SCOPED_TRACE(typed);
    WhenType("txt_Tps_Cve_Tipo_Poliza", "SOPANUAL");
    ASSERT_THAT(Services(), SizeIs(4));

    WhenType("txt_Tps_Cve_Tipo_Poliza", typed);

    EXPECT_THAT(Services(), IsEmpty());
    EXPECT_EQ(DateIn("dp_Ps_Fecha_Fin"), Date::FromYmd(2024, 5, 10));
  }
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(PolicyTypeTest, TypeWithoutServicesOrDescriptionLeavesListAndEndDate) {
  // Given a type chosen
  GivenNewCapture();
  WhenType("txt_Tps_Cve_Tipo_Poliza", "SOPANUAL");
  const std::vector<Row> services = Services();
  const auto end = DateIn("dp_Ps_Fecha_Fin");
  const auto& trace = db.TraceStatements();

  // When the load runs for a type that includes no services
  Box("txt_Tps_Cve_Tipo_Poliza").SetText("ASESOR");
  ASSERT_FALSE(Text("txt_Tps_Descripcion").empty());
  Form().LoadPolicyType();
  // Then its query ran and changed nothing
  EXPECT_EQ(ScreenStatements(trace), 1);
  EXPECT_EQ(Services(), services);
  EXPECT_EQ(DateIn("dp_Ps_Fecha_Fin"), end);

  // When it runs with an empty description
  Box("txt_Tps_Cve_Tipo_Poliza").SetText("SOPMEN");
  Box("txt_Tps_Descripcion").SetText("");
  Form().LoadPolicyType();
  // Then no query runs and nothing changes
  EXPECT_EQ(ScreenStatements(trace), 1);
  EXPECT_EQ(Services(), services);
  EXPECT_EQ(DateIn("dp_Ps_Fecha_Fin"), end);
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(PolicyTypeTest, ApostropheInTheTypeKeyStaysInsideItsLiteral) {
  db.AddPolicyType("O'NEIL", "Soporte O'Neil", "POL-SOP-MEN", 1, 10, {{"VISITA", 4}});
  GivenNewCapture();
  const auto& trace = db.TraceStatements();

  WhenType("txt_Tps_Cve_Tipo_Poliza", "o'neil");

  EXPECT_THAT(SortedKeys(), ElementsAre("KVISITA"));
  EXPECT_EQ(Day("dp_Ps_Fecha_Fin"), Date::FromYmd(2024, 3, 24));
  ASSERT_FALSE(trace.empty());
  EXPECT_TRUE(trace.back().second.ends_with(
      "WHERE Tipo_Poliza_Servicio.Tps_Cve_Tipo_Poliza_Servicio = 'O''NEIL'"));
  EXPECT_THAT(Messages(), IsEmpty());
}

// End dates: the length in its unit from the start date, minus one day; months and
// years end on the last day of a shorter target month.
struct EndDateCase {
  int unit, length;
  Date start, end;
};

void PrintTo(const EndDateCase& c, std::ostream* os) {
  *os << "unit " << c.unit << " x" << c.length << " from " << c.start.ToIsoDate();
}

class PolicyTypeEndDateTest : public PolicyTypeTest,
                              public ::testing::WithParamInterface<EndDateCase> {};

TEST_P(PolicyTypeEndDateTest, EndDateFollowsTheTypeLength) {
  const EndDateCase& c = GetParam();
  db.AddPolicyType("PRUEBA", "Póliza de prueba", "POL-SOP-MEN", c.unit, c.length, {{"SOPREM", 1}});
  GivenNewCapture();
  WhenPick("dp_Ps_Fecha_Inicio", c.start);

  WhenType("txt_Tps_Cve_Tipo_Poliza", "PRUEBA");

  EXPECT_EQ(DateIn("dp_Ps_Fecha_Fin"), c.end);
  EXPECT_EQ(DateIn("dp_Ps_Fecha_Inicio"), c.start);
  EXPECT_THAT(Messages(), IsEmpty());
}

Date Ymd(int y, int m, int d) {
  return Date::FromYmd(y, m, d);
}

INSTANTIATE_TEST_SUITE_P(Units, PolicyTypeEndDateTest,
                         ::testing::Values(EndDateCase{1, 30, Ymd(2024, 1, 1), Ymd(2024, 1, 30)},
                                           EndDateCase{1, 1, Ymd(2024, 2, 28), Ymd(2024, 2, 28)},
                                           EndDateCase{1, 2, Ymd(2024, 2, 28), Ymd(2024, 2, 29)},
                                           EndDateCase{1, 0, Ymd(2024, 3, 1), Ymd(2024, 2, 29)},
                                           EndDateCase{2, 1, Ymd(2024, 6, 1), Ymd(2024, 6, 7)},
                                           EndDateCase{2, 2, Ymd(2024, 6, 1), Ymd(2024, 6, 14)},
                                           EndDateCase{2, 1, Ymd(2024, 12, 28), Ymd(2025, 1, 3)},
                                           EndDateCase{3, 1, Ymd(2023, 1, 31), Ymd(2023, 2, 27)},
                                           EndDateCase{3, 1, Ymd(2024, 1, 31), Ymd(2024, 2, 28)},
                                           EndDateCase{3, 12, Ymd(2024, 3, 15), Ymd(2025, 3, 14)},
                                           EndDateCase{3, 1, Ymd(2024, 12, 31), Ymd(2025, 1, 30)},
                                           EndDateCase{3, 13, Ymd(2024, 1, 31), Ymd(2025, 2, 27)},
                                           EndDateCase{3, 3, Ymd(2024, 11, 30), Ymd(2025, 2, 27)},
                                           EndDateCase{4, 1, Ymd(2024, 2, 29), Ymd(2025, 2, 27)},
                                           EndDateCase{4, 4, Ymd(2024, 2, 29), Ymd(2028, 2, 28)},
                                           EndDateCase{4, 1, Ymd(2023, 3, 1), Ymd(2024, 2, 29)}));

// A type whose length or services cannot be read is refused as a whole.
struct BrokenTypeCase {
  std::string name;
  std::string change;  // what breaks the stored type
  std::string message;
};

void PrintTo(const BrokenTypeCase& c, std::ostream* os) {
  *os << c.name;
}

class PolicyTypeBrokenTest : public PolicyTypeTest,
                             public ::testing::WithParamInterface<BrokenTypeCase> {};

TEST_P(PolicyTypeBrokenTest, BrokenTypeShowsOneErrorAndChangesNothing) {
  const BrokenTypeCase& c = GetParam();
  // Given a type chosen while it was sound, and the type broken afterwards
  db.AddServiceType("ZZZ", "Servicio tardío", false);
  db.AddPolicyType("PRUEBA", "Póliza de prueba", "POL-SOP-MEN", 3, 6,
                   {{"SOPREM", 10}, {"VISITA", 2}, {"ZZZ", 3}});
  GivenNewCapture();
  WhenType("txt_Tps_Cve_Tipo_Poliza", "PRUEBA");
  const std::vector<Row> services = Services();
  ASSERT_THAT(services, SizeIs(3));
  const auto end = DateIn("dp_Ps_Fecha_Fin");
  WhenPick("dp_Ps_Fecha_Inicio", Date::FromYmd(2024, 7, 1));
  db.Execute(c.change);

  // When the operator confirms the type again
  WhenType("txt_Tps_Cve_Tipo_Poliza", "PRUEBA");

  // Then one message tells why, and the list and end date are as they were
  const auto messages = Messages();
  ASSERT_THAT(messages, SizeIs(1));
  EXPECT_EQ(messages[0].request.text, c.message);
  EXPECT_EQ(messages[0].request.title, "ERROR");
  EXPECT_EQ(messages[0].request.style, 16);
  EXPECT_EQ(Services(), services);
  EXPECT_EQ(DateIn("dp_Ps_Fecha_Fin"), end);

  // and the screen goes on working
  WhenType("txt_Tps_Cve_Tipo_Poliza", "SOPMEN");
  EXPECT_THAT(Services(), SizeIs(2));
  EXPECT_EQ(DateIn("dp_Ps_Fecha_Fin"), Date::FromYmd(2024, 7, 31));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PolicyTypeBrokenTest,
    ::testing::Values(
        BrokenTypeCase{"UnitOutOfRange",
                       "UPDATE Tipo_Poliza_Servicio SET Tps_Tipo = 5 "
                       "WHERE Tps_Cve_Tipo_Poliza_Servicio = 'PRUEBA'",
                       "El tipo de póliza de servicio 'PRUEBA' tiene una unidad de duración no "
                       "válida (Tps_Tipo = 5); debe ser 1 (días), 2 (semanas), 3 (meses) o 4 "
                       "(años)."},
        BrokenTypeCase{"UnitMissing",
                       "UPDATE Tipo_Poliza_Servicio SET Tps_Tipo = NULL "
                       "WHERE Tps_Cve_Tipo_Poliza_Servicio = 'PRUEBA'",
                       "El tipo de póliza de servicio 'PRUEBA' no tiene unidad de duración "
                       "(Tps_Tipo)."},
        BrokenTypeCase{"LengthMissing",
                       "UPDATE Tipo_Poliza_Servicio SET Tps_Valor = NULL "
                       "WHERE Tps_Cve_Tipo_Poliza_Servicio = 'PRUEBA'",
                       "El tipo de póliza de servicio 'PRUEBA' no tiene duración (Tps_Valor)."},
        BrokenTypeCase{"QuantityMissing",
                       "UPDATE Tipo_Poliza_Servicio_Tipo_Servicio SET Tpt_Cantidad = NULL "
                       "WHERE Ts_Cve_Tipo_Servicio = 'ZZZ'",
                       "El servicio 'ZZZ' del tipo de póliza de servicio 'PRUEBA' no tiene "
                       "cantidad incluida (Tpt_Cantidad)."},
        BrokenTypeCase{"DescriptionMissing",
                       "UPDATE Tipo_Servicio SET Ts_Descripcion = NULL "
                       "WHERE Ts_Cve_Tipo_Servicio = 'ZZZ'",
                       "El servicio 'ZZZ' del tipo de póliza de servicio 'PRUEBA' no tiene "
                       "descripción (Ts_Descripcion)."}),
    [](const ::testing::TestParamInfo<BrokenTypeCase>& info) { return info.param.name; });

}  // namespace
}  // namespace nv407::testing
