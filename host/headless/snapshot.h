#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "component/control_layout.h"
#include "component/form.h"
#include "component/screen_state.h"
#include "host/headless/controls.h"
#include "host/headless/focus.h"

namespace nv407::host {

// What one input control shows: text boxes their text, the combo box its chosen item's
// text, buttons their caption; date fields their date.
struct ControlSnapshot {
  std::string name;
  int index = -1;  // element of a control array, -1 when the control is not in one
  ControlKind kind = ControlKind::kTextBox;
  std::string text;
  // Date fields only: the date as "YYYY-MM-DD", with "THH:MM:SS" when it has a time;
  // nothing when the field is empty.
  std::optional<std::string> date;
  bool enabled = false;
};

struct ToolbarSnapshot {
  bool ready = false, busy = false;
  bool loadedFlag = false, activeFlag1 = false, activeFlag2 = false, extraFlag1 = false,
       extraFlag2 = false;
  ToolbarMode mode = ToolbarMode::kIdle;
  std::vector<ToolbarCommand> available;  // the commands the user can press now
};

// A list row as [key, text, sub-item 1, ..., sub-item 4].
using ListRow = std::vector<std::string>;

// Everything the screen shows at one moment.
struct ScreenSnapshot {
  std::vector<ControlSnapshot> controls;  // text boxes, date fields, combo boxes and buttons
  std::string focus;                      // "" when no control has the focus
  std::vector<ListRow> services, periods;
  ToolbarSnapshot toolbar;
  ScreenState state;
  bool closed = false;  // the window was unloaded (Salir)

  // Raises an Error for a name that is not among `controls`.
  const ControlSnapshot& Find(std::string_view name) const;
};

ScreenSnapshot TakeSnapshot(const Screen& screen, const FocusTracker& focus, bool closed);

}  // namespace nv407::host
