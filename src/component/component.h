#pragma once

#include <memory>
#include <string>

#include "component/host_services.h"
#include "component/pantalla.h"

namespace nv407 {

class frmNV407;

// The component-wide state: the two host service objects made at start-up, the single
// screen and the one SQL text in which the screen composes its statements.
class Component {
 public:
  // The start-up routine: creates the AppServices, then the UtilityServices.
  explicit Component(HostLibrary& host);
  ~Component();
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  std::unique_ptr<Pantalla> CreatePantalla();

  HostLibrary& Host() { return host_; }
  AppServices& App() { return *app_services_; }
  UtilityServices& Utility() { return *utility_services_; }
  std::string& Sql() { return sql_; }
  frmNV407* ScreenInstance() { return screen_.get(); }
  void SetScreenInstance(std::unique_ptr<frmNV407> screen);

 private:
  HostLibrary& host_;
  std::unique_ptr<AppServices> app_services_;
  std::unique_ptr<UtilityServices> utility_services_;
  std::unique_ptr<frmNV407> screen_;
  std::string sql_;
};

// A component of its own for a host that links the component rather than loading its
// library: the Pantalla handed out keeps that component alive as long as it lives.
std::unique_ptr<Pantalla> MakeInProcessPantalla(HostLibrary& host);

}  // namespace nv407
