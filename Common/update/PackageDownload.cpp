#include "update/PackageDownload.h"

#include <unistd.h>
#include <unzip.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>

#include "strings/FormatText.h"
#include "update/Sha256.h"

namespace fs = std::filesystem;

namespace halvex {

namespace {

std::string TemporaryName(const fs::path& destination)
{
    std::random_device random;
    return "." + destination.filename().string() + ".part-" + std::to_string(random() % 1000000);
}

// A package that is there already is only kept when it is whole.
bool UsablePackage(const fs::path& file, const std::string& sha256)
{
    std::error_code error;
    if (!fs::is_regular_file(fs::symlink_status(file, error)) || !OpensAsZip(file))
        return false;
    return sha256.empty() || SameDigest(sha256, FileSha256(file).ValueOr({}));
}

}  // namespace

Result<fs::path> PackageDestination(const fs::path& tempFolder, std::string_view packageAddress)
{
    std::string_view path = packageAddress;
    if (const auto scheme = path.find("://"); scheme != std::string_view::npos)
        path.remove_prefix(scheme + 3);
    if (const auto end = path.find_first_of("?#"); end != std::string_view::npos)
        path = path.substr(0, end);
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return Result<fs::path>::Fail(kDownloadErrorKey,
                                      "the package address has no file name: " + std::string(packageAddress));
    const std::string_view name = path.substr(slash + 1);
    if (name.empty() || name == "." || name == ".." || name.find('\\') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos)
        return Result<fs::path>::Fail(kDownloadErrorKey,
                                      "the package address has no usable file name: " + std::string(packageAddress));
    if (tempFolder.empty())
        return Result<fs::path>::Fail(kDownloadErrorKey, "no temporary folder");
    return Result<fs::path>::Ok(tempFolder / std::string(name));
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

Result<DownloadOutcome> DownloadPackage(const PackageRequest& request, const TransferProgress& progress)
{
    using Downloaded = Result<DownloadOutcome>;
    std::error_code error;
    const fs::path& destination = request.destination;
    if (fs::exists(fs::symlink_status(destination, error))) {
        if (UsablePackage(destination, request.sha256))
            return Downloaded::Ok(DownloadOutcome::Reused);
        if (!fs::remove(destination, error) || error)
            return Downloaded::Fail(kDownloadErrorKey, destination.string() + ": " + error.message());
    }

    const fs::path partial = destination.parent_path() / TemporaryName(destination);
    const Status transfer = DownloadToFile(request.address, partial, request.limits, progress);
    if (!transfer) {
        fs::remove(partial, error);
        return Downloaded::From(transfer);
    }
    if (!request.sha256.empty()) {
        const Result<std::string> digest = FileSha256(partial);
        if (!digest || !SameDigest(request.sha256, digest.value())) {
            fs::remove(partial, error);
            if (!digest)
                return Downloaded::From(digest.status());
            return Downloaded::Fail(kDownloadErrorKey, "the package does not have the digest the update service named");
        }
    }
    if (!OpensAsZip(partial)) {
        fs::remove(partial, error);
        return Downloaded::Fail(kDownloadErrorKey, "the package is not a zip archive");
    }
    if (::rename(partial.c_str(), destination.c_str()) != 0) {
        const int renameError = errno;
        fs::remove(partial, error);
        return Downloaded::FailErrno(kDownloadErrorKey, destination, renameError);
    }
    return Downloaded::Ok(DownloadOutcome::Downloaded);
}

std::string DownloadTitleText(std::string_view format, const fs::path& destination)
{
    return FormatText(format, destination.stem().string());
}

}  // namespace halvex
