#!/usr/bin/env python3
"""Whether every file entry of a zip is in a folder with the same bytes (length and CRC-32).

  tree_matches.py ZIP FOLDER      exit 0 when all match; names the first few that do not
"""
import os
import sys
import zipfile
import zlib


def crc_of(path):
    crc = 0
    with open(path, "rb") as f:
        while chunk := f.read(1 << 20):
            crc = zlib.crc32(chunk, crc)
    return crc


def main() -> int:
    archive, folder = sys.argv[1:3]
    wrong = []
    with zipfile.ZipFile(archive) as z:
        for info in z.infolist():
            if info.is_dir():
                continue
            path = os.path.join(folder, info.filename)
            if (not os.path.isfile(path) or os.path.getsize(path) != info.file_size
                    or crc_of(path) != info.CRC):
                wrong.append(info.filename)
    for name in wrong[:5]:
        print(f"{folder}: {name} differs from {archive}", file=sys.stderr)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
