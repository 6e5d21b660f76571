#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "util/Status.h"

// The Linux platform services: static operations that answer with a neutral
// value (false, 0, the empty text) on failure and never show a message.
class KMSystem {
public:
    KMSystem() = delete;

    static bool IsUserAdmin();
    static std::filesystem::path GetDesktopFolder();
    static std::filesystem::path GetDocumentsFolder();
    // The per-user install place: $XDG_DATA_HOME, default ~/.local/share.
    static std::filesystem::path GetApplicationsFolder();
    // This computer's identity.
    static std::string GetMacAddress();

    // A file's size, or for a folder the sum of its files at any depth, and
    // the text of it ("0 byte", "%ld KB" ...). Always true.
    static bool GetFileSize(const std::filesystem::path& path, std::uint64_t& bytes, std::string& text);
    // "0 byte" for nothing; otherwise divided by 1024 (whole numbers) while
    // at least 1024, at most four times: "1023 bytes", "1 KB", "1536 GB".
    static std::string FileSizeText(std::uint64_t bytes);
    static std::uint64_t GetFolderSize(const std::filesystem::path& path);
    // The modification time (not following links) in the user's short date
    // and time formats; empty when unreadable.
    static std::string GetFileModifiedTime(const std::filesystem::path& path);

    // Through the desktop's file manager; detached, never blocking.
    static bool RevealFolder(const std::filesystem::path& path);
    static bool RevealFile(const std::filesystem::path& path);
    static bool GoToUrl(std::string_view address);

    // XDG autostart entries (see halvex::LoginItems).
    [[nodiscard]] static halvex::Status AddToLoginItems(const std::filesystem::path& path, bool hidden);
    static void RemoveLoginItem(const std::filesystem::path& path);
    static bool LoginItemExists(const std::filesystem::path& path);

    // Creates every missing folder of the path.
    static bool CreateFolder(const std::filesystem::path& path);
    // In-process; refuses archives with escaping names (see halvex::ExtractZipArchive).
    static bool ExtractZip(const std::filesystem::path& archive, const std::filesystem::path& folder);
    // The user may write the file, or make changes in the folder.
    static bool PathWritable(const std::filesystem::path& path);
    // The identity scrambling of the sync settings.
    static std::string CryptString(std::string_view text);

    // Processes (see Processes.h).
    static bool StartProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                             pid_t* pid = nullptr);
    static std::vector<pid_t> FindProcesses(const std::filesystem::path& executable);
    static bool QuitProcess(pid_t pid, std::chrono::milliseconds limit);
};
