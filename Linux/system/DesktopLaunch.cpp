#include "system/DesktopLaunch.h"

#include <cctype>
#include <cstdio>

#include "system/Processes.h"

namespace halvex {

std::string FileUri(const std::filesystem::path& path)
{
    std::string uri = "file://";
    for (unsigned char c : path.string()) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            uri.push_back(static_cast<char>(c));
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            uri += escaped;
        }
    }
    return uri;
}

Status ShowInFileManager(const std::filesystem::path& path, bool selectItem)
{
    if (path.empty() || path.is_relative())
        return Status::Fail(kProgramStartErrorKey, path.string() + ": not an absolute path");
    const std::filesystem::path folder = selectItem ? path.parent_path() : path;
    // The shell only chains the two programs; the path and URI travel as
    // positional parameters, never as part of the script.
    const std::string script =
        "dbus-send --session --print-reply --reply-timeout=5000 --dest=org.freedesktop.FileManager1 "
        "/org/freedesktop/FileManager1 \"org.freedesktop.FileManager1.$1\" \"array:string:$2\" string: "
        ">/dev/null 2>&1 || exec xdg-open \"$3\" >/dev/null 2>&1";
    return StartDetached("/bin/sh",
                         {"-c", script, "sh", selectItem ? "ShowItems" : "ShowFolders", FileUri(path), folder.string()})
        .status();
}

Status OpenAddress(std::string_view address)
{
    if (address.empty() || address.front() == '-')
        return Status::Fail(kProgramStartErrorKey, "not an address: " + std::string(address));
    return StartDetached("xdg-open", {std::string(address)}).status();
}

}  // namespace halvex
