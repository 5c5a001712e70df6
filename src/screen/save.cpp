#include <cstdint>
#include <exception>
#include <string>

#include "component/error.h"
#include "component/host_services.h"
#include "data/schema.h"
#include "data/statements.h"
#include "screen/frm_nv407.h"

namespace nv407 {
namespace {

constexpr const char* kIncomplete = "Datos incompletos";

bool IsLater(const Variant& start, const Variant& end) {
  // An empty date has no order; the save refuses it when it writes the dates.
  if (start.IsEmpty() || end.IsEmpty()) return false;
  return start.ToDate() > end.ToDate();
}

}  // namespace

void frmNV407::Aceptar(std::int16_t& argument) {
  // A check that fails: its message, the focus where the user has to correct, and the
  // toolbar told that nothing was saved.
  const auto refuse = [this](const char* text, const char* error_id, Control* focus) {
    ShowError(text, message_style::kStop, kIncomplete, error_id);
    if (focus != nullptr) {
      try {
        focus->SetFocus();
      } catch (const Error&) {
        // A key box locked by the edit refuses the focus; the toolbar must still hear
        // that the save failed.
      }
    }
    Controles->AcceptFailed();
  };

  if (txt_Sc_Descripcion->Text().empty()) {
    refuse("Debe especificar la sucursal", "ERR-ID:7500002", txt_Sc_Cve_Sucursal);
    return;
  }
  if (txt_Vn_Vendedor->Text().empty()) {
    refuse("Debe especificar el vendedor", "ERR-ID:7500003", txt_Vn_Cve_Vendedor);
    return;
  }
  if (txt_Cl_Cliente->Text().empty()) {
    refuse("Debe especificar el cliente", "ERR-ID:7500004", txt_Cl_Cve_Cliente);
    return;
  }
  if (txt_Tps_Descripcion->Text().empty()) {
    refuse("Debe especificar el tipo de póliza", "ERR-ID:7500005", txt_Tps_Cve_Tipo_Poliza);
    return;
  }
  if (IsLater(dp_Ps_Fecha_Inicio->Value(), dp_Ps_Fecha_Fin->Value())) {
    refuse("La fecha final no puede ser menor a la inicial", "ERR-ID:7500007",
           dp_Ps_Fecha_Fin->Enabled() ? dp_Ps_Fecha_Fin : nullptr);
    return;
  }
  if (cbCorte->Text().empty()) {
    refuse("Debe especificar los días de corte", "ERR-ID:7500008",
           cbCorte->Enabled() ? cbCorte : nullptr);
    return;
  }

  // From here on, every failure rolls the whole save back.
  const auto fail = [this](const std::string& text, int style, const std::string& title,
                           const char* error_id) {
    RollBackQuietly();
    ShowError(text, style, title, error_id);
    Controles->AcceptFailed();
  };
  const auto sql_date = [this](const DateField& field, const char* missing) {
    const Variant value = field.Value();
    if (value.IsEmpty()) throw Error(missing);
    return Utility().SqlDate(value.ToDate());
  };

  try {
    Db().BeginTrans();
    const std::string stamp = Utility().SqlDateTime(Utility().GetServerDate());
    const std::string user = App().GetUserCode();

    // The policy shown is replaced by the one being saved.
    if (argument == 0) {
      Sql() = statements::CancelPolicy(user, stamp, txtFolio->Text());
      Db().Execute(Sql());
    }

    state_.newFolio = Utility()
                          .NextFolio(txt_Sc_Cve_Sucursal->Text(), schema::kPolizaServicio,
                                     schema::kFolioWidth, -1)
                          .ToText();
    if (state_.newFolio.empty()) {
      fail("Error al generar el folio de póliza", message_style::kStop, "ERROR", "ERR-ID:7500009");
      return;
    }

    statements::PolicyHeader header;
    header.folio = state_.newFolio;
    header.fecha = sql_date(*dp_Ps_Fecha, "Debe especificar la fecha de la póliza");
    header.fecha_inicia = sql_date(*dp_Ps_Fecha_Inicio, "Debe especificar la fecha inicial");
    header.fecha_finaliza = sql_date(*dp_Ps_Fecha_Fin, "Debe especificar la fecha final");
    header.sucursal = txt_Sc_Cve_Sucursal->Text();
    header.vendedor = txt_Vn_Cve_Vendedor->Text();
    header.cliente = txt_Cl_Cve_Cliente->Text();
    header.comentario = txtComentario->Text();
    header.dia_corte = cbCorte->Text();
    header.referencia = txtReferencia->Text();
    header.tipo_poliza = txt_Tps_Cve_Tipo_Poliza->Text();
    header.factura_id = txt_ID_Facturacion->Text();
    header.concepto = txt_Concepto->Text();
    header.user = user;
    header.stamp = stamp;
    Sql() = statements::InsertPolicyHeader(header);
    Db().Execute(Sql());

    Sql() = statements::InsertPolicyServices(state_.newFolio, txt_Tps_Cve_Tipo_Poliza->Text());
    Db().Execute(Sql());

    if (!Controles->SaveAdditionalFields(state_.newFolio)) {
      fail("Imposible guardar campos adicionales", message_style::kWarning, "ERROR",
           "ERR-ID:7500010");
      return;
    }

    if (!state_.extendedDescription.empty() &&
        !Utility().SaveExtendedText(schema::kPolizaServicio, state_.newFolio,
                                    schema::kExtendedTextEntry, state_.extendedDescription)) {
      fail("Error al actualizar la descripción ampliada", message_style::kWarning, "ERROR",
           "ERR-ID:7500011");
      return;
    }

    Db().CommitTrans();
    Controles->AcceptSucceeded();
    ResetScreen();
  } catch (const std::exception& e) {
    fail(DescriptionOf(e), message_style::kStop, "Controles_Aceptar()", "ERR-ID:7500012");
  }
}

}  // namespace nv407
