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

// The drives this user lets the auto-run agent start the suite from, kept on
// the computer in the user's configuration folder, never on a drive: nothing
// a drive carries can make it trusted. The file is written whole and
// atomically, readable by its owner only, and read as hostile input: a file
// that is too large or damaged in any line counts as an empty list.
//
//   halvex-trusted-drives 1
//   <vendor> TAB <product> TAB <serial> TAB <uuid> TAB <label>
class TrustedDrives {
public:
    static constexpr std::size_t kMaxBytes = std::size_t{256} * 1024;
    static constexpr std::size_t kMaxDrives = 1000;
    static constexpr std::string_view kHeader = "halvex-trusted-drives 1";
    static constexpr const char* kDamagedKey = "err_trust_list_damaged";
    static constexpr const char* kWriteErrorKey = "err_trust_list_write";
    static constexpr const char* kNotDistinctKey = "err_trust_not_distinct";

    // $XDG_CONFIG_HOME/halvex-dravane/trusted-drives (default ~/.config).
    static std::filesystem::path DefaultFile();

    explicit TrustedDrives(std::filesystem::path file = DefaultFile());

    const std::filesystem::path& File() const { return m_record.Path(); }
    const std::vector<DriveIdentity>& Drives() const { return m_drives; }
    bool IsTrusted(const DriveIdentity& drive) const;

    // Reads the list; a missing file is an empty list. An unreadable, too
    // large or damaged file leaves the list empty and fails with
    // kDamagedKey and the reason.
    Status Load();
    // Reads the file again, adds the drive (or renews its label) and writes
    // the list. A drive without a serial number or UUID is refused with
    // kNotDistinctKey. A damaged file is set aside as
    // "<name>.damaged" before the new list replaces it.
    Status Trust(const DriveIdentity& drive);
    // Reads the file again and writes it without the drive; answers whether
    // it was listed (nothing is written when it was not).
    Result<bool> Forget(const DriveIdentity& drive);

    static std::string Format(const std::vector<DriveIdentity>& drives);
    // kDamagedKey, with the reason as detail, for text that is not a whole,
    // valid list.
    static Result<std::vector<DriveIdentity>> Parse(std::string_view text);

private:
    Status Write();
    Status Reload();

    RecordFile m_record;
    std::vector<DriveIdentity> m_drives;
};

}  // namespace halvex
