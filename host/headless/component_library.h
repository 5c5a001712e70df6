#pragma once

#include <memory>
#include <string>

#include "component/host_services.h"
#include "component/pantalla.h"

namespace nv407::host {

// The component's shared library, opened at run time and closed with this object. The
// component keeps the host library of its first start-up for as long as it is loaded, so
// a process holds one at a time: opening it while it is still loaded raises an Error.
class ComponentLibrary {
 public:
  // Raises an Error naming the path and the loader's reason.
  explicit ComponentLibrary(std::string path);
  ~ComponentLibrary();
  ComponentLibrary(const ComponentLibrary&) = delete;
  ComponentLibrary& operator=(const ComponentLibrary&) = delete;

  // Through the exported entry point; the first call starts the component up with `host`.
  std::unique_ptr<Pantalla> CreatePantalla(HostLibrary& host);
  const std::string& Path() const { return path_; }

  // The environment's NV407_PLUGIN, else the library built with this host.
  static std::string DefaultPath();

 private:
  std::string path_;
  void* handle_ = nullptr;
  Nv407CreatePantallaFunction entry_ = nullptr;
};

}  // namespace nv407::host
