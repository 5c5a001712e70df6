#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "component/form.h"
#include "services_fixture.h"

namespace nv407::host {
namespace {

using testing::Contents;
using testing::ServicesOnDatabase;

template <typename Base>
class TestControl : public Base {
 public:
  explicit TestControl(ControlLayout layout) : layout_(std::move(layout)) {}
  const ControlLayout& Layout() const override { return layout_; }
  bool Enabled() const override { return enabled_; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  void SetFocus() override {}

 private:
  ControlLayout layout_;
  bool enabled_ = false;
};

class TestTextBox final : public TestControl<TextBox> {
 public:
  using TestControl::TestControl;
  std::string Text() const override { return text_; }
  void SetText(const std::string& text) override { text_ = text; }
  Variant Formato() const override { return {}; }
  void SetFormato(const Variant&) override {}
  void Refresh() override {}

 private:
  std::string text_;
};

class TestDateField final : public TestControl<DateField> {
 public:
  using TestControl::TestControl;
  Variant Value() const override { return value_; }
  void SetValue(const Variant& value) override { value_ = value; }

 private:
  Variant value_;
};

class TestComboBox final : public TestControl<ComboBox> {
 public:
  using TestControl::TestControl;
  void Clear() override { items_.clear(), chosen_ = -1; }
  void AddItem(const std::string& text, const Variant& value) override {
    items_.push_back({text, value});
  }
  std::string Text() const override { return chosen_ < 0 ? "" : items_[chosen_].first; }
  Variant SelectedValue() const override {
    return chosen_ < 0 ? Variant() : items_[chosen_].second;
  }
  void SetSelectedValue(const Variant& value) override {
    chosen_ = -1;
    for (std::size_t i = 0; i < items_.size(); ++i)
      if (!value.IsEmpty() && items_[i].second.ToText() == value.ToText())
        chosen_ = static_cast<int>(i);
  }
  int ItemCount() const override { return static_cast<int>(items_.size()); }
  std::string ItemText(int index) const override { return items_.at(index).first; }

 private:
  std::vector<std::pair<std::string, Variant>> items_;
  int chosen_ = -1;
};

class TestListView final : public TestControl<ListView>, public FittableList {
 public:
  using TestControl::TestControl;
  ListItems& Items() override { return items_; }
  void FitColumns() override { ++fitted; }
  int fitted = 0;

 private:
  ListItems items_;
};

class TestLabel final : public TestControl<Label> {
 public:
  using TestControl::TestControl;
};

// A list view of a control set that cannot size its columns.
class PlainListView final : public TestControl<ListView> {
 public:
  using TestControl::TestControl;
  ListItems& Items() override { return items_; }

 private:
  ListItems items_;
};

class TestForm final : public Form {
 public:
  template <typename T>
  T& Add(ControlKind kind, const std::string& name, const std::string& tag) {
    ControlLayout layout;
    layout.kind = kind;
    layout.name = name;
    layout.tag = tag;
    auto control = std::make_unique<T>(layout);
    T& ref = *control;
    controls_.push_back(std::move(control));
    return ref;
  }
  std::vector<Control*> Controls() const override {
    std::vector<Control*> all;
    for (const auto& control : controls_) all.push_back(control.get());
    return all;
  }
  Control* FindControl(std::string_view, int) const override { return nullptr; }
  std::intptr_t WindowHandle() const override { return 7; }

 private:
  std::vector<std::unique_ptr<Control>> controls_;
};

// A screen with one control of each kind in group 1, and the same outside it: tag "",
// and tags that only look like 1.
class GroupedFields : public ::testing::Test {
 protected:
  struct Set {
    TestTextBox* text;
    TestDateField* date;
    TestComboBox* combo;
    TestListView* list;
    TestLabel* label;
  };

  Set AddSet(const std::string& tag) {
    Set set{&form.Add<TestTextBox>(ControlKind::kTextBox, "txt" + tag, tag),
            &form.Add<TestDateField>(ControlKind::kDateField, "dp" + tag, tag),
            &form.Add<TestComboBox>(ControlKind::kComboBox, "cb" + tag, tag),
            &form.Add<TestListView>(ControlKind::kListView, "lv" + tag, tag),
            &form.Add<TestLabel>(ControlKind::kLabel, "lb" + tag, tag)};
    set.text->SetText("typed");
    set.date->SetValue(Date::FromYmd(2024, 3, 15));
    for (int day = 1; day <= 3; ++day) set.combo->AddItem(std::to_string(day), day);
    set.combo->SetSelectedValue(2);
    set.list->Items().Add("KA", "A");
    set.list->Items().Add("KB", "B");
    return set;
  }

  static void ExpectUntouched(const Set& set) {
    EXPECT_EQ(set.text->Text(), "typed");
    EXPECT_EQ(set.date->Value(), Variant(Date::FromYmd(2024, 3, 15)));
    EXPECT_EQ(set.combo->Text(), "2");
    EXPECT_EQ(set.list->Items().Count(), 2);
    for (Control* control : {static_cast<Control*>(set.text), static_cast<Control*>(set.date),
                             static_cast<Control*>(set.combo), static_cast<Control*>(set.list),
                             static_cast<Control*>(set.label)})
      EXPECT_FALSE(control->Enabled()) << control->Name();
  }

  ServicesOnDatabase services;
  TestForm form;
};

TEST_F(GroupedFields, ClearFieldsEmptiesTheGroupOnly) {
  const Set in_group = AddSet("1");
  const std::vector<Set> others = {AddSet(""), AddSet("2"), AddSet("10"), AddSet(" 1")};

  services.utility->ClearFields(form, 1);

  EXPECT_EQ(in_group.text->Text(), "");
  EXPECT_TRUE(in_group.date->Value().IsEmpty());
  EXPECT_EQ(in_group.combo->Text(), "");
  EXPECT_TRUE(in_group.combo->SelectedValue().IsEmpty());
  EXPECT_EQ(in_group.combo->ItemCount(), 3) << "the days offered stay";
  EXPECT_EQ(in_group.list->Items().Count(), 0);
  EXPECT_FALSE(in_group.text->Enabled()) << "clearing does not unlock";
  for (const Set& set : others) ExpectUntouched(set);
}

TEST_F(GroupedFields, EnableFieldsUnlocksEveryControlOfTheGroupAndNothingElse) {
  const Set in_group = AddSet("1");
  const std::vector<Set> others = {AddSet(""), AddSet("2"), AddSet("1 ")};

  services.utility->EnableFields(form, 1);

  for (Control* control : form.Controls()) {
    const bool grouped = control->Layout().tag == "1";
    EXPECT_EQ(control->Enabled(), grouped)
        << control->Name() << " tag \"" << control->Layout().tag << "\"";
  }
  EXPECT_EQ(in_group.text->Text(), "typed") << "unlocking does not clear";
  for (const Set& set : others) ExpectUntouched(set);
}

TEST_F(GroupedFields, ListFormatterFitsListsThatCanBeFitted) {
  auto& fittable = form.Add<TestListView>(ControlKind::kListView, "lvFit", "");
  auto& plain = form.Add<PlainListView>(ControlKind::kListView, "lvPlain", "");
  plain.Items().Add("K1", "1");
  auto formatter = services.host.CreateListFormatter();

  formatter->FormatList(fittable);
  formatter->FormatList(plain);

  EXPECT_EQ(fittable.fitted, 1);
  EXPECT_EQ(plain.Items().Count(), 1);
}

}  // namespace
}  // namespace nv407::host
