#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "system/DriveIdentity.h"
#include "system/RecordFile.h"
#include "util/Result.h"
#include "util/Status.h"

namespace halvex {

// The computer folders this user chose or backed up on this computer for a
// drive: what a drive says about this computer's folders (a set's original
// folder, the sync index's folder) is only taken without a question when it
// is recorded here. Kept in the user's configuration folder, never on a
// drive; written whole and atomically, readable by its owner only, and read
// as hostile input: a damaged file records nothing, so it only costs a
// question.
//
//   halvex-confirmed-folders 1
//   backup|sync TAB <vendor> TAB <product> TAB <serial> TAB <uuid> TAB <set name or empty> TAB <folder>
class ConfirmedFolders {
public:
    enum class Use { Backup, Sync };

    static constexpr std::size_t kMaxBytes = std::size_t{512} * 1024;
    static constexpr std::size_t kMaxEntries = 2000;
    static constexpr std::string_view kHeader = "halvex-confirmed-folders 1";
    static constexpr const char* kDamagedKey = "err_confirmed_folders_damaged";
    static constexpr const char* kWriteErrorKey = "err_confirmed_folders_write";

    struct Entry {
        Use use = Use::Backup;
        DriveIdentity drive;  // the label is not kept
        std::string name;     // the set's name; empty for the sync folder
        std::string folder;   // absolute, without a trailing "/"
    };

    // $XDG_CONFIG_HOME/halvex-dravane/confirmed-folders (default ~/.config).
    static std::filesystem::path DefaultFile();

    explicit ConfirmedFolders(std::filesystem::path file = DefaultFile());

    // True when the file records folder for this use of the drive (and set).
    // Read from the file at each call; a missing or damaged file records nothing.
    bool Has(Use use, const DriveIdentity& drive, std::string_view name, const std::filesystem::path& folder) const;
    // Records folder for this use of the drive (and set), beside the
    // folders recorded before; the oldest records go beyond kMaxEntries.
    // Names or folders with control characters are not recorded (a question
    // asks again next time).
    Status Record(Use use, const DriveIdentity& drive, std::string_view name, const std::filesystem::path& folder);

    static std::string Format(const std::vector<Entry>& entries);
    static Result<std::vector<Entry>> Parse(std::string_view text);
    // The form folders are compared in: lexically normal, no trailing "/".
    static std::string FolderKey(const std::filesystem::path& folder);

private:
    Result<std::vector<Entry>> Load() const;

    RecordFile m_record;
};

}  // namespace halvex
