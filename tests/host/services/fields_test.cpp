#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "host/headless/controls.h"
#include "screen/layout.h"
#include "services_fixture.h"
#include "support/test_form.h"

namespace nv407::testing {
namespace {

using host::HeadlessComboBox;
using host::HeadlessDateField;
using host::HeadlessListView;
using host::HeadlessTextBox;

const Date kShown = Date::FromYmd(2024, 3, 15);

// The capture screen's controls, made by the headless control set from the screen's own
// layout rows, with a policy on show: every field filled, the key fields looked up.
class GroupFields : public ::testing::Test {
 protected:
  GroupFields() {
    for (Control* control : form.Controls()) {
      if (auto* text = dynamic_cast<HeadlessTextBox*>(control)) text->SetText(Sample(*text));
      if (auto* date = dynamic_cast<HeadlessDateField*>(control)) date->SetValue(kShown);
      if (auto* list = dynamic_cast<HeadlessListView*>(control)) list->Items().Add("KA", "A");
      if (auto* combo = dynamic_cast<HeadlessComboBox*>(control)) {
        for (int day = 1; day <= 28; ++day) combo->AddItem(std::to_string(day), day);
        combo->SetSelectedValue(5);
      }
      enabled_before[control->Name()] = control->Enabled();
    }
  }

  // A value each key field finds in the demo catalogues.
  static std::string Sample(const HeadlessTextBox& box) {
    static const std::map<std::string, std::string> keys = {{"txt_Sc_Cve_Sucursal", "MTY"},
                                                            {"txt_Vn_Cve_Vendedor", "V001"},
                                                            {"txt_Cl_Cve_Cliente", "C00001"},
                                                            {"txt_Tps_Cve_Tipo_Poliza", "SOPMEN"}};
    const auto key = keys.find(box.Name());
    return key == keys.end() ? "texto de " + box.Name() : key->second;
  }

  template <typename T>
  T& Get(const std::string& name) {
    return form.Get<T>(name);
  }
  static bool InGroup(const Control& control) { return control.Layout().tag == "1"; }

  TestDatabase db;
  Services services{db.db(), db.clock()};
  TestForm form{services.factory, frmNV407Layout().controls};
  std::map<std::string, bool> enabled_before;
};

TEST_F(GroupFields, ClearFieldsEmptiesTheDataEntryFieldsOnly) {
  ASSERT_NE(Get<HeadlessTextBox>("txt_Sc_Descripcion").Text(), "") << "the branch was found";

  services.utility->ClearFields(form, 1);

  // A key field of the group takes the description in its result control with it.
  std::set<std::string> descriptions;
  for (Control* control : form.Controls())
    if (InGroup(*control)) descriptions.insert(control->Layout().Setting("sql_control_resultado"));
  std::set<ControlKind> kinds_cleared;
  for (Control* control : form.Controls()) {
    const std::string& name = control->Name();
    EXPECT_EQ(control->Enabled(), enabled_before[name]) << name << ": clearing does not unlock";
    const bool emptied = InGroup(*control) || descriptions.count(name) > 0;
    if (auto* text = dynamic_cast<HeadlessTextBox*>(control)) {
      EXPECT_EQ(text->Text(), emptied ? "" : Sample(*text)) << name;
    } else if (auto* date = dynamic_cast<HeadlessDateField*>(control)) {
      EXPECT_EQ(date->Value(), emptied ? Variant() : Variant(kShown)) << name;
    } else if (auto* combo = dynamic_cast<HeadlessComboBox*>(control)) {
      EXPECT_EQ(combo->Text(), emptied ? "" : "5") << name;
      EXPECT_EQ(combo->ItemCount(), 28) << name << ": the days offered stay";
    } else if (auto* list = dynamic_cast<HeadlessListView*>(control)) {
      EXPECT_EQ(list->Items().Count(), emptied ? 0 : 1) << name;
    }
    if (InGroup(*control)) kinds_cleared.insert(control->Kind());
  }
  EXPECT_EQ(kinds_cleared, (std::set<ControlKind>{ControlKind::kTextBox, ControlKind::kDateField,
                                                  ControlKind::kComboBox, ControlKind::kListView}))
      << "every kind that clearing empties is on the screen in group 1";
  EXPECT_EQ(descriptions.count("txt_Sc_Descripcion"), 1u);
  EXPECT_EQ(Get<HeadlessTextBox>("txtFolio").Text(), Sample(Get<HeadlessTextBox>("txtFolio")));
}

TEST_F(GroupFields, EnableFieldsUnlocksTheGroupAndNothingElse) {
  services.utility->EnableFields(form, 1);

  for (Control* control : form.Controls())
    EXPECT_EQ(control->Enabled(), InGroup(*control) || enabled_before[control->Name()])
        << control->Name();
  EXPECT_FALSE(Get<HeadlessDateField>("dp_Ps_Fecha_Fin").Enabled()) << "the end date is untagged";
  EXPECT_EQ(Get<HeadlessTextBox>("txtReferencia").Text(), "texto de txtReferencia")
      << "unlocking does not clear";
}

TEST_F(GroupFields, GroupIsTheTagAsWrittenNotAnythingLikeIt) {
  std::vector<ControlLayout> rows;
  for (const char* tag : {"1", "01", " 1", "10", "2", ""}) {
    rows.push_back(Row(ControlKind::kTextBox, std::string("txt[") + tag + "]", -1, {}, false));
    rows.back().tag = tag;
  }
  TestForm tagged(services.factory, rows);
  for (Control* control : tagged.Controls()) dynamic_cast<TextBox&>(*control).SetText("x");

  services.utility->ClearFields(tagged, 1);
  services.utility->EnableFields(tagged, 2);

  for (Control* control : tagged.Controls()) {
    const std::string& tag = control->Layout().tag;
    EXPECT_EQ(dynamic_cast<TextBox&>(*control).Text(), tag == "1" ? "" : "x") << control->Name();
    EXPECT_EQ(control->Enabled(), tag == "2") << control->Name();
  }
}

TEST_F(GroupFields, ListFormatterFitsTheColumnsOfTheList) {
  auto& list = Get<HeadlessListView>("lvServicios");
  const int before = list.FitCount();
  services.host.CreateListFormatter()->FormatList(list);
  EXPECT_EQ(list.FitCount(), before + 1);
}

}  // namespace
}  // namespace nv407::testing
