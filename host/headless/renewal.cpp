#include "host/headless/renewal.h"

#include <string>

#include "component/error.h"
#include "data/schema.h"
#include "host/db/sqlite_schema.h"
#include "host/headless/field_labels.h"
#include "host/headless/headless_host.h"

namespace nv407::host {
namespace {

constexpr const char* kTypeKey = "txt_Tps_Cve_Tipo_Poliza";

// A key of the policy shown, typed into its field again by the renewal.
struct Carried {
  const char* field;
  std::string key;     // as stored
  bool found = false;  // live in its catalogue when the policy was loaded
  bool carried = false;
};

// What the renewal takes from the policy shown, read before Nuevo empties the fields.
struct Renewed {
  Carried branch, seller, client, type;
  std::string cut_off_day;
  Date start;
};

Carried ShownKey(const Form& screen, const char* field) {
  const auto& box = FindControlAs<HeadlessTextBox>(screen, field);
  return {field, box.Text(), box.Accepted()};
}

// Typed as the operator would; but a field may make another key of it (upper-casing a key
// another program stored in lower case), which names another record or none. That key is
// not the policy's: it is not typed, not even looked up, and the field stays empty.
void Carry(Form& screen, Carried& key) {
  auto& box = FindControlAs<HeadlessTextBox>(screen, key.field);
  key.carried = box.Typed(key.key) == key.key;
  if (key.carried) box.UserType(key.key);
}

std::string TextOf(const Form& screen, std::string_view name) {
  return FindControlAs<HeadlessTextBox>(screen, name).Text();
}

// The screen shows the policy as it was loaded; another operator may have replaced or
// cancelled it since, and a renewal only inserts, which no guard of cancelled policies sees.
void RequireStillLive(Database& database, const std::string& folio) {
  auto result =
      database.HostQuery("SELECT Es_Cve_Estado FROM Poliza_Servicio WHERE Ps_Folio = ?", {folio});
  const bool found = !result->Eof();
  const std::string state = found ? result->Fields("Es_Cve_Estado").Value().ToText() : "";
  result->Close();
  if (!found) throw Error("Renovar: la póliza " + folio + " ya no existe; cárguela de nuevo");
  if (state == schema::kStateCancelled) throw Error(sqlite::CancelledPolicyMessage(folio));
}

}  // namespace

bool CanRenew(const Form& screen) {
  const HeadlessToolbar* toolbar = FindToolbar(screen);
  return toolbar != nullptr && toolbar->Mode() == ToolbarMode::kIdle &&
         toolbar->ShowsLiveRecord() && toolbar->CommandEnabled(ToolbarCommand::kNuevo);
}

void Renew(Form& screen, Database& database) {
  if (!CanRenew(screen)) throw Error("Renovar needs a live policy shown, and the screen idle");
  RequireStillLive(database, TextOf(screen, "txtFolio"));
  // Offered as Modificar is; a policy without an end is told why when chosen.
  const Variant shown_end = FindControlAs<HeadlessDateField>(screen, "dp_Ps_Fecha_Fin").Value();
  if (shown_end.IsEmpty())
    throw Error(
        "Renovar: la póliza no tiene fecha final; no hay día siguiente en que empiece la "
        "renovación");
  const Date end = shown_end.ToDate().DateOnly();
  if (end == Date::FromYmd(Date::kLastYear, 12, 31))
    throw Error(
        "Renovar: la póliza vence el 31/12/9999, el último día que una fecha puede ser; no hay "
        "día siguiente en que empiece la renovación");
  Renewed renewed{ShownKey(screen, "txt_Sc_Cve_Sucursal"),
                  ShownKey(screen, "txt_Vn_Cve_Vendedor"),
                  ShownKey(screen, "txt_Cl_Cve_Cliente"),
                  ShownKey(screen, kTypeKey),
                  FindControlAs<HeadlessComboBox>(screen, "cbCorte").Text(),
                  end.AddDays(1)};

  FindControlAs<HeadlessToolbar>(screen, "Controles").UserPress(ToolbarCommand::kNuevo);
  Carry(screen, renewed.branch);
  Carry(screen, renewed.seller);
  Carry(screen, renewed.client);
  if (!renewed.cut_off_day.empty())
    FindControlAs<HeadlessComboBox>(screen, "cbCorte").UserChoose(renewed.cut_off_day);
  FindControlAs<HeadlessDateField>(screen, "dp_Ps_Fecha_Inicio").UserPick(renewed.start);
  // Last: the policy type's look-up sets the end date from the start just picked.
  Carry(screen, renewed.type);

  // A key withdrawn since the policy was saved is refused as when typed, and one the field
  // could not hold is named as stored; the operator must know which before saving, where
  // the window would frame a key typed by hand. A key the policy lacked is left for Aceptar
  // to ask for.
  std::string refused;
  for (const Carried* key : {&renewed.branch, &renewed.seller, &renewed.client, &renewed.type}) {
    const auto& box = FindControlAs<HeadlessTextBox>(screen, key->field);
    std::string status;
    if (!key->carried)
      status = RefusedKeyStatus(FieldLabel(screen, box), key->key,
                                key->found ? KeyRefusal::kAltered : KeyRefusal::kNotFound);
    else if (!box.Accepted() && !box.Text().empty())
      status = RefusedKeyStatus(FieldLabel(screen, box), box.Text(),
                                box.NotTaken() ? KeyRefusal::kNotTaken : KeyRefusal::kNotFound);
    else
      continue;
    refused += (refused.empty() ? "Renovar: " : ", ") + status;
  }
  if (!refused.empty()) throw Error(refused + "; revise la captura antes de Aceptar, o Cancelar");
  // A type that includes no services leaves the end date at the start, as for a capture
  // typed by hand; the operator must know before saving a policy of one day.
  const bool type_found = !TextOf(screen, "txt_Tps_Descripcion").empty();
  if (type_found && FindControlAs<HeadlessListView>(screen, "lvServicios").Items().Count() == 0)
    throw Error("Renovar: el tipo de póliza " + renewed.type.key +
                " no incluye servicios, así que la fecha final no se calcula de él y queda igual "
                "a la inicial; revise la captura antes de Aceptar, o Cancelar");
}

}  // namespace nv407::host
