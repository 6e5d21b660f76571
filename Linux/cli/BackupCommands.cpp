#include "BackupCommands.h"

#include <algorithm>
#include <istream>
#include <ostream>

#include "backup/BackupFileUtils.h"
#include "backup/BackupProfileStore.h"
#include "backup/BackupRun.h"
#include "backup/BackupSetFolder.h"
#include "backup/BackupStrings.h"
#include "backup/KWBackupManager.h"
#include "CommandOptions.h"
#include "CommandRunView.h"
#include "util/IgnoreResult.h"
#include "util/ParseInteger.h"

namespace halvex {

namespace bm = backup_message;
using cli::CommandOptions;

namespace {

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

int Fail(const BackupCommandContext& context, int message)
{
    *context.err << context.strings->Message(message) << "\n";
    const std::string explanation = context.strings->Explanation(message);
    if (!explanation.empty())
        *context.err << explanation << "\n";
    return kExitFailed;
}

int Usage(const BackupCommandContext& context, const std::string& problem)
{
    *context.err << "dravane: " << problem << "\n" << BackupCommandsUsage();
    return kExitFailed;
}

// ---- profile ----------------------------------------------------------------

int ProfileList(BackupProfileStore& store, const BackupCommandContext& context)
{
    for (const int number : store.ProfilesOf(context.identity)) {
        const Result<BackupProfile> read = store.Read(number);
        if (!read)
            continue;
        const BackupProfile& profile = read.value();
        *context.out << (number == store.CurrentProfile() ? "* " : "  ") << number << "\t" << profile.DisplayName();
        if (!IsValidSetName(profile.setName))
            *context.out << " " << context.strings->Message(bm::kDamagedMark);
        *context.out << "\t" << profile.sourceFolder << "\n";
    }
    return kExitDone;
}

int CheckUserCategory(const std::string& text, BackupProfile& profile, const BackupCommandContext& context)
{
    const auto equals = text.find('=');
    const std::string name = Trim(text.substr(0, equals));
    const std::string types = equals == std::string::npos ? std::string() : Trim(text.substr(equals + 1));
    if (name.empty())
        return Fail(context, 35);
    if (types.empty())
        return Fail(context, 27);
    if (!IsValidCategoryName(name))
        return Fail(context, 4);
    for (std::size_t i = 0; i < kPredefinedCategories.size(); ++i)
        if (name == context.strings->Label(kPredefinedCategories[i].nameLabel))
            return Fail(context, 5);
    for (const auto& held : profile.userCategories)
        if (held.name == name)
            return Fail(context, 5);
    if (!IsValidTypeList(types))
        return Fail(context, 6);
    const std::string list = WithTrailingColon(types);
    if (HasDuplicateType(list))
        return Fail(context, 8);
    if (profile.userCategories.size() >= kMaxUserCategories || name.size() > kMaxSettingBytes ||
        list.size() > kMaxSettingBytes)
        return Usage(context, "too many or too long user categories");
    profile.userCategories.push_back({name, list, true});
    return kExitDone;
}

int ProfileCreate(BackupProfileStore& store, const CommandOptions& options, const BackupCommandContext& context)
{
    BackupProfile profile = BackupProfile::WithDefaultLists(*context.strings);
    profile.macAddress = context.identity;
    profile.sourceFolder = options.One("--source");
    if (profile.sourceFolder.empty() || !FolderExists(profile.sourceFolder))
        return Fail(context, bm::kNoSourceFolder);
    profile.sourceFolder = std::filesystem::absolute(profile.sourceFolder).lexically_normal().string();

    profile.setName = Trim(options.One("--set"));
    if (!IsValidSetName(profile.setName))
        return Fail(context, bm::kInvalidSetName);
    if (profile.setName.find('.') != std::string::npos)
        return Fail(context, bm::kSetNameHasDot);

    for (const auto& category : options.All("--category")) {
        bool known = false;
        for (std::size_t i = 0; i < kPredefinedCategories.size(); ++i) {
            if (EqualsIgnoringAsciiCase(category, kPredefinedCategories[i].key)) {
                profile.predefinedChecked[i] = true;
                known = true;
            }
        }
        if (!known)
            return Usage(context, "unknown category " + category + " (All, Document, Movie, Music, Picture)");
    }
    for (const auto& text : options.All("--user-category"))
        if (const int status = CheckUserCategory(text, profile, context); status != kExitDone)
            return status;
    if (profile.CombinedList().empty())
        return Fail(context, bm::kNoCategory);

    // A set folder is shared by everything on the drive: no two profiles,
    // of this computer or another, may store into the same one.
    for (int number = 1; number <= store.MaxProfile(); ++number) {
        const Result<BackupProfile> other = store.Read(number);
        if (other && EqualsIgnoringAsciiCase(other.value().setName, profile.setName))
            return Fail(context, bm::kSetNameUsed);
    }
    const Result<int> created = store.Create(profile);
    if (!created) {
        *context.err << "dravane: the profile could not be written: " << created.detail() << "\n";
        return kExitFailed;
    }
    *context.out << "* " << created.value() << "\t" << profile.setName << "\t" << profile.sourceFolder << "\n";
    return kExitDone;
}

bool OwnProfile(BackupProfileStore& store, const std::string& text, const BackupCommandContext& context, int& number)
{
    // "1abc" names no profile: a delete must not fall on profile 1.
    const auto parsed = ParseInteger<int>(text);
    if (!parsed)
        return false;
    number = *parsed;
    const auto own = store.ProfilesOf(context.identity);
    return std::find(own.begin(), own.end(), number) != own.end();
}

int ProfileDelete(BackupProfileStore& store, int number, bool confirmed, const BackupCommandContext& context)
{
    const Result<BackupProfile> read = store.Read(number);
    if (!read) {
        *context.err << context.strings->Message(bm::kProfileUnreadable) << " " << store.ProfilePath(number).string()
                     << "\n";
        return kExitFailed;
    }
    const BackupProfile& profile = read.value();
    // The set name leads the delete: one that is no folder name could name
    // the drive itself or a folder anywhere, so the profile is left alone.
    if (!IsValidSetName(profile.setName)) {
        *context.err << context.strings->Message(bm::kDamagedProfile) << " " << store.ProfilePath(number).string()
                     << "\n";
        return kExitFailed;
    }
    if (!confirmed) {
        TerminalRunView fallback(*context.out, *context.in, context.terminal);
        BackupRunView& view = context.view ? *context.view : fallback;
        const std::string question = context.strings->Message(bm::kDeleteQuestionBefore) + " " + profile.setName +
                                     context.strings->Message(bm::kDeleteQuestionAfter);
        if (!view.AskYesNo(BackupRunView::Question::Overwrite, question))
            return kExitFailed;
    }
    if (!context.driveRoot.empty()) {
        const auto backupFolder = context.driveRoot / KWBackupManager::kBackupFolder;
        if (const Status removed = DeleteSetFolder(backupFolder, profile.setName); !removed.ok) {
            *context.err << context.strings->Message(SetFolderMessage(removed)) << " "
                         << (backupFolder / profile.setName).string() << "\n";
            if (!removed.detail.empty())
                *context.err << removed.detail << "\n";
            return kExitFailed;
        }
    }
    const Status deleted = store.Delete(number);
    if (!deleted.ok) {
        *context.err << context.strings->Message(bm::kDeleteFailed) << " " << store.ProfilePath(number).string() << "\n"
                     << context.strings->Message(bm::kDeleteFailedLine2) << "\n"
                     << deleted.detail << "\n";
        return kExitFailed;
    }
    return kExitDone;
}

}  // namespace

std::string BackupCommandsUsage()
{
    return "usage: dravane profile list\n"
           "       dravane profile create --set NAME --source DIR [--category NAME]... "
           "[--user-category NAME=TYPES]...\n"
           "       dravane profile select N\n"
           "       dravane profile delete N [--yes]\n"
           "       dravane backup [--dry-run] [--on-error skip|stop]\n"
           "       dravane restore --set NAME [--generation current|recent|old] [--folder RELATIVE]\n"
           "                       [--file NAME]... [--recursive] (--original | --desktop | --to DIR)\n"
           "                       [--overwrite ask|yes|no]\n";
}

int RunProfileCommand(const std::vector<std::string>& arguments, const BackupCommandContext& context)
{
    if (arguments.empty())
        return Usage(context, "profile needs list, create, select or delete");
    BackupProfileStore store(context.dataFolder, *context.strings);
    if (const Status index = store.ReadIndex(); !index) {
        *context.err << "dravane: the profile index cannot be written in " << context.dataFolder.string() << ": "
                     << index.detail << "\n";
        return kExitFailed;
    }
    const CommandOptions options =
        CommandOptions::Parse(arguments, {{"--set", "--source", "--category", "--user-category"}, {"--yes"}}, 1);
    if (!options.ok())
        return Usage(context, options.error());
    const std::string& verb = arguments[0];
    if (verb == "list")
        return ProfileList(store, context);
    if (verb == "create")
        return ProfileCreate(store, options, context);
    if ((verb == "select" || verb == "delete") && options.positional().size() == 1) {
        int number = 0;
        if (!OwnProfile(store, options.positional()[0], context, number))
            return Usage(context, "no profile " + options.positional()[0] + " of this computer");
        if (verb == "delete")
            return ProfileDelete(store, number, options.Has("--yes"), context);
        store.SetCurrentProfile(number);
        if (const Status written = store.WriteIndex(); !written) {
            *context.err << "dravane: the profile index cannot be written: " << written.detail << "\n";
            return kExitFailed;
        }
        return kExitDone;
    }
    return Usage(context, "profile needs list, create, select N or delete N");
}

int RunBackupCommand(const std::vector<std::string>& arguments, const BackupCommandContext& context)
{
    const CommandOptions options = CommandOptions::Parse(arguments, {{"--on-error"}, {"--dry-run"}});
    if (!options.ok() || !options.positional().empty())
        return Usage(context, options.ok() ? "backup takes no file names" : options.error());
    const std::string onError = options.One("--on-error", "ask");
    if (onError != "ask" && onError != "skip" && onError != "stop")
        return Usage(context, "--on-error takes skip or stop");

    BackupProfileStore store(context.dataFolder, *context.strings);
    IgnoreResult(store.ReadIndex(),
                 "an index that cannot be read leaves no profile current, and the run says message 14");
    CommandRunView view(context);
    view.Preset(BackupRunView::Question::ContinueAfterError, onError, "skip");

    static const std::atomic<bool> never{false};
    BackupRunRequest request;
    request.driveRoot = context.driveRoot;
    request.clusterSize = context.clusterSize;
    request.dryRun = options.Has("--dry-run");
    request.archiveThreads = context.archiveThreads;
    request.flush = context.flush;
    const BackupRunResult result =
        RunBackupOfCurrentProfile(request, store, view, *context.strings, context.cancel ? *context.cancel : never);
    view.Finish();
    if (!result.setName.empty() && context.recordBackup)
        context.recordBackup(result.setName, result.sourceFolder);

    if (request.dryRun && result.message == 0) {
        *context.out << "files: " << result.files << "\n"
                     << "bytes needed: " << result.bytesNeeded << "\n";
        return kExitDone;
    }
    switch (result.message) {
    case bm::kBackupDone:
        *context.out << result.stored << " stored, " << result.failed << " failed\n";
        return result.failed ? kExitSomeFailed : kExitDone;
    case bm::kNothingToBackup:
        if (request.dryRun)
            *context.out << "files: 0\nbytes needed: 0\n";
        *context.out << context.strings->Message(bm::kNothingToBackup) << "\n";
        return kExitDone;
    case bm::kCancelled: return kExitFailed;
    default: return Fail(context, result.message);
    }
}

}  // namespace halvex
