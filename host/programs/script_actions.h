#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

#include "component/date.h"
#include "host/headless/headless_host.h"
#include "host/lists/policy_list.h"

namespace nv407::host::script {

// A script line that cannot be read or acted on; what() says why.
// Its message on one line, whatever the script gave: a control character in a name (a NUL,
// a line break) is written as JSON escapes it, not cut or broken over lines.
class LineError : public std::runtime_error {
 public:
  explicit LineError(const std::string& message);
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
// The host's policy finder: the policies the text and filter find, and the folio picked
// from them, if any, entered into the folio field as if typed.
struct FindAction {
  std::string text;
  PolicySelection selection;
  std::optional<std::string> pick;
};
// The host's Renovar on the policy shown.
struct RenewAction {};

using Action =
    std::variant<OpenAction, ActivateAction, TypeAction, DateAction, ChooseAction, ToolbarAction,
                 ClickAction, AnswerAction, EditorAction, ShowAction, FindAction, RenewAction>;

// One line of a script: a JSON object whose "do" names the action. Raises LineError for
// anything else, for unknown keys and for missing or ill-typed values.
Action ParseAction(std::string_view line);

// Acts on the host. Raises LineError when the host refuses the action (no such control, a
// disabled one, a command that is not available, the screen not open).
void Perform(HeadlessHost& host, const Action& action);

// The finder's first page for the action, as the finder shows it (FinderCall's rows),
// as of the session's server date.
std::vector<std::vector<std::string>> FoundPolicies(Database& database, const Date& today,
                                                    const FindAction& action);
// The row picked must be among those listed: raises LineError otherwise.
void RequireListed(const std::vector<std::vector<std::string>>& rows, const std::string& folio);

}  // namespace nv407::host::script
