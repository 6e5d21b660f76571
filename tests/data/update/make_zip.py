#!/usr/bin/env python3
"""Writes a zip archive for the update tests.

make_zip.py OUT NAME=SOURCE[:MODE] ...
Each entry NAME holds the bytes of the file SOURCE; MODE (octal) marks the
entry as made on Unix with those permission bits. A NAME ending in "/" is a
folder entry (SOURCE empty). Names are written as given, "../x" included.
"""
import sys
import zipfile


def main():
    out = sys.argv[1]
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as archive:
        for spec in sys.argv[2:]:
            name, rest = spec.split("=", 1)
            source, _, mode = rest.partition(":")
            info = zipfile.ZipInfo(name, date_time=(2024, 5, 1, 12, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            if mode:
                info.create_system = 3
                info.external_attr = (0o100000 | int(mode, 8)) << 16
            else:
                info.create_system = 0
            data = b""
            if source:
                with open(source, "rb") as f:
                    data = f.read()
            archive.writestr(info, data)


if __name__ == "__main__":
    main()
