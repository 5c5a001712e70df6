#pragma once

#include <cstdint>
#include <string>

#include "host/services/dialogs.h"

namespace nv407::host {

// The window's own questions before it does something that cannot be taken back: a yes/no
// message box whose default (Enter, Esc) is No. True when the user answered Yes.
bool AskYesNo(Dialogs& dialogs, std::intptr_t owner, const std::string& title,
              const std::string& text);

inline constexpr const char* kBajaQuestion = "¿Dar de baja el registro mostrado?";
inline constexpr const char* kCancelQuestion =
    "Hay cambios sin guardar. ¿Cancelar la captura y descartarlos?";
inline constexpr const char* kCloseQuestion =
    "Hay cambios sin guardar. ¿Cerrar la ventana y descartarlos?";
inline constexpr const char* kDropExtendedTextQuestion =
    "Hay cambios sin aceptar. ¿Cerrar la descripción ampliada y descartarlos?";

}  // namespace nv407::host
