#include "component/component.h"

// The start-up routine runs once, on the first call. The component-wide state is never
// destroyed: it lives as long as the process, and its host objects may be gone at exit.
extern "C" __attribute__((visibility("default"))) nv407::Pantalla* nv407_CreatePantalla(
    nv407::HostLibrary* host) {
  static nv407::Component* component = new nv407::Component(*host);
  return component->CreatePantalla().release();
}
