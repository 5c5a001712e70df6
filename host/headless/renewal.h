#pragma once

#include "component/form.h"
#include "host/db/database.h"

namespace nv407::host {

// Whether Renovar is offered: idle with a live record shown (ShowsLiveRecord) and
// Nuevo offered. Renew says why one without a day to start after cannot be renewed.
bool CanRenew(const Form& screen);

// Starts the capture of the shown policy's renewal as an operator would type it: Nuevo,
// then the same branch, seller and client, the same cut-off day, the start date the day
// after the old end, and the same policy type last, so that the end date follows from
// the new start. Nothing is saved: the operator reviews it and presses Aceptar. Raises,
// the screen left as it was, when the policy cannot be renewed (in the database too: one
// replaced or cancelled since it was loaded is not renewed from its stale terms), or the screen
// refuses a step as it would the user's, and, the capture left open, when the type includes no
// services (no end date follows).
void Renew(Form& screen, Database& database);

}  // namespace nv407::host
