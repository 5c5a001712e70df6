#include <gtest/gtest.h>

#include <string>

#include "component/error.h"
#include "host/services/clock.h"
#include "services_fixture.h"

namespace nv407::testing {
namespace {

class HostRecordsTest : public ::testing::Test {
 protected:
  HostRecordsTest() { db.SetNow(Date::FromYmd(2024, 3, 15, 10, 20, 30)); }

  std::string Notes() {
    return db.Scalar(
        "SELECT group_concat(v, '#') AS v FROM (SELECT table_name || '|' || record_key || '|' || "
        "note || '|' || user_code || '|' || logged_at AS v FROM record_log ORDER BY id)");
  }

  TestDatabase db;
  Services services{db.db(), db.clock(), "CAPTURA"};
  UtilityServices& utility = *services.utility;
  AppServices& app = *services.app;
};

TEST_F(HostRecordsTest, ExtendedTextIsStoredReplacedAndReadPerEntry) {
  const std::string text = "L\xc3\xadnea 1 con 'comillas'\r\nL\xc3\xadnea 2; DROP TABLE x; --";
  EXPECT_EQ(utility.ReadExtendedText("Poliza_Servicio", "MTY-000001", "0001"), "");

  EXPECT_TRUE(utility.SaveExtendedText("Poliza_Servicio", "MTY-000001", "0001", text));
  EXPECT_TRUE(utility.SaveExtendedText("Poliza_Servicio", "MTY-000001", "0002", "other entry"));
  EXPECT_TRUE(utility.SaveExtendedText("Poliza_Servicio", "O'1", "0001", "quoted key"));

  EXPECT_EQ(utility.ReadExtendedText("Poliza_Servicio", "MTY-000001", "0001"), text);
  EXPECT_EQ(utility.ReadExtendedText("POLIZA_SERVICIO", "MTY-000001", "0001"), text)
      << "the table is the same in either spelling";
  EXPECT_EQ(utility.ReadExtendedText("Poliza_Servicio", "MTY-000001", "0002"), "other entry");
  EXPECT_EQ(utility.ReadExtendedText("Poliza_Servicio", "O'1", "0001"), "quoted key");
  EXPECT_EQ(utility.ReadExtendedText("Poliza_Servicio", "MTY-000002", "0001"), "");

  EXPECT_TRUE(utility.SaveExtendedText("POLIZA_SERVICIO", "MTY-000001", "0001", "replaced"));
  EXPECT_EQ(utility.ReadExtendedText("Poliza_Servicio", "MTY-000001", "0001"), "replaced");
  EXPECT_EQ(db.Count("extended_text"), 3);
}

TEST_F(HostRecordsTest, ExtendedTextRefusedByTheDatabaseIsReportedNotRaised) {
  db.Execute("DROP TABLE extended_text");
  bool stored = true;
  EXPECT_NO_THROW(stored = utility.SaveExtendedText("Poliza_Servicio", "MTY-000001", "0001", "x"));
  EXPECT_FALSE(stored);
}

TEST_F(HostRecordsTest, NotesCarryTheOperatorAndTheServerTime) {
  utility.LogRecordEvent("POLIZA_SERVICIO", "MTY-000001", "Baja");
  utility.LogRecordEvent("Poliza_Servicio", "MTY-000001", "Servicio 'A'\r\n 2 HR");
  EXPECT_EQ(Notes(),
            "Poliza_Servicio|MTY-000001|Baja|CAPTURA|2024-03-15 10:20:30#"
            "Poliza_Servicio|MTY-000001|Servicio 'A'\r\n 2 HR|CAPTURA|2024-03-15 10:20:30");
}

TEST_F(HostRecordsTest, RolledBackScreenTransactionLeavesNoHostRecord) {
  utility.SaveExtendedText("Poliza_Servicio", "MTY-000001", "0001", "before");
  Connection& screen = app.GetConnection();

  screen.BeginTrans();
  EXPECT_EQ(utility.NextFolio("MTY", "Poliza_Servicio", 10, -1).ToText(), "MTY-000001");
  EXPECT_TRUE(utility.SaveExtendedText("Poliza_Servicio", "MTY-000001", "0001", "during"));
  EXPECT_TRUE(utility.SaveExtendedText("Poliza_Servicio", "MTY-000002", "0001", "new"));
  utility.LogRecordEvent("Poliza_Servicio", "MTY-000001", "Baja");
  EXPECT_EQ(utility.ReadExtendedText("Poliza_Servicio", "MTY-000001", "0001"), "during")
      << "the transaction sees its own writes";
  screen.RollbackTrans();

  EXPECT_EQ(utility.ReadExtendedText("Poliza_Servicio", "MTY-000001", "0001"), "before");
  EXPECT_EQ(utility.ReadExtendedText("Poliza_Servicio", "MTY-000002", "0001"), "");
  EXPECT_EQ(db.Count("record_log"), 0);
  EXPECT_EQ(utility.NextFolio("MTY", "Poliza_Servicio", 10, -1).ToText(), "MTY-000001");

  screen.BeginTrans();
  utility.LogRecordEvent("Poliza_Servicio", "MTY-000001", "kept");
  screen.CommitTrans();
  EXPECT_EQ(db.Scalar("SELECT note FROM record_log"), "kept");
}

TEST_F(HostRecordsTest, ParametersAreTextsAndUnknownOnesEmpty) {
  db.Execute(
      "INSERT INTO host_parameter (name, value) VALUES ('FTO_PRUEBA', '00'), "
      "('O''NAME', 'it''s'), ('FTO_NULO', NULL), ('FTO_NUMERO', 8)");
  const std::vector<std::pair<std::string, Variant>> cases = {{"FTO_PRUEBA", Variant("00")},
                                                              {"O'NAME", Variant("it's")},
                                                              {"FTO_NUMERO", Variant("8")},
                                                              {"FTO_NULO", Variant()},
                                                              {"FTO_DESCONOCIDO", Variant()}};
  for (const auto& [name, expected] : cases)
    EXPECT_EQ(app.GetParameter(name, 0, "", ""), expected) << name;
}

TEST_F(HostRecordsTest, PermissionsArePerOperatorAndModule) {
  struct Case {
    const char* user;
    const char* module;
    const char* key;
    bool holds;
  };
  // The demo operators: ADMIN holds both keys of NV407, CAPTURA holds CHFECHA of NV410 only.
  for (const Case& c :
       {Case{"ADMIN", "NV407", "CHFECHA", true}, Case{"ADMIN", "NV407", "INISERV", true},
        Case{"ADMIN", "NV410", "CHFECHA", false}, Case{"CAPTURA", "NV407", "CHFECHA", false},
        Case{"CAPTURA", "NV407", "INISERV", false}, Case{"CAPTURA", "NV410", "CHFECHA", true},
        Case{"NADIE", "NV407", "CHFECHA", false}, Case{"", "NV407", "CHFECHA", false}}) {
    Services as(db.db(), db.clock(), c.user);
    EXPECT_EQ(as.app->HasPermission(c.module, c.key, "No disponible"), c.holds)
        << c.user << " " << c.module << " " << c.key;
  }
}

TEST_F(HostRecordsTest, ProductTextAndTransactionCodeFallBackWhenMissing) {
  db.Execute("INSERT INTO product_text (product_code, text) VALUES ('P''01', 'Soporte ''24x7''')");
  EXPECT_EQ(utility.GetProductText("P'01"), "Soporte '24x7'");
  EXPECT_EQ(utility.GetProductText("NO-EXISTE"), "");
  // The demo resolves NV407 of Zembrel.
  EXPECT_EQ(utility.ResolveTransaction("NV407", "Zembrel"), "SERV0407");
  EXPECT_EQ(utility.ResolveTransaction("NV407", "Otra"), "NV407");
  EXPECT_EQ(utility.ResolveTransaction("NV999", "Zembrel"), "NV999");
}

TEST(PinnedClock, AnswersItsTimeOrRefusesText) {
  EXPECT_EQ(host::PinnedClock("2024-02-29 23:59:59")(), Date::FromYmd(2024, 2, 29, 23, 59, 59));
  EXPECT_EQ(host::PinnedClock("2024-02-29")(), Date::FromYmd(2024, 2, 29));
  EXPECT_FALSE(host::PinnedClock(""));
  try {
    host::PinnedClock("tomorrow");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(e.Description().find("\"tomorrow\""), std::string::npos) << e.Description();
  }
}

}  // namespace
}  // namespace nv407::testing
