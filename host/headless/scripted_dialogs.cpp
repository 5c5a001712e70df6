#include "host/headless/scripted_dialogs.h"

#include <initializer_list>

#include "component/host_services.h"
#include "host/headless/text_rules.h"

namespace nv407::host {
namespace {

template <typename Call>
std::vector<Call> CallsOf(const std::vector<DialogCall>& calls) {
  std::vector<Call> out;
  for (const DialogCall& call : calls)
    if (const auto* typed = std::get_if<Call>(&call)) out.push_back(*typed);
  return out;
}

}  // namespace

int ScriptedDialogs::ShowMessage(const MessageRequest& message) {
  int answer = DefaultMessageAnswer(message.style);
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  }
  Record(MessageCall{message, answer});
  return answer;
}

std::string ScriptedDialogs::EditExtendedText(std::string& concept_text, const std::string& text,
                                              int width) {
  EditorCall call{concept_text, text, width, concept_text, text};
  // A concept queued comes back through a one-line box, as typed in the window; one left
  // as it was, as it was.
  if (!editor_results_.empty()) {
    call.returned_concept = OneLineOf(editor_results_.front().first);
    call.returned_text = std::move(editor_results_.front().second);
    editor_results_.pop_front();
  }
  concept_text = call.returned_concept;
  std::string returned = call.returned_text;
  Record(std::move(call));
  return returned;
}

void ScriptedDialogs::ShowRecord(const std::string& table, const std::string& key_column,
                                 const std::string& key) {
  Record(ViewerCall{table, key_column, key});
}

std::vector<MessageCall> ScriptedDialogs::Messages() const {
  return CallsOf<MessageCall>(calls_);
}
std::vector<EditorCall> ScriptedDialogs::EditorCalls() const {
  return CallsOf<EditorCall>(calls_);
}
std::vector<ViewerCall> ScriptedDialogs::ViewerCalls() const {
  return CallsOf<ViewerCall>(calls_);
}

void ScriptedDialogs::Record(DialogCall call) {
  calls_.push_back(std::move(call));
  for (const auto& observer : observers_) observer(calls_.back());
}

}  // namespace nv407::host
