#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "util/Status.h"

namespace halvex {

inline constexpr const char* kUpdaterProgramName = "Updater";
// The name the updater shows in its texts.
inline constexpr const char* kUpdaterDisplayName = "Pellory";

// Starts a program detached; true when it started. The engine knows nothing
// of processes: the platform layer passes its own (KMSystem::StartProgram).
using ProgramStarter =
    std::function<bool(const std::filesystem::path& program, const std::vector<std::string>& arguments)>;

struct UpdaterHandOff {
    std::filesystem::path bundlePath;   // <run path>/HalvexDravane.app
    std::filesystem::path tempFolder;   // the per-user private temporary folder
    std::filesystem::path packagePath;  // the downloaded package
    pid_t pid = 0;                      // the suite's process, which the updater waits for
};

// The updater's arguments: -pid <pid> -name Pellory -cur <bundle> -zip <package>.
std::vector<std::string> UpdaterArguments(const UpdaterHandOff& handOff);

// Copies <bundle>/Contents/Linux/Updater into the temporary folder (it must
// not run from the folder it replaces) and starts the copy detached. On
// failure ("updater_err") the package stays for the next attempt. On success
// the caller quits at once.
Status StartUpdater(const UpdaterHandOff& handOff, const ProgramStarter& start);

}  // namespace halvex
