// A failure before the window opens: on standard error, and in a message box for whoever
// started the program from the desktop menu, where standard error goes nowhere.
#pragma once

#include <QString>
#include <ostream>
#include <string>

#include "host/qt/command_line.h"

namespace nv407::host {

// Whether such a failure is also shown in a box: not while a script plays the window, nor
// on a platform nobody sees (offscreen, minimal), where the box would wait for ever.
bool ShowsStartErrorsInABox(const ProgramOptions& options, const QString& platform);

// Writes "polizas: MESSAGE" on `errors` and, `in_a_box`, shows MESSAGE in a critical box
// until it is closed. Returns the program's exit code, 1.
int ReportStartError(const std::string& message, bool in_a_box, std::ostream& errors);

}  // namespace nv407::host
