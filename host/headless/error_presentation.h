#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "component/error.h"
#include "host/services/dialogs.h"

namespace nv407::host {

// The host's identifier for an error that no command of the screen reports itself.
inline constexpr const char* kUnreportedErrorId = "ERR-ID:0000000";

// What the user gave that one of the host's fields refuses (a date no calendar has): shown
// as a warning about the entry, titled "Dato no válido", without the identifier of an error
// nobody reported.
class EntryRefused : public Error {
 public:
  using Error::Error;
};

// How the host shows an error that left a handler, loading or activation: one stop
// message titled "ERROR" carrying the error's own description.
void PresentError(Dialogs& dialogs, std::intptr_t owner, const std::string& description);

// Runs something the user (or the host, for loading and activation) started. An error
// leaving it is presented and swallowed, so that the screen stays usable; returns
// false when that happened.
bool RunPresentingErrors(Dialogs& dialogs, std::intptr_t owner, const std::function<void()>& step);

}  // namespace nv407::host
