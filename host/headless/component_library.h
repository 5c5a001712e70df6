#pragma once

#include <functional>
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

  // The environment's NV407_PLUGIN, else the library installed with the running program,
  // else, for a program run from the build tree, the library built with it. An installed
  // program without its library gets the missing file's path, which the load then names.
  static std::string DefaultPath();

 private:
  std::string path_;
  void* handle_ = nullptr;
  Nv407CreatePantallaFunction entry_ = nullptr;
};

// Makes the component in process (for programs and tests that link it): given the host
// library, hands out a Pantalla that keeps the component alive as long as it lives.
using PantallaFactory = std::function<std::unique_ptr<Pantalla>(HostLibrary&)>;

// Where a host gets the component's Pantalla: from a factory when it has one, else from
// the component's shared library, opened on first use. The Pantalla goes before the
// library that holds its code.
class ComponentSource {
 public:
  ComponentSource(PantallaFactory factory, std::string plugin_path)
      : factory_(std::move(factory)), plugin_path_(std::move(plugin_path)) {}

  // The Pantalla, made with `library` on the first call; raises when it cannot be had.
  Pantalla& Get(HostLibrary& library);
  // Deletes the Pantalla, then closes the library.
  void Release();

 private:
  PantallaFactory factory_;
  std::string plugin_path_;
  std::unique_ptr<ComponentLibrary> plugin_;
  std::unique_ptr<Pantalla> pantalla_;
};

}  // namespace nv407::host
