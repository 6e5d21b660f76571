#pragma once

#include <filesystem>
#include <string>

namespace halvex {

// "1.0.0.1": the four numbers of the suite's version.
std::string SuiteVersionText();

// "1.0.0": the first three numbers, as the update service expects them.
std::string SuiteVersionForUpdate();

// The version the drive's suite carries: the first three numbers of
// <programs>/VERSION (written by make-drive.sh, and by an update package
// with the version it was published as), as the Mac build reads its
// bundle's version; this build's own when the file is missing or not a
// version.
std::string DriveSuiteVersionForUpdate(const std::filesystem::path& programFolder);

}  // namespace halvex
