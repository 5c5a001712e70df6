#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "services_fixture.h"

namespace nv407::host {
namespace {

using testing::Contents;
using testing::ServicesOnDatabase;

class HostRecordsTest : public ::testing::Test {
 protected:
  ServicesOnDatabase services{Contents::kSchema};
  UtilityServices& utility = *services.utility;
  AppServices& app = *services.app;
};

TEST_F(HostRecordsTest, ExtendedTextIsStoredReplacedAndReadPerEntry) {
  const std::string text = "L\xc3\xadnea 1 con 'comillas'\r\nL\xc3\xadnea 2; DROP TABLE x; --";
  EXPECT_EQ(utility.ReadExtendedText("Poliza_Servicio", "01-0000001", "0001"), "");

  EXPECT_TRUE(utility.SaveExtendedText("Poliza_Servicio", "01-0000001", "0001", text));
  EXPECT_TRUE(utility.SaveExtendedText("Poliza_Servicio", "01-0000001", "0002", "other entry"));
  EXPECT_TRUE(utility.SaveExtendedText("Poliza_Servicio", "O'1", "0001", "quoted key"));

  EXPECT_EQ(utility.ReadExtendedText("Poliza_Servicio", "01-0000001", "0001"), text);
  EXPECT_EQ(utility.ReadExtendedText("POLIZA_SERVICIO", "01-0000001", "0001"), text)
      << "the table is the same in either spelling";
  EXPECT_EQ(utility.ReadExtendedText("Poliza_Servicio", "01-0000001", "0002"), "other entry");
  EXPECT_EQ(utility.ReadExtendedText("Poliza_Servicio", "O'1", "0001"), "quoted key");
  EXPECT_EQ(utility.ReadExtendedText("Poliza_Servicio", "01-0000002", "0001"), "");

  EXPECT_TRUE(utility.SaveExtendedText("POLIZA_SERVICIO", "01-0000001", "0001", "replaced"));
  EXPECT_EQ(utility.ReadExtendedText("Poliza_Servicio", "01-0000001", "0001"), "replaced");
  EXPECT_EQ(services.Column("SELECT COUNT(*) AS n FROM extended_text", "n"),
            std::vector<std::string>{"3"});
}

TEST_F(HostRecordsTest, ExtendedTextRefusedByTheDatabaseIsReportedNotRaised) {
  services.Run("DROP TABLE extended_text");
  bool stored = true;
  EXPECT_NO_THROW(stored = utility.SaveExtendedText("Poliza_Servicio", "01-0000001", "0001", "x"));
  EXPECT_FALSE(stored);
}

TEST_F(HostRecordsTest, NotesCarryTheOperatorAndTheServerTime) {
  utility.LogRecordEvent("POLIZA_SERVICIO", "01-0000001", "Baja");
  utility.LogRecordEvent("Poliza_Servicio", "01-0000001", "Servicio 'A'\r\n 2 HR");
  EXPECT_EQ(services.Column("SELECT table_name || '|' || record_key || '|' || note || '|' || "
                            "user_code || '|' || logged_at AS v FROM record_log ORDER BY id",
                            "v"),
            (std::vector<std::string>{
                "Poliza_Servicio|01-0000001|Baja|OPER1|2024-03-15 10:20:30",
                "Poliza_Servicio|01-0000001|Servicio 'A'\r\n 2 HR|OPER1|2024-03-15 10:20:30"}));
}

TEST_F(HostRecordsTest, RolledBackScreenTransactionLeavesNoHostRecord) {
  utility.SaveExtendedText("Poliza_Servicio", "01-0000001", "0001", "before");
  Connection& screen = app.GetConnection();

  screen.BeginTrans();
  EXPECT_EQ(utility.NextFolio("01", "Poliza_Servicio", 10, -1).ToText(), "01-0000001");
  EXPECT_TRUE(utility.SaveExtendedText("Poliza_Servicio", "01-0000001", "0001", "during"));
  EXPECT_TRUE(utility.SaveExtendedText("Poliza_Servicio", "01-0000002", "0001", "new"));
  utility.LogRecordEvent("Poliza_Servicio", "01-0000001", "Baja");
  EXPECT_EQ(utility.ReadExtendedText("Poliza_Servicio", "01-0000001", "0001"), "during")
      << "the transaction sees its own writes";
  screen.RollbackTrans();

  EXPECT_EQ(utility.ReadExtendedText("Poliza_Servicio", "01-0000001", "0001"), "before");
  EXPECT_EQ(utility.ReadExtendedText("Poliza_Servicio", "01-0000002", "0001"), "");
  EXPECT_TRUE(services.Column("SELECT note AS v FROM record_log", "v").empty());
  EXPECT_EQ(utility.NextFolio("01", "Poliza_Servicio", 10, -1).ToText(), "01-0000001");

  screen.BeginTrans();
  utility.LogRecordEvent("Poliza_Servicio", "01-0000001", "kept");
  screen.CommitTrans();
  EXPECT_EQ(services.Column("SELECT note AS v FROM record_log", "v"),
            std::vector<std::string>{"kept"});
}

TEST_F(HostRecordsTest, ParametersAreTextsAndUnknownOnesEmpty) {
  services.Run(
      "INSERT INTO host_parameter (name, value) VALUES ('FTO_SUCURSAL', '00'), "
      "('FTO_CLIENTE', '>AAAA'), ('O''NAME', 'it''s'), ('FTO_NULO', NULL)");
  const std::vector<std::pair<std::string, Variant>> cases = {{"FTO_SUCURSAL", Variant("00")},
                                                              {"FTO_CLIENTE", Variant(">AAAA")},
                                                              {"O'NAME", Variant("it's")},
                                                              {"FTO_VENDEDOR", Variant()},
                                                              {"FTO_NULO", Variant()}};
  for (const auto& [name, expected] : cases)
    EXPECT_EQ(app.GetParameter(name, 0, "", ""), expected) << name;
}

TEST_F(HostRecordsTest, PermissionsArePerOperatorAndModule) {
  services.Run("INSERT INTO operator (user_code, name) VALUES ('ANA', 'Ana'), ('BETO', 'Beto')");
  services.Run(
      "INSERT INTO operator_permission (user_code, module, permission_key) VALUES "
      "('ANA', 'NV407', 'CHFECHA'), ('ANA', 'NV407', 'INISERV'), "
      "('BETO', 'NV100', 'CHFECHA')");
  struct Case {
    const char* user;
    const char* module;
    const char* key;
    bool holds;
  };
  for (const Case& c :
       {Case{"ANA", "NV407", "CHFECHA", true}, Case{"ANA", "NV407", "INISERV", true},
        Case{"ANA", "NV100", "CHFECHA", false}, Case{"BETO", "NV407", "CHFECHA", false},
        Case{"BETO", "NV407", "INISERV", false}, Case{"BETO", "NV100", "CHFECHA", true},
        Case{"CARLA", "NV407", "CHFECHA", false}}) {
    ReferenceHost host(*services.database, services.dialogs, services.controls,
                       {c.user, PinnedClock(testing::kPinnedTime)});
    EXPECT_EQ(host.CreateAppServices()->HasPermission(c.module, c.key, "No disponible"), c.holds)
        << c.user << " " << c.module << " " << c.key;
  }
}

TEST_F(HostRecordsTest, ProductTextAndTransactionCodeFallBackWhenMissing) {
  services.Run("INSERT INTO product_text (product_code, text) VALUES ('P01', 'Soporte ''24x7''')");
  services.Run(
      "INSERT INTO host_transaction (application, transaction_name, code) VALUES "
      "('Zembrel', 'POLIZAS', 'NV407'), ('Otra', 'SERVICIO', 'X1')");
  EXPECT_EQ(utility.GetProductText("P01"), "Soporte '24x7'");
  EXPECT_EQ(utility.GetProductText("P02"), "");
  EXPECT_EQ(utility.ResolveTransaction("POLIZAS", "Zembrel"), "NV407");
  EXPECT_EQ(utility.ResolveTransaction("SERVICIO", "Zembrel"), "SERVICIO");
  EXPECT_EQ(utility.ResolveTransaction("", "Zembrel"), "");
}

TEST_F(HostRecordsTest, EditorMayChangeTheConceptInPlace) {
  services.dialogs.editor_answers.push_back({"Nuevo concepto", "texto editado"});
  std::string concept_text = "Concepto";
  EXPECT_EQ(utility.EditExtendedText(concept_text, "texto", 50), "texto editado");
  EXPECT_EQ(concept_text, "Nuevo concepto");
}

TEST(PinnedClock, AnswersItsTimeOrRefusesText) {
  EXPECT_EQ(PinnedClock("2024-02-29 23:59:59")(), Date::FromYmd(2024, 2, 29, 23, 59, 59));
  EXPECT_EQ(PinnedClock("2024-02-29")(), Date::FromYmd(2024, 2, 29));
  EXPECT_FALSE(PinnedClock(""));
  try {
    PinnedClock("tomorrow");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(e.Description().find("\"tomorrow\""), std::string::npos) << e.Description();
  }
}

}  // namespace
}  // namespace nv407::host
