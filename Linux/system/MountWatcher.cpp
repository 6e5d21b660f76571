#include "system/MountWatcher.h"

#include <fcntl.h>
#include <unistd.h>

namespace halvex {

namespace {

// A mount is the same one while its device, source and place stay; the same
// stick mounted again after removal shows as gone in between.
std::string IdentityOf(const MountEntry& entry)
{
    return entry.majorMinor + '\n' + entry.source + '\n' + entry.mountPoint.string();
}

}  // namespace

MountWatcher::MountWatcher(std::filesystem::path mountInfo) : m_mountInfo(std::move(mountInfo)) {}

MountWatcher::~MountWatcher()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

Status MountWatcher::Start()
{
    const Result<std::vector<MountEntry>> entries = ReadMountInfo(m_mountInfo);
    if (!entries)
        return entries.status();
    m_known = Identities(entries.value());
    if (m_fd < 0)
        m_fd = ::open(m_mountInfo.c_str(), O_RDONLY | O_CLOEXEC);
    return Status::Ok();
}

std::vector<MountEntry> MountWatcher::TakeNewMounts()
{
    const Result<std::vector<MountEntry>> entries = ReadMountInfo(m_mountInfo);
    if (!entries)
        return {};
    std::vector<MountEntry> fresh = NewMounts(m_known, entries.value());
    m_known = Identities(entries.value());
    return fresh;
}

bool MountWatcher::TakeChange()
{
    const Result<std::vector<MountEntry>> entries = ReadMountInfo(m_mountInfo);
    if (!entries)
        return false;
    std::set<std::string> now = Identities(entries.value());
    if (now == m_known)
        return false;
    m_known = std::move(now);
    return true;
}

std::vector<MountEntry> MountWatcher::NewMounts(const std::set<std::string>& known, const std::vector<MountEntry>& now)
{
    std::vector<MountEntry> fresh;
    std::set<std::string> seen;
    for (const MountEntry& entry : now) {
        const std::string identity = IdentityOf(entry);
        if (!known.contains(identity) && seen.insert(identity).second)
            fresh.push_back(entry);
    }
    return fresh;
}

std::set<std::string> MountWatcher::Identities(const std::vector<MountEntry>& entries)
{
    std::set<std::string> identities;
    for (const MountEntry& entry : entries)
        identities.insert(IdentityOf(entry));
    return identities;
}

}  // namespace halvex
