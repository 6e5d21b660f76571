// dravane autorun status|enable|disable|trust|untrust: the auto-run agent on
// this computer and the drives it may start the suite from.

#include <ostream>

#include "Command.h"
#include "CommandOptions.h"
#include "Context.h"
#include "system/DriveIdentity.h"
#include "system/KMAutoRun.h"
#include "system/KMDevice.h"
#include "Text.h"
#include "system/TrustedDrives.h"
#include "paths/KXAppPaths.h"
#include "strings/FormatText.h"

namespace halvex::cli {

namespace {

std::string TrustListError(const halvex::Status& status, const TrustedDrives& list)
{
    if (status.messageKey == TrustedDrives::kWriteErrorKey)
        return WithDetail(
            FormatText(Text(TrustedDrives::kWriteErrorKey, "The list of trusted drives could not be saved in %s."),
                       list.File().string()),
            status);
    return FormatText(Text(TrustedDrives::kDamagedKey,
                           "The list of trusted drives %s could not be read (%s); no drive counts as trusted."),
                      list.File().string(), status.detail);
}

std::string VersionText(const std::array<int, 4>& version)
{
    return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." + std::to_string(version[2]) + "." +
           std::to_string(version[3]);
}

int Status(Context& context)
{
    std::error_code error;
    const bool installed = std::filesystem::is_regular_file(KMAutoRun::InstalledProgram(), error);
    const auto version = KMAutoRun::InstalledVersion();
    std::ostream& out = context.console().out();
    out << "installed: " << (installed ? "yes" : "no") << '\n'
        << "version: " << (version ? VersionText(*version) : "") << '\n'
        << "outdated: " << (installed && KMAutoRun::NeedToInstall() ? "yes" : "no") << '\n'
        << "enabled: " << (KMAutoRun::IsEnabled() ? "yes" : "no") << '\n'
        << "running: " << (KMAutoRun::IsRunning() ? "yes" : "no") << '\n'
        << "path: " << KMAutoRun::InstalledAgent().string() << '\n';
    TrustedDrives trusted;
    if (const halvex::Status loaded = trusted.Load(); !loaded)
        context.console().error(TrustListError(loaded, trusted));
    out << "trusted drives: " << trusted.Drives().size() << '\n';
    for (const DriveIdentity& drive : trusted.Drives())
        out << "trusted: " << drive.label << " (vendor " << drive.vendorId << ", product " << drive.productId
            << ", serial " << drive.serial << ", UUID " << drive.uuid << ")\n";
    out.flush();
    return kExitDone;
}

// trust and untrust: the drive of the run path, as the agent will see it.
int ChangeTrust(Context& context, bool trust)
{
    const DriveIdentity drive = DriveIdentity::Of(context.drive());
    if (!context.drive().runFromDevice() || !drive.IsDistinct()) {
        context.console().error(Text(TrustedDrives::kNotDistinctKey,
                                     "This drive has no serial number or file system UUID that tells it from "
                                     "other drives, so it cannot be trusted."));
        return kExitSetup;
    }
    TrustedDrives trusted;
    bool wasTrusted = false;
    halvex::Status changed = halvex::Status::Ok();
    if (trust) {
        changed = trusted.Trust(drive);
    } else {
        const halvex::Result<bool> forgotten = trusted.Forget(drive);
        changed = forgotten.status();
        wasTrusted = forgotten.ValueOr(false);
    }
    if (!changed) {
        context.console().error(TrustListError(changed, trusted));
        return kExitFailures;
    }
    if (trust)
        context.console().message(FormatText(
            Text("cli_drive_trusted", "The auto-run agent now starts Halvex Dravane from the drive %s."), drive.label));
    else if (wasTrusted)
        context.console().message(FormatText(
            Text("cli_drive_untrusted", "The drive %s is no longer trusted by the auto-run agent."), drive.label));
    else
        context.console().message(
            FormatText(Text("cli_drive_not_trusted", "The drive %s was not trusted."), drive.label));
    return kExitDone;
}

int Run(Context& context, const std::vector<std::string>& options)
{
    const CommandOptions given = CommandOptions::Parse(options, {});
    const std::vector<std::string>& words = given.positional();
    if (!given.ok() || words.size() != 1) {
        context.console().error(
            !given.ok()     ? given.error()
            : words.empty() ? Text("cli_autorun_usage", "Usage: dravane autorun status|enable|disable|trust|untrust")
                            : FormatText(Text("cli_unexpected_argument", "Unexpected argument %s."), words[1]));
        return kExitSetup;
    }
    const std::string& action = words.front();
    if (action == "status")
        return Status(context);
    if (action == "enable") {
        if (const halvex::Status enabled = KMAutoRun::Enable(KMAutoRun::PackageIn(context.paths().ResourcesPath()));
            !enabled) {
            context.console().error(WithDetail(
                Text(KMAutoRun::kInstallErrorKey, "Autorun could not be enabled on this computer."), enabled));
            return kExitFailures;
        }
        return kExitDone;
    }
    if (action == "disable") {
        if (const halvex::Status disabled = KMAutoRun::Disable(); !disabled) {
            context.console().error(WithDetail(
                Text(KMAutoRun::kUninstallErrorKey, "Autorun could not be disabled on this computer."), disabled));
            return kExitFailures;
        }
        return kExitDone;
    }
    if (action == "trust" || action == "untrust")
        return ChangeTrust(context, action == "trust");
    context.console().error(FormatText(Text("cli_unexpected_argument", "Unexpected argument %s."), action));
    return kExitSetup;
}

}  // namespace

const Command& AutorunCommand()
{
    static const Command command{"autorun", "the auto-run agent that starts the suite when its drive is plugged in",
                                 "autorun status|enable|disable|trust|untrust\n"
                                 "\n"
                                 "status   prints installed, version, outdated, enabled and running (yes/no),\n"
                                 "         the agent's path, and the drives it trusts (label, vendor, product,\n"
                                 "         serial, UUID)\n"
                                 "enable   installs the agent from the suite's resources when it is missing or\n"
                                 "         older than 1.0.0.1, adds its autostart entry and starts it\n"
                                 "disable  stops the agent, deletes it and removes its autostart entry\n"
                                 "trust    lets the agent start the suite from the drive of the run path\n"
                                 "untrust  forgets that drive: the agent asks again before starting from it\n"
                                 "\n"
                                 "The agent starts the suite only from trusted drives; for another drive of the\n"
                                 "suite it asks through a desktop notification. The list is this user's own, in\n"
                                 "$XDG_CONFIG_HOME/halvex-dravane/trusted-drives; a drive is told by its USB\n"
                                 "vendor, product and serial number and its file system UUID.\n"
                                 "\n"
                                 "The agent is installed for the current user, in $XDG_DATA_HOME/Halvex, and\n"
                                 "started at log-in by an entry in $XDG_CONFIG_HOME/autostart.\n",
                                 Needs::Setup, &Run};
    return command;
}

}  // namespace halvex::cli
