#include "host/headless/component_library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "component/error.h"

namespace nv407::host {
namespace {

std::string LoaderMessage() {
  const char* message = dlerror();
  return message != nullptr ? message : "unknown reason";
}

}  // namespace

std::string ComponentLibrary::DefaultPath() {
  const char* configured = std::getenv("NV407_PLUGIN");
  if (configured != nullptr && *configured != '\0') return configured;
  // An installed program finds the component beside it, wherever the installation went.
  std::error_code failed;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failed);
  if (!failed) {
    const std::filesystem::path installed = program.parent_path() / NV407_PLUGIN_INSTALLED;
    if (std::filesystem::exists(installed, failed)) return installed.lexically_normal().string();
  }
  return NV407_PLUGIN_PATH;
}

ComponentLibrary::ComponentLibrary(std::string path) : path_(std::move(path)) {
  if (void* resident = dlopen(path_.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
    dlclose(resident);
    throw Error("The component " + path_ +
                " is already loaded in this process, started with another host");
  }
  handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr)
    throw Error("Cannot load the component " + path_ + ": " + LoaderMessage());
  entry_ = reinterpret_cast<Nv407CreatePantallaFunction>(dlsym(handle_, NV407_ENTRY_POINT_NAME));
  if (entry_ == nullptr) {
    const std::string reason = LoaderMessage();
    dlclose(handle_);
    throw Error("The component " + path_ + " has no entry point " NV407_ENTRY_POINT_NAME ": " +
                reason);
  }
}

ComponentLibrary::~ComponentLibrary() {
  dlclose(handle_);
}

std::unique_ptr<Pantalla> ComponentLibrary::CreatePantalla(HostLibrary& host) {
  Pantalla* pantalla = entry_(&host);
  if (pantalla == nullptr) throw Error("The component " + path_ + " handed out no Pantalla");
  return std::unique_ptr<Pantalla>(pantalla);
}

Pantalla& ComponentSource::Get(HostLibrary& library) {
  if (!pantalla_) {
    if (factory_) {
      pantalla_ = factory_(library);
    } else {
      plugin_ = std::make_unique<ComponentLibrary>(plugin_path_);
      pantalla_ = plugin_->CreatePantalla(library);
    }
    if (!pantalla_) throw Error("The component handed out no Pantalla");
  }
  return *pantalla_;
}

void ComponentSource::Release() {
  pantalla_.reset();
  plugin_.reset();
}

}  // namespace nv407::host
