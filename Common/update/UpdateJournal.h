#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "util/Result.h"
#include "util/Status.h"

namespace halvex {

// An install writes what it is about to do into this file in the folder it
// installs into, before it changes anything there, so that a run killed half
// way (or a drive pulled) can be undone by the next one: the Updater's next
// run, or the drive's launcher, which reads the same format in sh.
//
//   halvex-update 1
//   pid 4242
//   state staging | replacing | done
//   E <relative path>      a file that existed and is replaced
//   A <relative path>      a file the update adds
//
// Beside each target the install keeps its new file as ".halvex-new-<name>"
// until it replaces the target, and the replaced one as ".halvex-old-<name>"
// until every file is in place.
inline constexpr std::string_view kUpdateJournalName = ".halvex-update-journal";
inline constexpr std::string_view kStagedPrefix = ".halvex-new-";
inline constexpr std::string_view kReplacedPrefix = ".halvex-old-";

enum class JournalState {
    Staging,    // new files are being written beside their targets; nothing replaced
    Replacing,  // every new file is staged; targets are being swapped
    Done,       // every target is new; only the replaced files remain to go
};

struct JournalEntry {
    std::string relative;  // from the install folder, '/'-separated
    bool existed = false;
};

struct UpdateJournal {
    JournalState state = JournalState::Staging;
    pid_t pid = 0;
    std::vector<JournalEntry> entries;
};

// A journal is a few kilobytes; anything larger is not one.
inline constexpr std::size_t kMaxJournalSize = std::size_t{1024} * 1024;

std::string JournalText(const UpdateJournal& journal);
// Fails ("update_fail" and the damaged line) for anything but a well-formed
// journal whose every path is usable (see UsableJournalPath): a damaged
// journal names nothing to touch.
Result<UpdateJournal> ParseJournal(std::string_view text);

// A relative path with no empty, "." or ".." part, no control character, and
// a last part short enough for the staged and replaced names.
bool UsableJournalPath(std::string_view relative);

std::filesystem::path StagedPathFor(const std::filesystem::path& target);
std::filesystem::path ReplacedPathFor(const std::filesystem::path& target);

// Writes the journal into `folder` atomically and durably.
[[nodiscard]] Status WriteUpdateJournal(const std::filesystem::path& folder, const UpdateJournal& journal);

// Brings the folder back to one version after an install that did not end:
// before every file was in place, the old files return and the new ones go;
// after, only the replaced files go. Then the journal goes. Ok when there
// was nothing to do. Fails, touching nothing, while the Updater that wrote
// the journal still runs, and when the journal cannot be read.
[[nodiscard]] Status RecoverInterruptedUpdate(const std::filesystem::path& folder);

// Undoes (or, once done, finishes) what `journal` describes in `folder`,
// then removes the journal. Every step can be repeated: a recovery that is
// itself cut short is finished by the next. Each path is reached from
// `folder` one name at a time without following links: an entry whose way
// passes a link on the drive is left alone and reported, and the journal stays.
[[nodiscard]] Status SettleUpdate(const std::filesystem::path& folder, const UpdateJournal& journal);

}  // namespace halvex
