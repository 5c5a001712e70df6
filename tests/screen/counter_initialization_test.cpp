#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "screen_steps.h"

namespace nv407::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;
using ::testing::SizeIs;

constexpr const char* kConfirmation =
    "INICIALIZAR|292|ERR-ID:7500015|Seguro de incializar el contador de los servicios "
    "contratados";

// A live policy with used amounts, shown to an operator allowed to reset them who is not
// the one who created it, so that the stamp shows who reset it.
class CounterInitializationTest : public PolicyScreenTest {
 protected:
  void GivenShownPolicy(const std::vector<ServiceUse>& services) {
    db.GrantPermission(kOperatorWithoutPermissions, "INISERV");
    GivenOperator(kOperatorWithoutPermissions);
    GivenStoredPolicy(kFolio, "AC", services);
    GivenOpenScreen();
    WhenType("txtFolio", kFolio);
  }
  // The list as "service included/used".
  std::vector<std::string> Listed() {
    std::vector<std::string> listed;
    for (const Row& row : SortedServices()) listed.push_back(row[1] + " " + row[4] + "/" + row[5]);
    return listed;
  }
};

// Each column rule shows in one of the rows: a description cut at column 65 with an accented
// letter before the cut, a short key and description that move the line left, an amount
// longer than its field.
TEST_F(CounterInitializationTest, ResetsTheCountersAfterLoggingWhatHadBeenUsed) {
  db.AddServiceType(
      "MANTPREV", "Mantenimiento preventivo y correctivo de cómputo en el sitio del cliente", true);
  db.AddServiceType("TEL", "Red", false);
  GivenStoredPolicy("MTY-000043");
  GivenShownPolicy(
      {{"MANTPREV", 20, 12.5, 0}, {"SOPREM", 10, 123456789012.25, 0}, {"TEL", 5, 0, 3}});
  GivenNow(Date::FromYmd(2024, 5, 20, 16, 45, 10));

  WhenNextAnswerIs("yes");
  WhenClick("cmdInicializa");

  // clang-format off
  EXPECT_EQ(db.Scalar("SELECT table_name || '|' || record_key || '|' || note AS v FROM record_log"),
      "Poliza_Servicio|MTY-000007|"
      "                         INICIALIZACION DE SERVICIOS                            \r\n"
      "================================================================================\r\n"
      "           TIPO SERVICIO                                       UNIDAD  UTILIZADO\r\n"
      "================================================================================\r\n"
      "MANTPREV - Mantenimiento preventivo y correctivo de cómputo en el HR        12.5\r\n"
      "SOPREM - Soporte remoto                                           HR456789012.25\r\n"
      "TEL - Red                                                        EV           3\r\n");
  // clang-format on
  EXPECT_EQ(OnlyMessage(), kConfirmation);

  // Only this folio's counters are zero; the included quantities stay.
  EXPECT_EQ(ServicesOf(kFolio), "MANTPREV 20.0/0.0/0.0;SOPREM 10.0/0.0/0.0;TEL 5.0/0.0/0.0");
  EXPECT_EQ(ServicesOf("MTY-000043"),
            "CAPACIT 2.0/4.0/0.0;SOPREM 120.0/2.5/7.0;VISITA 12.0/9.0/1.0");
  EXPECT_EQ(Column("Oper_Alta || '|' || Oper_Ult_Modif || '|' || Fecha_Ult_Modif", kFolio),
            "ADMIN|CAPTURA|2024-05-20 16:45:10");
  EXPECT_THAT(Listed(), ElementsAre("MANTPREV 20/0", "SOPREM 10/0", "TEL 5/0"));
  EXPECT_FALSE(db.db().InTransaction());
}

TEST_F(CounterInitializationTest, AnsweringNoChangesNothing) {
  GivenShownPolicy({{"SOPREM", 10, 7.5, 0}});
  const std::vector<std::string> stored = Stored();
  const auto& trace = db.TraceStatements();

  WhenNextAnswerIs("no");
  WhenClick("cmdInicializa");

  EXPECT_EQ(OnlyMessage(), kConfirmation);
  EXPECT_THAT(trace, IsEmpty());
  EXPECT_EQ(Stored(), stored);
  EXPECT_THAT(Listed(), ElementsAre("SOPREM 10/7.5"));
}

TEST_F(CounterInitializationTest, AnEmptyListLogsNothingButStillStampsThePolicy) {
  GivenShownPolicy({});
  const auto& trace = db.TraceStatements();

  WhenNextAnswerIs("yes");
  WhenClick("cmdInicializa");

  EXPECT_THAT(trace, ElementsAre(Pair("screen",
                                      "UPDATE Poliza_Servicio_Tipo_Servicio SET    "
                                      "Pst_Tiempo_Utilizado = 0,    Pst_Evento_Utilizado = 0 "
                                      "WHERE Ps_Folio = 'MTY-000007'"),
                                 Pair("screen",
                                      "UPDATE Poliza_Servicio SET    Oper_Ult_Modif = 'CAPTURA', "
                                      "   Fecha_Ult_Modif = GetDate() WHERE Ps_Folio = "
                                      "'MTY-000007'")));
  EXPECT_EQ(db.Count("record_log"), 0);
  EXPECT_EQ(Column("Oper_Ult_Modif", kFolio), kOperatorWithoutPermissions);
}

// Either statement refused: the counters, the stamp and the note (logged on the same
// session) all roll back, and the screen can run the command again.
class CounterInitializationFailureTest : public CounterInitializationTest,
                                         public ::testing::WithParamInterface<const char*> {};

TEST_P(CounterInitializationFailureTest, RollsEverythingBackAndReportsTheCause) {
  GivenShownPolicy({{"SOPREM", 10, 7.5, 0}, {"VISITA", 1, 0, 1}});
  db.Execute(std::string("CREATE TRIGGER refuse BEFORE UPDATE ON ") + GetParam() +
             " BEGIN SELECT RAISE(ABORT, 'registro bloqueado por auditoría'); END");
  const std::vector<std::string> stored = Stored();

  WhenNextAnswerIs("yes");
  WhenClick("cmdInicializa");

  EXPECT_THAT(Messages(), SizeIs(2));  // the confirmation, then the failure
  EXPECT_EQ(LastMessage(),
            "ERROR|16|ERR-ID:7500001|Operación cancelada debido al siguiente error: \r\nregistro "
            "bloqueado por auditoría");
  EXPECT_EQ(Stored(), stored);
  EXPECT_THAT(Listed(), ElementsAre("SOPREM 10/7.5", "VISITA 1/1"));
  EXPECT_FALSE(db.db().InTransaction());

  db.Execute("DROP TRIGGER refuse");
  WhenNextAnswerIs("yes");
  WhenClick("cmdInicializa");
  EXPECT_EQ(ServicesOf(kFolio), "SOPREM 10.0/0.0/0.0;VISITA 1.0/0.0/0.0");
  EXPECT_EQ(db.Count("record_log"), 1);
}

INSTANTIATE_TEST_SUITE_P(EitherStatement, CounterInitializationFailureTest,
                         ::testing::Values("Poliza_Servicio_Tipo_Servicio", "Poliza_Servicio"));

}  // namespace
}  // namespace nv407::testing
