#pragma once

#include <filesystem>
#include <map>
#include <initializer_list>
#include <string>

#include "util/Status.h"

// The backup string table: numbered messages with their explanations and
// numbered labels. The English texts are built in; a "BackupRestore.plist" of
// the chosen language replaces them key by key, and a key it lacks keeps the
// built-in text.
namespace halvex {

class BackupStrings {
public:
    // The built-in English table.
    BackupStrings();

    // Reads "BackupRestore.plist": keys "Message" + N and "Line" + N as the
    // Windows program writes them, or N, "e" + N and "m" + N as the Mac's table
    // holds them. Fails ("file_read_err" with the file) when the file cannot
    // be read; the table then stays as it was.
    Status Load(const std::filesystem::path& file);

    std::string Message(int number) const;
    std::string Explanation(int number) const;  // empty when there is none
    std::string Label(int number) const;

    // Replaces or adds one text; used by Load and by tests.
    void SetMessage(int number, std::string text);
    void SetExplanation(int number, std::string text);
    void SetLabel(int number, std::string text);

    // The shared built-in table, for callers that load no file.
    static const BackupStrings& BuiltIn();

    // The file of a language: resources/<language>.lproj/BackupRestore.plist.
    static std::filesystem::path FileFor(const std::filesystem::path& resources, const std::string& language);

private:
    std::map<int, std::string> m_mapMessages;
    std::map<int, std::string> m_mapExplanations;
    std::map<int, std::string> m_mapLabels;
};

// Message numbers the engine and the runs use.
namespace backup_message {
inline constexpr int kAreYouSure = 1;
inline constexpr int kNoSourceFolder = 2;
inline constexpr int kCancelled = 11;
inline constexpr int kContinue = 12;
inline constexpr int kNoDrive = 13;
inline constexpr int kNoSettings = 14;
inline constexpr int kNoSpace = 15;
inline constexpr int kNoRestorePath = 19;
inline constexpr int kRestoreDone = 28;
inline constexpr int kBackupDone = 29;
inline constexpr int kIsNewer = 31;
inline constexpr int kOverwrite = 32;
inline constexpr int kInvalidSetName = 33;
inline constexpr int kSetFolderExists = 34;
inline constexpr int kNoFilesSelected = 36;
inline constexpr int kCannotRestoreHere = 37;
inline constexpr int kNothingToBackup = 38;
inline constexpr int kIniUnopenable = 39;
inline constexpr int kUncategorized = 40;
inline constexpr int kIniMissing = 41;
inline constexpr int kSourceFolder = 42;
inline constexpr int kNotFound = 43;
inline constexpr int kErrorMoving = 44;
inline constexpr int kErrorCopying = 45;
inline constexpr int kNoOriginalFolder = 46;
inline constexpr int kTo = 47;
inline constexpr int kNoBackupFolder = 48;
inline constexpr int kIniInvalid = 49;
inline constexpr int kNoCategory = 50;
inline constexpr int kDeleteFailed = 30;
inline constexpr int kDeleteFailedLine2 = 51;
inline constexpr int kSetNameUsed = 52;
inline constexpr int kDeleteQuestionBefore = 53;
inline constexpr int kDeleteQuestionAfter = 54;
inline constexpr int kProfileUnreadable = 55;
inline constexpr int kSetFolderUndeletable = 56;
inline constexpr int kRenameDenied = 57;
inline constexpr int kRenameInvalid = 58;
inline constexpr int kRenameFailed = 59;
inline constexpr int kSetNameHasDot = 60;
inline constexpr int kDamagedProfile = 61;
inline constexpr int kSetFolderLink = 62;
inline constexpr int kCaseClash = 63;
inline constexpr int kNameNotOnDrive = 64;
inline constexpr int kInfoUnwritable = 65;
inline constexpr int kNotDurable = 66;
inline constexpr int kDamagedMark = 67;
}  // namespace backup_message

// A failure's key and the backup message that tells it to the user.
struct KeyMessage {
    const char* key;
    int message;
};
// The message of status's key in `table`; `otherwise` for any other key.
int MessageOfKey(const Status& status, std::initializer_list<KeyMessage> table, int otherwise);

namespace backup_label {
inline constexpr int kRestoreFolderName = 0;  // "HalvexRestoreFiles"
inline constexpr int kInvalidPath = 11;
inline constexpr int kOriginalFolder = 15;
inline constexpr int kDestinationDesktop = 18;
inline constexpr int kDestinationOriginal = 19;
inline constexpr int kDestination = 20;
}  // namespace backup_label

}  // namespace halvex
