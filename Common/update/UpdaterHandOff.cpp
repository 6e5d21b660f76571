#include "update/UpdaterHandOff.h"

#include "copy/FileCopier.h"
#include "copy/TreeCopier.h"
#include "update/PackageSignature.h"
#include "update/UpdateMessageKeys.h"

namespace fs = std::filesystem;

namespace halvex {

std::vector<std::string> UpdaterArguments(const UpdaterHandOff& handOff)
{
    std::vector<std::string> arguments = {
        "-pid", std::to_string(handOff.pid),  "-name", kUpdaterDisplayName, "-cur", handOff.bundlePath.string(),
        "-zip", handOff.packagePath.string(), "-ver",  handOff.version,     "-sig", handOff.signature};
    if (handOff.silent)
        arguments.insert(arguments.end(), {"-silent", "1"});
    return arguments;
}

Status StartUpdater(const UpdaterHandOff& handOff, const ProgramStarter& start)
{
    if (handOff.tempFolder.empty() || handOff.bundlePath.empty() || handOff.packagePath.empty() || handOff.pid <= 0)
        return Status::Fail(kUpdaterErrorKey, "incomplete hand-off");
    // Refused here already, the user learns why before the suite quits.
    if (Status checked = CheckPackage(
            DrivePackageCheck(handOff.bundlePath, handOff.packagePath, handOff.version, handOff.signature));
        !checked)
        return checked;
    const fs::path programs = handOff.bundlePath / "Contents" / "Linux";
    const fs::path source = programs / kUpdaterProgramName;
    const fs::path folder = handOff.tempFolder / kUpdaterFolderName;
    const fs::path copy = folder / kUpdaterProgramName;

    // A copy left by an earlier update may be of another version.
    std::error_code error;
    fs::remove_all(folder, error);
    if (error || !fs::create_directory(folder, error))
        return Status::Fail(kUpdaterErrorKey, folder.string() + ": " + error.message());
    CopyOptions options;
    options.keepMode = true;
    options.durable = false;
    const Status copied = CopyFileAtomic(source, copy, options);
    if (!copied.ok)
        return Status::FailErrno(kUpdaterErrorKey, source, copied.systemError);
    // A drive mounted with showexec or noexec gives its files no run
    // permission; the copy is ours and must run.
    fs::permissions(copy, fs::perms::owner_all, fs::perm_options::add, error);
    if (error)
        return Status::Fail(kUpdaterErrorKey, copy.string() + ": " + error.message());
    // A drive's programs find their libraries and Qt's plugins beside them
    // ($ORIGIN/lib); the updater's copy must find the same ones.
    for (const char* companion : kUpdaterCompanions) {
        if (!fs::exists(fs::symlink_status(programs / companion, error)))
            continue;
        TreeCopyOptions treeOptions;
        treeOptions.durable = false;
        const Status tree = CopyIntoFolder(programs / companion, folder, treeOptions);
        if (!tree.ok)
            return tree.As(kUpdaterErrorKey);
    }
    if (!start)
        return Status::Fail(kUpdaterErrorKey, copy.string() + " could not be started");
    // The updater's own message, with the starter's reason (and errno).
    return start(copy, UpdaterArguments(handOff)).As(kUpdaterErrorKey);
}

}  // namespace halvex
