#include "host/headless/component_library.h"

#include <dlfcn.h>
#include <sys/auxv.h>

#include <algorithm>
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

// The running program's file, its links followed; without /proc (a bare chroot) the name it
// was started by.
std::filesystem::path RunningProgram() {
  namespace fs = std::filesystem;
  std::error_code failed;
  fs::path program = fs::read_symlink("/proc/self/exe", failed);
  if (!failed) return program;
  const char* started = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
  if (started == nullptr) throw Error("Cannot tell where this program is to find its component");
  program = fs::weakly_canonical(fs::absolute(started, failed), failed);
  if (failed) throw Error("Cannot tell where this program is to find its component");
  return program;
}

bool InBuildTree(const std::filesystem::path& program) {
  std::error_code failed;
  const std::filesystem::path build = std::filesystem::weakly_canonical(NV407_BUILD_DIR, failed);
  if (failed) return false;
  return std::mismatch(build.begin(), build.end(), program.begin(), program.end()).first ==
         build.end();
}

}  // namespace

std::string ComponentLibrary::DefaultPath() {
  const char* configured = std::getenv("NV407_PLUGIN");
  if (configured != nullptr && *configured != '\0') return configured;
  const std::filesystem::path program = RunningProgram();
  const std::filesystem::path installed =
      (program.parent_path() / NV407_PLUGIN_INSTALLED).lexically_normal();
  std::error_code failed;
  if (std::filesystem::exists(installed, failed)) return installed.string();
  // Only a program run from the build takes the component built with it: an installed one
  // that took the build's would run other code than it was installed with. Its load names
  // the missing file.
  return InBuildTree(program) ? NV407_PLUGIN_PATH : installed.string();
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
