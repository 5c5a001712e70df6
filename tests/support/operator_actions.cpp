#include "support/operator_actions.h"

#include <functional>

#include "component/error.h"
#include "component/host_services.h"

namespace nv407::testing {
namespace {

constexpr const char* kResetQuestion = "ERR-ID:7500015";

void BackToFolioEntry(host::HeadlessHost& host) {
  if (host.Snapshot().toolbar.busy) host.Press("Cancelar");
  host.TakeEvents();
}

// Runs the steps; the first message shown (but the reset's question) stopped the command.
Outcome Run(host::HeadlessHost& host, const std::function<void()>& steps) {
  BackToFolioEntry(host);
  const std::string issued_before = host.Snapshot().state.newFolio;
  try {
    steps();
  } catch (const Error& refused) {
    return {false, "", "refused: " + refused.Description()};
  }
  for (const host::HostEvent& event : host.TakeEvents()) {
    const auto* message = std::get_if<host::MessageCall>(&event);
    if (message && message->request.error_id != kResetQuestion)
      return {false, "", message->request.error_id + "|" + message->request.text};
  }
  const std::string issued = host.Snapshot().state.newFolio;
  return {true, issued != issued_before ? issued : "", ""};
}

}  // namespace

void TypeNewPolicy(host::HeadlessHost& host, const TypedPolicy& policy) {
  host.Press("Nuevo");
  if (policy.date) host.PickDate("dp_Ps_Fecha", *policy.date);
  host.Type("txt_Sc_Cve_Sucursal", policy.branch);
  host.Type("txt_Vn_Cve_Vendedor", policy.seller);
  host.Type("txt_Cl_Cve_Cliente", policy.client);
  host.Type("txt_Tps_Cve_Tipo_Poliza", policy.type);
  host.Type("txtReferencia", policy.reference);
  host.Choose("cbCorte", policy.cut_off_day);
  if (!policy.extended_text.empty()) {
    host.dialogs().QueueEditorResult("Concepto " + policy.type, policy.extended_text);
    host.Click("cmdDescripcion");
  }
}

void ShowPolicy(host::HeadlessHost& host, const std::string& folio) {
  host.Type("txtFolio", folio);
}

void TypeEdit(host::HeadlessHost& host, const std::string& folio, const std::string& reference) {
  ShowPolicy(host, folio);
  host.Press("Modificar");
  host.Type("txtReferencia", reference);
}

Outcome SaveNewPolicy(host::HeadlessHost& host, const TypedPolicy& policy) {
  return Run(host, [&] {
    TypeNewPolicy(host, policy);
    host.Press("Aceptar");
  });
}

Outcome SaveEdit(host::HeadlessHost& host, const std::string& folio, const std::string& reference) {
  return Run(host, [&] {
    TypeEdit(host, folio, reference);
    host.Press("Aceptar");
  });
}

Outcome CancelPolicy(host::HeadlessHost& host, const std::string& folio) {
  return Run(host, [&] {
    ShowPolicy(host, folio);
    host.Press("Baja");
  });
}

Outcome ResetCounters(host::HeadlessHost& host, const std::string& folio) {
  return Run(host, [&] {
    ShowPolicy(host, folio);
    // Yes to the question, which only an enabled button asks.
    if (host.Snapshot().Find("cmdInicializa").enabled)
      host.dialogs().QueueAnswer(message_answer::kYes);
    host.Click("cmdInicializa");
  });
}

}  // namespace nv407::testing
