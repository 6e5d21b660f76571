#pragma once

#include <filesystem>
#include <string_view>

class KXPath {
public:
    KXPath() = delete;

    static std::filesystem::path AppendComponent(const std::filesystem::path& path, std::string_view name);
    // True when a folder exists at the path; otherwise, with `create`, the
    // result of creating it (one level only), else false.
    static bool ValidateFolder(const std::filesystem::path& path, bool create);
};
