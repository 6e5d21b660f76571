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
    return sha256.empty() || SameDigest(sha256, FileSha256(file));
}

}  // namespace

Status PackageDestination(const fs::path& tempFolder, std::string_view packageAddress, fs::path& destination)
{
    destination.clear();
    std::string_view path = packageAddress;
    if (const auto scheme = path.find("://"); scheme != std::string_view::npos)
        path.remove_prefix(scheme + 3);
    if (const auto end = path.find_first_of("?#"); end != std::string_view::npos)
        path = path.substr(0, end);
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return Status::Fail("download_err", "the package address has no file name: " + std::string(packageAddress));
    const std::string_view name = path.substr(slash + 1);
    if (name.empty() || name == "." || name == ".." || name.find('\\') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos)
        return Status::Fail("download_err",
                            "the package address has no usable file name: " + std::string(packageAddress));
    if (tempFolder.empty())
        return Status::Fail("download_err", "no temporary folder");
    destination = tempFolder / std::string(name);
    return Status::Ok();
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

DownloadResult DownloadPackage(const PackageRequest& request, const TransferProgress& progress)
{
    DownloadResult result;
    std::error_code error;
    const fs::path& destination = request.destination;
    if (fs::exists(fs::symlink_status(destination, error))) {
        if (UsablePackage(destination, request.sha256)) {
            result.outcome = DownloadOutcome::Reused;
            return result;
        }
        if (!fs::remove(destination, error) || error) {
            result.detail = destination.string() + ": " + error.message();
            return result;
        }
    }

    const fs::path partial = destination.parent_path() / TemporaryName(destination);
    bool cancelled = false;
    const TransferProgress watched = [&progress, &cancelled](std::uint64_t done, std::uint64_t expected) {
        cancelled = progress && !progress(done, expected);
        return !cancelled;
    };
    const Status transfer = DownloadToFile(request.address, partial, request.limits, watched);
    if (!transfer) {
        fs::remove(partial, error);
        result.outcome = cancelled ? DownloadOutcome::Cancelled : DownloadOutcome::Failed;
        result.detail = transfer.detail;
        return result;
    }
    if (!request.sha256.empty() && !SameDigest(request.sha256, FileSha256(partial))) {
        fs::remove(partial, error);
        result.detail = "the package does not have the digest the update service named";
        return result;
    }
    if (!OpensAsZip(partial)) {
        fs::remove(partial, error);
        result.detail = "the package is not a zip archive";
        return result;
    }
    if (::rename(partial.c_str(), destination.c_str()) != 0) {
        result.detail = destination.string() + ": " + std::strerror(errno);
        fs::remove(partial, error);
        return result;
    }
    result.outcome = DownloadOutcome::Downloaded;
    return result;
}

std::string DownloadTitleText(std::string_view format, const fs::path& destination)
{
    return FormatText(format, destination.stem().string());
}

}  // namespace halvex
