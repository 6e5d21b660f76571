#include "util/FolderWatch.h"

#include <sys/stat.h>

#include <cerrno>

namespace halvex {

Status FolderWatch::Watch(const std::filesystem::path& path)
{
    m_path = path;
    struct stat info {};
    const int error = ::stat(path.c_str(), &info) != 0 ? errno : S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
    m_bKnown = error == 0;
    m_nDevice = m_bKnown ? info.st_dev : 0;
    m_nInode = m_bKnown ? info.st_ino : 0;
    return m_bKnown ? Status::Ok() : Status::FailErrno("folder_unwatchable", path, error);
}

bool FolderWatch::StillThere() const
{
    struct stat info {};
    return m_bKnown && ::stat(m_path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_dev == m_nDevice &&
           info.st_ino == m_nInode;
}

}  // namespace halvex
