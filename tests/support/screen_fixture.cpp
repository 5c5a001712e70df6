#include "support/screen_fixture.h"

#include "component/component.h"
#include "component/error.h"
#include "component/host_services.h"

namespace nv407::testing {
namespace {

// Keeps the component (the service objects and the screen) alive with its Pantalla.
class InProcessPantalla final : public Pantalla {
 public:
  explicit InProcessPantalla(HostLibrary& host)
      : component_(std::make_unique<Component>(host)), pantalla_(component_->CreatePantalla()) {}
  Screen* GetPantalla() override { return pantalla_->GetPantalla(); }
  Variant Modulo() override { return pantalla_->Modulo(); }

 private:
  std::unique_ptr<Component> component_;
  std::unique_ptr<Pantalla> pantalla_;
};

}  // namespace

host::PantallaFactory InProcessComponent() {
  return [](HostLibrary& library) -> std::unique_ptr<Pantalla> {
    return std::make_unique<InProcessPantalla>(library);
  };
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
