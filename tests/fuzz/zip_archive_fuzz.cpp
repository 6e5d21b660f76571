// A damaged or hostile zip archive given to the restore (one-file archives of
// a backup set) and to the updater's unpacking: either may fail, but nothing
// may be written outside the folder each was given.
#include "FuzzSupport.h"
#include "zip/ZipExtraction.h"
#include "zip/ZipArchive.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

const fs::path& Root()
{
    static const fs::path root = halvex::fuzz::MakeTempFolder("zip-fuzz");
    return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fs::path& root = Root();
    const fs::path archive = root / "set.zip";
    const fs::path restore = root / "restore";
    const fs::path update = root / "update";
    std::error_code error;
    fs::remove_all(restore, error);
    fs::remove_all(update, error);
    fs::create_directory(restore, error);
    halvex::fuzz::WriteFile(archive, halvex::fuzz::AsText(data, size));

    (void)halvex::CopyFileUnZip(restore / "report.txt", archive);
    (void)halvex::ExtractZipArchive(archive, update);

    using halvex::fuzz::Check;
    for (const auto& entry : fs::directory_iterator(root)) {
        const fs::path name = entry.path().filename();
        Check(name == "set.zip" || name == "restore" || name == "update", "written outside its folder");
    }
    for (const auto& entry : fs::directory_iterator(restore))
        Check(entry.is_regular_file() && !entry.is_symlink(), "the restore made something other than a file");
    if (fs::exists(update, error))
        for (const auto& entry : fs::recursive_directory_iterator(update))
            Check(!entry.is_symlink(), "the updater unpacked a link");
    return 0;
}
