#include "host/headless/error_presentation.h"

#include "component/error.h"
#include "component/host_services.h"

namespace nv407::host {

namespace {

void Present(Dialogs& dialogs, std::intptr_t owner, const std::string& text, int style,
             const char* title, const char* error_id) {
  MessageRequest message;
  message.text = text;
  message.style = style;
  message.title = title;
  message.owner = owner;
  message.module = "NV407";
  message.error_id = error_id;
  dialogs.TakeFailureCause();  // of another failure than the one this reports
  dialogs.ShowMessage(message);
}

}  // namespace

void PresentError(Dialogs& dialogs, std::intptr_t owner, const std::string& description) {
  Present(dialogs, owner, description, message_style::kStop, "ERROR", kUnreportedErrorId);
}

bool RunPresentingErrors(Dialogs& dialogs, std::intptr_t owner, const std::function<void()>& step) {
  try {
    step();
    return true;
  } catch (const EntryRefused& refusal) {
    Present(dialogs, owner, refusal.Description(), message_style::kWarning, "Dato no válido", "");
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
