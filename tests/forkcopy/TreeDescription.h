#pragma once

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "CopyTestSupport.h"

namespace halvex::testing {

// One line per item of a tree with everything a copy must keep: type, mode,
// owner, modification time, content or link target, and user attributes.
// Two trees are equal copies when their descriptions are equal.
inline std::string DescribeItem(const std::filesystem::path& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return "missing";
    std::ostringstream out;
    out << std::oct << info.st_mode << std::dec << " " << info.st_uid << ":" << info.st_gid;
    out << " t=" << info.st_mtim.tv_sec << "." << info.st_mtim.tv_nsec;
    if (S_ISREG(info.st_mode))
        out << " data=" << std::hash<std::string>{}(ReadFile(path)) << "/" << info.st_size;
    if (S_ISLNK(info.st_mode))
        out << " -> " << std::filesystem::read_symlink(path).string();
    char names[4096];
    const ssize_t length = ::llistxattr(path.c_str(), names, sizeof names);
    for (ssize_t at = 0; at < length;) {
        const std::string name(names + at);
        at += static_cast<ssize_t>(name.size()) + 1;
        if (!name.starts_with("user."))
            continue;
        char value[256] = {};
        const ssize_t size = ::lgetxattr(path.c_str(), name.c_str(), value, sizeof value);
        out << " " << name << "=" << std::string(value, size > 0 ? size : 0);
    }
    return out.str();
}

inline std::map<std::string, std::string> DescribeTree(const std::filesystem::path& root)
{
    std::map<std::string, std::string> items;
    items["."] = DescribeItem(root);
    if (!std::filesystem::is_directory(std::filesystem::symlink_status(root)))
        return items;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        items[std::filesystem::relative(entry.path(), root).string()] = DescribeItem(entry.path());
    return items;
}

}  // namespace halvex::testing
