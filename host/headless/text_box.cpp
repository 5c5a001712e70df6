#include <tuple>
#include <utility>

#include "component/error.h"
#include "host/headless/controls.h"
#include "host/headless/text_rules.h"

namespace nv407::host {

void HeadlessTextBox::SetText(const std::string& text) {
  text_ = WithoutNul(text);
  Notify();
  Context().NoteTextChanged(*this);
  if (!IsKeyField()) return;
  accepted_ = false;  // until the look-up says otherwise, also when it fails
  not_taken_ = false;
  accepted_ = LookUp();
}

void HeadlessTextBox::SetFormato(const Variant& format) {
  formato_ = format;
  Notify();
}

void HeadlessTextBox::Refresh() {
  Notify();
}

void HeadlessTextBox::UserType(const std::string& text) {
  RequireEnabled();
  if (Locked()) throw Error(Name() + " is read-only");
  TakeFocus();
  const std::string typed = Typed(text);
  const bool changed = typed != text_;
  if (changed) Context().NoteDataEntered();
  // The record's key typed again loads its record again, as another key would: what is
  // shown of it may be stale (cancelled meanwhile, or held back until it is loaded again).
  const bool reload = !changed && ReloadsWhenRetyped();
  if (!IsKeyField()) {
    text_ = typed;
    Notify();
    Context().NoteTextChanged(*this);
  } else if (changed || reload) {
    text_ = typed;
    accepted_ = false;
    not_taken_ = false;
    Notify();
    Context().NoteTextChanged(*this);
    Confirm([this] {
      // The old value is gone before the new one is known, whatever the look-up says.
      RaiseLookupReset();
      accepted_ = LookUp();
      if (accepted_) RaiseLookupDone();
    });
  } else if (accepted_) {
    Confirm([this] { RaiseLookupRepeated(); });
  }
  // A refused key keeps the focus so that the user can correct it; a handler that moved
  // the focus has decided where it goes.
  const bool refused = IsKeyField() && !accepted_ && !text_.empty();
  if (HasFocus() && !refused) Context().focus.MoveToNext();
}

void HeadlessTextBox::UserLeave() {
  if (IsKeyField() && accepted_) Confirm([this] { RaiseLookupRepeated(); });
}

void HeadlessTextBox::Confirm(const std::function<void()>& notifications) {
  if (RunEvents(notifications) || !accepted_) return;
  // The screen could not take the value it was notified of (a policy type whose length
  // cannot be read, say): the field refuses it, so that nothing goes on with it.
  accepted_ = false;
  not_taken_ = true;
  ShowResult("");
  RunEvents([this] { RaiseLookupReset(); });
}

std::string HeadlessTextBox::Typed(const std::string& text) const {
  std::string typed = KeptOfTyped(text, MaxLength());
  if (UpperCase()) typed = UpperCaseText(typed);
  return typed;
}

const HeadlessTextBox::LookUpSettings& HeadlessTextBox::Settings() {
  // The layout row never changes: its look-up settings are read once.
  if (!settings_) {
    LookUpSettings settings;
    settings.sql = Layout().Setting("sql");
    if (!settings.sql.empty()) settings.column = FirstColumnName(settings.sql);
    std::tie(settings.bound_sql, settings.keys) = KeyPlaces(settings.sql);
    const std::string result_name = Layout().Setting("sql_control_resultado");
    if (!result_name.empty()) {
      settings.result = dynamic_cast<TextBox*>(Context().form.FindControl(result_name));
      if (settings.result == nullptr)
        throw Error(Name() + ": its result control " + result_name + " is not a text box");
    }
    settings_ = std::move(settings);
  }
  return *settings_;
}

bool HeadlessTextBox::LookUp() {
  const LookUpSettings& settings = Settings();
  if (settings.sql.empty()) return !text_.empty();

  bool found = false;
  std::string description;
  // An empty key names nothing: it is not looked up, and its description goes with it.
  if (!text_.empty()) {
    std::unique_ptr<Recordset> result =
        settings.bound_sql.empty()
            ? Context().database.ForHost().Execute(LookupStatement(settings.sql, text_))
            : Context().database.HostQuery(settings.bound_sql,
                                           std::vector<StatementValue>(settings.keys, text_));
    if (!result->Eof()) {
      found = true;
      Variant value = result->Fields(settings.column).Value();
      if (!value.IsNull()) description = std::move(value).ToText();
    }
    result->Close();
  }

  ShowResult(description);
  return found;
}

void HeadlessTextBox::ShowResult(const std::string& description) {
  if (TextBox* result = Settings().result) result->SetText(description);
}

}  // namespace nv407::host
