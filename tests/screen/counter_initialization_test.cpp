#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/screen_fixture.h"

namespace nv407::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

constexpr const char* kFolio = "MTY-000042";
constexpr const char* kOtherFolio = "MTY-000043";

// A live policy with used amounts, shown by folio to an operator allowed to reset them.
// The operator is not the one who created the row, so the stamp shows who reset it.
class CounterInitializationTest : public ScreenTest {
 protected:
  void GivenShownPolicy(const std::vector<ServiceUse>& services) {
    db.GrantPermission(kOperatorWithoutPermissions, "INISERV");
    GivenOperator(kOperatorWithoutPermissions);
    PolicyRow policy;
    policy.folio = kFolio;
    policy.services = services;
    GivenPolicy(policy);
    GivenOpenScreen();
    WhenType("txtFolio", kFolio);
    ASSERT_THAT(Messages(), IsEmpty());
  }

  // The sum of both used counters of a folio's services.
  double Used(const std::string& folio = kFolio) {
    return std::stod(
        db.Scalar("SELECT total(Pst_Tiempo_Utilizado) + total(Pst_Evento_Utilizado) AS used "
                  "FROM Poliza_Servicio_Tipo_Servicio WHERE Ps_Folio = " +
                  Quote(folio)));
  }
  std::string Header(const std::string& column) {
    return db.Scalar("SELECT " + column +
                     " FROM Poliza_Servicio WHERE Ps_Folio = " + Quote(kFolio));
  }
  long long Notes() { return db.Count("record_log", "record_key = " + Quote(kFolio)); }
  std::vector<std::string> UsedColumn() {
    std::vector<std::string> used;
    for (const host::ListRow& row : Services()) used.push_back(row.at(5));
    return used;
  }

  void ExpectConfirmation(const host::MessageCall& call) {
    EXPECT_EQ(call.request.text, "Seguro de incializar el contador de los servicios contratados");
    EXPECT_EQ(call.request.style, 292);
    EXPECT_EQ(call.request.title, "INICIALIZAR");
    EXPECT_EQ(call.request.owner, host().screen().WindowHandle());
    EXPECT_EQ(call.request.module, "NV407");
    EXPECT_EQ(call.request.error_id, "ERR-ID:7500015");
  }
};

// Each column rule shows in one of the rows: a description cut at column 65, a key and
// description short enough to move the line left, an amount longer than its field.
TEST_F(CounterInitializationTest, LogsWhatHadBeenUsedAsAFixedWidthReport) {
  db.AddServiceType("MANTPREV",
                    "Mantenimiento preventivo y correctivo de servidores en el sitio del cliente",
                    true);
  db.AddServiceType("TEL", "Red", false);
  GivenShownPolicy(
      {{"MANTPREV", 20, 12.5, 0}, {"SOPREM", 10, 123456789012.25, 0}, {"TEL", 5, 0, 3}});

  WhenNextAnswerIs("yes");
  WhenClick("cmdInicializa");

  // clang-format off
  const std::string expected =
      "                         INICIALIZACION DE SERVICIOS                            \r\n"
      "================================================================================\r\n"
      "           TIPO SERVICIO                                       UNIDAD  UTILIZADO\r\n"
      "================================================================================\r\n"
      "MANTPREV - Mantenimiento preventivo y correctivo de servidores en HR        12.5\r\n"
      "SOPREM - Soporte remoto                                           HR456789012.25\r\n"
      "TEL - Red                                                        EV           3\r\n";
  // clang-format on
  ASSERT_EQ(Notes(), 1);
  EXPECT_EQ(db.Scalar("SELECT note FROM record_log WHERE record_key = " + Quote(kFolio)), expected);
  EXPECT_EQ(db.Scalar("SELECT table_name FROM record_log"), "Poliza_Servicio");
  ASSERT_THAT(Messages(), SizeIs(1));
  ExpectConfirmation(Messages()[0]);
}

TEST_F(CounterInitializationTest, SetsTheFoliosCountersToZeroAndStampsWhoAndWhen) {
  PolicyRow other;
  other.folio = kOtherFolio;
  other.services = {{"SOPREM", 10, 4, 0}, {"VISITA", 2, 0, 1}};
  GivenPolicy(other);
  GivenShownPolicy({{"SOPREM", 10, 7.5, 0}, {"VISITA", 1, 0, 1}});
  GivenNow(Date::FromYmd(2024, 5, 20, 16, 45, 10));

  WhenNextAnswerIs("yes");
  WhenClick("cmdInicializa");

  EXPECT_EQ(Used(), 0);
  EXPECT_EQ(Used(kOtherFolio), 5);
  EXPECT_EQ(Header("Oper_Ult_Modif"), kOperatorWithoutPermissions);
  EXPECT_EQ(Header("Fecha_Ult_Modif"), "2024-05-20 16:45:10");
  EXPECT_EQ(Header("Oper_Alta"), kOperatorWithPermissions);
  EXPECT_THAT(UsedColumn(), ElementsAre("0", "0"));
  EXPECT_EQ(Services().at(0).at(4), "10");  // included quantities stay
  EXPECT_FALSE(db.db().InTransaction());
  EXPECT_THAT(Messages(), SizeIs(1));
}

TEST_F(CounterInitializationTest, AnsweringNoChangesNothing) {
  GivenShownPolicy({{"SOPREM", 10, 7.5, 0}});
  const auto& trace = db.TraceStatements();

  WhenNextAnswerIs("no");
  WhenClick("cmdInicializa");

  EXPECT_THAT(trace, IsEmpty());
  EXPECT_EQ(Notes(), 0);
  EXPECT_EQ(Used(), 7.5);
  EXPECT_THAT(UsedColumn(), ElementsAre("7.5"));
  EXPECT_EQ(Header("Oper_Ult_Modif"), "");
  ASSERT_THAT(Messages(), SizeIs(1));
  ExpectConfirmation(Messages()[0]);
}

TEST_F(CounterInitializationTest, AnEmptyListLogsNothingButStillStampsThePolicy) {
  GivenShownPolicy({});
  const auto& trace = db.TraceStatements();

  WhenNextAnswerIs("yes");
  WhenClick("cmdInicializa");

  using Statement = std::pair<std::string, std::string>;
  EXPECT_THAT(
      trace,
      ElementsAre(Statement{"screen",
                            "UPDATE Poliza_Servicio_Tipo_Servicio SET    "
                            "Pst_Tiempo_Utilizado = 0,    Pst_Evento_Utilizado = 0 "
                            "WHERE Ps_Folio = 'MTY-000042'"},
                  Statement{"screen",
                            "UPDATE Poliza_Servicio SET    Oper_Ult_Modif = 'CAPTURA', "
                            "   Fecha_Ult_Modif = GetDate() WHERE Ps_Folio = 'MTY-000042'"}));
  EXPECT_EQ(Notes(), 0);
  EXPECT_EQ(Header("Oper_Ult_Modif"), kOperatorWithoutPermissions);
  EXPECT_THAT(Services(), IsEmpty());
  EXPECT_FALSE(db.db().InTransaction());
}

// Either statement refused: the counters, the stamp and the note (logged on the same
// session) all roll back, and the screen can run the command again.
class CounterInitializationFailureTest : public CounterInitializationTest,
                                         public ::testing::WithParamInterface<const char*> {};

TEST_P(CounterInitializationFailureTest, RollsEverythingBackAndReportsTheCause) {
  GivenShownPolicy({{"SOPREM", 10, 7.5, 0}, {"VISITA", 1, 0, 1}});
  db.Execute(std::string("CREATE TRIGGER refuse BEFORE UPDATE ON ") + GetParam() +
             " BEGIN SELECT RAISE(ABORT, 'registro bloqueado por auditoría'); END");

  WhenNextAnswerIs("yes");
  WhenClick("cmdInicializa");

  ASSERT_THAT(Messages(), SizeIs(2));
  const host::MessageRequest error = Messages()[1].request;
  EXPECT_EQ(error.text,
            "Operación cancelada debido al siguiente error: \r\nregistro bloqueado por auditoría");
  EXPECT_EQ(error.style, 16);
  EXPECT_EQ(error.title, "ERROR");
  EXPECT_EQ(error.owner, host().screen().WindowHandle());
  EXPECT_EQ(error.module, "NV407");
  EXPECT_EQ(error.error_id, "ERR-ID:7500001");
  EXPECT_EQ(Used(), 8.5);
  EXPECT_EQ(Header("Oper_Ult_Modif"), "");
  EXPECT_EQ(Notes(), 0);
  EXPECT_THAT(UsedColumn(), ElementsAre("7.5", "1"));
  EXPECT_FALSE(db.db().InTransaction());

  db.Execute("DROP TRIGGER refuse");
  WhenNextAnswerIs("yes");
  WhenClick("cmdInicializa");
  EXPECT_EQ(Used(), 0);
  EXPECT_EQ(Notes(), 1);
  EXPECT_THAT(Messages(), SizeIs(3));
}

INSTANTIATE_TEST_SUITE_P(EitherStatement, CounterInitializationFailureTest,
                         ::testing::Values("Poliza_Servicio_Tipo_Servicio", "Poliza_Servicio"));

}  // namespace
}  // namespace nv407::testing
