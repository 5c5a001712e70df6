#pragma once

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "host/services/dialogs.h"

namespace nv407::host {

struct MessageCall {
  MessageRequest request;
  int answer = 0;  // the button the box returned
};

struct EditorCall {
  std::string concept_text, text;  // what the editor was opened with
  int width = 0;
  std::string returned_concept, returned_text;
};

struct ViewerCall {
  std::string table, key_column, key;
};

using DialogCall = std::variant<MessageCall, EditorCall, ViewerCall>;

// Dialogs that a test or a script answers in advance, recording every call in order.
// A message box with nothing queued gets its default button, as a user pressing Enter
// would: OK for the stop and warning boxes, No for the yes/no question (style 292). The
// editor with nothing queued returns the concept and the text it was given.
class ScriptedDialogs final : public Dialogs {
 public:
  // Answers go to the message boxes in the order queued, whatever their style.
  void QueueAnswer(int answer) { answers_.push_back(answer); }
  void QueueEditorResult(std::string concept_text, std::string text) {
    editor_results_.emplace_back(std::move(concept_text), std::move(text));
  }

  int ShowMessage(const MessageRequest& message) override;
  std::string EditExtendedText(std::string& concept_text, const std::string& text,
                               int width) override;
  void ShowRecord(const std::string& table, const std::string& key_column,
                  const std::string& key) override;

  const std::vector<DialogCall>& Calls() const { return calls_; }
  std::vector<MessageCall> Messages() const;
  std::vector<EditorCall> EditorCalls() const;
  std::vector<ViewerCall> ViewerCalls() const;

  // Called with every call as it is recorded.
  void Observe(std::function<void(const DialogCall&)> observer) {
    observers_.push_back(std::move(observer));
  }

 private:
  void Record(DialogCall call);

  std::deque<int> answers_;
  std::deque<std::pair<std::string, std::string>> editor_results_;
  std::vector<DialogCall> calls_;
  std::vector<std::function<void(const DialogCall&)>> observers_;
};

}  // namespace nv407::host
