// "info.ini" of a backup set in either encoding, as text and as a file in a
// set folder read by the restore.
#include "FuzzSupport.h"
#include "backup/BackupInfoFile.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

std::filesystem::path SetFolder()
{
    static const std::filesystem::path folder = [] {
        std::string name = (std::filesystem::temp_directory_path() / "info-fuzz-XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr)
            halvex::fuzz::Fail("no temporary folder");
        const std::filesystem::path set = std::filesystem::path(name) / "Backup" / "Documents";
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
    {
        std::ofstream out(set / halvex::kInfoFileName, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    const halvex::InfoFileLookup lookup = halvex::ReadInfoFile(set / "Current Backup" / "inner");
    if (lookup.result == halvex::InfoFileResult::Ok) {
        halvex::fuzz::Check(!lookup.originalFolder.empty() && lookup.originalFolder.back() == '/',
                            "accepted folder without its closing slash");
        halvex::fuzz::Check(lookup.originalFolder.front() == '/', "accepted a folder that is not absolute");
    }
    return 0;
}
