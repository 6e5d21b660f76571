#pragma once

#include "util/Status.h"

class QWidget;

namespace halvex::app {

// Tells the user that the preferences file could not be written (a full,
// write-protected or removed drive), with the system's reason: the choices
// hold for this run only, and the first-run questions come again next time.
void ReportPrefsNotSaved(QWidget* owner, const Status& failure);

}  // namespace halvex::app
