#include "host/headless/picked_folio.h"

#include "host/headless/error_presentation.h"
#include "host/headless/headless_host.h"
#include "host/services/folio.h"

namespace nv407::host {

void RequireFolioFieldKeeps(const Form& screen, const std::string& picked) {
  const auto& field = FindControlAs<HeadlessTextBox>(screen, "txtFolio");
  const std::string entered = FormatFolio(field.Typed(picked));
  if (entered == picked) return;
  throw EntryRefused("El folio «" + picked +
                     "» está guardado en una forma que el campo Folio no admite: lo tomaría "
                     "como «" +
                     entered + "», que es otra póliza o ninguna; no se cargó");
}

}  // namespace nv407::host
