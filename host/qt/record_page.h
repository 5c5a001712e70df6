#pragma once

#include <QString>

#include "component/database.h"
#include "host/lists/record_view.h"

namespace nv407::host {

// The record viewer's page: the record's columns under the screen's own labels (a plain
// Spanish name where no field shows the column), dates in the locale, each key beside its
// description; for a policy its services with what is included, used and left; then the
// record log with each note whole, a fixed-width report in a monospaced block.
QString RecordPageHtml(Connection& connection, const RecordView& record);

}  // namespace nv407::host
