#pragma once

#include "component/form.h"
#include "component/host_services.h"
#include "component/variant.h"

namespace nv407 {

// The one class the component offers its host.
class Pantalla {
 public:
  virtual ~Pantalla() = default;
  // The capture screen, made on the first call and the same on every later one;
  // nullptr (and no error) when it cannot be made.
  virtual Screen* GetPantalla() = 0;
  virtual Variant Modulo() = 0;  // "SERVICIOS"
};

}  // namespace nv407

// The component's one exported entry point. The first call runs the component's
// start-up with the given host library; every call hands out a new Pantalla that the
// caller owns and deletes. The host library must outlive the component.
#define NV407_ENTRY_POINT_NAME "nv407_CreatePantalla"
extern "C" {
using Nv407CreatePantallaFunction = nv407::Pantalla* (*)(nv407::HostLibrary* host);
}
