#pragma once
// One file call made again while another program holds its file (platform/held_files.h): a
// virus scanner that opened what was just written, a game killed a moment ago whose files are
// not yet let go. Only that call is repeated, never the work that led up to it.

#include <chrono>
#include <functional>
#include <string>

// Runs attempt (one file call on path, in the UTF-8 form of platform/utf8_files.h) and, while it
// fails on a held file, again after pauses that double from 50 ms to 1 s, until the held-file
// window has passed since the first failure. Each retry is logged, naming what (the call) and the
// path. True once an attempt succeeded; false at the first failure of another kind, or when the
// file was still held at the end.
bool RetryWhileHeld(const char* what, const std::string& path,
                    const std::function<bool()>& attempt);

// How long a held file is waited for: 10 s in the launcher. The tests make it shorter.
std::chrono::milliseconds HeldFileWindow();
void SetHeldFileWindow(std::chrono::milliseconds window);
