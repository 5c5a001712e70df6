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

constexpr int kDataFields = 1;  // the control group of the data-entry fields

}  // namespace

void frmNV407::Nuevo() {
  // The folio of a new policy is issued when it is saved.
  txtFolio->SetText("");
  txtFolio->SetEnabled(false);
  Utility().ClearFields(*this, kDataFields);
  Utility().EnableFields(*this, kDataFields);
  cmdDescripcion->SetEnabled(true);
  state_.extendedDescription = "";
  state_.conceptText = "";
  cmdInicializa->SetEnabled(false);

  dp_Ps_Fecha->SetValue(Utility().GetServerDate());
  dp_Ps_Fecha_Inicio->SetValue(dp_Ps_Fecha->Value());
  dp_Ps_Fecha_Fin->SetValue(dp_Ps_Fecha->Value());
  dp_Ps_Fecha->SetEnabled(state_.canChangeDate);

  if (dp_Ps_Fecha->Enabled()) {
    dp_Ps_Fecha->SetFocus();
  } else if (txtReferencia->Enabled()) {
    txtReferencia->SetFocus();
  }
}

void frmNV407::Modificar() {
  Utility().EnableFields(*this, kDataFields);
  txtFolio->SetEnabled(false);
  cmdDescripcion->SetEnabled(true);
  dp_Ps_Fecha->SetEnabled(state_.canChangeDate);
  cmdInicializa->SetEnabled(false);
  // The branch names the folio series, so an edit keeps it.
  txt_Sc_Cve_Sucursal->SetEnabled(false);
}

void frmNV407::Consultar() {
  const std::string folio = txtFolio->Text();
  std::unique_ptr<RecordViewer> viewer = component_.Host().CreateRecordViewer();
  viewer->Show(schema::kPolizaServicioUpper, schema::kFolioColumn, folio, "", "", "", "");
}

void frmNV407::Baja() {
  try {
    Db().BeginTrans();
    const std::string user = App().GetUserCode();
    const std::string stamp = Utility().SqlDateTime(Utility().GetServerDate());

    Sql() = statements::CancelPolicy(user, stamp, txtFolio->Text());
    Db().Execute(Sql());
    Utility().LogRecordEvent(schema::kPolizaServicioUpper, txtFolio->Text(), "Baja");

    Db().CommitTrans();
    ResetScreen();
  } catch (const std::exception& e) {
    RollBackQuietly();
    ShowError(DescriptionOf(e), message_style::kStop, kApplication, "ERR-ID:7500013");
  }
}

void frmNV407::Cancelar() {
  ResetScreen();
}

void frmNV407::ResetScreen() {
  // The loaded flag stays: the toolbar keeps knowing that a record was shown.
  Controles->SetFlag(ToolbarFlag::kActive2, false);
  Controles->SetFlag(ToolbarFlag::kActive1, false);
  Controles->SetFlag(ToolbarFlag::kExtra1, false);
  Controles->SetFlag(ToolbarFlag::kExtra2, false);
  Utility().ClearFields(*this, kDataFields);

  txtFolio->SetText("");
  txtFolio->SetEnabled(true);
  txtFolio->SetFocus();
  cmdDescripcion->SetEnabled(false);
  cmdInicializa->SetEnabled(false);

  state_.extendedDescription = "";
  state_.conceptText = "";
}

void frmNV407::Salir() {
  if (!padre_) throw Error("La pantalla no tiene ventana padre que cerrar");
  padre_->Unload();
}

}  // namespace nv407
