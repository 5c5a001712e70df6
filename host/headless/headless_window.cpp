#include "host/headless/headless_window.h"

#include <algorithm>

#include "component/error.h"
#include "host/db/text.h"

namespace nv407::host {
namespace {

bool SameName(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

}  // namespace

Variant HeadlessWindow::Member(const std::string& name) {
  if (SameName(name, "iParametros")) return parametros_;
  if (SameName(name, "Transaccion")) return transaccion_;
  throw Error("Object doesn't support this property or method");
}

void HeadlessWindow::Unload() {
  if (closed_) return;
  closed_ = true;
  if (on_unload_) on_unload_();
}

}  // namespace nv407::host
