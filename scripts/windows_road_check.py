#!/usr/bin/env python3
"""Checks a screenshot of the Windows launcher's splash against its background artwork.

usage: windows_road_check.py SCREENSHOT BACKGROUND_PNG SCREEN_W SCREEN_H SPLASH_W SPLASH_H

The splash is centred on the screen. At sample points where the background art is opaque and no
other widget lies over it, the screen must show the art (the background scaled to the splash
size); where the art is fully transparent the screen must show the empty root window (black).
Partly transparent points are skipped: Wine shows them over black without blending. Prints what
it found and exits 0 when at least 90 per cent of both kinds of points match.
"""
import subprocess
import sys

TOLERANCE = 40  # per channel: scaling filters differ between GDI+ and ImageMagick

# Widgets drawn over the background, in splash pixels (x, y, width, height), with a margin.
COVERED = [
    (151, 51, 153, 86),      # logo
    (180, 170, 261, 123),    # banner
    (380, 380, 730, 112),    # status, size, speed, notices and the progress bar
    (1010, 30, 100, 60),     # close button
]


def raw_pixels(args, channels):
    data = subprocess.run(["convert"] + args, check=True, capture_output=True).stdout
    return data, channels


def covered(x, y):
    for cx, cy, cw, ch in COVERED:
        if cx - 4 <= x < cx + cw + 4 and cy - 4 <= y < cy + ch + 4:
            return True
    return False


def main():
    shot, background = sys.argv[1], sys.argv[2]
    screen_w, screen_h, splash_w, splash_h = (int(v) for v in sys.argv[3:7])
    left, top = (screen_w - splash_w) // 2, (screen_h - splash_h) // 2

    screen, _ = raw_pixels([shot, "-alpha", "off", "-depth", "8", "rgb:-"], 3)
    if len(screen) != screen_w * screen_h * 3:
        print(f"screenshot is not {screen_w}x{screen_h}")
        return 1
    art, _ = raw_pixels([background, "-filter", "Triangle", "-resize", f"{splash_w}x{splash_h}!",
                         "-depth", "8", "rgba:-"], 4)

    opaque_total = opaque_match = clear_total = clear_match = 0
    for y in range(3, splash_h - 3, 7):
        for x in range(3, splash_w - 3, 7):
            if covered(x, y):
                continue
            i = (y * splash_w + x) * 4
            r, g, b, a = art[i], art[i + 1], art[i + 2], art[i + 3]
            j = ((top + y) * screen_w + left + x) * 3
            sr, sg, sb = screen[j], screen[j + 1], screen[j + 2]
            if a == 255:
                opaque_total += 1
                if max(abs(sr - r), abs(sg - g), abs(sb - b)) <= TOLERANCE:
                    opaque_match += 1
            elif a == 0:
                clear_total += 1
                if max(sr, sg, sb) <= TOLERANCE:
                    clear_match += 1

    print(f"splash at ({left},{top}): {opaque_match}/{opaque_total} opaque points show the art, "
          f"{clear_match}/{clear_total} transparent points show the root window")
    ok = opaque_total > 1000 and opaque_match >= 0.9 * opaque_total
    ok = ok and (clear_total == 0 or clear_match >= 0.9 * clear_total)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
