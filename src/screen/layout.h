#pragma once

#include <string>
#include <vector>

#include "component/control_layout.h"

namespace nv407 {

// The capture screen as it was designed: one row per control, in the order in which
// the screen creates them. Both control sets build from this table.
struct ScreenLayout {
  std::string caption;                      // shown by the toolbar
  int client_width = 0, client_height = 0;  // twips
  Colour background;
  Font font;
  std::vector<ControlLayout> controls;
};

const ScreenLayout& frmNV407Layout();

}  // namespace nv407
