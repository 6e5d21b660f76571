#include "Dravane.h"

#include <optional>
#include <ostream>

#include "Cancel.h"
#include "Command.h"
#include "CommandOptions.h"
#include "Context.h"
#include "system/DeviceSources.h"
#include "system/KMDevice.h"
#include "Text.h"
#include "paths/KXAppPaths.h"
#include "paths/RunPath.h"
#include "plist/DXPlistPrefs.h"
#include "prefs/KXAppPrefs.h"
#include "strings/FormatText.h"
#include "strings/KXStrings.h"

namespace fs = std::filesystem;

namespace halvex::cli {

namespace {

struct GlobalOptions {
    std::optional<std::string> runPath;
    bool assumeYes = false;
    bool help = false;
    std::string command;
    std::vector<std::string> options;
};

void PrintUsage(const std::vector<const Command*>& commands, std::ostream& out)
{
    out << "Usage: dravane [--run-path DIR] [--yes] COMMAND [OPTIONS]\n"
           "\n"
           "The command line of Halvex Dravane, for scripts and servers. It runs from\n"
           "the suite's drive like the application and uses the same settings.\n"
           "\n"
           "Commands:\n";
    for (const Command* command : commands) {
        std::string name(command->name);
        name.resize(std::max<std::size_t>(name.size() + 2, 10), ' ');
        out << "  " << name << command->summary << '\n';
    }
    out << "\n"
           "Options:\n"
           "  --run-path DIR  the folder that holds HalvexDravane.app (default: found from\n"
           "                  the program's place in it)\n"
           "  --yes, -y       answer yes to every question\n"
           "  --help, -h      this help; `dravane COMMAND --help` describes a command\n"
           "\n"
           "Exit status: 0 done, 1 finished with failures, 2 usage or setup error.\n"
           "\n"
           "Environment:\n"
           "  HALVEX_ASSUME_USB=1   take the run path as the top of a drive of the suite\n"
           "                        (to try the suite without a USB drive)\n"
           "  HALVEX_SYSFS_ROOT, HALVEX_MOUNTINFO, HALVEX_DISK_BY_LABEL\n"
           "                        where drive detection looks instead of /sys,\n"
           "                        /proc/self/mountinfo and /dev/disk/by-label\n";
}

// False with a message when the global options are wrong.
bool ParseGlobal(const std::vector<std::string>& arguments, GlobalOptions& global, std::string& problem)
{
    // The global options stop at the command's name; what follows is the command's.
    const CommandOptions given = CommandOptions::Parse(
        arguments, {{"--run-path"}, {"--yes", "-y", "--help", "-h", "--version"}}, 0, CommandOptions::End::AtFirstWord);
    if (!given.ok()) {
        problem = given.unknown().empty()
                      ? given.error()
                      : FormatText(Text("cli_unknown_option", "Unknown option %s."), given.unknown());
        return false;
    }
    global.runPath = given.Last("--run-path");
    global.assumeYes = given.Has("--yes") || given.Has("-y");
    global.help = given.Has("--help") || given.Has("-h");
    const std::vector<std::string>& rest = given.positional();
    std::size_t i = 0;
    if (given.Has("--version"))
        global.command = "version";
    else if (!rest.empty())
        global.command = rest[i++];
    // The command's own options; --yes is taken out wherever it stands
    // before a "--".
    bool literal = false;
    for (; i < rest.size(); ++i) {
        const std::string& argument = rest[i];
        if (!literal && (argument == "--yes" || argument == "-y")) {
            global.assumeYes = true;
            continue;
        }
        if (argument == "--")
            literal = true;
        global.options.push_back(argument);
    }
    return true;
}

bool WantsHelp(const std::vector<std::string>& options)
{
    for (const std::string& option : options) {
        if (option == "--")
            return false;
        if (option == "--help" || option == "-h")
            return true;
    }
    return false;
}

// The run path: the option, else the program's place in the drive folder.
std::optional<fs::path> FindRunPath(const GlobalOptions& global, const fs::path& executable, Console& console)
{
    if (global.runPath) {
        std::optional<fs::path> runPath = RunPathFromArgument(*global.runPath);
        std::error_code error;
        if (!runPath || !fs::is_directory(*runPath, error)) {
            console.error(
                FormatText(Text("cli_run_path_missing", "The run path %s is not a folder."), *global.runPath));
            return std::nullopt;
        }
        return runPath;
    }
    std::optional<fs::path> runPath = RunPathFromExecutable(executable);
    if (!runPath)
        console.error(Text("cli_no_run_path",
                           "dravane is not inside a drive folder (<run path>/HalvexDravane.app/Contents/Linux); "
                           "name the folder with --run-path."));
    return runPath;
}

// The run path's own resources, else those of the bundle the program sits
// in: `--run-path` may name a folder without a copy of the suite.
fs::path FindResources(const KXAppPaths& paths, const fs::path& executable)
{
    std::error_code error;
    if (fs::is_directory(paths.ResourcesPath(), error))
        return paths.ResourcesPath();
    if (const std::optional<fs::path> own = RunPathFromExecutable(executable))
        return KXAppPaths(*own).ResourcesPath();
    return paths.ResourcesPath();
}

}  // namespace

namespace {

// Settings files that could not be read were moved aside; each is named once.
void TellSetAsideFiles(Console& console)
{
    for (const fs::path& file : DXPlistPrefs::TakeSetAsideFiles())
        console.error(FormatText(Text("plist_damaged",
                                      "A settings file could not be read. It was kept as %s, and its "
                                      "settings start again from their defaults."),
                                 file));
}

}  // namespace

int RunDravane(const std::vector<std::string>& arguments, const DravaneIo& io)
{
    return RunDravaneWith(Commands(), arguments, io);
}

int RunDravaneWith(const std::vector<const Command*>& commands, const std::vector<std::string>& arguments,
                   const DravaneIo& io)
{
    std::ostream& out = io.out;
    const fs::path& executable = io.executable;
    Console console(io.out, io.err, io.in, io.terminal);
    GlobalOptions global;
    std::string problem;
    if (!ParseGlobal(arguments, global, problem)) {
        console.error(problem);
        console.error("Try 'dravane --help'.");
        return kExitSetup;
    }
    console.setAssumeYes(global.assumeYes);
    if (global.command.empty()) {
        PrintUsage(commands, global.help ? out : io.err);
        return global.help ? kExitDone : kExitSetup;
    }
    const Command* command = FindCommand(commands, global.command);
    if (command == nullptr) {
        console.error(FormatText(Text("cli_unknown_command", "Unknown command %s."), global.command));
        console.error("Try 'dravane --help'.");
        return kExitSetup;
    }
    if (global.help || WantsHelp(global.options)) {
        out << "Usage: dravane [--run-path DIR] [--yes] " << command->usage;
        return kExitDone;
    }

    Context context(console, CancelFlag());
    if (command->needs == Needs::Nothing)
        return command->run(context, global.options);

    // Start-up in the suite's order: paths, preferences, strings, drive.
    const std::optional<fs::path> runPath = FindRunPath(global, executable, console);
    if (!runPath)
        return kExitSetup;
    const KXAppPaths paths(*runPath);
    KXAppPrefs::Clear();
    KXAppPrefs::AddSuitePreferences();
    KXAppPrefs::InitWithPath(paths.AppPrefsPath());
    if (const Status loaded = KXStrings::Init(FindResources(paths, executable)); !loaded) {
        console.error(WithDetail(kResourcesFailedMessage, loaded));
        return kExitSetup;
    }
    TellSetAsideFiles(console);

    if (AssumeUsbRequested())
        console.message(kAssumeUsbNotice);
    const KMDevice drive(*runPath, DeviceSources::FromEnvironment(*runPath));
    if (command->needs == Needs::Drive && !drive.runFromDevice()) {
        console.error(FormatText(Text("cli_not_on_usb",
                                      "%s is not on a USB drive, so the suite does not run from it. "
                                      "'dravane info' shows what was detected; HALVEX_ASSUME_USB=1 tries the "
                                      "suite without a drive."),
                                 *runPath));
        return kExitSetup;
    }
    // Only once the drive is accepted: a refused folder keeps no trace. The
    // command still runs; what it cannot keep it reports on its own.
    if (command->needs == Needs::Drive) {
        if (const Status made = paths.CreateDataFolder(); !made)
            console.error(WithDetail(Text("err_data_folder_create",
                                          "The folder \"Halvex Data\" could not be created on the USB flash drive, "
                                          "so your settings and your sync folder cannot be kept."),
                                     made));
    }
    context.setSetup(&paths, &drive);
    const int status = command->run(context, global.options);
    TellSetAsideFiles(console);
    return status;
}

}  // namespace halvex::cli
