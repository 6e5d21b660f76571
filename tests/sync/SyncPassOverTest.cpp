#include "sync/SyncPassOver.h"

#include <linux/msdos_fs.h>

#include <gtest/gtest.h>

namespace {

using Kind = halvex::FolderListing::Kind;

struct PassOverCase {
    const char* name;
    Kind kind;
    std::uint32_t fatAttributes;
    bool passedOver;
};

const PassOverCase kCases[] = {
    // Hidden by name, whatever the entry is.
    {".hidden", Kind::File, 0, true},
    {".config", Kind::Folder, 0, true},
    {".link", Kind::Link, 0, true},
    {".socket", Kind::Other, 0, true},
    {".lnk", Kind::Folder, 0, true},
    {"a.hidden", Kind::File, 0, false},
    // Hidden by the FAT attribute: files and folders only.
    {"Thumbs.db", Kind::File, ATTR_HIDDEN, true},
    {"Recycled", Kind::Folder, ATTR_HIDDEN | ATTR_SYS, true},
    {"archived.txt", Kind::File, ATTR_ARCH | ATTR_RO, false},
    {"system.txt", Kind::File, ATTR_SYS, false},
    {"device", Kind::Other, ATTR_HIDDEN, false},
    // Shortcuts: files ending in ".lnk" in any case.
    {"Shortcut.LNK", Kind::File, 0, true},
    {"other.lnk", Kind::File, 0, true},
    {"mixed.LnK", Kind::File, 0, true},
    {"folder.lnk", Kind::Folder, 0, false},
    {"pointer.lnk", Kind::Link, 0, false},
    {"lnk", Kind::File, 0, false},
    {"a_lnk", Kind::File, 0, false},
    {"a.lnkx", Kind::File, 0, false},
    {"a.lnk.txt", Kind::File, 0, false},
    {"a.ln", Kind::File, 0, false},
    // What the sync compares.
    {"report.txt", Kind::File, 0, false},
    {"Photos", Kind::Folder, 0, false},
    {"link.txt", Kind::Link, 0, false},
};

TEST(SyncPassOverTest, NamesKindsAndAttributes)
{
    for (const PassOverCase& c : kCases)
        EXPECT_EQ(halvex::SyncPassesOver(c.name, c.kind, c.fatAttributes), c.passedOver)
            << c.name << " kind " << static_cast<int>(c.kind) << " attributes " << c.fatAttributes;
}

}  // namespace
