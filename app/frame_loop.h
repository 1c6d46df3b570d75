#pragma once

class LauncherApp;
namespace platform {
class WindowSystem;
}

// The user-interface thread's loop: messages and handed-over work first, then at most 60 frames
// a second aligned to the frame interval, and a 1 ms sleep when idle. Returns the exit code once
// the loop is asked to end.
int RunFrameLoop(LauncherApp& app, platform::WindowSystem& windows);
