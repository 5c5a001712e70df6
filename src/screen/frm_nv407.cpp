#include "screen/frm_nv407.h"

#include "component/error.h"
#include "screen/layout.h"

namespace nv407 {

frmNV407::frmNV407(Component& component) : component_(component) {
  CreateControls();
  ConnectEvents();
}

frmNV407::~frmNV407() = default;

template <typename T>
T* frmNV407::Make(const ControlLayout& layout) {
  ControlFactory& factory = component_.Host().Controls();
  std::unique_ptr<T> control;
  if constexpr (std::is_same_v<T, TextBox>) control = factory.CreateTextBox(layout, *this);
  if constexpr (std::is_same_v<T, DateField>) control = factory.CreateDateField(layout, *this);
  if constexpr (std::is_same_v<T, ComboBox>) control = factory.CreateComboBox(layout, *this);
  if constexpr (std::is_same_v<T, FlatButton>) control = factory.CreateFlatButton(layout, *this);
  if constexpr (std::is_same_v<T, Label>) control = factory.CreateLabel(layout, *this);
  if constexpr (std::is_same_v<T, Toolbar>) control = factory.CreateToolbar(layout, *this);
  if constexpr (std::is_same_v<T, ListView>) control = factory.CreateListView(layout, *this);
  if constexpr (std::is_same_v<T, ColorScheme>) control = factory.CreateColorScheme(layout, *this);
  if (!control) throw Error("The host could not create the control " + layout.name);
  T* made = control.get();
  controls_.push_back(std::move(control));
  by_name_.emplace(made->Name(), made);
  return made;
}

// Every row of the layout table becomes a control of the host's control set; the
// typed members then name each control of the design (labels too) by its design name.
void frmNV407::CreateControls() {
  for (const ControlLayout& row : frmNV407Layout().controls) {
    switch (row.kind) {
      case ControlKind::kTextBox:
        Make<TextBox>(row);
        break;
      case ControlKind::kDateField:
        Make<DateField>(row);
        break;
      case ControlKind::kComboBox:
        Make<ComboBox>(row);
        break;
      case ControlKind::kFlatButton:
        Make<FlatButton>(row);
        break;
      case ControlKind::kLabel:
        Make<Label>(row);
        break;
      case ControlKind::kToolbar:
        Make<Toolbar>(row);
        break;
      case ControlKind::kListView:
        Make<ListView>(row);
        break;
      case ControlKind::kColorScheme:
        Make<ColorScheme>(row);
        break;
    }
  }
  auto find = [this]<typename T>(T*& member, std::string_view name, int index = -1) {
    member = static_cast<T*>(FindControl(name, index));
    if (member == nullptr) throw Error("The screen has no control " + std::string(name));
  };
  find(Controles, "Controles");
  find(Label10_3, "Label10", 3);
  find(txtFolio, "txtFolio");
  find(Label10_0, "Label10", 0);
  find(dp_Ps_Fecha, "dp_Ps_Fecha");
  find(Label10_2, "Label10", 2);
  find(txtReferencia, "txtReferencia");
  find(Label5, "Label5");
  find(dp_Ps_Fecha_Inicio, "dp_Ps_Fecha_Inicio");
  find(Etiqueta6, "Etiqueta6");
  find(dp_Ps_Fecha_Fin, "dp_Ps_Fecha_Fin");
  find(lbDiacorte, "lbDiacorte");
  find(cbCorte, "cbCorte");
  find(Label1, "Label1");
  find(txt_Sc_Cve_Sucursal, "txt_Sc_Cve_Sucursal");
  find(txt_Sc_Descripcion, "txt_Sc_Descripcion");
  find(Etiqueta1, "Etiqueta1");
  find(txt_Vn_Cve_Vendedor, "txt_Vn_Cve_Vendedor");
  find(txt_Vn_Vendedor, "txt_Vn_Vendedor");
  find(Label23, "Label23");
  find(txt_Cl_Cve_Cliente, "txt_Cl_Cve_Cliente");
  find(txt_Cl_Cliente, "txt_Cl_Cliente");
  find(Etiqueta3, "Etiqueta3");
  find(txt_Tps_Cve_Tipo_Poliza, "txt_Tps_Cve_Tipo_Poliza");
  find(txt_Tps_Descripcion, "txt_Tps_Descripcion");
  find(Etiqueta2, "Etiqueta2");
  find(txtComentario, "txtComentario");
  find(Etiqueta5, "Etiqueta5");
  find(txt_Concepto, "txt_Concepto");
  find(Etiqueta4, "Etiqueta4");
  find(txt_ID_Facturacion, "txt_ID_Facturacion");
  find(cmdDescripcion, "cmdDescripcion");
  find(Etiqueta7, "Etiqueta7");
  find(lvServicios, "lvServicios");
  find(cmdInicializa, "cmdInicializa");
  find(Etiqueta8, "Etiqueta8");
  find(lvPeriodos, "lvPeriodos");
  find(colorKIV, "colorKIV");
}

void frmNV407::ConnectEvents() {
  Controles->SetEvents({
      .Nuevo = [this] { Nuevo(); },
      .Modificar = [this] { Modificar(); },
      .Consultar = [this] { Consultar(); },
      .Baja = [this] { Baja(); },
      .Cancelar = [this] { Cancelar(); },
      .Salir = [this] { Salir(); },
      .Aceptar = [this](std::int16_t& argument) { Aceptar(argument); },
  });
  txtFolio->OnLookupReset([this] { ResetByFolio(); });
  txtFolio->OnLookupDone([this] { LoadPolicyByFolio(); });
  txt_Tps_Cve_Tipo_Poliza->OnLookupDone([this] { LoadPolicyType(); });
  txt_Tps_Cve_Tipo_Poliza->OnLookupReset([this] { ResetPolicyType(); });
  txt_Tps_Cve_Tipo_Poliza->OnLookupRepeated([this] { RerunPolicyType(); });
  cmdInicializa->OnClick([this] { InitializeServices(); });
  cmdDescripcion->OnClick([this] { EditExtendedDescription(); });
}

std::vector<Control*> frmNV407::Controls() const {
  std::vector<Control*> all;
  all.reserve(controls_.size());
  for (const auto& control : controls_) all.push_back(control.get());
  return all;
}

Control* frmNV407::FindControl(std::string_view name, int index) const {
  const auto [first, last] = by_name_.equal_range(name);
  for (auto named = first; named != last; ++named)
    if (named->second->Layout().index == index) return named->second;
  return nullptr;
}

ListFormatter& frmNV407::Formatter() {
  if (!list_formatter_) throw Error("Object variable or With block variable not set");
  return *list_formatter_;
}

std::intptr_t frmNV407::WindowHandle() const {
  return reinterpret_cast<std::intptr_t>(this);
}

void frmNV407::RollBackQuietly() {
  try {
    Db().RollbackTrans();
  } catch (const std::exception&) {
  }
}

void frmNV407::ShowError(const std::string& text, int style, const std::string& title,
                         const std::string& error_id) {
  App().ShowMessage(text, style, title, WindowHandle(), kModule, error_id);
}

}  // namespace nv407
