#include "update/UpdaterHandOff.h"

#include "copy/FileCopier.h"

#include <cstring>

namespace fs = std::filesystem;

namespace halvex {

std::vector<std::string> UpdaterArguments(const UpdaterHandOff& handOff)
{
    return {"-pid", std::to_string(handOff.pid), "-name", kUpdaterDisplayName,
            "-cur", handOff.bundlePath.string(), "-zip", handOff.packagePath.string()};
}

Status StartUpdater(const UpdaterHandOff& handOff, const ProgramStarter& start)
{
    if (handOff.tempFolder.empty() || handOff.bundlePath.empty() || handOff.packagePath.empty() || handOff.pid <= 0)
        return Status::Fail("updater_err", "incomplete hand-off");
    const fs::path source = handOff.bundlePath / "Contents" / "Linux" / kUpdaterProgramName;
    const fs::path copy = handOff.tempFolder / kUpdaterProgramName;
    CopyOptions options;
    options.keepMode = true;
    options.durable = false;
    const CopyResult copied = CopyFileAtomic(source, copy, options);
    if (!copied.ok())
        return Status::Fail("updater_err", source.string() + ": " + std::strerror(copied.error));
    if (!start || !start(copy, UpdaterArguments(handOff)))
        return Status::Fail("updater_err", copy.string() + " could not be started");
    return Status::Ok();
}

}  // namespace halvex
