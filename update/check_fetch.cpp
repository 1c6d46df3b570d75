// The fetching half of the check: override files, the config document, the fileInfo document.

#include <exception>
#include <string>

#include "core/layout.h"
#include "core/random_numbers.h"
#include "fs/text_file.h"
#include "platform/files.h"
#include "update/check.h"
#include "update/timeout_prompt.h"
#include "core/strings.h"

namespace {

const char kErrorPrefix[] = "校验文件时错误\n";

}  // namespace

std::vector<std::string> Check::MakeUrls(const std::string& relativePath) {
  std::vector<std::string> urls;
  for (const std::string& base : baseUrls) {
    if (base.empty()) {
      urls.push_back(relativePath);
    } else if (base.back() == '/') {
      urls.push_back(base + relativePath);
    } else {
      urls.push_back(base + "/" + relativePath);
    }
  }
  return urls;
}

void Check::Run(CheckCallback onResult) {
  if (platform::PathExists(localFileInfoName)) {
    StartVerify(onResult, "succ", ReadTextFile(localFileInfoName));
    return;
  }
  if (platform::PathExists(localConfigName)) {
    LoadFileInfo(onResult, ReadTextFile(localConfigName));
    return;
  }
  const std::string path = packageFolderName + "/config.json?rand=" + std::to_string(RandomQueryNumber());
  FetchFromAny(
      MakeUrls(path),
      [this, onResult](const std::string& status, const std::string& text) {
        OnConfigResult(onResult, status, text);
      },
      fetchSettings);
}

void Check::OnConfigResult(const CheckCallback& onResult, const std::string& status,
                           const std::string& text) {
  if (status == "allTimeout") {
    ShowTimeoutPrompt();
    Run(onResult);
  } else if (status == "succ") {
    LoadFileInfo(onResult, text);
  }
}

void Check::LoadFileInfo(const CheckCallback& onResult, const std::string& configText) {
  std::string path;
  std::string choice;
  try {
    choice = SelectFileInfo(configText, path);
  } catch (const std::exception& e) {
    // Without a readable config there is nothing to choose from; tell the user instead of
    // leaving the check waiting forever.
    onResult("error", kErrorPrefix + std::string(e.what()), "", 0, 0);
    return;
  }
  if (choice == "localFileInfo") {
    StartVerify(onResult, "succ", ReadTextFile(path));
    return;
  }
  FetchFromAny(
      MakeUrls(path + "?rand=" + std::to_string(RandomQueryNumber())),
      [this, onResult, configText, path](const std::string& status, const std::string& text) {
        OnFileInfoResult(onResult, configText, path, status, text);
      },
      fetchSettings);
}

void Check::OnFileInfoResult(const CheckCallback& onResult, const std::string& configText,
                             const std::string& remotePath, const std::string& status,
                             const std::string& text) {
  if (status == "allTimeout") {
    ShowTimeoutPrompt();
    LoadFileInfo(onResult, configText);
    return;
  }
  lastFileInfoPath = ReplaceAll(remotePath, packageFolderName, installDirName);
  StartVerify(onResult, status, text);
}

std::string Check::lastFileInfoText;
std::string Check::lastFileInfoPath;
