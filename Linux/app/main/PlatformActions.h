#pragma once

#include <QString>

#include <filesystem>

// Hand-offs to the desktop: the file manager and the web browser. Launched
// detached; they never block the window.
namespace halvex::app {

void RevealFolder(const std::filesystem::path& folder);
void OpenUrl(const QString& address);

}  // namespace halvex::app
