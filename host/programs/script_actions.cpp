#include "host/programs/script_actions.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "component/error.h"
#include "component/host_services.h"
#include "host/headless/controls.h"
#include "host/headless/picked_folio.h"
#include "host/headless/renewal.h"
#include "host/headless/text_rules.h"

namespace nv407::host::script {
namespace {

using nlohmann::json;

// Keys that an action takes besides "do"; every one of them is a text.
struct Grammar {
  std::string_view action;
  std::vector<std::string_view> required, optional;
};

const std::array<Grammar, 12> kGrammar = {{
    {"open", {}, {"params"}},
    {"activate", {}, {}},
    {"type", {"control", "text"}, {}},
    {"date", {"control", "value"}, {}},
    {"choose", {"control", "text"}, {}},
    {"toolbar", {"command"}, {}},
    {"click", {"control"}, {}},
    {"answer", {"button"}, {}},
    {"editor", {"concept", "text"}, {}},
    {"show", {}, {}},
    {"find", {}, {"text", "filter", "days", "pick"}},
    {"renew", {}, {}},
}};

// nlohmann's messages start with "[json.exception.parse_error.101] "; the reader needs the rest.
std::string WithoutExceptionId(const std::string& message) {
  if (message.starts_with("[json.exception.")) {
    const auto end = message.find("] ");
    if (end != std::string::npos) return message.substr(end + 2);
  }
  return message;
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

std::string OnOneLine(const std::string& message) {
  std::string line;
  for (char c : message) {
    if (static_cast<unsigned char>(c) >= 0x20) {
      line += c;
    } else {
      const std::string escaped = json(std::string(1, c)).dump();
      line += escaped.substr(1, escaped.size() - 2);
    }
  }
  return line;
}

// A key written twice in a line would have the last one taken unseen.
bool RefuseRepeatedKeys(int depth, json::parse_event_t event, json& parsed,
                        std::vector<std::string>& keys) {
  if (depth == 1 && event == json::parse_event_t::key) {
    const std::string key = parsed.get<std::string>();
    if (std::find(keys.begin(), keys.end(), key) != keys.end())
      throw LineError("the key " + Quoted(key) + " is given twice");
    keys.push_back(key);
  }
  return true;
}

class Line {
 public:
  explicit Line(std::string_view text) {
    // A raw NUL is never valid JSON, but the parser takes one outside a text for the end of
    // its input and would drop what follows it.
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos)
      throw LineError("not valid JSON: a NUL byte at column " + std::to_string(nul + 1));
    std::vector<std::string> keys;
    try {
      object_ = json::parse(text, [&keys](int depth, json::parse_event_t event, json& parsed) {
        return RefuseRepeatedKeys(depth, event, parsed, keys);
      });
    } catch (const json::exception& failure) {  // bad syntax, a number out of range
      throw LineError("not valid JSON: " + WithoutExceptionId(failure.what()));
    }
    if (!object_.is_object()) throw LineError("not a JSON object");
    const auto action = object_.find("do");
    if (action == object_.end()) throw LineError("no \"do\" in the line");
    if (!action->is_string()) throw LineError("\"do\" must be a text");
    action_ = action->get<std::string>();
    const auto grammar = std::find_if(kGrammar.begin(), kGrammar.end(),
                                      [&](const Grammar& g) { return g.action == action_; });
    if (grammar == kGrammar.end()) throw LineError("unknown action " + Quoted(action_));
    CheckKeys(*grammar);
  }

  const std::string& action() const { return action_; }

  std::string Text(std::string_view key) const {
    return Optional(key).value();  // CheckKeys has made sure that it is there
  }

  std::optional<std::string> Optional(std::string_view key) const {
    const auto value = object_.find(key);
    if (value == object_.end()) return std::nullopt;
    return value->get<std::string>();
  }

 private:
  void CheckKeys(const Grammar& grammar) const {
    auto takes = [&grammar](std::string_view key) {
      return key == "do" ||
             std::find(grammar.required.begin(), grammar.required.end(), key) !=
                 grammar.required.end() ||
             std::find(grammar.optional.begin(), grammar.optional.end(), key) !=
                 grammar.optional.end();
    };
    for (const auto& [key, value] : object_.items()) {
      if (!takes(key)) throw LineError(Quoted(action_) + " takes no key " + Quoted(key));
      if (!value.is_string()) throw LineError(Quoted(key) + " must be a text");
    }
    for (std::string_view key : grammar.required) {
      if (!object_.contains(key)) throw LineError(Quoted(action_) + " needs " + Quoted(key));
    }
  }

  json object_;
  std::string action_;
};

int ParseButton(const std::string& button) {
  if (button == "yes") return message_answer::kYes;
  if (button == "no") return message_answer::kNo;
  if (button == "ok") return message_answer::kOk;
  throw LineError("\"button\" must be \"yes\", \"no\" or \"ok\", not " + Quoted(button));
}

// A day, as a user picks one in a calendar: no time of day.
Date ParseDate(const std::string& text) {
  const bool written_as_a_date = text.size() == 10 && text[4] == '-' && text[7] == '-' &&
                                 std::all_of(text.begin(), text.end(), [](char c) {
                                   return c == '-' || std::isdigit(static_cast<unsigned char>(c));
                                 });
  const std::optional<Date> date = written_as_a_date ? Date::Parse(text) : std::nullopt;
  if (date) return *date;
  if (written_as_a_date) {
    const int year = std::stoi(text.substr(0, 4));
    if (year < Date::kFirstYear || year > Date::kLastYear) {
      throw LineError("\"value\" " + Quoted(text) + " is outside the years " +
                      std::to_string(Date::kFirstYear) + " to " + std::to_string(Date::kLastYear) +
                      " that a date may have");
    }
    throw LineError("\"value\" " + Quoted(text) + " is no day of the calendar");
  }
  throw LineError("\"value\" must be a date YYYY-MM-DD, not " + Quoted(text));
}

std::string ParseCommand(const std::string& command) {
  if (!ParseToolbarCommand(command)) throw LineError("no toolbar command " + Quoted(command));
  return command;
}

PolicySelection ParseSelection(const std::optional<std::string>& filter,
                               const std::optional<std::string>& days) {
  PolicySelection selection;
  if (filter) {
    const std::optional<PolicyFilter> named = PolicyFilterNamed(*filter);
    if (!named) throw LineError("no filter " + Quoted(*filter));
    selection.filter = *named;
  }
  if (days) {
    const bool digits = !days->empty() && days->size() <= 9 &&
                        days->find_first_not_of("0123456789") == std::string::npos;
    const int number = digits ? std::stoi(*days) : -1;
    if (number < kFewestExpiringDays || number > kMostExpiringDays) {
      throw LineError("\"days\" must be a number of days from " +
                      std::to_string(kFewestExpiringDays) + " to " +
                      std::to_string(kMostExpiringDays) + ", not " + Quoted(*days));
    }
    selection.days = number;
  }
  return selection;
}

}  // namespace

LineError::LineError(const std::string& message) : std::runtime_error(OnOneLine(message)) {}

Action ParseAction(std::string_view text) {
  const Line line(text);
  const std::string& action = line.action();
  if (action == "open") return OpenAction{line.Optional("params").value_or("")};
  if (action == "activate") return ActivateAction{};
  if (action == "type") return TypeAction{line.Text("control"), line.Text("text")};
  if (action == "date") return DateAction{line.Text("control"), ParseDate(line.Text("value"))};
  if (action == "choose") return ChooseAction{line.Text("control"), line.Text("text")};
  if (action == "toolbar") return ToolbarAction{ParseCommand(line.Text("command"))};
  if (action == "click") return ClickAction{line.Text("control")};
  if (action == "answer") return AnswerAction{ParseButton(line.Text("button"))};
  if (action == "editor") return EditorAction{line.Text("concept"), line.Text("text")};
  if (action == "find") {
    // What the finder's one-line box can hold of the text.
    return FindAction{OneLineOf(line.Optional("text").value_or("")),
                      ParseSelection(line.Optional("filter"), line.Optional("days")),
                      line.Optional("pick")};
  }
  if (action == "renew") return RenewAction{};
  return ShowAction{};
}

void Perform(HeadlessHost& host, const Action& action) {
  struct Performer {
    HeadlessHost& host;
    void operator()(const OpenAction& a) { host.Open(a.params); }
    void operator()(const ActivateAction&) { host.Activate(); }
    void operator()(const TypeAction& a) { host.Type(a.control, a.text); }
    void operator()(const DateAction& a) { host.PickDate(a.control, a.value); }
    void operator()(const ChooseAction& a) { host.Choose(a.control, a.text); }
    void operator()(const ToolbarAction& a) { host.Press(a.command); }
    void operator()(const ClickAction& a) { host.Click(a.control); }
    void operator()(const AnswerAction& a) { host.dialogs().QueueAnswer(a.button); }
    void operator()(const EditorAction& a) {
      host.dialogs().QueueEditorResult(a.concept_text, a.text);
    }
    void operator()(const ShowAction&) {}
    void operator()(const FindAction& a) {
      host.RequireOpen();
      // The finder opens on the folio field: not while it takes no input.
      auto& folio = host.Get<HeadlessTextBox>("txtFolio");
      if (!folio.Enabled() || folio.Locked()) return folio.UserType(a.text);
      FinderCall call{
          a.text, std::string(PolicyFilterName(a.selection.filter)),
          FoundPolicies(host.database(), ServerNow(host.library().Settings(), host.database()), a),
          a.pick.value_or("")};
      if (a.pick) RequireListed(call.rows, *a.pick);
      host.Record(call);
      if (a.pick && host.Present([&] { RequireFolioFieldKeeps(host.screen(), *a.pick); }))
        host.Type("txtFolio", *a.pick);
    }
    void operator()(const RenewAction&) {
      host.RequireOpen();
      Renew(host.screen(), host.database());
    }
  };
  try {
    std::visit(Performer{host}, action);
  } catch (const Error& refused) {
    throw LineError(refused.Description());
  }
}

std::vector<std::vector<std::string>> FoundPolicies(Database& database, const Date& today,
                                                    const FindAction& action) {
  const ListSource list = PolicyList(database, today.DateOnly(), action.selection);
  // The finder's own order for a filter of what is about to end: by end date.
  const ListOrder order = action.selection.filter == PolicyFilter::kExpiring
                              ? ListOrder{kPolicyEnd, false}
                              : ListOrder{};
  std::vector<std::vector<std::string>> rows;
  for (const FoundRow& row :
       ReadPage(database, list, {action.text, std::nullopt, std::nullopt, kPageRows, order}))
    rows.push_back(ShownPolicyRow(row));
  return rows;
}

void RequireListed(const std::vector<std::vector<std::string>>& rows, const std::string& folio) {
  for (const auto& row : rows)
    if (row.front() == folio) return;
  throw LineError("the finder does not list " + Quoted(folio));
}

}  // namespace nv407::host::script
