#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "util/Status.h"

namespace halvex {

// Login items as XDG autostart entries: one .desktop file per item in the
// autostart folder, matched by the program path of its Exec line. The
// "start hidden" flag of an item is kept in X-Halvex-Hidden (the standard
// Hidden key would mean "deleted").
class LoginItems {
public:
    struct Item {
        std::filesystem::path file;     // the .desktop file
        std::filesystem::path program;  // the Exec line's program
        bool hidden = false;
    };

    // An entry could not be written or deleted.
    static constexpr const char* kSaveErrorKey = "file_save_err";

    explicit LoginItems(std::filesystem::path autostartFolder) : m_folder(std::move(autostartFolder)) {}

    // $XDG_CONFIG_HOME/autostart, default ~/.config/autostart.
    static std::filesystem::path DefaultFolder();

    // Adds an entry even when an equal one exists (two entries then). Fails
    // with kSaveErrorKey and the system's reason when the folder or the
    // entry cannot be written.
    [[nodiscard]] Status add(const std::filesystem::path& program, bool hidden) const;
    // Takes the first-added entry for the program and removes every entry
    // equal to it (same program, same hidden flag). Fails with kSaveErrorKey
    // when one of those is left.
    [[nodiscard]] Status remove(const std::filesystem::path& program) const;
    bool exists(const std::filesystem::path& program) const;

    // Every readable entry of the folder, in the order they were added.
    std::vector<Item> items() const;

    // The program of an Exec value: the first word, quoted or not, with the
    // desktop-entry escapes undone.
    static std::string ProgramOfExec(std::string_view exec);
    // An Exec value that runs exactly `program`.
    static std::string ExecForProgram(const std::filesystem::path& program);

private:
    std::filesystem::path m_folder;
};

}  // namespace halvex
