#include "update/UpdateJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <optional>
#include <system_error>

#include "plist/AtomicFileWrite.h"
#include "update/UpdateMessageKeys.h"
#include "util/BoundedRead.h"
#include "util/DescriptorPath.h"
#include "util/ParseInteger.h"

namespace fs = std::filesystem;

namespace halvex {

namespace {

constexpr std::string_view kMagic = "halvex-update 1";
constexpr std::size_t kMaxNameBytes = 255;

const char* StateName(JournalState state)
{
    switch (state) {
    case JournalState::Staging: return "staging";
    case JournalState::Replacing: return "replacing";
    case JournalState::Done: break;
    }
    return "done";
}

std::optional<JournalState> StateFromName(std::string_view name)
{
    for (JournalState candidate : {JournalState::Staging, JournalState::Replacing, JournalState::Done})
        if (name == StateName(candidate))
            return candidate;
    return std::nullopt;
}

// The Updater's process name in /proc: a journal whose writer is no longer
// an Updater (ended, or a reused id) is a leftover.
bool UpdaterRuns(pid_t pid)
{
    if (pid <= 0 || pid == ::getpid())
        return false;
    const Result<std::string> name = ReadBoundedFile("/proc/" + std::to_string(pid) + "/comm", 64);
    return name && name.value() == "Updater\n";
}

bool MissingAt(int folderFd, const std::string& name)
{
    struct stat info {};
    return ::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
}

// Removes a file that may be gone already; a link goes itself, never what it names.
Status RemoveIfThere(int folderFd, const std::string& name, const fs::path& shown)
{
    if (::unlinkat(folderFd, name.c_str(), 0) == 0 || errno == ENOENT)
        return Status::Ok();
    return Status::FailErrno(kUpdateFailKey, shown, errno);
}

Status UndoEntry(const EntryBelow& at, const JournalEntry& entry, const fs::path& target)
{
    const std::string staged = std::string(kStagedPrefix) + at.name;
    const std::string replaced = std::string(kReplacedPrefix) + at.name;
    const int folder = at.folder.Get();
    if (entry.existed) {
        // The old file was set aside: it goes back over whatever took its place.
        if (!MissingAt(folder, replaced) && ::renameat(folder, replaced.c_str(), folder, at.name.c_str()) != 0)
            return Status::FailErrno(kUpdateFailKey, target, errno);
    } else if (MissingAt(folder, staged)) {
        // An added file whose staged copy is gone has been placed.
        if (Status removed = RemoveIfThere(folder, at.name, target); !removed)
            return removed;
    }
    return RemoveIfThere(folder, staged, StagedPathFor(target));
}

// One entry brought back to one version, its folder reached from the top
// without following a link: a journal naming a path through a link on the
// drive touches nothing behind it. A folder that is gone holds nothing to settle.
Status SettleEntry(int topFd, const fs::path& folder, JournalState state, const JournalEntry& entry)
{
    const fs::path target = folder / entry.relative;
    Result<EntryBelow> at = OpenEntryBelow(topFd, entry.relative, MissingFolders::Fail, folder, kUpdateFailKey);
    if (!at)
        return at.systemError() == ENOENT ? Status::Ok() : at.status();
    const int fd = at.value().folder.Get();
    const std::string& name = at.value().name;
    switch (state) {
    case JournalState::Staging: return RemoveIfThere(fd, std::string(kStagedPrefix) + name, StagedPathFor(target));
    case JournalState::Replacing: return UndoEntry(at.value(), entry, target);
    case JournalState::Done: break;
    }
    return RemoveIfThere(fd, std::string(kReplacedPrefix) + name, ReplacedPathFor(target));
}

}  // namespace

std::string JournalText(const UpdateJournal& journal)
{
    std::string text(kMagic);
    text += "\npid " + std::to_string(journal.pid) + "\nstate " + StateName(journal.state) + "\n";
    for (const JournalEntry& entry : journal.entries)
        text += (entry.existed ? "E " : "A ") + entry.relative + "\n";
    return text;
}

bool UsableJournalPath(std::string_view relative)
{
    if (relative.empty() || relative.front() == '/' || relative.back() == '/')
        return false;
    for (const char c : relative)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return false;
    std::size_t start = 0;
    while (start <= relative.size()) {
        const std::size_t end = std::min(relative.find('/', start), relative.size());
        const std::string_view part = relative.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        if (end == relative.size())
            return part.size() + kStagedPrefix.size() <= kMaxNameBytes &&
                   part.size() + kReplacedPrefix.size() <= kMaxNameBytes;
        start = end + 1;
    }
    return false;
}

Result<UpdateJournal> ParseJournal(std::string_view text)
{
    const auto damaged = [](const std::string& where) {
        return Result<UpdateJournal>::Fail(kUpdateFailKey, "the journal of an earlier install is damaged" + where);
    };
    if (text.size() > kMaxJournalSize || text.empty() || text.back() != '\n')
        return damaged(" (not whole)");
    UpdateJournal journal;
    std::size_t lineNumber = 0;
    bool sawPid = false, sawState = false;
    for (std::size_t start = 0; start < text.size(); ++lineNumber) {
        const std::size_t end = text.find('\n', start);
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        const std::string atLine = " at line " + std::to_string(lineNumber + 1);
        if (lineNumber == 0) {
            if (line != kMagic)
                return damaged(atLine);
        } else if (line.starts_with("pid ") && !sawPid) {
            const std::string_view digits = line.substr(4);
            const auto pid = ParseInteger<long long>(digits);
            if (!pid || *pid < 0 || *pid > 0x7fffffff)
                return damaged(atLine);
            journal.pid = static_cast<pid_t>(*pid);
            sawPid = true;
        } else if (line.starts_with("state ") && !sawState) {
            const std::optional<JournalState> state = StateFromName(line.substr(6));
            if (!state)
                return damaged(atLine);
            journal.state = *state;
            sawState = true;
        } else if ((line.starts_with("E ") || line.starts_with("A ")) && UsableJournalPath(line.substr(2))) {
            journal.entries.push_back({std::string(line.substr(2)), line.front() == 'E'});
        } else {
            return damaged(atLine);
        }
    }
    if (!sawPid || !sawState)
        return damaged(" (no pid or state)");
    return Result<UpdateJournal>::Ok(std::move(journal));
}

fs::path StagedPathFor(const fs::path& target)
{
    return target.parent_path() / (std::string(kStagedPrefix) + target.filename().string());
}

fs::path ReplacedPathFor(const fs::path& target)
{
    return target.parent_path() / (std::string(kReplacedPrefix) + target.filename().string());
}

Status WriteUpdateJournal(const fs::path& folder, const UpdateJournal& journal)
{
    const fs::path file = folder / kUpdateJournalName;
    if (Status written = WriteFileAtomic(file, JournalText(journal)); !written)
        return Status::Fail(kUpdateFailKey, written.detail + " (the install journal)");
    return Status::Ok();
}

Status SettleUpdate(const fs::path& folder, const UpdateJournal& journal)
{
    const FileDescriptor top(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!top.IsOpen())
        return Status::FailErrno(kUpdateFailKey, folder, errno);
    Status status;
    for (const JournalEntry& entry : journal.entries) {
        // The other entries are still settled; the journal stays for a later try.
        if (Status step = SettleEntry(top.Get(), folder, journal.state, entry); !step && status)
            status = std::move(step);
    }
    if (!status)
        return status;
    return RemoveIfThere(top.Get(), std::string(kUpdateJournalName), folder / kUpdateJournalName);
}

Status RecoverInterruptedUpdate(const fs::path& folder)
{
    const fs::path file = folder / kUpdateJournalName;
    struct stat info {};
    if (::lstat(file.c_str(), &info) != 0 && errno == ENOENT)
        return Status::Ok();
    // The Updater writes its journal as a file; anything else names nothing to touch.
    if (!S_ISREG(info.st_mode))
        return Status::Fail(kUpdateFailKey, file.string() + ": the journal of an earlier install is not a file");
    const Result<std::string> text = ReadBoundedFile(file, kMaxJournalSize);
    if (!text)
        return Status::Fail(kUpdateFailKey, text.detail() + " (the journal of an earlier install)");
    const Result<UpdateJournal> parsed = ParseJournal(text.value());
    if (!parsed)
        return Status::Fail(kUpdateFailKey, file.string() + ": " + parsed.detail());
    const UpdateJournal& journal = parsed.value();
    if (UpdaterRuns(journal.pid))
        return Status::Fail(kUpdateFailKey,
                            "another update is being installed (process " + std::to_string(journal.pid) + ")");
    return SettleUpdate(folder, journal);
}

}  // namespace halvex
