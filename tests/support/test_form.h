#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "component/control_layout.h"
#include "component/form.h"
#include "host/headless/control_factory.h"

namespace nv407::testing {

// A form made of whatever layout rows a test gives, built with a control factory as the
// screen builds its own; for testing controls without the screen.
class TestForm final : public Form {
 public:
  TestForm(ControlFactory& factory, const std::vector<ControlLayout>& rows);

  std::vector<Control*> Controls() const override;
  Control* FindControl(std::string_view name, int index = -1) const override;
  std::intptr_t WindowHandle() const override { return 4070; }

  template <typename T>
  T& Get(std::string_view name) const {
    return dynamic_cast<T&>(*FindControl(name));
  }

 private:
  std::vector<std::unique_ptr<Control>> controls_;
};

// Layout rows for tests: a row of the kind, name and tab index, with settings.
ControlLayout Row(ControlKind kind, std::string name, int tab_index = -1,
                  std::vector<std::pair<std::string, std::string>> settings = {},
                  bool enabled = true);

}  // namespace nv407::testing
