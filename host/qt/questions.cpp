#include "host/qt/questions.h"

#include "component/host_services.h"

namespace nv407::host {

bool AskYesNo(Dialogs& dialogs, std::intptr_t owner, const std::string& title,
              const std::string& text) {
  MessageRequest question;
  question.text = text;
  question.style = message_style::kYesNoQuestion;
  question.title = title;
  question.owner = owner;
  question.module = "NV407";
  return dialogs.ShowMessage(question) == message_answer::kYes;
}

}  // namespace nv407::host
