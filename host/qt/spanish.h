#pragma once

class QCoreApplication;

namespace nv407::host {

// Qt's own texts in Spanish (the buttons of message boxes and dialogs, the context menus)
// from its translations (qtbase_es), and a Spanish locale for calendars and dates. Call it
// before any widget is made. False when the translations are not installed: the texts
// stay in English, the locale is Spanish all the same.
bool UseSpanish(QCoreApplication& application);

}  // namespace nv407::host
