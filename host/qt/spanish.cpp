#include "host/qt/spanish.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace nv407::host {

bool UseSpanish(QCoreApplication& application) {
  const QLocale spanish(QLocale::Spanish, QLocale::Mexico);
  QLocale::setDefault(spanish);
  auto* translator = new QTranslator(&application);
  if (!translator->load(spanish, "qtbase", "_",
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

}  // namespace nv407::host
