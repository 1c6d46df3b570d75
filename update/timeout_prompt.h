#pragma once

#include <functional>

// The prompt after a document could not be fetched in time. Shows the close button, brings the
// main window to the front and asks Retry/Cancel on the calling thread. Cancel ends the process
// with code 0; Retry returns so the caller restarts the failed step.
void ShowTimeoutPrompt();

// The application connects its close button here once the splash exists.
void SetShowCloseButtonHook(std::function<void()> hook);
