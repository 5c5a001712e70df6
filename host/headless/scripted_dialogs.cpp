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

int ScriptedDialogs::DefaultAnswer(int style) {
  constexpr int kOkCancel = 1, kAbortRetryIgnore = 2, kYesNoCancel = 3, kYesNo = 4,
                kRetryCancel = 5;
  constexpr int kCancel = 2, kAbort = 3, kRetry = 4, kIgnore = 5;
  const int default_button = (style >> 8) & 3;  // 0 first, 1 second, 2 third
  auto pick = [default_button](std::initializer_list<int> buttons) {
    const int index = default_button < static_cast<int>(buttons.size()) ? default_button : 0;
    return *(buttons.begin() + index);
  };
  switch (style & 7) {
    case kOkCancel:
      return pick({message_answer::kOk, kCancel});
    case kAbortRetryIgnore:
      return pick({kAbort, kRetry, kIgnore});
    case kYesNoCancel:
      return pick({message_answer::kYes, message_answer::kNo, kCancel});
    case kYesNo:
      return pick({message_answer::kYes, message_answer::kNo});
    case kRetryCancel:
      return pick({kRetry, kCancel});
    default:
      return message_answer::kOk;
  }
}

int ScriptedDialogs::ShowMessage(const MessageRequest& message) {
  int answer = DefaultAnswer(message.style);
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
    call.returned_concept = WithoutControlCharacters(editor_results_.front().first);
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
