#pragma once
// The splash: artwork, advisory lines and the empty track on the main window, and the elements
// that change during a run on overlay forms of their own. The application object derives from
// it and drives the elements; nothing here is created or destroyed after BuildSplash.

#include <vector>

#include "ui/forms.h"
#include "ui/my_image.h"
#include "ui/my_label.h"

class SplashScreen {
 public:
  SplashScreen() = default;
  virtual ~SplashScreen() = default;
  SplashScreen(const SplashScreen&) = delete;
  SplashScreen& operator=(const SplashScreen&) = delete;

  // Creates every element once; needs instance and mainWindow. Ends the process after an error
  // box when an artwork resource is missing.
  void BuildSplash();
  Slice9ImageForm* AddSlice9ImageForm(int resourceId);
  // The close button's callback.
  virtual void OnCloseClicked() {}

  void* instance = nullptr;
  WindowHandle mainWindow = nullptr;
  int32_t width = 1110;
  int32_t height = 492;
  MyImage* background = nullptr;
  MyImage* logoImage = nullptr;
  MyImage* bannerImage = nullptr;
  MyLabel* noticeLabel1 = nullptr;
  MyLabel* noticeLabel2 = nullptr;
  MySlice9Image* progressTrack = nullptr;
  std::vector<BaseForm*> forms;
  Slice9ImageForm* closeForm = nullptr;
  Slice9ImageForm* progressForm = nullptr;
  int32_t progressFullWidth = 564;
  LabelForm* statusForm = nullptr;
  LabelForm* speedForm = nullptr;
  LabelForm* sizeForm = nullptr;
};
