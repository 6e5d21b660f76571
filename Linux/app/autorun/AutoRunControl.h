#pragma once

#include <filesystem>
#include <functional>
#include <vector>

#include "system/DriveIdentity.h"
#include "util/Status.h"

class KMDevice;
class QWidget;

namespace halvex::app {

// What the windows do with the auto-run agent, as calls the tests replace:
// the rights of the user, the agent's state, and installing or removing it.
struct AutoRunControl {
    std::function<bool()> isAdministrator;
    std::function<bool()> isInstalled;  // registered to start at log-in
    std::function<bool()> isOutdated;
    std::function<bool()> isRunning;
    // Silent; the failure carries the key and reason to show.
    std::function<Status()> install;
    std::function<Status()> uninstall;
    std::function<Status()> start;
    // This user's trusted drives, the only ones the agent starts without asking.
    std::function<Status()> trustThisDrive;  // the drive the suite runs from
    std::function<std::vector<DriveIdentity>()> trustedDrives;
    std::function<Status(const DriveIdentity&)> forgetDrive;

    // The suite's agent, unpacked from the package in `resourcesPath`, and
    // the trust list of this user with `drive` as the suite's own drive.
    static AutoRunControl ForSuite(const std::filesystem::path& resourcesPath, const KMDevice& drive);
};

// Installs and reports a failure once with "err_autorun_install" and its
// reason; true when the agent was installed.
[[nodiscard]] bool InstallAutoRun(QWidget* owner, const AutoRunControl& control);
// The user enables auto-run from this drive: installs the agent as above,
// then trusts the drive, reporting a failure of that with its message.
void EnableAutoRunFromThisDrive(QWidget* owner, const AutoRunControl& control);
// Reports a failed change of the trust list with its message.
void ReportTrustFailure(QWidget* owner, const Status& status);
// Removes and reports a failure with "err_autorun_uninstall" and its reason.
void UninstallAutoRun(QWidget* owner, const AutoRunControl& control);

// The answer of the start-up question: install or not, and ask again or not.
struct AutoRunAnswer {
    bool install = false;
    bool askAgain = true;
};
using AutoRunQuestion = std::function<AutoRunAnswer(QWidget* owner)>;

// Start-up, once the licence is accepted: for an administrator an outdated
// agent is installed again and a stopped one started; without an agent the
// question is asked while "AskAutoRun" is on. "Do not ask me again" stores
// "AskAutoRun" false in the preference file and reads the preferences again;
// a file that cannot be written is reported.
void RunStartupAutoRunCheck(QWidget* owner, const AutoRunControl& control, const AutoRunQuestion& ask);

}  // namespace halvex::app
