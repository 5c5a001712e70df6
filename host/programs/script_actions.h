#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

#include "component/date.h"
#include "host/headless/headless_host.h"

namespace nv407::host::script {

// A script line that cannot be read or acted on; what() says why.
class LineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct OpenAction {
  std::string params;
};
struct ActivateAction {};
struct TypeAction {
  std::string control, text;
};
struct DateAction {
  std::string control;
  Date value;
};
struct ChooseAction {
  std::string control, text;
};
struct ToolbarAction {
  std::string command;
};
struct ClickAction {
  std::string control;
};
struct AnswerAction {
  int button = 0;  // message_answer
};
struct EditorAction {
  std::string concept_text, text;
};
struct ShowAction {};

using Action = std::variant<OpenAction, ActivateAction, TypeAction, DateAction, ChooseAction,
                            ToolbarAction, ClickAction, AnswerAction, EditorAction, ShowAction>;

// One line of a script: a JSON object whose "do" names the action. Raises LineError for
// anything else, for unknown keys and for missing or ill-typed values.
Action ParseAction(std::string_view line);

// Acts on the host. Raises LineError when the host refuses the action (no such control, a
// disabled one, a command that is not available, the screen not open).
void Perform(HeadlessHost& host, const Action& action);

}  // namespace nv407::host::script
