// The backup commands' shared pieces: their context built from dravane's start-up, their usage and failures.

#include "BackupCommandContext.h"

#include <iostream>
#include <sstream>

#include "Context.h"
#include "system/ConfirmedFolders.h"
#include "system/DriveIdentity.h"
#include "system/KMDevice.h"
#include "backup/BackupCallbacks.h"
#include "backup/BackupStrings.h"
#include "paths/KXAppPaths.h"
#include "strings/KXStrings.h"
#include "util/ComputerIdentity.h"
#include "util/IgnoreResult.h"
#include "util/SpecialFolders.h"

namespace halvex::cli {

namespace {

// The backup callbacks' owner on dravane's console. Called from the thread
// that runs the engine (the command's own).
class ConsoleRunView : public BackupRunView {
public:
    explicit ConsoleRunView(Console& console) : m_console(console) {}

    void SetProgress(std::uint64_t position, std::uint64_t maximum) override
    {
        m_position = position;
        m_maximum = maximum;
    }
    void SetStatusText(const std::string& text) override
    {
        std::string line = text;
        while (!line.empty() && line.back() == '\n')
            line.pop_back();
        if (!line.empty())
            m_console.progress(line, m_position, m_maximum);
    }
    void ShowMessage(const std::string& text) override { m_console.message(text); }
    bool AskYesNo(Question, const std::string& text) override { return m_console.askYesNo(text); }
    void Finish() override { m_console.endProgress(); }

private:
    Console& m_console;
    std::uint64_t m_position = 0;
    std::uint64_t m_maximum = 0;
};

const BackupStrings& Strings()
{
    // Loaded once.
    static const BackupStrings table = [] {
        BackupStrings loaded;
        IgnoreResult(loaded.Load(KXStrings::LanguageFolderPath() / "BackupRestore.plist"),
                     "the built-in English texts stand in for a missing file or key");
        return loaded;
    }();
    return table;
}

}  // namespace

int RunWithBackupContext(Context& context, const std::vector<std::string>& options, BackupCommandRun command)
{
    ConsoleRunView view(context.console());
    std::ostringstream errors;
    std::istringstream noInput;
    BackupCommandContext backup;
    backup.dataFolder = context.paths().DataPath();
    backup.driveRoot = context.drive().mountPath();
    backup.clusterSize = context.drive().allocationBlockSize();
    backup.identity = ComputerIdentity();
    backup.desktopFolder = DesktopFolder();
    backup.strings = &Strings();
    backup.out = &context.console().out();
    backup.err = &errors;
    backup.in = &noInput;
    backup.cancel = &context.cancel();
    backup.view = &view;
    backup.homeFolder = UserBaseFolder();
    const DriveIdentity drive = DriveIdentity::Of(context.drive());
    backup.backedUpHere = [drive](const std::string& set, const std::filesystem::path& folder) {
        return ConfirmedFolders().Has(ConfirmedFolders::Use::Backup, drive, set, folder);
    };
    backup.recordBackup = [drive](const std::string& set, const std::filesystem::path& folder) {
        IgnoreResult(
            ConfirmedFolders().Record(ConfirmedFolders::Use::Backup, drive, set, std::filesystem::absolute(folder)),
            "a backup not recorded here only brings a question at its restore");
    };
    const int status = command(options, backup);
    view.Finish();
    std::istringstream lines(errors.str());
    for (std::string line; std::getline(lines, line);)
        context.console().error(line);
    return status;
}

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

int FailWithMessage(const BackupCommandContext& context, int message, Explanation explanation)
{
    *context.err << context.strings->Message(message) << "\n";
    const std::string below = explanation == Explanation::Shown ? context.strings->Explanation(message) : "";
    if (!below.empty())
        *context.err << below << "\n";
    return kExitFailed;
}

int FailWithUsage(const BackupCommandContext& context, const std::string& problem)
{
    *context.err << "dravane: " << problem << "\n" << BackupCommandsUsage();
    return kExitFailed;
}

}  // namespace halvex::cli
