// What the splash shows while the phases run: the animated status line, the progress fill, the
// size text and the speed text. Workers call these; the widget changes happen on the UI thread.

#include "app/format_size.h"
#include "app/launcher_app.h"

namespace {

const char* PhaseText(const std::string& phase) {
  if (phase == "check") return "校验文件中";
  if (phase == "download") return "正在下载资源";
  if (phase == "unzip") return "正在解压资源";
  if (phase == "cleanRes") return "正在清理资源";
  if (phase == "launch") return "正在启动应用";
  return "";
}

// done / total of the full width, truncated; nothing to show for an unknown total.
int32_t FillWidth(double done, double total, int32_t fullWidth) {
  if (!(total > 0)) return 0;
  return static_cast<int32_t>(done / total * fullWidth);
}

}  // namespace

void LauncherApp::Update(double elapsedSeconds) {
  dotTimer_ -= elapsedSeconds;
  if (dotTimer_ <= 0) {
    dotTimer_ = 0.5;
    dotCount_ = (dotCount_ + 1) % 4;
  }
  statusForm->label->SetText(PhaseText(phase) + std::string(static_cast<size_t>(dotCount_), '.'));
}

void LauncherApp::SetFillWidth(int32_t fillWidth) {
  MySlice9Image* fill = progressForm->image;
  if (fill != nullptr) fill->SetRect({fill->x, fill->y, fillWidth, fill->height});
}

void LauncherApp::SetPhase(const std::string& name) {
  OnUiThread([this, name] { phase = name; });
}

void LauncherApp::ShowCheckStarted() {
  OnUiThread([this] {
    statusForm->label->SetVisible(true);
    if (progressForm->image != nullptr) progressForm->image->SetVisible(true);
    SetFillWidth(0);
  });
}

void LauncherApp::ShowUpdateNeeded() {
  OnUiThread([this] {
    speedForm->label->SetVisible(true);
    sizeForm->label->SetVisible(true);
  });
}

void LauncherApp::ShowDownloadStarted() {
  OnUiThread([this] {
    SetFillWidth(0);
    sizeForm->label->SetText("0kb/0k");
    speedForm->label->SetText("0k/s");
  });
}

void LauncherApp::ShowDownloadProgress(uint64_t done, int64_t total, double speed) {
  OnUiThreadLatest("progress", [this, done, total, speed] {
    SetFillWidth(FillWidth(static_cast<double>(done), static_cast<double>(static_cast<uint64_t>(total)),
                           progressFullWidth));
    speedForm->label->SetText(FormatSize(speed > 0 ? static_cast<uint64_t>(speed) : 0) + "/s");
    sizeForm->label->SetText(FormatSize(done) + "/" + FormatSize(static_cast<uint64_t>(total)));
  });
}

void LauncherApp::ShowTransferFinished(int64_t total) {
  OnUiThread([this, total] {
    SetFillWidth(progressFullWidth);
    const std::string size = FormatSize(static_cast<uint64_t>(total));
    sizeForm->label->SetText(size + "/" + size);
  });
}

void LauncherApp::ShowUnzipStarted() {
  OnUiThread([this] {
    SetFillWidth(0);
    speedForm->label->SetVisible(false);
  });
}

void LauncherApp::ShowUnzipProgress(int64_t done, int64_t total) {
  OnUiThreadLatest("progress", [this, done, total] {
    SetFillWidth(FillWidth(static_cast<double>(done), static_cast<double>(total), progressFullWidth));
    sizeForm->label->SetText(std::to_string(done) + "/" + std::to_string(total));
  });
}

void LauncherApp::ShowLaunching() {
  OnUiThread([this] {
    SetFillWidth(progressFullWidth);
    statusForm->label->SetText("启动应用中....");
    statusForm->label->SetVisible(true);
  });
}

void LauncherApp::ShowCloseButton() {
  OnUiThread([this] {
    if (closeForm->image != nullptr) closeForm->image->SetVisible(true);
  });
}
