#include "host/headless/snapshot.h"

#include "component/error.h"
#include "host/headless/headless_host.h"

namespace nv407::host {
namespace {

std::vector<ListRow> Rows(const Screen& screen, std::string_view list_name) {
  std::vector<ListRow> rows;
  const auto* list = dynamic_cast<const HeadlessListView*>(screen.FindControl(list_name));
  if (list == nullptr) return rows;
  for (const ListItem& item : list->Items().All()) {
    ListRow row{item.Key(), item.Text()};
    for (int sub_item = 1; sub_item <= 4; ++sub_item) row.push_back(item.SubItem(sub_item));
    rows.push_back(std::move(row));
  }
  return rows;
}

ToolbarSnapshot SnapshotToolbar(const Screen& screen) {
  ToolbarSnapshot snapshot;
  const HeadlessToolbar* toolbar = FindToolbar(screen);
  if (toolbar == nullptr) return snapshot;
  snapshot.ready = toolbar->Ready();
  snapshot.busy = toolbar->Busy();
  snapshot.loadedFlag = toolbar->Flag(ToolbarFlag::kLoaded);
  snapshot.activeFlag1 = toolbar->Flag(ToolbarFlag::kActive1);
  snapshot.activeFlag2 = toolbar->Flag(ToolbarFlag::kActive2);
  snapshot.extraFlag1 = toolbar->Flag(ToolbarFlag::kExtra1);
  snapshot.extraFlag2 = toolbar->Flag(ToolbarFlag::kExtra2);
  snapshot.mode = toolbar->Mode();
  for (ToolbarCommand command : kToolbarCommands)
    if (toolbar->CommandEnabled(command)) snapshot.available.push_back(command);
  return snapshot;
}

}  // namespace

const ControlSnapshot& ScreenSnapshot::Find(std::string_view name) const {
  for (const ControlSnapshot& control : controls)
    if (control.name == name) return control;
  throw Error("The snapshot has no control named " + std::string(name));
}

ScreenSnapshot TakeSnapshot(const Screen& screen, const FocusTracker& focus, bool closed) {
  ScreenSnapshot snapshot;
  for (Control* control : screen.Controls()) {
    ControlSnapshot entry{control->Name(), control->Layout().index, control->Kind(), {},
                          std::nullopt,    control->Enabled()};
    if (const auto* box = dynamic_cast<const TextBox*>(control)) {
      entry.text = box->Text();
    } else if (const auto* field = dynamic_cast<const DateField*>(control)) {
      const Variant value = field->Value();
      if (!value.IsEmpty()) entry.date = value.ToDate().ToText('T');
    } else if (const auto* combo = dynamic_cast<const ComboBox*>(control)) {
      entry.text = combo->Text();
    } else if (const auto* button = dynamic_cast<const HeadlessFlatButton*>(control)) {
      entry.text = button->Caption();
    } else {
      continue;
    }
    snapshot.controls.push_back(std::move(entry));
  }
  snapshot.focus = focus.FocusedName();
  snapshot.services = Rows(screen, "lvServicios");
  snapshot.periods = Rows(screen, "lvPeriodos");
  snapshot.toolbar = SnapshotToolbar(screen);
  snapshot.state = screen.State();
  snapshot.closed = closed;
  return snapshot;
}

}  // namespace nv407::host
