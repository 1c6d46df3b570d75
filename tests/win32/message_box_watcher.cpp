// Reads the system's message boxes back for the road suite, which runs on Linux beside a
// Windows launcher under Wine: every 20 ms it looks at the top-level dialog boxes and prints one
// UTF-8 line when one appears and one when it is gone, until its standard input ends.
//   open HWND caption="..." text="..." buttons=retry,cancel focus=yes
//   closed HWND
// (the caption, text and buttons in the form the headless boxes print; "focus" tells whether the
// box is the foreground window, so a key sent to it can be expected to arrive).

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return "";
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
  return out;
}

std::wstring WindowText(HWND window) {
  if (window == nullptr) return L"";
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::string OneLine(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') continue;
    out += c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return out;
}

bool ShowsButton(HWND box, int id) {
  HWND button = ::GetDlgItem(box, id);
  return button != nullptr && ::IsWindowVisible(button);
}

std::string Describe(HWND box) {
  // A message box holds its text in the static control with the id 0xFFFF.
  const std::string caption = Utf8(WindowText(box));
  const std::string text = OneLine(Utf8(WindowText(::GetDlgItem(box, 0xFFFF))));
  std::vector<std::string> buttons;
  if (ShowsButton(box, IDOK)) buttons.push_back("ok");
  if (ShowsButton(box, IDRETRY)) buttons.push_back("retry");
  if (ShowsButton(box, IDCANCEL)) buttons.push_back("cancel");
  std::string list;
  for (const std::string& button : buttons) list += (list.empty() ? "" : ",") + button;
  return "caption=\"" + caption + "\" text=\"" + text + "\" buttons=" + list +
         " focus=" + (::GetForegroundWindow() == box ? "yes" : "no");
}

BOOL CALLBACK CollectBox(HWND window, LPARAM boxes) {
  wchar_t className[16] = {};
  ::GetClassNameW(window, className, 16);
  if (std::wstring(className) == L"#32770" && ::IsWindowVisible(window)) {
    reinterpret_cast<std::vector<HWND>*>(boxes)->push_back(window);
  }
  return TRUE;
}

// The standard input is a pipe from the suite: its end (the suite closed it or died) ends us.
DWORD WINAPI WatchInput(void*) {
  char buffer[64];
  DWORD got = 0;
  while (::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) &&
         got > 0) {
  }
  ::ExitProcess(0);
}

}  // namespace

int main() {
  ::CloseHandle(::CreateThread(nullptr, 0, WatchInput, nullptr, 0, nullptr));
  std::set<HWND> known;
  std::printf("watching\n");
  std::fflush(stdout);
  for (;;) {
    std::vector<HWND> boxes;
    ::EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&boxes));
    // Gone boxes first: a box that follows one at once is reported after the end of that one.
    for (auto it = known.begin(); it != known.end();) {
      if (std::find(boxes.begin(), boxes.end(), *it) == boxes.end()) {
        std::printf("closed %p\n", static_cast<void*>(*it));
        it = known.erase(it);
      } else {
        ++it;
      }
    }
    for (HWND box : boxes) {
      if (known.insert(box).second) {
        // Give the box a moment to receive its texts and buttons before reading them.
        ::Sleep(50);
        std::printf("open %p %s\n", static_cast<void*>(box), Describe(box).c_str());
      }
    }
    std::fflush(stdout);
    ::Sleep(20);
  }
}
