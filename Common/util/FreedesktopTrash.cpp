#include "util/FreedesktopTrash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <cstdlib>

#include "copy/FileDescriptor.h"
#include "util/HexDigit.h"
#include "util/IgnoreResult.h"
#include "util/MountPoint.h"
#include "util/WriteAll.h"

namespace halvex {

namespace {

// Names tried for one file before giving up: NAME, NAME.2, NAME.3, ...
constexpr int kNameAttempts = 1000;

std::filesystem::path DefaultHomeTrash()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data == '/')
        return std::filesystem::path(data) / "Trash";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : "/") / ".local/share/Trash";
}

// The device of a path, or of its nearest existing parent.
bool DeviceOf(std::filesystem::path at, dev_t& device)
{
    struct stat st {};
    while (::stat(at.c_str(), &st) != 0) {
        if (!at.has_relative_path() || at == at.parent_path())
            return false;
        at = at.parent_path();
    }
    device = st.st_dev;
    return true;
}

std::filesystem::path MountPoint(const std::filesystem::path& path)
{
    std::filesystem::path at = path.lexically_normal();
    struct stat st {};
    if (::lstat(at.c_str(), &st) != 0)
        return {};
    return MountPointAbove(at, st);
}

// A trash folder of this user: made private when missing; an existing one
// must be a real folder that the user owns.
Status OwnFolder(const std::filesystem::path& folder, uid_t uid)
{
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return Status::FailErrno(kTrashFailedKey, folder, errno);
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0)
        return Status::FailErrno(kTrashFailedKey, folder, errno);
    if (S_ISLNK(st.st_mode))
        return Status::FailErrno(kTrashFailedKey, folder, ELOOP);
    if (!S_ISDIR(st.st_mode))
        return Status::FailErrno(kTrashFailedKey, folder, ENOTDIR);
    if (st.st_uid != uid)
        return Status::FailErrno(kTrashFailedKey, folder, EPERM);
    return Status::Ok();
}

bool IsUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~' || c == '/';
}

}  // namespace

std::string EncodeTrashPath(const std::string& path)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::optional<std::string> DecodeTrashPath(const std::string& encoded)
{
    std::string out;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '%') {
            out += encoded[i];
            continue;
        }
        if (i + 2 >= encoded.size())
            return std::nullopt;
        const int high = HexDigit(encoded[i + 1]);
        const int low = HexDigit(encoded[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::string TrashInfoText(const std::string& path, std::time_t when)
{
    std::tm local{};
    ::localtime_r(&when, &local);
    char date[32] = {};
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    return "[Trash Info]\nPath=" + EncodeTrashPath(path) + "\nDeletionDate=" + date + "\n";
}

FreedesktopTrash::FreedesktopTrash(FreedesktopTrashOptions options) : m_options(std::move(options))
{
    if (m_options.homeTrash.empty())
        m_options.homeTrash = DefaultHomeTrash();
    if (!m_options.topFolderOf)
        m_options.topFolderOf = MountPoint;
    if (!m_options.now)
        m_options.now = [] { return std::time(nullptr); };
}

// The volume's trash: the administrator's shared one when it is sound, else
// the user's own. A shared one that is a link or not sticky is passed over,
// never used or made use of.
Status FreedesktopTrash::VolumeTrash(const std::filesystem::path& top, std::filesystem::path& trash)
{
    const std::filesystem::path shared = top / ".Trash";
    struct stat st {};
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0) {
        trash = shared / std::to_string(m_options.uid);
        if (OwnFolder(trash, m_options.uid).ok)
            return Status::Ok();
    }
    trash = top / (".Trash-" + std::to_string(m_options.uid));
    return OwnFolder(trash, m_options.uid);
}

Status FreedesktopTrash::Discard(int folderFd, const std::string& name, const std::filesystem::path& path)
{
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        return Status::FailErrno(kTrashFailedKey, path, EINVAL);
    struct stat item {};
    if (::fstatat(folderFd, name.c_str(), &item, AT_SYMLINK_NOFOLLOW) != 0)
        return Status::FailErrno(kTrashFailedKey, path, errno);
    const std::filesystem::path absolute = path.lexically_normal();

    dev_t homeDevice = 0;
    if (DeviceOf(m_options.homeTrash, homeDevice) && homeDevice == item.st_dev) {
        const std::filesystem::path parent = m_options.homeTrash.parent_path();
        std::error_code ec;
        std::filesystem::create_directories(parent, ec);
        if (Status own = OwnFolder(m_options.homeTrash, m_options.uid); !own.ok)
            return own;
        return DiscardInto(m_options.homeTrash, folderFd, name, absolute.string());
    }
    const std::filesystem::path top = m_options.topFolderOf(absolute);
    const std::filesystem::path relative = absolute.lexically_relative(top);
    if (top.empty() || relative.empty() || *relative.begin() == "..")
        return Status::FailErrno(kTrashFailedKey, path, EXDEV);
    std::filesystem::path trash;
    if (Status found = VolumeTrash(top, trash); !found.ok)
        return found;
    return DiscardInto(trash, folderFd, name, relative.string());
}

// The info file first, made exclusively so that it claims its name, then
// the file renamed beside it. A full volume shows when the info file is
// written: the file stays where it is.
Status FreedesktopTrash::DiscardInto(const std::filesystem::path& trash, int folderFd, const std::string& name,
                                     const std::string& infoPath)
{
    const std::filesystem::path files = trash / "files";
    const std::filesystem::path info = trash / "info";
    for (const auto& folder : {files, info}) {
        if (Status own = OwnFolder(folder, m_options.uid); !own.ok)
            return own;
    }
    const FileDescriptor filesFd(::open(files.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    const FileDescriptor infoFd(::open(info.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!filesFd.IsOpen() || !infoFd.IsOpen())
        return Status::FailErrno(kTrashFailedKey, trash, errno);
    const std::string text = TrashInfoText(infoPath, m_options.now());

    // The trash's names are the file's own, numbered when taken; a long
    // name is shortened so that the info file's name still fits.
    std::string base = name;
    if (base.size() > 200)
        base.resize(200);
    for (int attempt = 1; attempt <= kNameAttempts; ++attempt) {
        const std::string trashName = attempt == 1 ? base : base + "." + std::to_string(attempt);
        const std::string infoName = trashName + ".trashinfo";
        struct stat taken {};
        if (::fstatat(filesFd.Get(), trashName.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0)
            continue;
        FileDescriptor out(::openat(infoFd.Get(), infoName.c_str(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600));
        if (!out.IsOpen()) {
            if (errno == EEXIST)
                continue;
            return Status::FailErrno(kTrashFailedKey, info, errno);
        }
        int error = WriteAll(out.Get(), text.data(), text.size());
        if (error == 0 && ::fsync(out.Get()) != 0)
            error = errno;
        if (int closeError = out.Close(); error == 0)
            error = closeError;
        if (error == 0 &&
            ::renameat2(folderFd, name.c_str(), filesFd.Get(), trashName.c_str(), RENAME_NOREPLACE) != 0) {
            error = errno;
            // Volumes that cannot refuse a replacement by themselves: the
            // look above was the check.
            if ((error == EINVAL || error == ENOSYS) &&
                ::renameat(folderFd, name.c_str(), filesFd.Get(), trashName.c_str()) == 0)
                error = 0;
        }
        if (error == 0) {
            IgnoreResult(::fsync(filesFd.Get()), "best effort: not every volume can flush a folder");
            return Status::Ok();
        }
        IgnoreResult(::unlinkat(infoFd.Get(), infoName.c_str(), 0), "an info file without its file names nothing");
        if (error == EEXIST)
            continue;
        return Status::FailErrno(kTrashFailedKey, error == ENOSPC || error == EDQUOT ? trash : files / trashName,
                                 error);
    }
    return Status::FailErrno(kTrashFailedKey, files / base, EEXIST);
}

std::shared_ptr<Trash> SystemTrash()
{
    return std::make_shared<FreedesktopTrash>();
}

}  // namespace halvex
