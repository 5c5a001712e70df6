#include <string>
#include <vector>

#include "component/error.h"
#include "screen/frm_nv407.h"

namespace nv407 {
namespace {

constexpr int kCutOffDays = 28;

std::vector<std::string> SplitAtCommas(const std::string& text) {
  std::vector<std::string> elements(1);
  for (char c : text) {
    if (c == ',')
      elements.emplace_back();
    else
      elements.back() += c;
  }
  return elements;
}

std::string UpperCase(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

}  // namespace

void frmNV407::SetPadre(std::shared_ptr<HostWindow> padre) {
  padre_ = std::move(padre);
}

std::shared_ptr<HostWindow> frmNV407::Padre() const {
  return padre_;
}

std::string frmNV407::Transaccion() {
  std::shared_ptr<HostWindow> padre = Padre();
  if (!padre) throw Error("Object variable or With block variable not set");
  const std::string transaction = padre->Member("Transaccion").ToText();
  return Utility().ResolveTransaction(transaction, kApplication);
}

void frmNV407::Load() {
  colorKIV->Apply();
  list_formatter_ = component_.Host().CreateListFormatter();
  Controles->SetReady(true);

  txt_Sc_Cve_Sucursal->SetFormato(App().GetParameter("FTO_SUCURSAL", 0, "", ""));
  txt_Vn_Cve_Vendedor->SetFormato(App().GetParameter("FTO_VENDEDOR", 0, "", ""));
  txt_Cl_Cve_Cliente->SetFormato(App().GetParameter("FTO_CLIENTE", 0, "", ""));
  txt_Tps_Cve_Tipo_Poliza->SetFormato(App().GetParameter("FTO_TIPO_POLIZA_SERVICIO", 0, "", ""));

  state_.canChangeDate = App().HasPermission(kModule, "CHFECHA", "No disponible");
  state_.canInitServices = App().HasPermission(kModule, "INISERV", "No disponible");

  dp_Ps_Fecha->SetValue(Utility().GetServerDate());
  dp_Ps_Fecha_Inicio->SetValue(dp_Ps_Fecha->Value().ToDate());
  dp_Ps_Fecha_Fin->SetValue(dp_Ps_Fecha->Value().ToDate());

  cbCorte->Clear();
  for (int day = 1; day <= kCutOffDays; ++day) {
    const std::string text = std::to_string(day);
    cbCorte->AddItem(text, text);
  }
}

void frmNV407::Activate() {
  if (Controles->Busy()) return;
  Formatter().FormatList(*lvServicios);

  std::shared_ptr<HostWindow> padre = Padre();
  if (!padre) throw Error("Object variable or With block variable not set");
  const std::string parameters = padre->Member("iParametros").ToText();
  const std::vector<std::string> elements = SplitAtCommas(parameters);

  if (!parameters.empty()) {
    const std::string mode = UpperCase(elements[0]);
    if (mode == "NUEVO") {
      Controles->StartNew();
      return;
    }
    // "EDICION" without a folio names nothing to edit: the plain mode follows.
    if (mode == "EDICION" && elements.size() > 1) {
      txtFolio->SetText(elements[1]);
      LoadPolicyByFolio();
      Controles->StartEdit();
      return;
    }
  }
  if (txtFolio->Enabled()) txtFolio->SetFocus();
}

}  // namespace nv407
