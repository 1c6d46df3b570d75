#pragma once
// Message boxes as GtkMessageDialogs. GTK belongs to the user-interface thread: a box asked for
// on a worker is posted there while the worker waits for the answer, so the splash keeps
// animating; a box on the user-interface thread itself runs the main loop until it is answered.

#include <functional>
#include <memory>

namespace platform {

class GtkMessageBoxes;

// Runs a task on the user-interface thread (the window system's PostTask).
using UiPoster = std::function<void(std::function<void()>)>;

// Installs the dialogs as the process's message boxes; UninstallGtkMessageBoxes answers every
// pending box (Cancel, or OK) and restores the default boxes.
std::shared_ptr<GtkMessageBoxes> InstallGtkMessageBoxes(UiPoster post);
void UninstallGtkMessageBoxes(const std::shared_ptr<GtkMessageBoxes>& boxes);

}  // namespace platform
