// dravane autorun status|enable|disable: the auto-run agent on this computer.

#include <ostream>

#include "Command.h"
#include "Context.h"
#include "KMAutoRun.h"
#include "Text.h"
#include "paths/KXAppPaths.h"
#include "strings/FormatText.h"

namespace halvex::cli {

namespace {

std::string VersionText(const std::array<int, 4>& version)
{
    return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
           std::to_string(version[2]) + "." + std::to_string(version[3]);
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
    out.flush();
    return kExitDone;
}

int Run(Context& context, const std::vector<std::string>& options)
{
    if (options.size() != 1) {
        context.console().error(options.empty()
                                    ? Text("cli_autorun_usage", "Usage: dravane autorun status|enable|disable")
                                    : FormatText(Text("cli_unexpected_argument", "Unexpected argument %s."),
                                                 options[1]));
        return kExitSetup;
    }
    const std::string& action = options.front();
    if (action == "status")
        return Status(context);
    if (action == "enable") {
        if (!KMAutoRun::Enable(KMAutoRun::PackageIn(context.paths().ResourcesPath()))) {
            context.console().error(
                Text("err_autorun_install", "Autorun could not be enabled on this computer."));
            return kExitFailures;
        }
        return kExitDone;
    }
    if (action == "disable") {
        if (!KMAutoRun::Disable()) {
            context.console().error(
                Text("err_autorun_uninstall", "Autorun could not be disabled on this computer."));
            return kExitFailures;
        }
        return kExitDone;
    }
    context.console().error(FormatText(Text("cli_unexpected_argument", "Unexpected argument %s."), action));
    return kExitSetup;
}

}  // namespace

const Command& AutorunCommand()
{
    static const Command command{
        "autorun", "the auto-run agent that starts the suite when its drive is plugged in",
        "autorun status|enable|disable\n"
        "\n"
        "status   prints installed, version, outdated, enabled and running (yes/no),\n"
        "         and the agent's path\n"
        "enable   installs the agent from the suite's resources when it is missing or\n"
        "         older than 1.0.0.1, adds its autostart entry and starts it\n"
        "disable  stops the agent, deletes it and removes its autostart entry\n"
        "\n"
        "The agent is installed for the current user, in $XDG_DATA_HOME/Halvex, and\n"
        "started at log-in by an entry in $XDG_CONFIG_HOME/autostart.\n",
        Needs::Setup, &Run};
    return command;
}

}  // namespace halvex::cli
