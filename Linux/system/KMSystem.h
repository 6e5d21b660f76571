#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "util/Result.h"
#include "util/Status.h"

// The Linux platform services: static operations that never show a message.
// Those that can fail answer a Status or Result with the system's reason;
// the getters answer a neutral value (0, the empty text) instead.
class KMSystem {
public:
    KMSystem() = delete;

    // A size that could not be read; a folder that could not be made.
    static constexpr const char* kSizeErrorKey = "file_read_err";
    static constexpr const char* kFolderErrorKey = "err_folder_create";

    static bool IsUserAdmin();
    static std::filesystem::path GetDesktopFolder();
    static std::filesystem::path GetDocumentsFolder();
    // The per-user install place: $XDG_DATA_HOME, default ~/.local/share.
    static std::filesystem::path GetApplicationsFolder();
    // This computer's identity.
    static std::string GetMacAddress();

    // A file's size, or for a folder the sum of its files at any depth (0 for
    // other kinds of entry); kSizeErrorKey when the path cannot be looked at.
    static halvex::Result<std::uint64_t> GetFileSize(const std::filesystem::path& path);
    // "0 byte" for nothing; otherwise divided by 1024 (whole numbers) while
    // at least 1024, at most four times: "1023 bytes", "1 KB", "1536 GB".
    static std::string FileSizeText(std::uint64_t bytes);
    static std::uint64_t GetFolderSize(const std::filesystem::path& path);
    // The modification time (not following links) in the user's short date
    // and time formats; empty when unreadable.
    static std::string GetFileModifiedTime(const std::filesystem::path& path);

    // Through the desktop's file manager; detached, never blocking. Fail as
    // halvex::ShowInFileManager and halvex::OpenAddress do.
    [[nodiscard]] static halvex::Status RevealFolder(const std::filesystem::path& path);
    [[nodiscard]] static halvex::Status RevealFile(const std::filesystem::path& path);
    [[nodiscard]] static halvex::Status GoToUrl(std::string_view address);

    // XDG autostart entries (see halvex::LoginItems).
    [[nodiscard]] static halvex::Status AddToLoginItems(const std::filesystem::path& path, bool hidden);
    [[nodiscard]] static halvex::Status RemoveLoginItem(const std::filesystem::path& path);
    static bool LoginItemExists(const std::filesystem::path& path);

    // Creates every missing folder of the path; kFolderErrorKey when one
    // cannot be made.
    [[nodiscard]] static halvex::Status CreateFolder(const std::filesystem::path& path);
    // In-process; refuses archives with escaping names, and fails as
    // halvex::ExtractZipArchive does.
    [[nodiscard]] static halvex::Status ExtractZip(const std::filesystem::path& archive,
                                                   const std::filesystem::path& folder);
    // The user may write the file, or make changes in the folder.
    static bool PathWritable(const std::filesystem::path& path);
    // The identity scrambling of the sync settings.
    static std::string CryptString(std::string_view text);

    // Processes (see Processes.h): the started program's process id.
    static halvex::Result<pid_t> StartProgram(const std::filesystem::path& program,
                                              const std::vector<std::string>& arguments);
    static std::vector<pid_t> FindProcesses(const std::filesystem::path& executable);
    [[nodiscard]] static halvex::Status QuitProcess(pid_t pid, std::chrono::milliseconds limit);
};
