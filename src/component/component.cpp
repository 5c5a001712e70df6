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

}  // namespace nv407
