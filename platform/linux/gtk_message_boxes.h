#pragma once
// Message boxes as GtkMessageDialogs. GTK belongs to the user-interface thread: a box asked for
// on a worker is posted there while the worker waits for the answer, so the splash keeps
// animating; a box on the user-interface thread itself runs the main loop until it is answered.

#include <memory>

namespace platform {

class GtkMessageBoxes;

// Installs the dialogs as the process's message boxes; the returned object answers every
// pending box (Cancel, or OK) and restores the default boxes when destroyed.
std::shared_ptr<GtkMessageBoxes> InstallGtkMessageBoxes();
void UninstallGtkMessageBoxes(const std::shared_ptr<GtkMessageBoxes>& boxes);

}  // namespace platform
