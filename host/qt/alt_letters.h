#pragma once

class QCoreApplication;

namespace nv407::host {

// Alt is the program's command key (Alt+A Aceptar, Alt and a label's letter to its field):
// an Alt+letter that no shortcut of the window takes types nothing into the text box that
// has the focus, where a stock text box would type the letter. Ctrl+Alt and AltGr, which
// some keyboards need for @, [ or €, type as ever. Call it once, before any widget is made.
void TypeNoAltLetters(QCoreApplication& application);

}  // namespace nv407::host
