#!/usr/bin/env python3
"""Copies a folder into a FAT32 image with a long (VFAT) name for every entry.

  fat-image-copy.py IMAGE FOLDER    copies FOLDER's contents to the image's top
                                    (FOLDER's names are changed on the way)
  fat-image-copy.py --list IMAGE    every path in the image, one a line, as a
                                    reader that ignores the short names' case
                                    flags sees it

mtools writes a lower-case name that fits 8.3 (`dravane`, `lib`) as a short
name with the case flags Windows NT introduced, and no long name; readers that
ignore the flags (fusefat, older systems) see DRAVANE and LIB, and the suite's
launcher finds no program. So every name of up to 12 characters is given a
'+' before mcopy, which no short name may hold, and mtools writes a long name
for it; the long name is then set back to the real one in place. It keeps its
length in slots, and the short name it belongs to (and so its checksum) is
unchanged.
"""
import os
import struct
import subprocess
import sys

MARK = "+"
SLOT_CHARS = 13
ATTR_LONG_NAME = 0x0F
ATTR_VOLUME = 0x08
ATTR_FOLDER = 0x10
CASE_FLAGS = 0x18  # lower-case base and extension of a short name
END_OF_CHAIN = 0x0FFFFFF8


class Fat32:
    def __init__(self, image):
        self.file = image
        head = image.read(512)
        self.bytes_per_sector, self.per_cluster, reserved, fats = struct.unpack_from("<HBHB", head, 11)
        fat_sectors, self.root = struct.unpack_from("<I", head, 36)[0], struct.unpack_from("<I", head, 44)[0]
        if self.bytes_per_sector not in (512, 1024, 2048, 4096) or not self.per_cluster or not fat_sectors:
            sys.exit("fat-image-copy.py: not a FAT32 image")
        self.cluster_bytes = self.bytes_per_sector * self.per_cluster
        image.seek(reserved * self.bytes_per_sector)
        self.fat = image.read(fat_sectors * self.bytes_per_sector)
        self.data = (reserved + fats * fat_sectors) * self.bytes_per_sector

    def chain(self, cluster):
        seen = set()
        while 2 <= cluster < END_OF_CHAIN and cluster not in seen and cluster * 4 + 4 <= len(self.fat):
            seen.add(cluster)
            yield self.data + (cluster - 2) * self.cluster_bytes
            cluster = struct.unpack_from("<I", self.fat, cluster * 4)[0] & 0x0FFFFFFF

    def entries(self, cluster):
        """(long name or None, its slots' offsets, short entry, folder's first
        cluster or None) for each entry of the folder."""
        slots, name = [], {}
        for start in self.chain(cluster):
            self.file.seek(start)
            block = self.file.read(self.cluster_bytes)
            for at in range(0, len(block), 32):
                entry = block[at:at + 32]
                if entry[0] == 0:
                    return
                if entry[0] == 0xE5:
                    slots, name = [], {}
                    continue
                if entry[11] == ATTR_LONG_NAME:
                    slots.append(start + at)
                    name[entry[0] & 0x1F] = (entry[1:11] + entry[14:26] + entry[28:32]).decode("utf-16-le")
                    continue
                if entry[11] & ATTR_VOLUME or entry[0:2] in (b". ", b".."):
                    slots, name = [], {}
                    continue
                long_name = None
                if name:
                    long_name = "".join(name[i] for i in sorted(name)).split("\0", 1)[0]
                first = struct.unpack_from("<H", entry, 20)[0] << 16 | struct.unpack_from("<H", entry, 26)[0]
                yield long_name, slots, entry, first if entry[11] & ATTR_FOLDER else None
                slots, name = [], {}

    def walk(self, cluster=None, path="", depth=0):
        """(path, long name, slots, short entry) of every entry below the top."""
        if depth > 32:
            return
        for long_name, slots, entry, folder in list(self.entries(self.root if cluster is None else cluster)):
            shown = long_name if long_name is not None else short_name(entry)
            yield path + shown, long_name, slots, entry
            if folder:
                yield from self.walk(folder, path + shown + "/", depth + 1)

    def rename(self, slots, name):
        """Writes name into the long name's slots (13 characters each, the
        slot with the highest number first on disk)."""
        if (len(name) + SLOT_CHARS - 1) // SLOT_CHARS != len(slots):
            sys.exit("fat-image-copy.py: %s does not fit the long name's slots" % name)
        units = list(name) + ["\0"] + ["\uffff"] * (len(slots) * SLOT_CHARS)
        for offset in slots:
            self.file.seek(offset)
            number = self.file.read(1)[0] & 0x1F
            text = "".join(units[(number - 1) * SLOT_CHARS:number * SLOT_CHARS]).encode("utf-16-le", "surrogatepass")
            for place, size in ((1, 10), (14, 12), (28, 4)):
                self.file.seek(offset + place)
                self.file.write(text[:size])
                text = text[size:]


def short_name(entry):
    """The short name as a reader that ignores the case flags shows it."""
    base, extension = entry[0:8].decode("latin-1").rstrip(), entry[8:11].decode("latin-1").rstrip()
    return base + ("." + extension if extension else "")


def mark_names(folder):
    """Gives every name short enough to pass as a short name the mark;
    answers the marked paths relative to folder."""
    marked = set()
    for top, folders, files in os.walk(folder, topdown=False):
        for name in folders + files:
            if len(name) < SLOT_CHARS:
                if os.path.lexists(os.path.join(top, name + MARK)):
                    sys.exit("fat-image-copy.py: %s%s is already taken" % (name, MARK))
                os.rename(os.path.join(top, name), os.path.join(top, name + MARK))
    for top, folders, files in os.walk(folder):
        for name in folders + files:
            if name.endswith(MARK):
                marked.add(os.path.relpath(os.path.join(top, name), folder))
    return marked


def copy(image_path, folder):
    marked = mark_names(folder)
    names = sorted(os.listdir(folder))
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1")
    if names:
        subprocess.run(["mcopy", "-s", "-p", "-i", image_path] + [os.path.join(folder, n) for n in names] + ["::/"],
                       check=True, env=env)
    with open(image_path, "r+b") as image:
        fat = Fat32(image)
        found = 0
        for path, long_name, slots, entry in fat.walk():
            if path not in marked:
                continue
            if long_name is None or not long_name.endswith(MARK):
                sys.exit("fat-image-copy.py: mtools wrote %s without a long name" % path)
            fat.rename(slots, long_name[:-len(MARK)])
            found += 1
        if found != len(marked):
            sys.exit("fat-image-copy.py: %d names of %d found in the image" % (found, len(marked)))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--list":
        with open(sys.argv[2], "rb") as image:
            for path, _, _, _ in Fat32(image).walk():
                print(path)
        return 0
    if len(sys.argv) != 3 or sys.argv[1].startswith("-"):
        sys.exit("usage: fat-image-copy.py IMAGE FOLDER | --list IMAGE")
    copy(sys.argv[1], sys.argv[2])
    return 0


if __name__ == "__main__":
    sys.exit(main())
