#include "component/component.h"

#include "screen/frm_nv407.h"

namespace nv407 {
namespace {

class PantallaImpl final : public Pantalla {
 public:
  explicit PantallaImpl(Component& component) : component_(component) {}

  Screen* GetPantalla() override {
    try {
      if (component_.ScreenInstance() == nullptr)
        component_.SetScreenInstance(std::make_unique<frmNV407>(component_));
      return component_.ScreenInstance();
    } catch (...) {
      // The host receives no screen and no error.
      return nullptr;
    }
  }

  Variant Modulo() override { return Variant("SERVICIOS"); }

 private:
  Component& component_;
};

// Keeps a component (its service objects and its screen) alive with its Pantalla.
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

Component::Component(HostLibrary& host)
    : host_(host),
      app_services_(host.CreateAppServices()),
      utility_services_(host.CreateUtilityServices()) {}

Component::~Component() = default;

std::unique_ptr<Pantalla> Component::CreatePantalla() {
  return std::make_unique<PantallaImpl>(*this);
}

void Component::SetScreenInstance(std::unique_ptr<frmNV407> screen) {
  screen_ = std::move(screen);
}

std::unique_ptr<Pantalla> MakeInProcessPantalla(HostLibrary& host) {
  return std::make_unique<InProcessPantalla>(host);
}

}  // namespace nv407
