// A script line is whatever its writer typed: ParseAction reads it or raises LineError,
// never anything else, and an action it read, written back as a line, reads the same.
#include <nlohmann/json.hpp>

#include "component/host_services.h"
#include "fuzz/fuzz_support.h"
#include "host/programs/script_actions.h"

namespace nv407::fuzz {
namespace {

using host::script::Action;
using nlohmann::json;

json LineOf(const Action& action) {
  using namespace host::script;
  struct Writer {
    json operator()(const OpenAction& a) { return {{"do", "open"}, {"params", a.params}}; }
    json operator()(const ActivateAction&) { return {{"do", "activate"}}; }
    json operator()(const TypeAction& a) {
      return {{"do", "type"}, {"control", a.control}, {"text", a.text}};
    }
    json operator()(const DateAction& a) {
      return {{"do", "date"}, {"control", a.control}, {"value", a.value.ToText('T')}};
    }
    json operator()(const ChooseAction& a) {
      return {{"do", "choose"}, {"control", a.control}, {"text", a.text}};
    }
    json operator()(const ToolbarAction& a) { return {{"do", "toolbar"}, {"command", a.command}}; }
    json operator()(const ClickAction& a) { return {{"do", "click"}, {"control", a.control}}; }
    json operator()(const AnswerAction& a) {
      const char* button = a.button == message_answer::kYes  ? "yes"
                           : a.button == message_answer::kNo ? "no"
                                                             : "ok";
      return {{"do", "answer"}, {"button", button}};
    }
    json operator()(const EditorAction& a) {
      return {{"do", "editor"}, {"concept", a.concept_text}, {"text", a.text}};
    }
    json operator()(const ShowAction&) { return {{"do", "show"}}; }
  };
  return std::visit(Writer{}, action);
}

// Texts that are not UTF-8 cannot be written back as JSON; they still must read once.
std::string Written(const json& line) {
  return line.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace
}  // namespace nv407::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nv407::fuzz;
  const std::string_view line = Text(data, size);
  Action action;
  try {
    action = nv407::host::script::ParseAction(line);
  } catch (const nv407::host::script::LineError&) {
    return 0;  // any other exception ends the run: the script program would abort on it
  }
  const std::string written = Written(LineOf(action));
  try {
    const std::string again = Written(LineOf(nv407::host::script::ParseAction(written)));
    Check(again == written, "an action written back reads the same", written + "\n" + again);
  } catch (const nv407::host::script::LineError& refused) {
    Broken("an action written back reads again", written + "\n" + refused.what());
  }
  return 0;
}
