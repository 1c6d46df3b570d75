#!/usr/bin/env python3
"""Keeps the launcher's folders in their layers: a folder builds only on the folders it declares.

Each layer folder's CMakeLists.txt declares its place with
    tidewake_layer(FOLDER DEPENDS LOWER...)
and a folder may use its own code and, transitively, that of the folders it depends on.

    check_layers.py includes              every #include "folder/..." of the layer folders
    check_layers.py calls --nm NM FOLDER=OBJ:OBJ...
                                          every symbol an object file needs from another folder

Both print each offending line and exit with status 1; the build runs the second one on the
compiled objects, scripts/test.sh the first one on the sources.
"""

import argparse
import pathlib
import re
import shutil
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
LAYER_CALL = re.compile(r"tidewake_layer\(([^)]*)\)")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]*"')


def declared_layers():
    """{folder: [folders it depends on]} from the tidewake_layer() calls of the folders."""
    layers = {}
    for cmake in sorted(ROOT.glob("*/CMakeLists.txt")):
        for call in LAYER_CALL.findall(cmake.read_text()):
            words = call.split()
            depends, reading = [], False
            for word in words[1:]:
                if word in ("DEPENDS", "SOURCES"):
                    reading = word == "DEPENDS"
                elif reading:
                    depends.append(word)
            layers[words[0]] = depends
    return layers


def reachable(layers):
    """{folder: the folders it may use, itself included}; refuses unknown names and cycles."""
    result = {}

    def visit(folder, path):
        if folder in path:
            sys.exit("layer cycle: " + " -> ".join(path + [folder]))
        if folder not in layers:
            sys.exit(f"{path[-1]} depends on {folder}, which declares no layer")
        if folder not in result:
            below = {folder}
            for lower in layers[folder]:
                below |= visit(lower, path + [folder])
            result[folder] = below
        return result[folder]

    for folder in layers:
        visit(folder, [])
    return result


def check_includes(layers):
    allowed = reachable(layers)
    offences = 0
    for folder in sorted(layers):
        for source in sorted((ROOT / folder).rglob("*")):
            if source.suffix not in (".h", ".cpp"):
                continue
            lines = source.read_text(encoding="utf-8", errors="replace").splitlines()
            for number, line in enumerate(lines, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                target = match.group(1)
                if target in allowed[folder] or not (ROOT / target).is_dir():
                    continue
                offences += 1
                print(f"{source.relative_to(ROOT)}:{number}: {line.strip()}\n"
                      f"  {folder}/ may include only {', '.join(sorted(allowed[folder]))}")
    return offences


def symbols(nm, objects):
    """(strong definitions, undefined references) of the object files, as mangled names."""
    defined, undefined = set(), {}
    if not objects:
        return defined, undefined
    output = subprocess.run([nm, "-P", "-A", *objects], check=True, capture_output=True,
                            text=True).stdout
    for line in output.splitlines():
        # "file.o: name type [value size]"
        where, _, rest = line.partition(": ")
        fields = rest.split()
        if len(fields) < 2:
            continue
        name, kind = fields[0], fields[1]
        if kind == "U":
            undefined.setdefault(name, where)
        elif kind in "TDBRC":
            # Weak definitions (inline functions, template instances) belong to whoever uses
            # them; only a strong one says which folder a function lives in.
            defined.add(name)
    return defined, undefined


def demangle(name):
    if shutil.which("c++filt") is None:
        return name
    return subprocess.run(["c++filt", name], capture_output=True, text=True).stdout.strip()


def check_calls(layers, nm, groups):
    allowed = reachable(layers)
    objects = {}
    for group in groups:
        folder, _, files = group.partition("=")
        objects[folder] = [f for f in files.split(":") if f]
    tables = {folder: symbols(nm, files) for folder, files in objects.items()}
    owner = {}
    for folder, (defined, _) in tables.items():
        for name in defined:
            owner.setdefault(name, folder)
    offences = 0
    for folder, (_, undefined) in sorted(tables.items()):
        for name, where in sorted(undefined.items()):
            home = owner.get(name)
            if home is None or home in allowed.get(folder, {folder}):
                continue
            offences += 1
            print(f"{where}: uses {demangle(name)}\n"
                  f"  defined in {home}/, which {folder}/ does not build on")
    return offences


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("what", choices=["includes", "calls"])
    parser.add_argument("--nm", default="nm")
    parser.add_argument("groups", nargs="*", help="FOLDER=OBJECT:OBJECT... (calls only)")
    arguments = parser.parse_intermixed_args()
    layers = declared_layers()
    if arguments.what == "includes":
        offences = check_includes(layers)
    else:
        offences = check_calls(layers, arguments.nm, arguments.groups)
    if offences:
        print(f"{offences} use(s) against the layer order; see the layout table in README.md")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
