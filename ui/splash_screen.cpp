#include "ui/splash_screen.h"

#include "resources/resource_ids.h"

namespace {
constexpr uint32_t kCyan = 0xFF00FFFF;
}  // namespace

Slice9ImageForm* SplashScreen::AddSlice9ImageForm(int resourceId) {
  Slice9ImageForm* form = CreateSlice9ImageForm(instance, mainWindow);
  form->image = CreateSlice9Image(form->window, resourceId, {0, 0, -1, -1}, {0, 0, 0, 0});
  forms.push_back(form);
  return form;
}

void SplashScreen::BuildSplash() {
  background = CreateImage(mainWindow, kBackgroundPng, {0, 0, width, height});
  logoImage = CreateImage(mainWindow, kLogoPng, {151, 51, -1, -1});
  bannerImage = CreateImage(mainWindow, kBannerPng, {180, 170, -1, -1});
  noticeLabel1 = CreateLabel(mainWindow, "抵制不良游戏，拒绝盗版游戏，注意自我保护，谨防受骗上当",
                             20, {400, 429, -1, -1});
  noticeLabel2 = CreateLabel(mainWindow, "适度游戏益脑，沉迷游戏伤身，合理安排时间，享受健康生活",
                             20, {400, 451, -1, -1});
  progressTrack = CreateSlice9Image(mainWindow, kProgressTrackPng, {404, 410, 562, 15}, {6, 5, 6, 5});

  statusForm = CreateLabelForm(instance, mainWindow);
  forms.push_back(statusForm);
  statusForm->label->SetPosition(589, 387);
  statusForm->label->SetFontSize(20);
  statusForm->label->SetText("下载中....");

  sizeForm = CreateLabelForm(instance, mainWindow);
  forms.push_back(sizeForm);
  sizeForm->label->SetPosition(746, 389);
  sizeForm->label->SetFontSize(16);
  sizeForm->label->SetText("0Mb/0Mb");
  sizeForm->label->SetColor(kCyan);

  speedForm = CreateLabelForm(instance, mainWindow);
  forms.push_back(speedForm);
  speedForm->label->SetPosition(899, 389);
  speedForm->label->SetFontSize(16);
  speedForm->label->SetText("0Kb/s");
  speedForm->label->SetColor(kCyan);

  progressForm = AddSlice9ImageForm(kProgressFillPng);
  MySlice9Image* fill = progressForm->image;
  fill->SetPosition(402, 411);
  fill->SetRect({fill->x, fill->y, 0, 17});
  fill->SetInsets({7, 5, 7, 6});

  closeForm = AddSlice9ImageForm(kCloseButtonPng);
  MySlice9Image* close = closeForm->image;
  close->SetPosition(1027, 44);
  close->SetRect({close->x, close->y, -1, -1});
  close->SetOnClick([this] { OnCloseClicked(); });
  close->SetVisible(false);
}
