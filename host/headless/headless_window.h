#pragma once

#include <functional>
#include <string>

#include "component/form.h"
#include "component/variant.h"

namespace nv407::host {

// The host's window around the screen, handed to it as its `Padre`. Members are found by
// name without regard to case, as late binding did.
class HeadlessWindow final : public HostWindow {
 public:
  // "Transaccion" and "iParametros"; any other name raises "Object doesn't support this
  // property or method".
  Variant Member(const std::string& name) override;
  void Unload() override;

  void SetParametros(Variant parameters) { parametros_ = std::move(parameters); }
  void SetTransaccion(Variant transaccion) { transaccion_ = std::move(transaccion); }
  bool Closed() const { return closed_; }
  void OnUnload(std::function<void()> observer) { on_unload_ = std::move(observer); }

 private:
  Variant parametros_, transaccion_;
  bool closed_ = false;
  std::function<void()> on_unload_;
};

}  // namespace nv407::host
