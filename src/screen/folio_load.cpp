#include <exception>
#include <memory>
#include <string>

#include "component/error.h"
#include "component/host_services.h"
#include "data/schema.h"
#include "data/statements.h"
#include "screen/frm_nv407.h"

namespace nv407 {
namespace {

// Text boxes hold text; a NULL column shows as an empty box.
std::string BoxText(const Recordset& result, const char* column) {
  return result.Fields(column).Value().TextOrEmpty();
}

}  // namespace

void frmNV407::ResetByFolio() {
  Controles->SetFlag(ToolbarFlag::kActive2, false);
  Controles->SetFlag(ToolbarFlag::kExtra2, false);
  Controles->SetFlag(ToolbarFlag::kActive1, false);
  Controles->SetFlag(ToolbarFlag::kExtra1, false);
  Controles->SetFlag(ToolbarFlag::kLoaded, false);
  Utility().ClearFields(*this, 1);
}

void frmNV407::LoadPolicyByFolio() {
  if (Controles->Busy()) return;

  std::string description;
  try {
    txtFolio->SetText(Utility().FormatFolio(txtFolio->Text()));
    txtFolio->Refresh();
    lvServicios->Items().Clear();

    Sql() = statements::PolicyByFolio(txtFolio->Text());
    // On a failure the result is released without being closed.
    std::unique_ptr<Recordset> result = Db().Execute(Sql());
    if (result->Eof()) return;

    txt_Sc_Cve_Sucursal->SetText(BoxText(*result, "Sc_Cve_Sucursal"));
    txt_Vn_Cve_Vendedor->SetText(BoxText(*result, "Vn_Cve_Vendedor"));
    txt_Cl_Cve_Cliente->SetText(BoxText(*result, "Cl_Cve_Cliente"));
    txtComentario->SetText(BoxText(*result, "Ps_Comentario"));
    txt_Tps_Cve_Tipo_Poliza->SetText(BoxText(*result, "Tps_Cve_Tipo_Poliza_Servicio"));
    dp_Ps_Fecha->SetValue(result->Fields("Ps_Fecha").Value());
    dp_Ps_Fecha_Inicio->SetValue(result->Fields("Ps_Fecha_Inicia").Value());
    dp_Ps_Fecha_Fin->SetValue(result->Fields("Ps_Fecha_Finaliza").Value());
    txtReferencia->SetText(BoxText(*result, "Ps_Referencia"));
    cbCorte->SetSelectedValue(result->Fields("Ps_Dia_Corte").Value());
    txt_ID_Facturacion->SetText(BoxText(*result, "Ps_Factura_ID"));
    txt_Concepto->SetText(BoxText(*result, "Ps_Concepto"));

    Controles->SetFlag(ToolbarFlag::kLoaded, true);
    Controles->LoadAdditionalFields(txtFolio->Text());
    state_.extendedDescription = Utility().ReadExtendedText(
        schema::kPolizaServicio, txtFolio->Text(), schema::kExtendedTextEntry);
    const std::string state = result->Fields("Es_Cve_Estado").Value().ToText();

    while (!result->Eof()) {
      const std::string code = result->Fields("Ts_Cve_Tipo_Servicio").Value().ToText();
      // No service row at all, or a service whose type is gone from the catalogue.
      if (!code.empty()) {
        const std::string key = "K" + code;
        lvServicios->Items().Add(key, code);
        lvServicios->Items().Item(key).SetSubItem(
            1, result->Fields("Ts_Descripcion").Value().ToText());
        lvServicios->Items().Item(key).SetSubItem(2, result->Fields("Ts_Unidad").Value().ToText());
        lvServicios->Items().Item(key).SetSubItem(
            3, result->Fields("Pst_Cantidad_Incluida").Value().ToText());
        lvServicios->Items().Item(key).SetSubItem(
            4, result->Fields("Pst_Cantidad_Utilizada").Value().ToText());
      }
      result->MoveNext();
    }
    result->Close();
    result.reset();
    Formatter().FormatList(*lvServicios);

    if (state == schema::kStateCancelled) return;
    Controles->SetFlag(ToolbarFlag::kActive2, true);
    Controles->SetFlag(ToolbarFlag::kActive1, true);
    cmdInicializa->SetEnabled(state_.canInitServices);
    return;
  } catch (const std::exception& e) {
    description = DescriptionOf(e);
  }
  ShowError("Se detectó el siguiente error: \r\n" + description, message_style::kStop, "ERROR",
            "ERR-ID:7500014");
}

}  // namespace nv407
