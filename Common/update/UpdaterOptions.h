#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace halvex {

// The updater's command line: -pid <id> -name <text> -cur <bundle> -zip <package>
// -ver <version> -sig <signature>, and for unattended runs -silent 1 (no alert; the outcome is the exit status).
struct UpdaterOptions {
    pid_t pid = 0;
    std::string name;
    std::filesystem::path curPath;  // the suite's bundle on the drive
    std::filesystem::path zipPath;  // the downloaded package
    std::string version;            // the offered version (-ver), which the signature names
    std::string signature;          // the offer's signature (-sig), base64; empty when none came
    bool silent = false;
};

// Reads the key and value pairs; a later pair replaces an earlier one and
// unknown keys are passed over. No options (the updater then ends silently)
// when the pid is not a positive number or a text is empty.
std::optional<UpdaterOptions> ParseUpdaterOptions(const std::vector<std::string>& arguments);

// Where the package is unpacked: "HalvexUpdate" beside it.
std::filesystem::path UnpackFolderFor(const std::filesystem::path& zipPath);

// The folder that holds the bundle (the "cur" path less its last part),
// where the package's paths are placed.
std::filesystem::path InstallFolderFor(const std::filesystem::path& curPath);

// The suite's program inside the bundle, started again after a good update.
std::filesystem::path RelaunchProgramFor(const std::filesystem::path& curPath);

}  // namespace halvex
