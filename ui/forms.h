#pragma once
// Overlay forms: each carries one drawable on its own window lying exactly over the main window,
// so that a change to it recomposes only that window. A later form lies above an earlier one.

#include <functional>

#include "ui/my_image.h"
#include "ui/my_label.h"

class BaseForm {
 public:
  BaseForm() = default;
  virtual ~BaseForm() = default;
  BaseForm(const BaseForm&) = delete;
  BaseForm& operator=(const BaseForm&) = delete;

  // Follows the main window (position, size, top of the overlays) and repaints when dirty.
  virtual void SyncToOwner();
  virtual void CreateContent() {}

  void* instance = nullptr;
  WindowHandle window = nullptr;
  WindowHandle ownerWindow = nullptr;
};

class LabelForm : public BaseForm {
 public:
  void CreateContent() override;
  MyLabel* label = nullptr;
};

class Slice9ImageForm : public BaseForm {
 public:
  MySlice9Image* image = nullptr;
};

// Both return a form whose window exists and already lies on the main window.
LabelForm* CreateLabelForm(void* instance, WindowHandle mainWindow);
Slice9ImageForm* CreateSlice9ImageForm(void* instance, WindowHandle mainWindow);
