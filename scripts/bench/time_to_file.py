#!/usr/bin/env python3
"""Starts a program and prints the seconds until a file it makes appears (then waits for it).

  time_to_file.py DIRECTORY FILE [--display D] [--may-end-first] [--since FIRST] -- PROGRAM [ARGS...]

The program runs in DIRECTORY; FILE (relative to DIRECTORY) is removed first and polled for
every 0.2 ms. With --may-end-first the program may end before the file appears (a launcher
that has started the program which writes it), else that is a failure. With --since, the seconds
from the moment FIRST (relative to DIRECTORY) first held a byte are printed after them. Without --display the program runs with no DISPLAY at all. Timing from Python
instead of the shell keeps the measuring loop itself out of the result.
"""
import os
import subprocess
import sys
import time


def main() -> int:
    args = sys.argv[1:]
    split = args.index("--")
    options, command = args[:split], args[split + 1:]
    directory, marker = options[0], options[1]
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    if "--display" in options:
        env["DISPLAY"] = options[options.index("--display") + 1]
    path = os.path.join(directory, marker)
    if os.path.exists(path):
        os.remove(path)
    first = None
    if "--since" in options:
        first = os.path.join(directory, options[options.index("--since") + 1])
    first_at = None
    start = time.monotonic()
    process = subprocess.Popen(command, cwd=directory, env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while not os.path.exists(path):
        if first and first_at is None:
            try:
                if os.path.getsize(first) > 0:
                    first_at = time.monotonic()
            except OSError:
                pass
        if (process.poll() is not None and not os.path.exists(path)
                and "--may-end-first" not in options):
            print(f"{command[0]} ended with {process.returncode} before {marker} appeared",
                  file=sys.stderr)
            return 1
        time.sleep(0.0002)
    elapsed = time.monotonic() - start
    process.wait()
    if first:
        since = (start + elapsed - first_at) if first_at is not None else float("nan")
        print(f"{elapsed:.6f} {since:.6f}")
    else:
        print(f"{elapsed:.6f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
