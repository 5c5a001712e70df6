#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "screen_steps.h"

namespace nv407::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

Date Ymd(int y, int m, int d) {
  return Date::FromYmd(y, m, d);
}

// A new capture on the pinned day (15 March 2024): the operator enters the policy type and
// the screen fills the included services and the end date.
class PolicyTypeTest : public PolicyScreenTest {
 protected:
  void GivenNewCapture() {
    GivenOpenScreen();
    WhenPress("Nuevo");
  }
  // New captures start on the server's date and time; the end date keeps that time.
  Date EndDay() { return DateIn("dp_Ps_Fecha_Fin").value_or(Date()).DateOnly(); }
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
  EXPECT_EQ(EndDay(), Ymd(2025, 3, 14));
  EXPECT_EQ(host().Get<host::HeadlessListView>("lvServicios").FitCount(), formatted + 1);

  // Another type, then the same again after a new start: its rows once, a fractional
  // quantity in plain form, the end date from the new start.
  WhenType("txt_Tps_Cve_Tipo_Poliza", "GAR12");
  EXPECT_EQ(EndDay(), Ymd(2024, 6, 6));
  WhenPick("dp_Ps_Fecha_Inicio", Ymd(2024, 1, 31));
  WhenType("txt_Tps_Cve_Tipo_Poliza", "GAR12");
  EXPECT_THAT(Services(),
              ElementsAre(Row{"KSOPSITIO", "SOPSITIO", "Soporte en sitio", "HR", "8.5", "0"}));
  EXPECT_EQ(DateIn("dp_Ps_Fecha_Fin"), Ymd(2024, 4, 23));
  EXPECT_THAT(Messages(), IsEmpty());
}

TEST_F(PolicyTypeTest, ClearedOrRefusedTypeEmptiesTheListAndEndsOnTheStartDate) {
  GivenNewCapture();
  WhenPick("dp_Ps_Fecha_Inicio", Ymd(2024, 5, 10));

  for (const std::string typed : {"", "NOEXISTE", "BASICA"}) {
    SCOPED_TRACE(typed);
    WhenType("txt_Tps_Cve_Tipo_Poliza", "SOPANUAL");
    ASSERT_THAT(Services(), SizeIs(4));

    WhenType("txt_Tps_Cve_Tipo_Poliza", typed);

    EXPECT_THAT(Services(), IsEmpty());
    EXPECT_EQ(DateIn("dp_Ps_Fecha_Fin"), Ymd(2024, 5, 10));
  }
  EXPECT_THAT(Messages(), IsEmpty());
}

// The length in its unit (1 days, 2 weeks, 3 months, 4 years) from the start date, minus
// one day; months and years end on the last day of a shorter target month.
struct EndDateCase {
  int unit, length;
  Date start, end;
  friend void PrintTo(const EndDateCase& c, std::ostream* os) {
    *os << "unit " << c.unit << " x" << c.length << " from " << c.start.ToIsoDate();
  }
};

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

INSTANTIATE_TEST_SUITE_P(Units, PolicyTypeEndDateTest,
                         ::testing::Values(EndDateCase{1, 30, Ymd(2024, 1, 1), Ymd(2024, 1, 30)},
                                           EndDateCase{1, 1, Ymd(2024, 2, 28), Ymd(2024, 2, 28)},
                                           EndDateCase{1, 2, Ymd(2024, 2, 28), Ymd(2024, 2, 29)},
                                           EndDateCase{1, 0, Ymd(2024, 3, 1), Ymd(2024, 2, 29)},
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
  friend void PrintTo(const BrokenTypeCase& c, std::ostream* os) { *os << c.name; }
};

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
  const auto end = DateIn("dp_Ps_Fecha_Fin");
  WhenPick("dp_Ps_Fecha_Inicio", Ymd(2024, 7, 1));
  db.Execute(c.change);

  WhenType("txt_Tps_Cve_Tipo_Poliza", "PRUEBA");

  EXPECT_EQ(OnlyMessage(), "ERROR|16|ERR-ID:0000000|" + c.message);
  EXPECT_THAT(services, SizeIs(3));
  EXPECT_EQ(Services(), services);
  EXPECT_EQ(DateIn("dp_Ps_Fecha_Fin"), end);
  // and the screen goes on working
  WhenType("txt_Tps_Cve_Tipo_Poliza", "SOPMEN");
  EXPECT_EQ(DateIn("dp_Ps_Fecha_Fin"), Ymd(2024, 7, 31));
}

const std::string kPrueba = "El tipo de póliza de servicio 'PRUEBA' ";
const std::string kZzz = "El servicio 'ZZZ' del tipo de póliza de servicio 'PRUEBA' no tiene ";

INSTANTIATE_TEST_SUITE_P(
    Cases, PolicyTypeBrokenTest,
    ::testing::Values(
        BrokenTypeCase{"UnitOutOfRange",
                       "UPDATE Tipo_Poliza_Servicio SET Tps_Tipo = 5 "
                       "WHERE Tps_Cve_Tipo_Poliza_Servicio = 'PRUEBA'",
                       kPrueba + "tiene una unidad de duración no válida (Tps_Tipo = 5); debe ser "
                                 "1 (días), 2 (semanas), 3 (meses) o 4 (años)."},
        BrokenTypeCase{"UnitMissing",
                       "UPDATE Tipo_Poliza_Servicio SET Tps_Tipo = NULL "
                       "WHERE Tps_Cve_Tipo_Poliza_Servicio = 'PRUEBA'",
                       kPrueba + "no tiene unidad de duración (Tps_Tipo)."},
        BrokenTypeCase{"LengthMissing",
                       "UPDATE Tipo_Poliza_Servicio SET Tps_Valor = NULL "
                       "WHERE Tps_Cve_Tipo_Poliza_Servicio = 'PRUEBA'",
                       kPrueba + "no tiene duración (Tps_Valor)."},
        BrokenTypeCase{"QuantityMissing",
                       "UPDATE Tipo_Poliza_Servicio_Tipo_Servicio SET Tpt_Cantidad = NULL "
                       "WHERE Ts_Cve_Tipo_Servicio = 'ZZZ'",
                       kZzz + "cantidad incluida (Tpt_Cantidad)."},
        BrokenTypeCase{"DescriptionMissing",
                       "UPDATE Tipo_Servicio SET Ts_Descripcion = NULL "
                       "WHERE Ts_Cve_Tipo_Servicio = 'ZZZ'",
                       kZzz + "descripción (Ts_Descripcion)."}),
    [](const ::testing::TestParamInfo<BrokenTypeCase>& info) { return info.param.name; });

}  // namespace
}  // namespace nv407::testing
