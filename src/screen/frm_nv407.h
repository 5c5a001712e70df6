#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "component/component.h"
#include "component/controls.h"
#include "component/form.h"
#include "component/screen_state.h"

namespace nv407 {

// The module the screen's permissions and messages belong to, and the application's name
// the host knows it by.
inline constexpr const char* kModule = "NV407";
inline constexpr const char* kApplication = "Zembrel";

// The service-policy capture screen. Its handlers are wired to the events of its
// controls when it is made; each handler group lives in its own source file.
class frmNV407 final : public Screen {
 public:
  explicit frmNV407(Component& component);
  ~frmNV407() override;

  // Form
  std::vector<Control*> Controls() const override;
  Control* FindControl(std::string_view name, int index = -1) const override;
  std::intptr_t WindowHandle() const override;

  // Screen (loading_and_activation.cpp)
  void SetPadre(std::shared_ptr<HostWindow> padre) override;
  std::shared_ptr<HostWindow> Padre() const override;
  std::string Transaccion() override;
  void Load() override;
  void Activate() override;
  const ScreenState& State() const override { return state_; }

  // Folio load (folio_load.cpp)
  void ResetByFolio();
  void LoadPolicyByFolio();

  // Policy type (policy_type.cpp)
  void LoadPolicyType();
  void ResetPolicyType();
  void RerunPolicyType();

  // Toolbar commands (toolbar_commands.cpp); Aceptar in save.cpp
  void Nuevo();
  void Modificar();
  void Consultar();
  void Baja();
  void Cancelar();
  void Salir();
  void Aceptar(std::int16_t& argument);

  // Counter initialization (counter_initialization.cpp)
  void InitializeServices();

  // Extended description (extended_description.cpp)
  void EditExtendedDescription();

 private:
  template <typename T>
  T* Make(const ControlLayout& layout);
  void CreateControls();
  void ConnectEvents();
  void ResetScreen();  // the reset that Cancelar, Aceptar and Baja run
  // Undoes a command's transaction after a failure. The failure being reported is the one
  // that matters: a rollback that fails too (no transaction was open yet, or the connection
  // itself is gone) must not replace it.
  void RollBackQuietly();
  void ShowError(const std::string& text, int style, const std::string& title,
                 const std::string& error_id);
  // The list formatter made at loading; a screen whose loading failed before it has none.
  ListFormatter& Formatter();
  AppServices& App() { return component_.App(); }
  UtilityServices& Utility() { return component_.Utility(); }
  Connection& Db() { return component_.App().GetConnection(); }
  std::string& Sql() { return component_.Sql(); }

  Component& component_;
  std::vector<std::unique_ptr<Control>> controls_;
  // The controls by name, for the host's look-ups; a control array's elements share one.
  std::unordered_multimap<std::string_view, Control*> by_name_;
  ScreenState state_;
  std::unique_ptr<ListFormatter> list_formatter_;
  std::shared_ptr<HostWindow> padre_;

 public:
  // The screen's controls, by their design names.
  Toolbar* Controles = nullptr;
  Label* Label10_3 = nullptr;
  TextBox* txtFolio = nullptr;
  Label* Label10_0 = nullptr;
  DateField* dp_Ps_Fecha = nullptr;
  Label* Label10_2 = nullptr;
  TextBox* txtReferencia = nullptr;
  Label* Label5 = nullptr;
  DateField* dp_Ps_Fecha_Inicio = nullptr;
  Label* Etiqueta6 = nullptr;
  DateField* dp_Ps_Fecha_Fin = nullptr;
  Label* lbDiacorte = nullptr;
  ComboBox* cbCorte = nullptr;
  Label* Label1 = nullptr;
  TextBox* txt_Sc_Cve_Sucursal = nullptr;
  TextBox* txt_Sc_Descripcion = nullptr;
  Label* Etiqueta1 = nullptr;
  TextBox* txt_Vn_Cve_Vendedor = nullptr;
  TextBox* txt_Vn_Vendedor = nullptr;
  Label* Label23 = nullptr;
  TextBox* txt_Cl_Cve_Cliente = nullptr;
  TextBox* txt_Cl_Cliente = nullptr;
  Label* Etiqueta3 = nullptr;
  TextBox* txt_Tps_Cve_Tipo_Poliza = nullptr;
  TextBox* txt_Tps_Descripcion = nullptr;
  Label* Etiqueta2 = nullptr;
  TextBox* txtComentario = nullptr;
  Label* Etiqueta5 = nullptr;
  TextBox* txt_Concepto = nullptr;
  Label* Etiqueta4 = nullptr;
  TextBox* txt_ID_Facturacion = nullptr;
  FlatButton* cmdDescripcion = nullptr;
  Label* Etiqueta7 = nullptr;
  ListView* lvServicios = nullptr;
  FlatButton* cmdInicializa = nullptr;
  Label* Etiqueta8 = nullptr;
  ListView* lvPeriodos = nullptr;
  ColorScheme* colorKIV = nullptr;
};

}  // namespace nv407
