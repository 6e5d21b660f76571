// "info.ini" of a backup set in either encoding, as text and as a file in a
// set folder read by the restore.
#include "FuzzSupport.h"
#include "backup/BackupInfoFile.h"

#include <filesystem>

namespace {

std::filesystem::path SetFolder()
{
    static const std::filesystem::path folder = [] {
        std::filesystem::path set = halvex::fuzz::MakeTempFolder("info-fuzz") / "Backup" / "Documents";
        std::filesystem::create_directories(set / "Current Backup" / "inner");
        return set;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    bool valid = false;
    const std::string text = halvex::DecodeInfoText(bytes, valid);
    halvex::fuzz::Check(text.find('\n') == std::string::npos, "more than the first line");
    if (valid)
        halvex::fuzz::Check(text.size() > 2, "short text accepted");

    const std::filesystem::path set = SetFolder();
    halvex::fuzz::WriteFile(set / halvex::kInfoFileName, bytes);
    const halvex::InfoFileLookup lookup = halvex::ReadInfoFile(set / "Current Backup" / "inner");
    if (lookup.status.ok) {
        halvex::fuzz::Check(!lookup.originalFolder.empty() && lookup.originalFolder.back() == '/',
                            "accepted folder without its closing slash");
        halvex::fuzz::Check(lookup.originalFolder.front() == '/', "accepted a folder that is not absolute");
    }
    return 0;
}
