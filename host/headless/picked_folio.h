#pragma once

#include <string>

#include "component/form.h"

namespace nv407::host {

// The finder lists folios as stored; entered into the folio field, a folio stored in a form
// the field cannot hold (lower case, surplus zeros, a blank at an end) becomes another, which
// names another policy or none. Raises EntryRefused naming both, so that the picked folio
// is not entered.
void RequireFolioFieldKeeps(const Form& screen, const std::string& picked);

}  // namespace nv407::host
