#!/usr/bin/env python3
"""Builds the differential update benchmark's versions of one game on the server folder.

usage: delta_packages.py GAME_EXE OUT_DIR FILES FILE_KIB CHANGED_PERCENT

Writes Marlwood77301/game_1_0_0.zip (FILES files of FILE_KIB KiB of random bytes, stored, plus the
game and a readme), game_1_0_1.zip (the same with CHANGED_PERCENT % of the files' bytes new, and
the readme) and game_1_0_2.zip (1.0.1's content again under a new version's name), each with its
fileInfo document; config.json is left to the caller (publish_version). Prints, per version:
  VERSION ZIP_BYTES CHANGED_COMPRESSED_BYTES DIRECTORY_BYTES END_RECORD_BYTES
where the changed bytes are those of the entries that differ from the previous version's.
"""
import hashlib
import json
import os
import random
import shutil
import sys
import zipfile


def write_version(folder, version, game_exe, contents):
    under = version.replace(".", "_")
    zip_name = f"Marlwood77301/game_{under}.zip"
    path = os.path.join(folder, f"game_{under}.zip")
    with zipfile.ZipFile(path, "w") as archive:
        archive.write(game_exe, "runa3D.exe", compress_type=zipfile.ZIP_DEFLATED)
        archive.writestr("data/readme.txt", f"Sample game {version}\n" * 100,
                         compress_type=zipfile.ZIP_DEFLATED)
        for name, data in contents:
            archive.writestr(name, data, compress_type=zipfile.ZIP_STORED)
    write_file_info(folder, version, zip_name, path)
    return path


def write_file_info(folder, version, zip_name, path):
    md5 = hashlib.md5()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            md5.update(block)
    info = {"zipName": zip_name, "zipMd5": md5.hexdigest(), "zipBytes": os.path.getsize(path),
            "fileNameList": ["runa3D.exe", "data/readme.txt"]}
    under = version.replace(".", "_")
    with open(os.path.join(folder, f"fileInfo_{under}.json"), "w") as out:
        json.dump(info, out)


def layout(path, previous):
    """Directory and end-record sizes, and the compressed bytes of entries not in `previous`."""
    with zipfile.ZipFile(path) as archive:
        infos = archive.infolist()
        changed = sum(i.compress_size for i in infos
                      if previous is None or previous.get(i.filename) != (i.CRC, i.file_size))
        keys = {i.filename: (i.CRC, i.file_size) for i in infos}
    size = os.path.getsize(path)
    with open(path, "rb") as f:
        f.seek(size - 22)
        end = f.read(22)
    directory_bytes = int.from_bytes(end[12:16], "little")
    directory_offset = int.from_bytes(end[16:20], "little")
    return keys, changed, directory_bytes, size - (directory_offset + directory_bytes)


def main():
    game_exe, out_dir = sys.argv[1:3]
    files, file_kib, percent = int(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5])
    folder = os.path.join(out_dir, "Marlwood77301")
    os.makedirs(folder, exist_ok=True)
    names = [f"data/part{i // 256}/file{i}.bin" for i in range(files)]
    contents = [os.urandom(file_kib * 1024) for _ in names]
    first = write_version(folder, "1.0.0", game_exe, list(zip(names, contents)))
    # The changed files spread over the archive, as a patch touching a few assets would.
    changed = random.Random(7).sample(range(files), max(1, round(files * percent / 100)))
    for i in changed:
        contents[i] = os.urandom(file_kib * 1024)
    second = write_version(folder, "1.0.1", game_exe, list(zip(names, contents)))
    contents = None
    third = os.path.join(folder, "game_1_0_2.zip")
    shutil.copyfile(second, third)
    write_file_info(folder, "1.0.2", "Marlwood77301/game_1_0_2.zip", third)

    previous = None
    for version, path in (("1.0.0", first), ("1.0.1", second), ("1.0.2", third)):
        keys, changed_bytes, directory_bytes, end_bytes = layout(path, previous)
        print(version, os.path.getsize(path), changed_bytes, directory_bytes, end_bytes)
        previous = keys


if __name__ == "__main__":
    main()
