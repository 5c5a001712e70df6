#pragma once

#include <functional>
#include <string>
#include <vector>

#include "component/form.h"

namespace nv407::host {

// Which control of one form has the focus, and where the Tab key takes it.
class FocusTracker {
 public:
  explicit FocusTracker(const Form& form) : form_(form) {}

  Control* Focused() const { return focused_; }
  std::string FocusedName() const;  // "" when no control has the focus

  // A disabled or hidden control, a label or the colour scheme cannot take the focus:
  // raises "Invalid procedure call", as the old platform did.
  void Focus(Control& control);
  // The controls the Tab key stops at now, in tab order: those with a tab stop that are
  // enabled, visible and not locked.
  std::vector<Control*> TabOrder() const;
  // The user presses Tab: the focused control is left first (a key field may raise a
  // notification), then the focus moves to the next control in tab order, round the end.
  void Tab();
  // Moves the focus as Tab does, without leaving the focused control.
  void MoveToNext();
  // A control that is disabled while it has the focus passes the focus on.
  void ControlDisabled(const Control& control);

  void Observe(std::function<void()> observer) { observers_.push_back(std::move(observer)); }

 private:
  void Set(Control* control);
  const std::vector<Control*>& Stops() const;

  const Form& form_;
  mutable std::vector<Control*> stops_;  // the controls with a tab stop, in tab order
  Control* focused_ = nullptr;
  std::vector<std::function<void()>> observers_;
};

bool CanTakeFocus(const Control& control);

}  // namespace nv407::host
