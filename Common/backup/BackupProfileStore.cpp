#include "backup/BackupProfileStore.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "backup/BackupFileUtils.h"
#include "backup/BackupStrings.h"
#include "plist/AtomicFileWrite.h"
#include "plist/DXPlistPrefs.h"
#include "util/ParseInteger.h"

namespace halvex {

BackupProfileStore::BackupProfileStore(std::filesystem::path dataFolder, const BackupStrings& strings)
    : m_pathData(std::move(dataFolder)), m_strings(strings)
{}

std::filesystem::path BackupProfileStore::IndexPath() const
{
    return m_pathData / kIndexFileName;
}

std::filesystem::path BackupProfileStore::ProfilePath(int number) const
{
    return m_pathData / (std::string(kProfilePrefix) + std::to_string(number) + ".plist");
}

namespace {

// The highest N of the profile files "<prefix>N.plist" in the folder; 0 when there is none.
int HighestProfileFile(const std::filesystem::path& folder)
{
    const std::string prefix = BackupProfileStore::kProfilePrefix;
    const std::string suffix = ".plist";
    int highest = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
        const auto number = ParseInteger<int>(digits);
        if (digits.size() > 6 || !number || *number < 0)
            continue;
        highest = std::max(highest, *number);
    }
    return std::min(highest, 100000);
}

}  // namespace

Status BackupProfileStore::ReadIndex()
{
    DXPlistPrefs index(IndexPath());
    if (index.Values().empty()) {
        // The profiles outlive a missing or damaged index: it is rewritten
        // with the numbers held, raised to the highest profile file there,
        // so every profile stays listed and a new one overwrites none.
        m_nMaxProfile = std::max(m_nMaxProfile, HighestProfileFile(m_pathData));
        if (m_nCurrentProfile > m_nMaxProfile)
            m_nCurrentProfile = 0;
        if (Status written = WriteIndex(); !written)
            return written;
        index.Load();
    }
    long max = 0, current = 0;
    index.GetValue(kMaxKey, max, 0);
    index.GetValue(kCurrentKey, current, 0);
    m_nMaxProfile = max < 0 ? 0 : static_cast<int>(std::min<long>(max, 100000));
    m_nCurrentProfile = current < 0 || current > m_nMaxProfile ? 0 : static_cast<int>(current);
    return Status::Ok();
}

Status BackupProfileStore::WriteIndex() const
{
    DXPlistPrefs index;
    index.SetFilePath(IndexPath());
    index.SetValue(kMaxKey, m_nMaxProfile);
    index.SetValue(kCurrentKey, m_nCurrentProfile);
    // The message names the index, whichever step of the atomic write failed.
    // The index is on the drive: a link in its place is replaced, not followed.
    Status written = RemoveLinkInPlace(IndexPath());
    if (written)
        written = index.Update();
    if (!written)
        return ProfileWriteFailure(IndexPath(), written);
    return Status::Ok();
}

Result<BackupProfile> BackupProfileStore::Read(int number) const
{
    if (number < 1)
        return Result<BackupProfile>::Fail(kProfileUnreadableKey, ProfilePath(number).string());
    return ReadProfileFile(ProfilePath(number), m_strings);
}

Result<BackupProfile> BackupProfileStore::ReadCurrent() const
{
    if (m_nCurrentProfile == 0)
        return Result<BackupProfile>::Fail(kNoProfileKey);
    return Read(m_nCurrentProfile);
}

Status BackupProfileStore::CheckRunnable(const BackupProfile& profile)
{
    if (!IsValidSetName(profile.setName))
        return Status::Fail(kProfileDamagedKey, profile.setName);
    if (profile.CombinedList().empty())
        return Status::Fail(kProfileEmptyListKey);
    return Status::Ok();
}

bool BackupProfileStore::BelongsHere(int number, const std::string& identity, std::string* displayName) const
{
    const Result<BackupProfile> profile = Read(number);
    if (!profile || profile.value().macAddress != identity)
        return false;
    if (displayName)
        *displayName = profile.value().DisplayName();
    return true;
}

std::vector<int> BackupProfileStore::ProfilesOf(const std::string& identity) const
{
    std::vector<int> numbers;
    for (int number = 1; number <= m_nMaxProfile; ++number)
        if (BelongsHere(number, identity))
            numbers.push_back(number);
    return numbers;
}

Result<int> BackupProfileStore::Create(BackupProfile profile)
{
    const int number = m_nMaxProfile + 1;
    profile.lastBackupTime = 0;
    profile.restoreChoice = RestoreChoice::Original;
    const auto file = ProfilePath(number);
    if (Status written = WriteProfileFile(file, profile); !written)
        return Result<int>::From(std::move(written));
    if (Status written = WriteRestoreSettings(file, profile); !written)
        return Result<int>::From(std::move(written));
    m_nMaxProfile = number;
    m_nCurrentProfile = number;
    if (Status written = WriteIndex(); !written)
        return Result<int>::From(std::move(written));
    return Result<int>::Ok(number);
}

Status BackupProfileStore::Delete(int number)
{
    if (number < 1 || number > m_nMaxProfile)
        return Status::Fail(kProfileUndeletableKey, "no such profile");
    const auto file = ProfilePath(number);
    if (std::remove(file.c_str()) != 0 && errno != ENOENT)
        return Status::FailErrno(kProfileUndeletableKey, errno);
    if (number < m_nMaxProfile && std::rename(ProfilePath(m_nMaxProfile).c_str(), file.c_str()) != 0)
        return Status::FailErrno(kProfileUndeletableKey, errno);
    m_nMaxProfile -= 1;
    m_nCurrentProfile = m_nMaxProfile;
    return WriteIndex();
}

int ProfileMessage(const Status& status)
{
    return MessageOfKey(status,
                        {{kProfileDamagedKey, backup_message::kDamagedProfile},
                         {kNoProfileKey, backup_message::kNoSettings},
                         {kProfileEmptyListKey, backup_message::kNoSettings},
                         {kProfileUndeletableKey, backup_message::kDeleteFailed}},
                        backup_message::kProfileUnreadable);
}

}  // namespace halvex
