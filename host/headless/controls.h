#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "component/controls.h"
#include "component/form.h"
#include "host/db/database.h"
#include "host/headless/focus.h"
#include "host/services/dialogs.h"

namespace nv407::host {

class UserControl;

// What the controls of one form share: the form (to find a key field's result control),
// the host's side of the database (look-ups, additional fields), the dialogs that present
// an error leaving a handler, and the focus.
struct FormContext {
  FormContext(const Form& owner, Database& db, Dialogs& shown_by)
      : form(owner), database(db), dialogs(shown_by), focus(owner) {}
  const Form& form;
  Database& database;
  Dialogs& dialogs;
  FocusTracker focus;
  // The data-entry group takes input only while the toolbar captures or edits a policy;
  // otherwise a shown policy could be changed without Modificar.
  bool data_entry_open = false;
  void SetDataEntryOpen(bool open);
  // A control offered only in some state of the form; each is in its list, in the order
  // the controls were made, while it lives.
  struct GatedControl {
    Control* control;
    UserControl* user;
  };
  std::vector<GatedControl> data_entry_controls;
  // The user changed something since the capture or edit began: leaving it loses work.
  bool data_entered = false;
  void NoteDataEntered() { data_entered = data_entered || data_entry_open; }
  // The toolbar shows a live record; the controls that act on it are offered only then.
  bool live_record_shown = false;
  void SetLiveRecordShown(bool shown);
  std::vector<GatedControl> live_record_controls;
  // The form's toolbar follows the text of its record's key field, also when code writes it
  // (which raises no look-up event): the record counts as shown only while its key is.
  std::function<void(const Control&)> text_changed;
  void NoteTextChanged(const Control& box) const {
    if (text_changed) text_changed(box);
  }
  // The toolbar's `opc_table`: its record's key field is the text box of that `idconsulta`.
  std::string record_table;
  bool IsRecordKeyField(const Control& control) const;
};

// An input control of the data-entry group (tag "1"); the lists of the group take no input.
bool TakesDataEntry(const ControlLayout& layout);
// A control that acts on the live record shown (the counter reset). The screen enables it
// when it loads a live policy but leaves it as it was when a load finds a cancelled policy
// or none, so the host offers it only while the toolbar shows a live record.
bool ActsOnLiveRecord(const ControlLayout& layout);

// The user's side of a headless control. User actions raise nv407::Error when the
// control refuses them (disabled, locked, no such item): nothing has happened then.
class UserControl {
 public:
  virtual ~UserControl() = default;
  // The user leaves the control without having changed it (Tab).
  virtual void UserLeave() {}
  // Called after every change of the control's state, so that a view can redraw.
  void Observe(std::function<void()> observer) { observers_.push_back(std::move(observer)); }
  void Notify() const {
    for (const auto& observer : observers_) observer();
  }

 private:
  std::vector<std::function<void()>> observers_;
};

// Everything a headless control of any kind keeps: its layout row, `enabled`, the focus.
template <typename Interface>
class HeadlessControl : public Interface, public UserControl {
 public:
  HeadlessControl(const ControlLayout& layout, FormContext& context)
      : layout_(layout),
        context_(context),
        enabled_(layout.enabled),
        data_entry_(TakesDataEntry(layout)),
        live_record_only_(ActsOnLiveRecord(layout)) {
    if (data_entry_) context_.data_entry_controls.push_back({this, this});
    if (live_record_only_) context_.live_record_controls.push_back({this, this});
  }
  ~HeadlessControl() override;
  HeadlessControl(const HeadlessControl&) = delete;
  HeadlessControl& operator=(const HeadlessControl&) = delete;

  const ControlLayout& Layout() const override { return layout_; }
  // What the user can do: `enabled` as set, a data-entry control only while capturing, and
  // one that acts on the live record only while one is shown.
  bool Enabled() const override {
    return enabled_ && (!data_entry_ || context_.data_entry_open) &&
           (!live_record_only_ || context_.live_record_shown);
  }
  void SetEnabled(bool enabled) override;
  void SetFocus() override { context_.focus.Focus(*this); }
  bool HasFocus() const { return context_.focus.Focused() == this; }

 protected:
  FormContext& Context() const { return context_; }
  void RequireEnabled() const;
  // The user's action puts the focus on the control first, as a click or a keystroke would.
  void TakeFocus() { context_.focus.Focus(*this); }
  // Runs the events of a user action; an error leaving a handler is presented.
  bool RunEvents(const std::function<void()>& events);

 private:
  ControlLayout layout_;
  FormContext& context_;
  bool enabled_;
  bool data_entry_;
  bool live_record_only_;
};

// A text box; with `esclave` a key field that checks what the user types against its
// catalogue (the `sql` setting) and shows the description in its result control.
class HeadlessTextBox final : public HeadlessControl<TextBox> {
 public:
  static constexpr ControlKind kKind = ControlKind::kTextBox;
  HeadlessTextBox(const ControlLayout& layout, FormContext& context)
      : HeadlessControl(layout, context),
        key_field_(Layout().Flag("esclave")),
        locked_(Layout().Flag("locked")),
        upper_case_(Layout().Flag("mayusculas")),
        max_length_(Layout().IntSetting("maxlength")) {}

  const std::string& Text() const override { return text_; }
  void SetText(const std::string& text) override;
  Variant Formato() const override { return formato_; }
  void SetFormato(const Variant& format) override;
  void Refresh() override;

  bool IsKeyField() const { return key_field_; }
  // Typed again unchanged, the field loads its record again (see UserType).
  bool ReloadsWhenRetyped() const {
    return key_field_ && !text_.empty() && Context().IsRecordKeyField(*this);
  }
  bool Locked() const { return locked_; }
  int MaxLength() const { return max_length_; }  // 0: no limit
  bool UpperCase() const { return upper_case_; }
  // A key field whose value passed its look-up (or, without `sql`, is not empty).
  bool Accepted() const { return accepted_; }
  // A key its catalogue holds that the screen could not take: its notification failed
  // (a policy type whose end date would pass the last year), and said why.
  bool NotTaken() const { return not_taken_; }

  // The user replaces the whole text and leaves the field. Refused when the field is
  // disabled or locked. The field upper-cases (`mayusculas`) and cuts at `maxlength`; a
  // key field whose value changed raises LookupReset, looks the new value up and raises
  // LookupDone when it is accepted; unchanged and accepted, it raises the "repeated"
  // notification. The record's key field (FormContext::IsRecordKeyField) typed again with
  // its key does as a changed one: the record shown is loaded again. The focus then moves
  // on, except from a key field that refused a value.
  void UserType(const std::string& text);
  void UserLeave() override;
  // What the field holds of `text` typed into it: cut at `maxlength`, upper-cased.
  std::string Typed(const std::string& text) const;

 private:
  struct LookUpSettings {
    std::string sql, column;    // the look-up statement and the name of its first column
    std::string bound_sql;      // with each '?' a place to bind the key; "" when it has none
    std::size_t keys = 0;       // how many places
    TextBox* result = nullptr;  // where the description goes
  };
  const LookUpSettings& Settings();
  // Fills the result control; true when the value is accepted.
  bool LookUp();
  void ShowResult(const std::string& description);
  // Runs the notifications of the user's value; a failing one refuses an accepted value.
  void Confirm(const std::function<void()>& notifications);

  // The layout row never changes: what the field does is read from it once.
  const bool key_field_, locked_, upper_case_;
  const int max_length_;
  std::string text_;
  Variant formato_;
  std::optional<LookUpSettings> settings_;  // read on first use
  bool accepted_ = false;
  bool not_taken_ = false;
};

class HeadlessDateField final : public HeadlessControl<DateField> {
 public:
  static constexpr ControlKind kKind = ControlKind::kDateField;
  using HeadlessControl::HeadlessControl;

  Variant Value() const override { return value_; }
  // A date, or Empty; Null clears the field too; a text must read as a date.
  void SetValue(const Variant& value) override;
  // Refused when the field is disabled.
  void UserPick(const Date& date);

 private:
  Variant value_;
};

class HeadlessComboBox final : public HeadlessControl<ComboBox> {
 public:
  static constexpr ControlKind kKind = ControlKind::kComboBox;
  using HeadlessControl::HeadlessControl;

  void Clear() override;
  void AddItem(const std::string& text, const Variant& value) override;
  std::string Text() const override;
  Variant SelectedValue() const override;  // Empty when none is chosen
  void SetSelectedValue(const Variant& value) override;
  int ItemCount() const override { return static_cast<int>(items_.size()); }
  std::string ItemText(int index) const override;
  std::optional<int> SelectedIndex() const { return selected_; }

  // Refused when the combo is disabled or no item has that text.
  void UserChoose(const std::string& text);

 private:
  std::vector<std::pair<std::string, Variant>> items_;
  std::optional<int> selected_;
};

class HeadlessFlatButton final : public HeadlessControl<FlatButton> {
 public:
  static constexpr ControlKind kKind = ControlKind::kFlatButton;
  using HeadlessControl::HeadlessControl;
  std::string Caption() const { return Layout().Setting("caption"); }
  // Refused when the button is disabled; raises the press.
  void UserClick();
};

class HeadlessLabel final : public HeadlessControl<Label> {
 public:
  static constexpr ControlKind kKind = ControlKind::kLabel;
  using HeadlessControl::HeadlessControl;
  std::string Caption() const { return Layout().Setting("caption"); }
};

// Keeps the look of its layout row; a view reads it from there once applied.
class HeadlessColorScheme final : public HeadlessControl<ColorScheme> {
 public:
  static constexpr ControlKind kKind = ControlKind::kColorScheme;
  using HeadlessControl::HeadlessControl;
  void Apply() override;
  int ApplyCount() const { return apply_count_; }

 private:
  int apply_count_ = 0;
};

class HeadlessListView final : public HeadlessControl<ListView> {
 public:
  static constexpr ControlKind kKind = ControlKind::kListView;
  HeadlessListView(const ControlLayout& layout, FormContext& context);
  ListItems& Items() override { return items_; }
  const ListItems& Items() const { return items_; }
  void FitColumns() override;
  int FitCount() const { return fit_count_; }

 private:
  ListItems items_;
  int fit_count_ = 0;
};

// "text box", "date field", ... for messages that name what a control is.
std::string_view ControlKindName(ControlKind kind);

enum class ToolbarMode { kIdle, kNew, kEditing };
enum class ToolbarCommand { kNuevo, kModificar, kConsultar, kBaja, kAceptar, kCancelar, kSalir };

inline constexpr ToolbarCommand kToolbarCommands[] = {
    ToolbarCommand::kNuevo, ToolbarCommand::kModificar, ToolbarCommand::kConsultar,
    ToolbarCommand::kBaja,  ToolbarCommand::kAceptar,   ToolbarCommand::kCancelar,
    ToolbarCommand::kSalir};

std::string_view ToolbarCommandName(ToolbarCommand command);  // "Nuevo", "Modificar", ...
std::optional<ToolbarCommand> ParseToolbarCommand(std::string_view name);
std::string_view ToolbarModeName(ToolbarMode mode);  // "idle", "new", "editing"

// The screen's toolbar: record flags set by the screen, a mode that the commands move
// between, and the record's additional fields (host tables additional_field and
// additional_field_value, for the table of the `opc_table` setting).
class HeadlessToolbar final : public HeadlessControl<Toolbar> {
 public:
  static constexpr ControlKind kKind = ControlKind::kToolbar;
  HeadlessToolbar(const ControlLayout& layout, FormContext& context);
  ~HeadlessToolbar() override;

  bool Ready() const override { return ready_; }
  void SetReady(bool ready) override;
  bool Busy() const override { return mode_ != ToolbarMode::kIdle; }
  bool Flag(ToolbarFlag flag) const override;
  void SetFlag(ToolbarFlag flag, bool value) override;
  // As pressing Nuevo, and Modificar; nothing when that command is not available.
  void StartNew() override;
  void StartEdit() override;
  void AcceptSucceeded() override;
  void AcceptFailed() override {}
  // False, not an error, when the database refuses the values.
  bool SaveAdditionalFields(const std::string& folio) override;
  void LoadAdditionalFields(const std::string& folio) override;

  std::string Caption() const { return Layout().Setting("caption"); }
  ToolbarMode Mode() const { return mode_; }
  // Nuevo when idle; Modificar and Baja when idle with a live policy shown (ShowsLiveRecord);
  // Consultar when idle with a policy shown (ShowsRecord); Aceptar and Cancelar while
  // capturing; Salir always. Nothing but Salir before the screen made the toolbar ready.
  bool CommandEnabled(ToolbarCommand command) const;
  // Refused when the command is not available.
  void UserPress(ToolbarCommand command);
  void UserPress(std::string_view command);
  // Capturing or editing, and the user has typed, picked, chosen or pressed something since
  // it began: Cancelar or Salir would throw that work away.
  bool HasUnsavedChanges() const { return Busy() && Context().data_entered; }
  // The flags describe the record of the last load that found one (the key it handed to
  // LoadAdditionalFields), and only while the key field (the text box whose `idconsulta`
  // is this `opc_table`) still shows that key: code may write another folio there and load
  // it without finding anything, or find it cancelled, leaving the flags as they were. A
  // form without a key field is described by its flags alone.
  //
  // Idle with a record shown whose load left it inactive (a cancelled policy): the load
  // set loadedFlag without activeFlag1, and no reset or other load has come since.
  bool ShowsInactiveRecord() const;
  // A record is on the form: a load set loadedFlag, with activeFlag1 for a live one, and no
  // reset has come since. A reset (after a save, a Baja, Cancelar) clears activeFlag1 and
  // leaves loadedFlag, so that flag alone tells only that a record was shown once.
  bool ShowsRecord() const;
  // A live record is on the form: a load set loadedFlag and activeFlag1, and no reset or
  // other load has come since.
  bool ShowsLiveRecord() const;
  // The key of the record shown (ShowsRecord); none while none is.
  std::optional<std::string> ShownRecordKey() const {
    return ShowsRecord() ? record_key_ : std::nullopt;
  }

  // The record's additional fields as the user sees them, in their defined order.
  std::vector<std::pair<std::string, std::string>> AdditionalFields();

 private:
  struct AdditionalField {
    std::string table;  // as the definition spells it
    std::string name, value;
  };
  void Press(ToolbarCommand command);
  void SetMode(ToolbarMode mode);
  void LoadDefinitions();
  void ResetAdditionalFields();
  bool KeyShown(const std::optional<std::string>& key) const;
  // The controls offered on a live record, and the view, follow what is shown now.
  void FollowRecord();

  bool ready_ = false;
  bool inactive_record_ = false;
  std::optional<std::string> record_key_;  // of the record the last load found
  std::optional<std::string> live_key_;    // the same, once that load set activeFlag1
  // What the record's key field holds, as its every change tells; none before the first
  // (a form without one is described by its flags alone).
  std::optional<std::string> key_text_;
  ToolbarMode mode_ = ToolbarMode::kIdle;
  std::map<ToolbarFlag, bool> flags_;
  std::optional<std::vector<AdditionalField>> definitions_;  // read once, value = default
  std::optional<std::vector<std::pair<std::string, std::string>>> values_;  // none: defaults
};

}  // namespace nv407::host
