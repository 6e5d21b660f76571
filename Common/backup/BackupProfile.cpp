#include "backup/BackupProfile.h"

#include <algorithm>
#include <ctime>

#include <tinyxml.h>

#include "backup/BackupStrings.h"
#include "backup/PlistKeyEditor.h"
#include "plist/DXPlistPrefs.h"

namespace halvex {

namespace {

using Value = DXPlistPrefs::PrefsValue;

// Keys of the Windows program (two words) and of the Mac build.
constexpr const char* kBackupPath = "BackupPath";
constexpr const char* kPath = "Path";
constexpr const char* kUserPath = "UserPath";
constexpr const char* kValue = "Value";
constexpr const char* kName = "Name";
constexpr const char* kNameCat = "NameCat";
constexpr const char* kNameFile = "NameFile";
constexpr const char* kTimeBackup = "TimeBackup";
constexpr const char* kRButton = "RButton";
constexpr const char* kRestore = "Restore";
constexpr const char* kRestorePath = "RestorePath";
constexpr const char* kMacBackupDir = "BackupDir";
constexpr const char* kMacRestoreDir = "RestoreDir";
constexpr const char* kMacBackupPath = "Backup path";
constexpr const char* kMacTime = "Time";
constexpr const char* kMacProfileName = "ProfileName";
// The Mac build holds up to 256 user categories.
constexpr long kMaxReadCategories = 256;

std::string Text(const DXPlistPrefs& plist, const std::string& key, const std::string& macKey = {},
                 const std::string& fallback = {})
{
    Value value;
    if (plist.FindValue(key, value) && value.type == Value::kString)
        return value.strValue;
    if (!macKey.empty() && plist.FindValue(macKey, value) && value.type == Value::kString)
        return value.strValue;
    return fallback;
}

// An integer, a boolean or a real, whichever the key holds.
bool Number(const DXPlistPrefs& plist, const std::string& key, long long& out)
{
    Value value;
    if (!plist.FindValue(key, value))
        return false;
    switch (value.type) {
    case Value::kInteger: out = value.nValue; return true;
    case Value::kBoolean: out = value.bValue ? 1 : 0; return true;
    case Value::kReal: out = static_cast<long long>(value.dValue); return true;
    default: return false;
    }
}

long long NumberOr(const DXPlistPrefs& plist, const std::string& key, const std::string& macKey, long long fallback)
{
    long long out = fallback;
    if (Number(plist, key, out) || (!macKey.empty() && Number(plist, macKey, out)))
        return out;
    return fallback;
}

// The Mac build's "Time" is a plist date: "2024-05-01T10:20:30Z".
long long MacDate(const DXPlistPrefs& plist)
{
    Value value;
    if (!plist.FindValue(kMacTime, value) || !value.element || !value.element->GetText())
        return 0;
    struct tm parts {};
    if (!strptime(value.element->GetText(), "%Y-%m-%dT%H:%M:%SZ", &parts))
        return 0;
    return static_cast<long long>(timegm(&parts));
}

// Loads the file, lets `edit` set its keys and writes it back.
template <typename Edit>
Status EditProfileFile(const std::filesystem::path& file, Edit edit)
{
    PlistKeyEditor editor;
    Status done = editor.Load(file);
    if (done) {
        edit(editor);
        done = editor.Save(file);
    }
    return done ? done : ProfileWriteFailure(file, done);
}

}  // namespace

namespace profile_key {
std::string Pair(const std::string& first, const std::string& second)
{
    return first + " " + second;
}
std::string UserCategory(std::size_t number)
{
    return kUserCategoryKey + std::to_string(number);
}
}  // namespace profile_key

using profile_key::Pair;

BackupProfile BackupProfile::WithDefaultLists(const BackupStrings& strings)
{
    BackupProfile profile;
    for (std::size_t i = 0; i < kPredefinedCategories.size(); ++i) {
        const auto& category = kPredefinedCategories[i];
        profile.predefinedLists[i] = category.listLabel ? strings.Label(category.listLabel) : kAllPattern;
    }
    return profile;
}

Result<BackupProfile> ReadProfileFile(const std::filesystem::path& file, const BackupStrings& strings)
{
    DXPlistPrefs plist(file);
    if (plist.Values().empty())
        return Result<BackupProfile>::Fail(kProfileUnreadableKey, file.string());
    BackupProfile profile = BackupProfile::WithDefaultLists(strings);
    profile.sourceFolder = Text(plist, Pair(kBackupPath, kPath), kMacBackupDir);
    profile.setName = Text(plist, Pair(kBackupPath, kUserPath), kMacBackupPath);

    const long long count = std::clamp<long long>(NumberOr(plist, Pair(kUserCategoryKey, kValue), kUserCategoryKey, 0),
                                                  0, kMaxReadCategories);
    for (long long i = 1; i <= count; ++i) {
        const std::string base = profile_key::UserCategory(static_cast<std::size_t>(i));
        UserCategory category;
        category.name = Text(plist, Pair(base, kNameCat), base + "_" + kNameCat);
        category.types = Text(plist, Pair(base, kNameFile), base + "_" + kNameFile);
        category.checked = NumberOr(plist, Pair(base, kValue), base + "_Values", 0) != 0;
        profile.userCategories.push_back(std::move(category));
    }
    for (std::size_t i = 0; i < kPredefinedCategories.size(); ++i) {
        const std::string key = kPredefinedCategories[i].key;
        profile.predefinedLists[i] = Text(plist, Pair(key, kName), {}, profile.predefinedLists[i]);
        profile.predefinedChecked[i] = NumberOr(plist, Pair(key, kValue), key, 0) != 0;
    }
    profile.macAddress = Text(plist, profile_key::kMacAddress);
    profile.machineName = Text(plist, profile_key::kMachineName);
    profile.profileName = Text(plist, kMacProfileName);
    long long time = 0;
    profile.lastBackupTime = Number(plist, Pair(kTimeBackup, kValue), time) ? time : MacDate(plist);
    const long long choice = NumberOr(plist, Pair(kRButton, kValue), kRButton, 2);
    profile.restoreChoice = choice >= 1 && choice <= 3 ? static_cast<RestoreChoice>(choice) : RestoreChoice::Original;
    profile.restoreFolder = Text(plist, Pair(kRestore, kRestorePath), kMacRestoreDir);
    return Result<BackupProfile>::Ok(std::move(profile));
}

Status WriteProfileFile(const std::filesystem::path& file, const BackupProfile& profile)
{
    PlistKeyEditor editor;
    editor.StartEmpty();
    editor.SetString(Pair(kBackupPath, kPath), profile.sourceFolder);
    editor.SetInteger(Pair(kUserCategoryKey, kValue), static_cast<long long>(profile.userCategories.size()));
    editor.SetString(Pair(kBackupPath, kUserPath), profile.setName);
    for (std::size_t i = 0; i < profile.userCategories.size(); ++i) {
        const auto& category = profile.userCategories[i];
        const std::string base = profile_key::UserCategory(i + 1);
        editor.SetString(Pair(base, kNameCat), category.name);
        editor.SetString(Pair(base, kNameFile), category.types);
        editor.SetInteger(Pair(base, kValue), category.checked ? 1 : 0);
    }
    for (std::size_t i = 0; i < kPredefinedCategories.size(); ++i) {
        const std::string key = kPredefinedCategories[i].key;
        editor.SetString(Pair(key, kName), profile.predefinedLists[i]);
        editor.SetInteger(Pair(key, kValue), profile.predefinedChecked[i] ? 1 : 0);
    }
    editor.SetString(profile_key::kMacAddress, profile.macAddress);
    if (Status saved = editor.Save(file); !saved)
        return ProfileWriteFailure(file, saved);
    return Status::Ok();
}

Status WriteRestoreSettings(const std::filesystem::path& file, const BackupProfile& profile)
{
    return EditProfileFile(file, [&profile](PlistKeyEditor& editor) {
        editor.SetString(Pair(kRestore, kRestorePath), profile.restoreFolder);
        editor.SetInteger(Pair(kRButton, kValue), static_cast<int>(profile.restoreChoice));
    });
}

Status WriteLastBackupTime(const std::filesystem::path& file, std::int64_t seconds)
{
    return EditProfileFile(file, [seconds](PlistKeyEditor& editor) {
        // The other builds hold the time in 32 bits.
        editor.SetInteger(Pair(kTimeBackup, kValue), static_cast<std::int32_t>(seconds));
    });
}

Status ProfileWriteFailure(const std::filesystem::path& file, const Status& failure)
{
    if (failure.systemError != 0)
        return Status::FailErrno(kProfileUnwritableKey, file, failure.systemError);
    return Status::Fail(kProfileUnwritableKey, failure.detail);
}

}  // namespace halvex
