#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "util/Status.h"

namespace halvex {

inline constexpr const char* kUpdaterProgramName = "Updater";
// The updater's copy runs from this folder of the temporary folder, with
// what it needs from beside the drive's programs.
inline constexpr const char* kUpdaterFolderName = "updater";
inline constexpr const char* kUpdaterCompanions[] = {"lib", "plugins", "qt.conf"};
// The name the updater shows in its texts.
inline constexpr const char* kUpdaterDisplayName = "Pellory";

// Starts a program detached; ok when it started, else why not. The engine
// knows nothing of processes: the platform layer passes its own
// (KMSystem::StartProgram).
using ProgramStarter =
    std::function<Status(const std::filesystem::path& program, const std::vector<std::string>& arguments)>;

struct UpdaterHandOff {
    std::filesystem::path bundlePath;   // <run path>/HalvexDravane.app
    std::filesystem::path tempFolder;   // the per-user private temporary folder
    std::filesystem::path packagePath;  // the downloaded package
    std::string version;                // the offer's version, which the package's signature names
    std::string signature;              // the offer's signature of the package (base64)
    pid_t pid = 0;                      // the suite's process, which the updater waits for
    // No closing alert: set by the command line, whose user watches a
    // terminal; the updater's log holds the outcome.
    bool silent = false;
};

// The updater's arguments: -pid <pid> -name Pellory -cur <bundle> -zip <package>
// -ver <version> -sig <signature> [-silent 1].
std::vector<std::string> UpdaterArguments(const UpdaterHandOff& handOff);

// Checks the package for the drive (CheckPackage: a refusal keeps its own
// key and nothing starts), then copies <bundle>/Contents/Linux/Updater, with the "lib" and "plugins"
// folders and "qt.conf" when the bundle has them, into <temp>/updater (it must
// not run from the folder it replaces) and starts the copy detached, which
// checks the package again just before it installs. On failure
// ("updater_err") the caller removes the package. On success the caller
// quits at once.
Status StartUpdater(const UpdaterHandOff& handOff, const ProgramStarter& start);

}  // namespace halvex
