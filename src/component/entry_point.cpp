#include "component/component.h"

// The start-up routine runs once, on the first call. The component-wide state lives until
// the component is unloaded (its library closed, or the process ending), so a host must
// release every Pantalla, and keep its host library alive, until then.
extern "C" __attribute__((visibility("default"))) nv407::Pantalla* nv407_CreatePantalla(
    nv407::HostLibrary* host) {
  static nv407::Component component(*host);
  return component.CreatePantalla().release();
}
