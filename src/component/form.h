#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "component/controls.h"
#include "component/screen_state.h"
#include "component/variant.h"

namespace nv407 {

// A window made of named controls, as the host's services and control set see it.
class Form {
 public:
  virtual ~Form() = default;
  virtual std::vector<Control*> Controls() const = 0;  // in the order of the layout table
  // By name (and element, for a control array); nullptr when there is none.
  virtual Control* FindControl(std::string_view name, int index = -1) const = 0;
  virtual std::intptr_t WindowHandle() const = 0;
};

// The host's context object of a screen (its parent window), reached by member name.
class HostWindow {
 public:
  virtual ~HostWindow() = default;
  // Raises an Error when the object has no member of that name.
  virtual Variant Member(const std::string& name) = 0;
  virtual void Unload() = 0;
};

// A screen as its host drives it: the host sets its parent, loads it and activates it.
class Screen : public Form {
 public:
  virtual void SetPadre(std::shared_ptr<HostWindow> padre) = 0;
  virtual std::shared_ptr<HostWindow> Padre() const = 0;
  virtual std::string Transaccion() = 0;
  virtual void Load() = 0;      // once, before the first activation
  virtual void Activate() = 0;  // each time the screen becomes the active window
  virtual const ScreenState& State() const = 0;
};

}  // namespace nv407
