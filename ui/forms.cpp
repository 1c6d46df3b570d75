#include "ui/forms.h"

#include <memory>

#include "ui/painter.h"

namespace {

template <typename T>
T* CreateForm(void* instance, WindowHandle mainWindow) {
  auto form = std::make_unique<T>();
  form->instance = instance;
  form->ownerWindow = mainWindow;
  form->window = platform::CurrentWindowSystem().CreateOverlayWindow(mainWindow);
  form->CreateContent();
  form->SyncToOwner();
  return form.release();
}

}  // namespace

void BaseForm::SyncToOwner() {
  platform::WindowSystem& windows = platform::CurrentWindowSystem();
  windows.SetWindowPos(window, windows.WindowRect(ownerWindow), true);
  RequestRepaint(window);
}

void LabelForm::CreateContent() { label = CreateLabel(window, "", 0, {0, 0, -1, -1}); }

LabelForm* CreateLabelForm(void* instance, WindowHandle mainWindow) {
  return CreateForm<LabelForm>(instance, mainWindow);
}

Slice9ImageForm* CreateSlice9ImageForm(void* instance, WindowHandle mainWindow) {
  return CreateForm<Slice9ImageForm>(instance, mainWindow);
}
