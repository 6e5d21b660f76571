#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <fstream>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "strings/KXStrings.h"
#include "sync/ItemData.h"
#include "sync/SyncCallback.h"
#include "util/IgnoreResult.h"

namespace synctest {

namespace fs = std::filesystem;

using halvex::test::ReadFile;
using halvex::test::RunningAsRoot;
using halvex::test::SetTime;
using halvex::test::TempFolder;

// A file with the given content and modification time, parents created; one
// fixed time by default, so two trees written alike compare equal.
inline void WriteFile(const fs::path& file, std::string_view content, std::int64_t seconds = 1'600'000'000)
{
    halvex::test::WriteFile(file, content, seconds);
}

inline void LoadSyncStrings()
{
    ASSERT_TRUE(KXStrings::LoadStringTable(fs::path(HALVEX_TEST_DATA) / "sync" / "Localizable.strings"));
}

// Runs body in a child process and gives back its text; nullopt when the
// child could not be had or prepare failed there. For what a test must not do
// to itself: change its user, mount in a namespace of its own.
inline std::optional<std::string> InChild(const std::function<bool()>& prepare,
                                          const std::function<std::string()>& body)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return std::nullopt;
    const pid_t child = ::fork();
    if (child < 0)
        return std::nullopt;
    if (child == 0) {
        ::close(fds[0]);
        std::string text = "\x01";
        if (prepare())
            text = body();
        halvex::IgnoreResult(::write(fds[1], text.data(), text.size()), "a short answer fails the parent's check");
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (text == "\x01")
        return std::nullopt;
    return text;
}

// Runs body as an ordinary user, for the rules about files that cannot be
// read: as root in a child process that became "nobody" (the folders it
// needs must be open to others); otherwise in this process.
inline std::optional<std::string> AsOrdinaryUser(const std::function<std::string()>& body)
{
    if (!RunningAsRoot())
        return body();
    return InChild([] { return ::setgid(65534) == 0 && ::setuid(65534) == 0; }, body);
}

// Opens a test's folders to every user, so AsOrdinaryUser can walk them.
inline void OpenToOthers(const fs::path& root)
{
    fs::permissions(root, fs::perms::all);
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_directory())
            fs::permissions(e.path(), fs::perms::all);
}

// Records what the engine reports and answers its questions from a script.
class RecordingCallback : public halvex::SyncCallback {
public:
    struct Question {
        std::string text;
        halvex::MessageIcon icon;
        bool defaultYes;
    };

    std::vector<std::string> scanMessages;
    std::vector<std::string> rowsAdded;
    std::vector<std::string> statuses;
    std::vector<std::string> countTexts;
    std::vector<std::pair<std::string, halvex::MessageIcon>> messages;
    std::vector<Question> questions;
    std::deque<halvex::Answer> answers;  // empty: the default button
    std::deque<std::optional<fs::path>> choices;
    int chooserOpened = 0;
    std::function<void(const ItemData&)> onRow;
    std::function<void(std::uint64_t, std::uint64_t)> onFileProgress;

    void OnScanProgress(const halvex::ScanCounters&, const std::string& message) override
    {
        scanMessages.push_back(message);
    }
    void OnRowAdded(const ItemData& row, const halvex::ScanCounters&) override
    {
        rowsAdded.push_back(row.name);
        if (onRow)
            onRow(row);
    }
    void OnRunStatus(const std::string& status) override { statuses.push_back(status); }
    void OnRunCount(const std::string& text, std::uint32_t, std::uint32_t) override { countTexts.push_back(text); }
    void OnFileProgress(std::uint64_t done, std::uint64_t total) override
    {
        if (onFileProgress)
            onFileProgress(done, total);
    }
    void ShowMessage(const std::string& text, halvex::MessageIcon icon) override { messages.emplace_back(text, icon); }
    halvex::Answer Ask(const std::string& text, halvex::MessageIcon icon, bool defaultYes) override
    {
        questions.push_back({text, icon, defaultYes});
        if (answers.empty())
            return defaultYes ? halvex::Answer::Yes : halvex::Answer::No;
        const halvex::Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<fs::path> ChooseFolder() override
    {
        ++chooserOpened;
        if (choices.empty())
            return std::nullopt;
        auto c = choices.front();
        choices.pop_front();
        return c;
    }
};

}  // namespace synctest
