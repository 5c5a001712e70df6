#include <algorithm>
#include <array>
#include <exception>
#include <memory>

#include "component/error.h"
#include "host/db/dialect.h"
#include "host/headless/controls.h"
#include "host/headless/text_rules.h"

namespace nv407::host {
namespace {

struct CommandName {
  ToolbarCommand command;
  std::string_view name;
};
constexpr CommandName kCommandNames[] = {
    {ToolbarCommand::kNuevo, "Nuevo"},         {ToolbarCommand::kModificar, "Modificar"},
    {ToolbarCommand::kConsultar, "Consultar"}, {ToolbarCommand::kBaja, "Baja"},
    {ToolbarCommand::kAceptar, "Aceptar"},     {ToolbarCommand::kCancelar, "Cancelar"},
    {ToolbarCommand::kSalir, "Salir"}};

}  // namespace

std::string_view ToolbarCommandName(ToolbarCommand command) {
  for (const CommandName& entry : kCommandNames)
    if (entry.command == command) return entry.name;
  return {};
}

std::optional<ToolbarCommand> ParseToolbarCommand(std::string_view name) {
  for (const CommandName& entry : kCommandNames)
    if (entry.name == name) return entry.command;
  return std::nullopt;
}

std::string_view ToolbarModeName(ToolbarMode mode) {
  switch (mode) {
    case ToolbarMode::kIdle:
      return "idle";
    case ToolbarMode::kNew:
      return "new";
    case ToolbarMode::kEditing:
      return "editing";
  }
  return {};
}

HeadlessToolbar::HeadlessToolbar(const ControlLayout& layout, FormContext& context)
    : HeadlessControl(layout, context) {
  Context().record_table = layout.Setting("opc_table");
  Context().text_changed = [this](const Control& box) {
    if (!Context().IsRecordKeyField(box)) return;
    key_text_ = static_cast<const TextBox&>(box).Text();
    FollowRecord();
  };
}

HeadlessToolbar::~HeadlessToolbar() {
  Context().text_changed = nullptr;
  Context().record_table.clear();
}

void HeadlessToolbar::SetReady(bool ready) {
  ready_ = ready;
  Notify();
}

bool HeadlessToolbar::Flag(ToolbarFlag flag) const {
  auto it = flags_.find(flag);
  return it != flags_.end() && it->second;
}

void HeadlessToolbar::SetFlag(ToolbarFlag flag, bool value) {
  // A load clears the flags, sets loadedFlag, then activeFlag1 for a live record; the
  // reset clears activeFlag1 and leaves loadedFlag.
  if (flag == ToolbarFlag::kLoaded) {
    inactive_record_ = value && !Flag(ToolbarFlag::kActive1);
    if (!value) record_key_.reset();
  }
  if (flag == ToolbarFlag::kActive1) {
    inactive_record_ = false;
    // The load sets activeFlag1 for the record it has just found.
    live_key_ = value ? record_key_ : std::nullopt;
  }
  flags_[flag] = value;
  FollowRecord();
}

bool HeadlessToolbar::KeyShown(const std::optional<std::string>& key) const {
  return !key_text_ || (key && *key_text_ == *key);
}

bool HeadlessToolbar::ShowsInactiveRecord() const {
  return mode_ == ToolbarMode::kIdle && inactive_record_ && KeyShown(record_key_);
}

bool HeadlessToolbar::ShowsRecord() const {
  return Flag(ToolbarFlag::kLoaded) && (Flag(ToolbarFlag::kActive1) || inactive_record_) &&
         KeyShown(record_key_);
}

bool HeadlessToolbar::ShowsLiveRecord() const {
  return Flag(ToolbarFlag::kLoaded) && Flag(ToolbarFlag::kActive1) && KeyShown(live_key_);
}

void HeadlessToolbar::FollowRecord() {
  Context().SetLiveRecordShown(ShowsLiveRecord());
  Notify();
}

bool HeadlessToolbar::CommandEnabled(ToolbarCommand command) const {
  if (!Enabled()) return false;
  if (command == ToolbarCommand::kSalir) return true;
  if (!ready_) return false;
  const bool idle = mode_ == ToolbarMode::kIdle;
  // A database that cannot be written is open for looking only.
  const bool writable = !Context().database.ReadOnly();
  switch (command) {
    case ToolbarCommand::kNuevo:
      return idle && writable;
    case ToolbarCommand::kModificar:
    case ToolbarCommand::kBaja:
      return idle && writable && ShowsLiveRecord();
    case ToolbarCommand::kConsultar:
      return idle && ShowsRecord();
    case ToolbarCommand::kAceptar:
    case ToolbarCommand::kCancelar:
      return !idle;
    case ToolbarCommand::kSalir:
      return true;
  }
  return false;
}

void HeadlessToolbar::UserPress(ToolbarCommand command) {
  if (!CommandEnabled(command))
    throw Error(std::string(ToolbarCommandName(command)) + " is not available");
  RunEvents([this, command] { Press(command); });
}

void HeadlessToolbar::UserPress(std::string_view command) {
  const std::optional<ToolbarCommand> parsed = ParseToolbarCommand(command);
  if (!parsed) throw Error("The toolbar has no command \"" + std::string(command) + "\"");
  UserPress(*parsed);
}

void HeadlessToolbar::StartNew() {
  if (CommandEnabled(ToolbarCommand::kNuevo)) Press(ToolbarCommand::kNuevo);
}

void HeadlessToolbar::StartEdit() {
  if (CommandEnabled(ToolbarCommand::kModificar)) Press(ToolbarCommand::kModificar);
}

void HeadlessToolbar::AcceptSucceeded() {
  SetMode(ToolbarMode::kIdle);
}

void HeadlessToolbar::Press(ToolbarCommand command) {
  const ToolbarEvents& events = Events();
  auto raise = [](const Handler& handler) {
    if (handler) handler();
  };
  switch (command) {
    case ToolbarCommand::kNuevo:
      // The capture shown is left (here, at Cancelar and at a load): a save of it found made
      // late no longer holds transactions back.
      Context().database.CaptureLeft();
      SetMode(ToolbarMode::kNew);
      ResetAdditionalFields();
      return raise(events.Nuevo);
    case ToolbarCommand::kModificar:
      SetMode(ToolbarMode::kEditing);
      return raise(events.Modificar);
    case ToolbarCommand::kConsultar:
      return raise(events.Consultar);
    case ToolbarCommand::kBaja:
      return raise(events.Baja);
    case ToolbarCommand::kAceptar: {
      std::int16_t argument = mode_ == ToolbarMode::kEditing ? 0 : 1;
      if (events.Aceptar) events.Aceptar(argument);
      return;
    }
    case ToolbarCommand::kCancelar:
      Context().database.CaptureLeft();
      SetMode(ToolbarMode::kIdle);
      return raise(events.Cancelar);
    case ToolbarCommand::kSalir:
      return raise(events.Salir);
  }
}

void HeadlessToolbar::SetMode(ToolbarMode mode) {
  mode_ = mode;
  Context().SetDataEntryOpen(mode != ToolbarMode::kIdle);
  Notify();
}

void HeadlessToolbar::LoadDefinitions() {
  if (definitions_) return;
  std::vector<AdditionalField> definitions;
  const std::string table = Layout().Setting("opc_table");
  if (!table.empty()) {
    // Host tools may spell the table in either case, which the column's collation ignores (a
    // keyed search); the values keep the definition's spelling.
    std::unique_ptr<Recordset> result = Context().database.HostQuery(
        "SELECT table_name AS t, field_name AS f, default_value AS d FROM additional_field "
        "WHERE table_name = ? ORDER BY field_name",
        {table});
    for (; !result->Eof(); result->MoveNext()) {
      definitions.push_back({result->Fields("t").Value().TextOrEmpty(),
                             result->Fields("f").Value().TextOrEmpty(),
                             result->Fields("d").Value().TextOrEmpty()});
    }
    result->Close();
  }
  definitions_ = std::move(definitions);
}

void HeadlessToolbar::ResetAdditionalFields() {
  values_.reset();
  Notify();
}

std::vector<std::pair<std::string, std::string>> HeadlessToolbar::AdditionalFields() {
  LoadDefinitions();
  if (!values_) {
    values_.emplace();
    for (const AdditionalField& field : *definitions_)
      values_->emplace_back(field.name, field.value);
  }
  return *values_;
}

bool HeadlessToolbar::SaveAdditionalFields(const std::string& folio) {
  try {
    const auto values = AdditionalFields();
    Database& database = Context().database;
    static constexpr std::array<std::string_view, 3> kKeys = {"table_name", "record_key",
                                                              "field_name"};
    static constexpr std::array<std::string_view, 1> kColumns = {"value"};
    const std::string upsert =
        Traits(database.Dialect()).upsert("additional_field_value", kKeys, kColumns);
    for (std::size_t i = 0; i < values.size(); ++i) {
      database
          .HostQuery(upsert, {(*definitions_)[i].table, folio, values[i].first, values[i].second})
          ->Close();
    }
    return true;
  } catch (const std::exception& failure) {
    // The screen reports the failure with its own message; the cause goes with it.
    Context().dialogs.NoteFailureCause(DescriptionOf(failure));
    return false;
  }
}

void HeadlessToolbar::LoadAdditionalFields(const std::string& folio) {
  Context().database.CaptureLeft();
  // A load found this record; it is live only once the load sets activeFlag1 for it.
  record_key_ = folio;
  live_key_.reset();
  inactive_record_ = Flag(ToolbarFlag::kLoaded);
  FollowRecord();
  values_.reset();
  AdditionalFields();
  if (!definitions_->empty()) {
    std::unique_ptr<Recordset> result = Context().database.HostQuery(
        "SELECT field_name AS f, value AS v FROM additional_field_value WHERE table_name = ? "
        "AND record_key = ?",
        {definitions_->front().table, folio});
    for (; !result->Eof(); result->MoveNext()) {
      const std::string name = result->Fields("f").Value().TextOrEmpty();
      for (auto& field : *values_)
        if (field.first == name) field.second = result->Fields("v").Value().TextOrEmpty();
    }
    result->Close();
  }
  Notify();
}

}  // namespace nv407::host
