#pragma once

#include <filesystem>
#include <functional>

class QWidget;

namespace halvex::app {

// What the windows do with the auto-run agent, as calls the tests replace:
// the rights of the user, the agent's state, and installing or removing it.
struct AutoRunControl {
    std::function<bool()> isAdministrator;
    std::function<bool()> isInstalled;  // registered to start at log-in
    std::function<bool()> isOutdated;
    std::function<bool()> isRunning;
    std::function<bool()> install;  // silent; false on failure
    std::function<bool()> uninstall;
    std::function<bool()> start;

    // The suite's agent, unpacked from the package in `resourcesPath`.
    static AutoRunControl ForSuite(const std::filesystem::path& resourcesPath);
};

// Installs and reports a failure once with "err_autorun_install".
bool InstallAutoRun(QWidget* owner, const AutoRunControl& control);
// Removes and reports a failure with "err_autorun_uninstall".
bool UninstallAutoRun(QWidget* owner, const AutoRunControl& control);

// The answer of the start-up question: install or not, and ask again or not.
struct AutoRunAnswer {
    bool install = false;
    bool askAgain = true;
};
using AutoRunQuestion = std::function<AutoRunAnswer(QWidget* owner)>;

// Start-up, once the licence is accepted: for an administrator an outdated
// agent is installed again and a stopped one started; without an agent the
// question is asked while "AskAutoRun" is on. "Do not ask me again" stores
// "AskAutoRun" false in the preference file and reads the preferences again.
void RunStartupAutoRunCheck(QWidget* owner, const AutoRunControl& control, const AutoRunQuestion& ask);

}  // namespace halvex::app
