#include "sync/FolderListing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sync/SyncProblem.h"

namespace halvex {

namespace {

// The record getdents64 fills; glibc 2.36 has no declaration of it.
struct linux_dirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

FolderListing::Kind KindOf(unsigned char type)
{
    switch (type) {
    case DT_REG: return FolderListing::Kind::File;
    case DT_DIR: return FolderListing::Kind::Folder;
    case DT_LNK: return FolderListing::Kind::Link;
    default: return FolderListing::Kind::Other;
    }
}

FolderListing::Kind KindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return FolderListing::Kind::File;
    if (S_ISDIR(mode))
        return FolderListing::Kind::Folder;
    return S_ISLNK(mode) ? FolderListing::Kind::Link : FolderListing::Kind::Other;
}

Status Unreadable(int error)
{
    return Status::FailErrno(kProblemUnreadable, error);
}

}  // namespace

Status FolderListing::Read(int folderFd)
{
    m_names.clear();
    m_entries.clear();
    if (folderFd < 0)
        return Unreadable(EBADF);
    // getdents64 straight on the caller's descriptor: no stream, no second
    // descriptor, a few calls per folder. The descriptor's offset is not used
    // again (only fstatat and openat follow), so reading it to the end is fine.
    alignas(8) static thread_local char buffer[32768];
    for (;;) {
        const long got = ::syscall(SYS_getdents64, folderFd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Unreadable(errno);
        if (got == 0)
            break;
        for (long at = 0; at < got;) {
            const auto* e = reinterpret_cast<const struct linux_dirent64*>(buffer + at);
            at += e->d_reclen;
            // Only the folder's own and its parent's entries; what the sync
            // passes over is SyncPassesOver's to say.
            if (e->d_name[0] == '.' && (e->d_name[1] == '\0' || (e->d_name[1] == '.' && e->d_name[2] == '\0')))
                continue;
            Entry entry;
            entry.nameOffset = static_cast<std::uint32_t>(m_names.size());
            if (e->d_type == DT_UNKNOWN) {
                // An entry that cannot be looked at is kept as Other: it is
                // there, and nothing may be copied over it.
                struct stat st {};
                entry.kind =
                    ::fstatat(folderFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 ? KindOf(st.st_mode) : Kind::Other;
            } else {
                entry.kind = KindOf(e->d_type);
            }
            m_names.append(e->d_name, std::strlen(e->d_name) + 1);
            m_entries.push_back(entry);
        }
    }
    return Status::Ok();
}

}  // namespace halvex
