#pragma once

#include <deque>
#include <functional>
#include <string>
#include <utility>

#include "host/headless/scripted_dialogs.h"
#include "host/qt/qt_dialogs.h"

namespace nv407::host {

// The host's real dialogs, answered by synthesized input from what a script queued, as
// polizas-script's scripted dialogs answer from their queues: a message box gets the
// button of the next queued answer (Enter, its default button, when none is queued or it
// has no such button); the editor gets the next queued concept and text typed over its
// own, then OK (just OK when none is queued); the record viewer is closed with Esc. Each
// call is told, once answered, in the form the scripted dialogs record it.
class PlayedDialogs final : public Dialogs {
 public:
  explicit PlayedDialogs(Database& database) : real_(database) {}
  void SetParent(QWidget* parent) { real_.SetParent(parent); }

  void QueueAnswer(int answer) { answers_.push_back(answer); }
  void QueueEditorResult(std::string concept_text, std::string text) {
    editor_results_.emplace_back(std::move(concept_text), std::move(text));
  }
  // Told of every call once it is answered.
  void OnCall(std::function<void(const DialogCall&)> told) { told_ = std::move(told); }
  // Told of every dialog once it is on the screen, before it is answered.
  void OnShown(std::function<void(QWidget& dialog)> shown) { shown_ = std::move(shown); }

  int ShowMessage(const MessageRequest& message) override;
  std::string EditExtendedText(std::string& concept_text, const std::string& text,
                               int width) override;
  void ShowRecord(const std::string& table, const std::string& key_column,
                  const std::string& key) override;

 private:
  void Shown(QWidget& dialog);
  void Tell(const DialogCall& call);

  QtDialogs real_;
  std::deque<int> answers_;
  std::deque<std::pair<std::string, std::string>> editor_results_;
  std::function<void(const DialogCall&)> told_;
  std::function<void(QWidget&)> shown_;
};

}  // namespace nv407::host
