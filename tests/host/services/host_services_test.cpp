#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "services_fixture.h"
#include "support/test_form.h"

namespace nv407::testing {
namespace {

class HostServicesTest : public ::testing::Test {
 protected:
  HostServicesTest() { db.SetNow(Date::FromYmd(2024, 3, 15, 10, 20, 30)); }

  std::string Read(const std::string& table, const std::string& key, const std::string& entry) {
    return utility.ReadExtendedText(table, key, entry);
  }

  TestDatabase db;
  Services services{db.db(), db.clock(), "CAPTURA"};
  UtilityServices& utility = *services.utility;
  AppServices& app = *services.app;
};

// The screen's save tests hold the texts and notes of a policy and their rollback; here,
// the keys they are filed under: the table in either spelling is one, each entry its own.
TEST_F(HostServicesTest, ExtendedTextsAndNotesAreFiledPerTableKeyAndEntry) {
  const std::string text = "L\xc3\xadnea 1 con 'comillas'\r\nL\xc3\xadnea 2; DROP TABLE x; --";
  EXPECT_TRUE(utility.SaveExtendedText("Poliza_Servicio", "MTY-000001", "0001", "first"));
  EXPECT_TRUE(utility.SaveExtendedText("POLIZA_SERVICIO", "MTY-000001", "0001", text));
  EXPECT_TRUE(utility.SaveExtendedText("Poliza_Servicio", "MTY-000001", "0002", "other entry"));
  EXPECT_EQ(Read("Poliza_Servicio", "MTY-000001", "0001") + "|" +
                Read("Poliza_Servicio", "MTY-000001", "0002") + "|" +
                Read("Poliza_Servicio", "MTY-000002", "0001"),
            text + "|other entry|");

  utility.LogRecordEvent("POLIZA_SERVICIO", "MTY-000001", "Baja");
  utility.LogRecordEvent("Poliza_Servicio", "MTY-000001", "Servicio 'A'\r\n 2 HR");
  EXPECT_EQ(db.Scalar("SELECT group_concat(v, '#') AS v FROM (SELECT table_name || '|' || "
                      "record_key || '|' || note || '|' || user_code || '|' || logged_at AS v "
                      "FROM record_log ORDER BY id)"),
            "Poliza_Servicio|MTY-000001|Baja|CAPTURA|2024-03-15 10:20:30#"
            "Poliza_Servicio|MTY-000001|Servicio 'A'\r\n 2 HR|CAPTURA|2024-03-15 10:20:30");
}

TEST_F(HostServicesTest, ParametersProductTextsAndTransactionsFallBackWhenMissing) {
  db.Execute(
      "INSERT INTO host_parameter (name, value) VALUES ('FTO_PRUEBA', '00'), "
      "('O''NAME', 'it''s'), ('FTO_NULO', NULL), ('FTO_NUMERO', 8)");
  const char* names[] = {"FTO_PRUEBA", "O'NAME", "FTO_NUMERO", "FTO_NULO", "FTO_DESCONOCIDO"};
  const Variant values[] = {"00", "it's", "8", Variant(), Variant()};  // texts, or Empty
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(app.GetParameter(names[i], 0, "", ""), values[i]) << names[i];

  db.Execute("INSERT INTO product_text (product_code, text) VALUES ('P''01', 'Soporte ''24x7''')");
  EXPECT_EQ(utility.GetProductText("P'01") + "|" + utility.GetProductText("NO-EXISTE"),
            "Soporte '24x7'|");
  // The demo resolves NV407 of Zembrel.
  EXPECT_EQ(utility.ResolveTransaction("NV407", "Zembrel") + " " +
                utility.ResolveTransaction("NV407", "Otra") + " " +
                utility.ResolveTransaction("NV999", "Zembrel"),
            "SERV0407 NV407 NV999");
}

// The demo operators: ADMIN holds both keys of NV407, CAPTURA holds CHFECHA of NV410 only.
TEST_F(HostServicesTest, PermissionsArePerOperatorAndModule) {
  std::string held;
  for (const char* user : {"ADMIN", "CAPTURA", "NADIE", ""}) {
    Services as(db.db(), db.clock(), user);
    held += std::string(user) + ":";
    for (const auto& [module, key] : {std::pair{"NV407", "CHFECHA"}, std::pair{"NV407", "INISERV"},
                                      std::pair{"NV410", "CHFECHA"}, std::pair{"NV410", "INISERV"}})
      if (as.app->HasPermission(module, key, "No disponible"))
        held += std::string(" ") + module + "/" + key;
    held += "; ";
  }
  EXPECT_EQ(held, "ADMIN: NV407/CHFECHA NV407/INISERV; CAPTURA: NV410/CHFECHA; NADIE:; :; ");
}

// What clearing and enabling do to the screen's fields is held by the screen's tests;
// here, which controls a group is: the tag as written, so "01", " 1" and "10" are not group 1.
TEST_F(HostServicesTest, AGroupOfFieldsIsTheTagAsWritten) {
  std::vector<ControlLayout> rows;
  for (const char* tag : {"1", "01", " 1", "10", "2", ""}) {
    rows.push_back(Row(ControlKind::kTextBox, std::string("t[") + tag + "]", -1, {}, false));
    rows.back().tag = tag;
  }
  rows.push_back(Row(ControlKind::kComboBox, "dias", -1, {}, false));
  rows.back().tag = "1";
  TestForm form(services.factory, rows);
  for (Control* control : form.Controls())
    if (auto* text = dynamic_cast<TextBox*>(control)) text->SetText("x");
  auto& days = form.Get<ComboBox>("dias");
  days.AddItem("1", 1);
  days.SetSelectedValue(1);

  utility.ClearFields(form, 1);
  utility.EnableFields(form, 2);

  std::string shown;
  for (Control* control : form.Controls())
    if (auto* text = dynamic_cast<TextBox*>(control))
      shown += control->Name() + "=" + text->Text() + (control->Enabled() ? "+ " : " ");
  EXPECT_EQ(shown, "t[1]= t[01]=x t[ 1]=x t[10]=x t[2]=x+ t[]=x ");
  EXPECT_EQ(days.Text() + "/" + std::to_string(days.ItemCount()), "/1") << "its items stay";
}

}  // namespace
}  // namespace nv407::testing
