#!/usr/bin/env python3
"""Builds the sample game's server folder: the package zip, its fileInfo and the config document.

usage: make_package.py GAME_EXE OUT_DIR VERSION [EXTRA_MIB [FILES]]
OUT_DIR receives Marlwood77301/config.json, Marlwood77301/fileInfo_<v>.json and the package.
With FILES, the extra bytes are that many files of varied sizes, every other one compressible
text (deflated) and the rest random bytes (stored), as a game's assets mix them; else 8 MiB
random levels.
"""
import hashlib
import json
import os
import random
import sys
import zipfile

WORDS = [b"tide", b"wake", b"kelp", b"stone", b"marl", b"wood", b"level", b"mesh", b"texture",
         b"sound", b"script", b"0.25", b"1024", b"{", b"}", b"\n", b"=", b";", b"  "]


def text_pool(rng, size=8 << 20):
    """Text-like bytes that deflate to about a third; files are slices of it."""
    out = bytearray()
    while len(out) < size:
        out += b" ".join(rng.choice(WORDS) for _ in range(4096))
    return bytes(out[:size])


def compressible(size, rng, pool):
    start = rng.randrange(len(pool))
    out = bytearray()
    while len(out) < size:
        out += pool[start:start + size - len(out)]
        start = 0
    return bytes(out)


def add_mixed_files(archive, extra_mib, count, files, rng):
    total = extra_mib * 1024 * 1024
    pool = text_pool(rng)
    weights = [rng.uniform(0.2, 1.8) for _ in range(count)]
    scale = total / sum(weights)
    for index, weight in enumerate(weights):
        size = max(1, int(weight * scale))
        name = f"data/assets/{index // 256:02d}/asset{index:05d}.dat"
        if index % 2 == 0:
            archive.writestr(name, compressible(size, rng, pool), compress_type=zipfile.ZIP_DEFLATED)
        else:
            archive.writestr(name, rng.randbytes(size), compress_type=zipfile.ZIP_STORED)
        files.append(name)


def main():
    game_exe, out_dir, version = sys.argv[1:4]
    extra_mib = int(sys.argv[4]) if len(sys.argv) > 4 else 1
    mixed_files = int(sys.argv[5]) if len(sys.argv) > 5 else 0
    under = version.replace(".", "_")
    folder = os.path.join(out_dir, "Marlwood77301")
    os.makedirs(folder, exist_ok=True)
    zip_name = f"Marlwood77301/game_{under}.zip"
    zip_path = os.path.join(out_dir, zip_name)

    files = ["runa3D.exe", "data/readme.txt", "资料/说明.txt"]
    with zipfile.ZipFile(zip_path, "w") as archive:
        archive.write(game_exe, "runa3D.exe", compress_type=zipfile.ZIP_DEFLATED)
        archive.writestr("data/", "")
        archive.writestr("data/readme.txt", f"Sample game {version}\n" * 100,
                         compress_type=zipfile.ZIP_DEFLATED)
        # Incompressible bytes in 8 MiB levels, so the download shows progress for a while.
        left, index = (0 if mixed_files else extra_mib), 1
        if mixed_files:
            add_mixed_files(archive, extra_mib, mixed_files, files, random.Random(version))
        while left > 0:
            size = min(left, 8)
            name = f"data/levels/level{index}.dat"
            archive.writestr(name, os.urandom(size * 1024 * 1024), compress_type=zipfile.ZIP_STORED)
            files.append(name)
            left, index = left - size, index + 1
        archive.writestr("资料/说明.txt", "示例游戏\n", compress_type=zipfile.ZIP_DEFLATED)
    # archive.write keeps the program's Unix mode in the entry, so it is executable once installed.

    md5 = hashlib.md5(open(zip_path, "rb").read()).hexdigest()
    file_info = {
        "zipName": zip_name,
        "zipMd5": md5,
        "zipBytes": os.path.getsize(zip_path),
        "fileNameList": files,
    }
    with open(os.path.join(folder, f"fileInfo_{under}.json"), "w") as out:
        json.dump(file_info, out, ensure_ascii=False, indent=2)
    with open(os.path.join(folder, "config.json"), "w") as out:
        json.dump({"lastVersion": version, "unsupportedVersions": ["0.x.x"]}, out, indent=2)
    print(zip_path, md5, os.path.getsize(zip_path))


if __name__ == "__main__":
    main()
