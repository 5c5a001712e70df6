#include "host/headless/error_presentation.h"

#include "component/error.h"
#include "component/host_services.h"

namespace nv407::host {

void PresentError(Dialogs& dialogs, std::intptr_t owner, const std::string& description) {
  MessageRequest message;
  message.text = description;
  message.style = message_style::kStop;
  message.title = "ERROR";
  message.owner = owner;
  message.module = "NV407";
  message.error_id = kUnreportedErrorId;
  dialogs.ShowMessage(message);
}

bool RunPresentingErrors(Dialogs& dialogs, std::intptr_t owner, const std::function<void()>& step) {
  try {
    step();
    return true;
  } catch (const Error& error) {
    PresentError(dialogs, owner, error.Description());
  } catch (const std::exception& error) {
    PresentError(dialogs, owner, error.what());
  } catch (...) {
    PresentError(dialogs, owner, "Unknown error");
  }
  return false;
}

}  // namespace nv407::host
