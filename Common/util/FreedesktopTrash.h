#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "util/Trash.h"

namespace halvex {

struct FreedesktopTrashOptions {
    // The user's own trash; empty: $XDG_DATA_HOME/Trash, else ~/.local/share/Trash.
    std::filesystem::path homeTrash;
    // The user whose trash folders are used on other volumes (".Trash-UID").
    uid_t uid = ::getuid();
    // The top folder of the volume that holds a path; unset: its mount point.
    std::function<std::filesystem::path(const std::filesystem::path&)> topFolderOf;
    // The deletion time written into the info file; unset: now.
    std::function<std::time_t()> now;
};

// The trash the desktops share, written directly as its layout prescribes:
// a file on the volume of the user's home trash goes to `homeTrash`
// (files/NAME and info/NAME.trashinfo with the absolute path); a file on
// another volume (the drive) goes to that volume's own trash at its top
// folder, $top/.Trash/UID where an administrator made $top/.Trash (a sticky
// folder, not a link), else $top/.Trash-UID (made when missing, private,
// owned by the user, never a link), with the path relative to the top folder.
// A file is never copied between volumes: where its own volume's trash
// cannot take it, it stays and the call fails.
//
// The core writes the layout itself rather than going through a desktop
// library: it has neither Qt nor GLib, and GIO refuses the trash on some
// FUSE file systems that drives are mounted with; the layout is small and
// stable, and any file manager reads what is written here.
class FreedesktopTrash : public Trash {
public:
    explicit FreedesktopTrash(FreedesktopTrashOptions options = {});

    Status Discard(int folderFd, const std::string& name, const std::filesystem::path& path) override;

    // The home trash that the options name (for tests and reports).
    const std::filesystem::path& HomeTrash() const { return m_options.homeTrash; }

private:
    Status DiscardInto(const std::filesystem::path& trash, int folderFd, const std::string& name,
                       const std::string& infoPath);
    Status VolumeTrash(const std::filesystem::path& top, std::filesystem::path& trash);

    FreedesktopTrashOptions m_options;
};

// "Path" of an info file: each byte outside the unreserved characters and
// "/" as %XX, as file URLs escape them.
std::string EncodeTrashPath(const std::string& path);
// The inverse; nullopt for a malformed escape.
std::optional<std::string> DecodeTrashPath(const std::string& encoded);
// The whole info file for a path and a deletion time (local time).
std::string TrashInfoText(const std::string& path, std::time_t when);

}  // namespace halvex
