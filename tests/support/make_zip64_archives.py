#!/usr/bin/env python3
"""Writes the Zip64 archives the extraction suites read, each from a real packer, with the tree
they hold beside them for comparison:

  OUT/tree/...             the files every archive holds
  OUT/infozip-fz.zip       Info-ZIP's `zip -fz`: Zip64 forced, central records keep the sizes
                           that are marked 0xFFFFFFFF in a Zip64 extra field
  OUT/python-forced.zip    Python's zipfile with Zip64 forced in the local headers and, through
                           its size limit set below every value, in the central records: sizes
                           and local-header offsets all live in Zip64 extra fields
  OUT/huge-declared.zip    like python-forced.zip, one entry declaring 1 TiB in its extra field
                           (more than any test machine's disk holds free)
  OUT/streamed.zip         Python's zipfile writing to a stream it cannot seek back in: every
                           entry's sizes and CRC follow its data in a data descriptor; the archive
                           carries a comment

Usage: make_zip64_archives.py OUT
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile

HUGE = 1 << 40


def tree_files():
    rnd = random.Random(7)
    words = [b"tide ", b"wake ", b"kelp ", b"stone ", b"reef\n", b"gull "]
    text = b"".join(rnd.choice(words) for _ in range(60000))
    noise = bytes(rnd.getrandbits(8) for _ in range(100000))
    return [
        ("readme.txt", b"the first entry\n"),
        ("data/levels/one.txt", text),
        ("data/blob.bin", noise),
        ("data/empty.txt", b""),
        ("last.txt", b"the last entry\n"),
    ]


def central_records(data):
    """(name, uncompressed, compressed, offset, extra) of every central-directory record."""
    records = []
    at = data.find(b"PK\x01\x02")
    while at >= 0:
        (comp, uncomp, name_len, extra_len, comment_len) = struct.unpack_from("<IIHHH", data, at + 20)
        (offset,) = struct.unpack_from("<I", data, at + 42)
        name = data[at + 46:at + 46 + name_len].decode()
        extra = data[at + 46 + name_len:at + 46 + name_len + extra_len]
        records.append((name, uncomp, comp, offset, extra, at + 46 + name_len))
        at = data.find(b"PK\x01\x02", at + 46 + name_len + extra_len + comment_len)
    return records


def zip64_field(extra):
    """Start of the Zip64 extra field's data within extra, or -1."""
    at = 0
    while at + 4 <= len(extra):
        (tag, size) = struct.unpack_from("<HH", extra, at)
        if tag == 1:
            return at + 4
        at += 4 + size
    return -1


def write_python_forced(path, files):
    # zipfile writes a value into the Zip64 extra field when it exceeds this limit: below every
    # value, it does so for every size and offset.
    saved = zipfile.ZIP64_LIMIT
    zipfile.ZIP64_LIMIT = -1
    try:
        with zipfile.ZipFile(path, "w") as archive:
            for name, content in files:
                info = zipfile.ZipInfo(name, date_time=(2024, 5, 1, 12, 0, 0))
                info.compress_type = zipfile.ZIP_STORED if name.endswith(".bin") else zipfile.ZIP_DEFLATED
                with archive.open(info, "w", force_zip64=True) as out:
                    out.write(content)
    finally:
        zipfile.ZIP64_LIMIT = saved
    data = open(path, "rb").read()
    for name, uncomp, comp, offset, extra, _ in central_records(data):
        if (uncomp, comp, offset) != (0xFFFFFFFF,) * 3 or zip64_field(extra) < 0:
            sys.exit(f"{path}: {name} is not Zip64 in its central record")


class Unseekable:
    """A file zipfile can only append to, as a pipe."""

    def __init__(self, f):
        self.f = f

    def write(self, data):
        return self.f.write(data)

    def flush(self):
        self.f.flush()


def write_streamed(path, files):
    with open(path, "wb") as f:
        with zipfile.ZipFile(Unseekable(f), "w") as archive:
            archive.comment = b"written in one pass"
            for name, content in files:
                info = zipfile.ZipInfo(name, date_time=(2024, 5, 1, 12, 0, 0))
                info.compress_type = zipfile.ZIP_STORED if name.endswith(".bin") else zipfile.ZIP_DEFLATED
                archive.writestr(info, content)
    data = open(path, "rb").read()
    at = data.find(b"PK\x03\x04")
    while at >= 0:
        (flags,) = struct.unpack_from("<H", data, at + 6)
        if not flags & 8:
            sys.exit(f"{path}: an entry has no data descriptor")
        at = data.find(b"PK\x03\x04", at + 4)


def main():
    out = sys.argv[1]
    files = tree_files()
    tree = os.path.join(out, "tree")
    shutil.rmtree(out, ignore_errors=True)
    for name, content in files:
        os.makedirs(os.path.dirname(os.path.join(tree, name)), exist_ok=True)
        with open(os.path.join(tree, name), "wb") as f:
            f.write(content)

    infozip = os.path.join(out, "infozip-fz.zip")
    subprocess.run(["zip", "-q", "-fz", os.path.abspath(infozip)] + [name for name, _ in files],
                   cwd=tree, check=True)
    for name, uncomp, comp, offset, extra, _ in central_records(open(infozip, "rb").read()):
        if 0xFFFFFFFF not in (uncomp, comp, offset) or zip64_field(extra) < 0:
            sys.exit(f"{infozip}: {name} is not Zip64 in its central record")

    write_python_forced(os.path.join(out, "python-forced.zip"), files)

    write_streamed(os.path.join(out, "streamed.zip"), files)

    huge = os.path.join(out, "huge-declared.zip")
    write_python_forced(huge, [("small.txt", b"small\n"), ("huge.bin", b"not that big")])
    data = bytearray(open(huge, "rb").read())
    for name, _, _, _, extra, extra_at in central_records(bytes(data)):
        if name == "huge.bin":
            # The uncompressed size comes first in the Zip64 field.
            struct.pack_into("<Q", data, extra_at + zip64_field(extra), HUGE)
    open(huge, "wb").write(data)


if __name__ == "__main__":
    main()
