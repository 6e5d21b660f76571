#pragma once

#include <filesystem>
#include <functional>

#include "update/UpdateCheck.h"
#include "update/UpdaterHandOff.h"

class QWidget;

namespace halvex::app {

// What the update's windows need of the outside world; the tests replace
// the program start and the quit.
struct UpdateActions {
    UpdateCheckOptions check;
    UpdaterHandOff handOff;  // bundle, temporary folder and pid; the package is filled in
    ProgramStarter startProgram;
    std::function<void()> quit;
};

// Check for updates on request: the check runs behind a wait window; no
// connection, a failure or nothing new get their message, an offer its
// question.
void CheckForUpdatesInteractive(QWidget* owner, const UpdateActions& actions);

// The question for an offer; on Yes the download window, then the updater
// and the end of the suite. A cancelled download ends silently.
void OfferUpdate(QWidget* owner, const UpdateOffer& offer, const UpdateActions& actions);

}  // namespace halvex::app
