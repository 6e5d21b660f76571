// dravane backup: the backup of the current profile.

#include <ostream>

#include "BackupCommandContext.h"
#include "CommandOptions.h"
#include "CommandRunView.h"
#include "backup/BackupProfileStore.h"
#include "backup/BackupRun.h"
#include "backup/BackupStrings.h"
#include "util/IgnoreResult.h"

namespace halvex::cli {

namespace bm = backup_message;

namespace {

int Run(Context& context, const std::vector<std::string>& options)
{
    return RunWithBackupContext(context, options, RunBackupCommand);
}

}  // namespace

int RunBackupCommand(const std::vector<std::string>& arguments, const BackupCommandContext& context)
{
    const CommandOptions options = CommandOptions::Parse(arguments, {{"--on-error"}, {"--dry-run"}});
    if (!options.ok() || !options.positional().empty())
        return FailWithUsage(context, options.ok() ? "backup takes no file names" : options.error());
    const std::string onError = options.One("--on-error", "ask");
    if (onError != "ask" && onError != "skip" && onError != "stop")
        return FailWithUsage(context, "--on-error takes skip or stop");

    BackupProfileStore store(context.dataFolder, *context.strings);
    IgnoreResult(store.ReadIndex(),
                 "an index that cannot be read leaves no profile current, and the run says message 14");
    CommandRunView view(context);
    view.Preset(BackupRunView::Question::ContinueAfterError, onError, "skip");

    static const std::atomic<bool> never{false};
    BackupRunRequest request;
    request.driveRoot = context.driveRoot;
    request.clusterSize = context.clusterSize;
    request.options.dryRun = options.Has("--dry-run");
    request.options.archiveThreads = context.archiveThreads;
    request.options.flush = context.flush;
    const BackupRunResult result =
        RunBackupOfCurrentProfile(request, store, view, *context.strings, context.cancel ? *context.cancel : never);
    view.Finish();
    if (!result.setName.empty() && context.recordBackup)
        context.recordBackup(result.setName, result.sourceFolder);

    if (request.options.dryRun && result.message == 0) {
        *context.out << "files: " << result.files << "\n"
                     << "bytes needed: " << result.bytesNeeded << "\n";
        return kExitDone;
    }
    switch (result.message) {
    case bm::kBackupDone:
        *context.out << result.stored << " stored, " << result.failed << " failed\n";
        return result.failed ? kExitFailures : kExitDone;
    case bm::kNothingToBackup:
        if (request.options.dryRun)
            *context.out << "files: 0\nbytes needed: 0\n";
        *context.out << context.strings->Message(bm::kNothingToBackup) << "\n";
        return kExitDone;
    case bm::kCancelled: return kExitFailed;
    default: return FailWithMessage(context, result.message);
    }
}

const Command& BackupCommand()
{
    static const Command command{"backup", "back up the current profile's files into its backup set on the drive",
                                 "backup [--dry-run] [--on-error skip|stop]\n"
                                 "  --dry-run            print \"files: N\" and \"bytes needed: B\"; write nothing\n"
                                 "  --on-error skip|stop what to do when a file cannot be stored (default: ask)\n",
                                 Needs::Drive, &Run};
    return command;
}

}  // namespace halvex::cli
