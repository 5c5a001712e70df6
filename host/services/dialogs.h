#pragma once

#include <cstdint>
#include <string>

namespace nv407::host {

struct MessageRequest {
  std::string text;
  int style = 0;
  std::string title;
  std::intptr_t owner = 0;
  std::string module;
  std::string error_id;
};

// Everything the host shows the user in a window of its own. The headless host answers
// from queues; the desktop host opens real dialogs.
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Returns the button pressed: 1 OK, 6 Yes, 7 No.
  virtual int ShowMessage(const MessageRequest& message) = 0;
  // The extended-text editor; may change the concept in place; returns the edited text.
  virtual std::string EditExtendedText(std::string& concept_text, const std::string& text,
                                       int width) = 0;
  // The record viewer, on one record of a table.
  virtual void ShowRecord(const std::string& table, const std::string& key_column,
                          const std::string& key) = 0;
};

}  // namespace nv407::host
