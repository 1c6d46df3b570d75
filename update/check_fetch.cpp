// The fetching half of the check: override files, the config document, the fileInfo document,
// and with a trusted key the signature beside each.

#include <charconv>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/layout.h"
#include "core/random_numbers.h"
#include "core/strings.h"
#include "fs/download_record.h"
#include "fs/text_file.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "update/check.h"
#include "update/document_signature.h"
#include "update/timeout_prompt.h"
#include "update/trusted_key.h"

namespace {

const char kErrorPrefix[] = "校验文件时错误\n";
const char kSignatureSuffix[] = ".minisig";
const char kConfigTimestampKey[] = "configTimestamp";

// The request reports a server's answer only in its message ("curl perform fail, ret_code is
// 404 (...)"). Not found is an answer, not a failure to get one: for a signature it means there
// is none, and trying again until the budget runs out would only end in the time-out prompt.
bool AnsweredNotFound(const std::string& message) {
  return message.find("ret_code is 404 ") != std::string::npos ||
         message.find("ret_code is 410 ") != std::string::npos;
}

// The settings with every attempt's "not found" turned into an empty document.
FetchSettings EndingOnNotFound(FetchSettings settings) {
  settings.startRequest = [start = settings.startRequest](RequestTask task) {
    task.callback = [callback = task.callback](const std::string& event, const std::string& message,
                                               double first, double second) {
      if (event == "error" && AnsweredNotFound(message)) {
        callback("succ", "", 0, 0);
        return;
      }
      callback(event, message, first, second);
    };
    start(std::move(task));
  };
  return settings;
}

// The file's bytes as they are: a signature covers the bytes, line ends included.
std::string ReadFileBytes(const std::string& path) {
  platform::InputFile file;
  if (!file.Open(path)) return {};
  std::string bytes;
  char buffer[16384];
  for (;;) {
    const int64_t n = file.Read(buffer, sizeof buffer);
    if (n <= 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return bytes;
}

int64_t NewestAcceptedConfigTimestamp() {
  const std::string text = DownloadRecordValue(kConfigTimestampKey);
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return 0;
  return value;
}

// A document and its signature, fetched side by side: whichever arrives last goes on, and the
// first time-out of the two ends the pair (the other's late outcome is dropped).
struct SignedFetch {
  std::mutex mutex;
  std::optional<std::string> document;
  std::optional<std::string> signature;
  bool ended = false;
};

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

void Check::Run(CheckCallback onResult, std::optional<int> firstDelayMs) {
  const std::optional<minisign::PublicKey> key = TrustedPublicKey();
  if (platform::PathExists(localFileInfoName)) {
    if (!key) {
      StartVerify(onResult, "succ", ReadTextFile(localFileInfoName));
      return;
    }
    const std::string text = ReadFileBytes(localFileInfoName);
    const SignedDocument verdict = CheckSignedDocument(
        *key, localFileInfoName, text, ReadFileBytes(localFileInfoName + kSignatureSuffix));
    if (!verdict.accepted) {
      onResult("error", kErrorPrefix + verdict.error, "", 0, 0);
      return;
    }
    StartVerify(onResult, "succ", text);
    return;
  }
  if (platform::PathExists(localConfigName)) {
    if (!key) {
      LoadFileInfo(onResult, ReadTextFile(localConfigName));
      return;
    }
    AcceptConfig(onResult, localConfigName, ReadFileBytes(localConfigName),
                 ReadFileBytes(localConfigName + kSignatureSuffix));
    return;
  }
  const std::string configPath = packageFolderName + "/config.json";
  FetchSettings settings = fetchSettings;
  if (firstDelayMs) settings.initialDelayMs = *firstDelayMs;
  if (key) {
    FetchSigned(
        configPath,
        [this, onResult, configPath](const std::string& text, const std::string& signature) {
          AcceptConfig(onResult, DocumentFileName(configPath), text, signature);
        },
        [this, onResult] { Run(onResult); }, settings);
    return;
  }
  const std::string path = configPath + "?rand=" + std::to_string(RandomQueryNumber());
  FetchFromAny(
      MakeUrls(path),
      [this, onResult](const std::string& status, const std::string& text) {
        OnConfigResult(onResult, status, text);
      },
      settings);
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

void Check::FetchSigned(const std::string& documentPath,
                        std::function<void(const std::string&, const std::string&)> onBoth,
                        std::function<void()> onRetry, const FetchSettings& settings) {
  auto pair = std::make_shared<SignedFetch>();
  // Runs on the thread of the outcome that completes the pair or ends it.
  const auto arrived = [pair, onBoth, onRetry](bool isSignature, const std::string& status,
                                               const std::string& text) {
    std::unique_lock lock(pair->mutex);
    if (pair->ended) return;
    if (status == "allTimeout") {
      pair->ended = true;
      lock.unlock();
      ShowTimeoutPrompt();
      onRetry();
      return;
    }
    if (status != "succ") return;
    (isSignature ? pair->signature : pair->document) = text;
    if (!pair->document || !pair->signature) return;
    pair->ended = true;
    const std::string document = *pair->document;
    const std::string signature = *pair->signature;
    lock.unlock();
    onBoth(document, signature);
  };
  FetchFromAny(MakeUrls(documentPath + "?rand=" + std::to_string(RandomQueryNumber())),
               [arrived](const std::string& status, const std::string& text) {
                 arrived(false, status, text);
               },
               settings);
  FetchFromAny(
      MakeUrls(documentPath + kSignatureSuffix + "?rand=" + std::to_string(RandomQueryNumber())),
      [arrived](const std::string& status, const std::string& text) {
        arrived(true, status, text);
      },
      EndingOnNotFound(settings));
}

void Check::AcceptConfig(const CheckCallback& onResult, const std::string& fileName,
                         const std::string& text, const std::string& signature) {
  const std::optional<minisign::PublicKey> key = TrustedPublicKey();
  if (!key) {
    LoadFileInfo(onResult, text);
    return;
  }
  const SignedDocument verdict = CheckSignedDocument(*key, fileName, text, signature);
  if (!verdict.accepted) {
    onResult("error", kErrorPrefix + verdict.error, "", 0, 0);
    return;
  }
  // Without a time the signature cannot show it is no older than what was accepted before.
  if (!verdict.timestamp) {
    onResult("error", kErrorPrefix + fileName + ": the signature carries no timestamp", "", 0, 0);
    return;
  }
  const int64_t newest = NewestAcceptedConfigTimestamp();
  if (*verdict.timestamp < newest) {
    onResult("error",
             kErrorPrefix + fileName + ": signed at " + std::to_string(*verdict.timestamp) +
                 ", older than the config accepted before (" + std::to_string(newest) + ")",
             "", 0, 0);
    return;
  }
  if (*verdict.timestamp > newest &&
      !SaveDownloadRecord(kConfigTimestampKey, std::to_string(*verdict.timestamp))) {
    // Kept in memory for this run; the next one compares with the older value on disk.
    platform::Diagnostic("Check::AcceptConfig() can not write %s\n", downloadRecordPath.c_str());
  }
  LoadFileInfo(onResult, text);
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
  if (TrustedPublicKey()) {
    FetchSigned(
        path,
        [this, onResult, path, configText](const std::string& text, const std::string& signature) {
          AcceptFileInfo(onResult, configText, path, text, signature);
        },
        [this, onResult, configText] { LoadFileInfo(onResult, configText); }, fetchSettings);
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
  lastFileInfoSignature.clear();
  StartVerify(onResult, status, text);
}

void Check::AcceptFileInfo(const CheckCallback& onResult, const std::string& configText,
                           const std::string& remotePath, const std::string& text,
                           const std::string& signature) {
  const std::optional<minisign::PublicKey> key = TrustedPublicKey();
  if (key) {
    const std::string fileName = DocumentFileName(remotePath);
    const SignedDocument verdict = CheckSignedDocument(*key, fileName, text, signature);
    if (!verdict.accepted) {
      onResult("error", kErrorPrefix + verdict.error, "", 0, 0);
      return;
    }
    // A fileInfo signed for an earlier packing of the same version would verify too: the signed
    // config's digest tells the current one.
    if (!FileInfoIsNamed(configText, text)) {
      onResult("error",
               kErrorPrefix + fileName + ": not the document config.json names (fileInfoSha256)",
               "", 0, 0);
      return;
    }
  }
  lastFileInfoPath = ReplaceAll(remotePath, packageFolderName, installDirName);
  lastFileInfoSignature = signature;
  StartVerify(onResult, "succ", text);
}

std::string Check::lastFileInfoText;
std::string Check::lastFileInfoPath;
std::string Check::lastFileInfoSignature;
