#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include "ShellCommand.h"
#include "TestFiles.h"
#include "backup/BackupFileUtils.h"
#include "backup/KWCallback.h"
#include "plist/DXPlistPrefs.h"

namespace halvex::test {

inline int RunCommand(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string Quote(const std::filesystem::path& path)
{
    return ShellQuoted(path.string());
}

// Every entry below root (links not followed) with its content: what a run
// must leave alone. Entries below the skipped folders are left out.
inline std::map<std::string, std::string> TreeSnapshot(const std::filesystem::path& root,
                                                       const std::vector<std::filesystem::path>& skip = {})
{
    namespace fs = std::filesystem;
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        if (std::find(skip.begin(), skip.end(), it->path()) != skip.end()) {
            it.disable_recursion_pending();
            continue;
        }
        const std::string key = fs::relative(it->path(), root).string();
        if (it->is_symlink())
            entries[key] = "-> " + fs::read_symlink(it->path()).string();
        else if (it->is_directory())
            entries[key] = "/";
        else
            entries[key] = ReadFile(it->path());
    }
    return entries;
}

// A callback that records every call and answers from settable fields.
class RecordingCallback : public KWCallback {
public:
    std::vector<std::string> copied;  // folder + name per NotifyCopyingFile
    std::vector<std::string> errors;
    std::vector<std::string> fatals;
    std::vector<std::string> overwriteQuestions;
    bool stopOnError = false;
    bool overwrite = false;
    int cancelAfter = -1;  // answer false to the copy notice after this many files

    void FatalError(const std::string& text) override { fatals.push_back(text); }
    bool ErrorOccurred(const std::string& text) override
    {
        errors.push_back(text);
        return stopOnError;
    }
    bool OverwriteFile(const std::string& folder, const std::string& name) override
    {
        overwriteQuestions.push_back(folder + name);
        return overwrite;
    }
    bool NotifyCopyingFile(const std::string& folder, const std::string& name) override
    {
        if (cancelAfter >= 0 && static_cast<int>(copied.size()) >= cancelAfter)
            return false;
        copied.push_back(folder + name);
        return true;
    }
};

}  // namespace halvex::test
