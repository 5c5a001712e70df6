#include "support/screen_fixture.h"

#include "component/component.h"
#include "component/error.h"
#include "component/host_services.h"

namespace nv407::testing {
host::PantallaFactory InProcessComponent() {
  return [](HostLibrary& library) { return MakeInProcessPantalla(library); };
}

std::unique_ptr<host::HeadlessHost> MakeHost(TestDatabase& database, const std::string& user) {
  return std::make_unique<host::HeadlessHost>(
      database.db(), host::SessionSettings{user, database.clock()}, InProcessComponent());
}

void ScreenTest::GivenOperator(const std::string& user) {
  if (host_) throw Error("GivenOperator comes before the host is made (before any When or Open)");
  user_ = user;
}

host::HeadlessHost& ScreenTest::host() {
  if (!host_) host_ = MakeHost(db, user_);
  return *host_;
}

void ScreenTest::WhenNextAnswerIs(const std::string& button) {
  if (button == "yes") return host().dialogs().QueueAnswer(message_answer::kYes);
  if (button == "no") return host().dialogs().QueueAnswer(message_answer::kNo);
  if (button == "ok") return host().dialogs().QueueAnswer(message_answer::kOk);
  throw Error("No button \"" + button + "\"");
}

std::optional<Date> ScreenTest::DateIn(const std::string& control) {
  const Variant value = host().Get<host::HeadlessDateField>(control).Value();
  if (value.IsEmpty()) return std::nullopt;
  return value.ToDate();
}

}  // namespace nv407::testing
