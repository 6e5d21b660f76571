#pragma once

// A real FAT-family volume for tests: exFAT through exfat-fuse on a loop
// device, or FAT32 through fusefat on an image file; for the rules of a
// volume of its own that keeps case and links, ext4 on a loop device too. Flash drives carry these
// file systems, and their rules (names that differ only in case are one file,
// 2 s times, no permissions or links) are what the engines must survive.
//
// Where the machine cannot mount one (no root, no /dev/fuse, no loop device,
// a tool missing), mounted() is false and skipReason() says why: use
// HALVEX_REQUIRE_FAT(volume) to skip with that reason.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "ShellCommand.h"
#include "WaitUntil.h"
#include "util/IgnoreResult.h"

namespace halvex::test {

enum class FatKind { ExFat, Fat32, Ext4 };

inline const char* FatKindName(FatKind kind)
{
    return kind == FatKind::ExFat ? "exFAT" : kind == FatKind::Fat32 ? "FAT32" : "ext4";
}

class FatVolume {
public:
    explicit FatVolume(FatKind kind, int megabytes = 64) : m_kind(kind)
    {
        namespace fs = std::filesystem;
        if (::geteuid() != 0) {
            m_skipReason = "mounting a FAT volume needs root";
            return;
        }
        if (kind != FatKind::Ext4 && ::access("/dev/fuse", R_OK | W_OK) != 0) {
            m_skipReason = "no /dev/fuse";
            return;
        }
        const char* tool = Tool();
        const char* mkfs = kind == FatKind::ExFat ? "mkfs.exfat" : kind == FatKind::Fat32 ? "mkfs.vfat" : "mkfs.ext4";
        for (const char* needed : {tool, mkfs, kind == FatKind::Ext4 ? "umount" : "fusermount"}) {
            if (RunShell(std::string("command -v ") + needed + " >/dev/null 2>&1").status != 0) {
                m_skipReason = std::string(needed) + " is not installed";
                return;
            }
        }
        if (kind != FatKind::Fat32 && ::access("/dev/loop-control", R_OK | W_OK) != 0) {
            m_skipReason = "no loop devices";
            return;
        }

        std::string pattern = (fs::temp_directory_path() / "halvex-fat-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            m_skipReason = "cannot make a temporary folder";
            return;
        }
        m_base = pattern;
        m_image = m_base / "volume.img";
        m_mountPoint = m_base / "mnt";
        fs::create_directory(m_mountPoint);

        const std::string image = ShellQuoted(m_image);
        std::string format = "truncate -s " + std::to_string(megabytes) + "M " + image + " && ";
        format += kind == FatKind::ExFat   ? "mkfs.exfat -L HALVEXTEST " + image
                  : kind == FatKind::Fat32 ? "mkfs.vfat -F 32 -n HALVEXTEST " + image
                                           : "mkfs.ext4 -q -F -m 0 -L HALVEXTEST " + image;
        if (RunShell(format + " >/dev/null 2>&1").status != 0) {
            m_skipReason = std::string("cannot format an ") + FatKindName(kind) + " image";
            return;
        }
        if (kind != FatKind::Fat32) {
            const ShellOutput loop = RunShell("losetup -f --show " + image + " 2>/dev/null");
            if (loop.status != 0 || loop.out.empty()) {
                m_skipReason = "no free loop device";
                return;
            }
            m_loopDevice = loop.out.substr(0, loop.out.find('\n'));
        }
        if (!Mount())
            m_skipReason = std::string("cannot mount the ") + FatKindName(kind) + " image";
    }

    ~FatVolume()
    {
        Unmount();
        if (!m_loopDevice.empty())
            RunShell("losetup -d " + m_loopDevice + " >/dev/null 2>&1");
        std::error_code ignored;  // the mount point is empty once unmounted
        if (!m_base.empty())
            std::filesystem::remove_all(m_base, ignored);
    }

    FatVolume(const FatVolume&) = delete;
    FatVolume& operator=(const FatVolume&) = delete;

    bool mounted() const { return m_mounted; }
    const std::string& skipReason() const { return m_skipReason; }
    FatKind kind() const { return m_kind; }
    const char* kindName() const { return FatKindName(m_kind); }
    // The top of the volume, as a drive's mount path.
    const std::filesystem::path& path() const { return m_mountPoint; }

    // The drive is pulled: the FUSE daemon dies, every later call on the
    // mount fails. Remount() brings the same image back.
    void Pull()
    {
        if (!m_mounted)
            return;
        RunShell("pkill -KILL -f -- " + DaemonPattern() + " >/dev/null 2>&1");
        WaitForDaemon(false);
        m_pulled = true;
    }

    bool Remount()
    {
        Unmount();
        if (m_kind == FatKind::ExFat)
            RunShell("fsck.exfat -y " + m_loopDevice + " >/dev/null 2>&1");
        else if (m_kind == FatKind::Ext4)
            RunShell("e2fsck -p " + m_loopDevice + " >/dev/null 2>&1");
        else
            RunShell("fsck.vfat -a " + ShellQuoted(m_image) + " >/dev/null 2>&1");
        return Mount();
    }

    void Unmount()
    {
        if (!m_mounted)
            return;
        ::sync();
        if (m_kind == FatKind::Ext4) {
            if (RunShell("umount " + ShellQuoted(m_mountPoint) + " >/dev/null 2>&1").status != 0)
                RunShell("umount -l " + ShellQuoted(m_mountPoint) + " >/dev/null 2>&1");
            m_mounted = false;
            return;
        }
        if (RunShell("fusermount -u " + ShellQuoted(m_mountPoint) + " >/dev/null 2>&1").status != 0)
            RunShell("fusermount -u -z " + ShellQuoted(m_mountPoint) + " >/dev/null 2>&1");
        // The daemon writes the image out as it leaves; wait for it.
        WaitForDaemon(false);
        m_mounted = false;
        m_pulled = false;
    }

private:
    const char* Tool() const
    {
        return m_kind == FatKind::ExFat ? "mount.exfat-fuse" : m_kind == FatKind::Fat32 ? "fusefat" : "mount";
    }

    // The daemon's command line; the bracket keeps the pattern from matching
    // the shell that runs pgrep or pkill with it.
    std::string DaemonPattern() const
    {
        const std::string tool = Tool();
        return ShellQuoted("[" + tool.substr(0, 1) + "]" + tool.substr(1) + " .*" + m_mountPoint.string());
    }

    bool Mount()
    {
        const std::string command =
            m_kind == FatKind::ExFat   ? "mount.exfat-fuse " + m_loopDevice + " " + ShellQuoted(m_mountPoint)
            : m_kind == FatKind::Fat32 ? "fusefat -o rw+ " + ShellQuoted(m_image) + " " + ShellQuoted(m_mountPoint)
                                       : "mount -t ext4 " + m_loopDevice + " " + ShellQuoted(m_mountPoint);
        if (RunShell(command + " >/dev/null 2>&1").status != 0)
            return false;
        m_mounted = IsMountPoint();
        return m_mounted;
    }

    bool IsMountPoint() const
    {
        std::ifstream mountinfo("/proc/self/mountinfo");
        std::string line;
        const std::string needle = " " + m_mountPoint.string() + " ";
        while (std::getline(mountinfo, line)) {
            if (line.find(needle) != std::string::npos)
                return true;
        }
        return false;
    }

    // Waits up to five seconds for the daemon of this mount to be running
    // (or gone, with running false).
    void WaitForDaemon(bool running) const
    {
        const std::string probe = "pgrep -f -- " + DaemonPattern() + " >/dev/null 2>&1";
        IgnoreResult(WaitUntil([&] { return (RunShell(probe).status == 0) == running; }),
                     "a daemon that outlives the wait shows in the mount's own checks");
    }

    FatKind m_kind;
    std::string m_skipReason;
    std::filesystem::path m_base;
    std::filesystem::path m_image;
    std::filesystem::path m_mountPoint;
    std::string m_loopDevice;
    bool m_mounted = false;
    bool m_pulled = false;
};

}  // namespace halvex::test

#define HALVEX_REQUIRE_FAT(volume)                 \
    do {                                           \
        if (!(volume).mounted())                   \
            GTEST_SKIP() << (volume).skipReason(); \
    } while (0)
