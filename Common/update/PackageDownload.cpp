#include "update/PackageDownload.h"

#include <stdlib.h>
#include <unistd.h>
#include <unzip.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>

#include "strings/FormatText.h"
#include "update/Sha256.h"
#include "util/IgnoreResult.h"

namespace fs = std::filesystem;

namespace halvex {

namespace {

// The folder's name before mkdtemp's six characters, and the package's in it.
constexpr const char* kDownloadFolderPrefix = "halvex-download-";
constexpr const char* kPackageFileName = "package.zip";

std::string TemporaryName(const fs::path& destination)
{
    std::random_device random;
    return "." + destination.filename().string() + ".part-" + std::to_string(random() % 1000000);
}

}  // namespace

Result<std::string> PackageName(std::string_view packageAddress)
{
    std::string_view path = packageAddress;
    if (const auto scheme = path.find("://"); scheme != std::string_view::npos)
        path.remove_prefix(scheme + 3);
    if (const auto end = path.find_first_of("?#"); end != std::string_view::npos)
        path = path.substr(0, end);
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return Result<std::string>::Fail(kDownloadErrorKey,
                                         "the package address has no file name: " + std::string(packageAddress));
    const std::string_view name = path.substr(slash + 1);
    if (name.empty() || name == "." || name == ".." || name.find('\\') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos)
        return Result<std::string>::Fail(kDownloadErrorKey,
                                         "the package address has no usable file name: " + std::string(packageAddress));
    return Result<std::string>::Ok(std::string(name));
}

Result<fs::path> PackageDestination(const fs::path& tempFolder, std::string_view packageAddress)
{
    if (const Result<std::string> name = PackageName(packageAddress); !name)
        return Result<fs::path>::From(name.status());
    if (tempFolder.empty())
        return Result<fs::path>::Fail(kDownloadErrorKey, "no temporary folder");
    std::string folder = (tempFolder / kDownloadFolderPrefix).string() + "XXXXXX";
    if (!::mkdtemp(folder.data()))
        return Result<fs::path>::FailErrno(kDownloadErrorKey, tempFolder, errno);
    return Result<fs::path>::Ok(fs::path(folder) / kPackageFileName);
}

void RemovePackageDownload(const fs::path& package)
{
    IgnoreResult(::unlink(package.c_str()), "a package already gone is as good as removed");
    IgnoreResult(::rmdir(package.parent_path().c_str()), "a folder that holds anything else stays");
}

bool OpensAsZip(const fs::path& file)
{
    unzFile zip = unzOpen64(file.c_str());
    if (!zip)
        return false;
    const bool hasEntry = unzGoToFirstFile(zip) == UNZ_OK;
    unzClose(zip);
    return hasEntry;
}

Status DownloadPackage(const PackageRequest& request, const TransferProgress& progress)
{
    std::error_code error;
    const fs::path& destination = request.destination;
    if (fs::exists(fs::symlink_status(destination, error)))
        return Status::FailErrno(kDownloadErrorKey, destination, EEXIST);

    // DownloadToFile creates it (O_EXCL), so removing it below removes only ours.
    const fs::path partial = destination.parent_path() / TemporaryName(destination);
    Status transfer = DownloadToFile(request.address, partial, request.limits, progress);
    if (!transfer) {
        if (transfer.systemError != EEXIST)
            fs::remove(partial, error);
        return transfer;
    }
    if (!request.sha256.empty()) {
        const Result<std::string> digest = FileSha256(partial);
        if (!digest || !SameDigest(request.sha256, digest.value())) {
            fs::remove(partial, error);
            if (!digest)
                return digest.status();
            return Status::Fail(kDownloadErrorKey, "the package does not have the digest the update service named");
        }
    }
    if (!OpensAsZip(partial)) {
        fs::remove(partial, error);
        return Status::Fail(kDownloadErrorKey, "the package is not a zip archive");
    }
    // The folder is this download's own (PackageDestination), and the
    // destination was not there above.
    if (::rename(partial.c_str(), destination.c_str()) != 0) {
        const int renameError = errno;
        fs::remove(partial, error);
        return Status::FailErrno(kDownloadErrorKey, destination, renameError);
    }
    return Status::Ok();
}

std::string DownloadTitleText(std::string_view format, std::string_view packageAddress)
{
    return FormatText(format, fs::path(PackageName(packageAddress).ValueOr({})).stem().string());
}

}  // namespace halvex
