#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "component/host_services.h"

namespace nv407::host {

// A message's buttons, as the answers they give, in the order the style's low bits place
// them.
inline std::vector<int> MessageButtons(int style) {
  using namespace nv407::message_answer;
  switch (style & 7) {
    case 1:
      return {kOk, kCancel};
    case 2:
      return {kAbort, kRetry, kIgnore};
    case 3:
      return {kYes, kNo, kCancel};
    case 4:
      return {kYes, kNo};
    case 5:
      return {kRetry, kCancel};
    default:
      return {kOk};
  }
}

// The answer of the style's default button (bits 8 and 9: the first, second or third); the
// first button's where the style names one it lacks.
inline int DefaultMessageAnswer(int style) {
  const std::vector<int> buttons = MessageButtons(style);
  const auto index = static_cast<std::size_t>((style >> 8) & 3);
  return index < buttons.size() ? buttons[index] : buttons.front();
}

struct MessageRequest {
  std::string text;
  int style = 0;
  std::string title;
  std::intptr_t owner = 0;
  std::string module;
  std::string error_id;
  // Why a host service failed where the screen reports the failure in its own words (a
  // service that answers only true or false): the database's account, shown as details.
  std::string detail = {};
};

// Everything the host shows the user in a window of its own. The headless host answers
// from queues; the desktop host opens real dialogs.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Returns the button pressed (message_answer).
  virtual int ShowMessage(const MessageRequest& message) = 0;
  // The extended-text editor; may change the concept in place; returns the edited text.
  virtual std::string EditExtendedText(std::string& concept_text, const std::string& text,
                                       int width) = 0;
  // The record viewer, on one record of a table.
  virtual void ShowRecord(const std::string& table, const std::string& key_column,
                          const std::string& key) = 0;

  // A service that can only answer false keeps its failure's cause here; the screen's next
  // message shows it as its details, and a message of the host's own drops it.
  void NoteFailureCause(std::string cause) { failure_cause_ = std::move(cause); }
  std::string TakeFailureCause() { return std::exchange(failure_cause_, {}); }

 private:
  std::string failure_cause_;
};

}  // namespace nv407::host
