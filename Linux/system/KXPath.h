#pragma once

#include <filesystem>
#include <string_view>

#include "util/Status.h"

class KXPath {
public:
    KXPath() = delete;

    static std::filesystem::path AppendComponent(const std::filesystem::path& path, std::string_view name);
    // Ok when a folder exists at the path; otherwise, with `create`, the
    // result of creating it (one level only). Fails with
    // KMSystem::kFolderErrorKey and the system's reason.
    [[nodiscard]] static halvex::Status ValidateFolder(const std::filesystem::path& path, bool create);
};
