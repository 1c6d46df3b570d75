#include "fs/download_record.h"

#include <mutex>
#include <optional>

#include "core/layout.h"
#include "fs/directory.h"
#include "fs/text_file.h"
#include "platform/files.h"
#include "core/strings.h"

namespace {

// The sequence touches the record from one thread at a time, but those threads change over the
// run; the mutex makes each hand-over a clean one.
std::mutex recordMutex;
std::optional<RecordMap> downloadRecord;

RecordMap& LoadedRecord() {
  if (!downloadRecord) {
    downloadRecord.emplace();
    const std::string text = ReadTextFile(downloadRecordPath);
    if (!text.empty()) *downloadRecord = ParseRecordText(text, "=", "\r\n");
  }
  return *downloadRecord;
}

}  // namespace

RecordMap LoadDownloadRecord() {
  std::lock_guard lock(recordMutex);
  downloadRecord.reset();
  return LoadedRecord();
}

std::string DownloadRecordValue(const std::string& key) {
  std::lock_guard lock(recordMutex);
  return LoadedRecord()[key];
}

bool SaveDownloadRecord(const std::string& key, const std::string& value) {
  try {
    std::lock_guard lock(recordMutex);
    RecordMap& record = LoadedRecord();
    record[key] = value;
    const std::string text = RecordToText(record, "=", "\r\n");
    if (!platform::PathExists(downloadRecordPath) && !platform::DirectoryExists(installDirName)) {
      CreateDir(installDirName);
    }
    return WriteTextFile(downloadRecordPath, text);
  } catch (const std::exception&) {
    return false;
  }
}

void ForgetDownloadRecord() {
  std::lock_guard lock(recordMutex);
  downloadRecord.reset();
}

RecordMap ParseRecordText(const std::string& text, const std::string& pairSeparator,
                          const std::string& entrySeparator) {
  // Text mode has already turned the file's CR LF pairs into LF.
  const auto unixLines = [](const std::string& separator) {
    return separator == "\r\n" ? std::string("\n") : separator;
  };
  RecordMap record;
  for (const std::string& line : SplitString(text, unixLines(entrySeparator))) {
    const std::vector<std::string> pieces = SplitString(line, unixLines(pairSeparator));
    if (pieces.size() < 2) continue;
    std::string value = pieces[1];
    if (!value.empty() && value.back() == '\r') value.pop_back();
    record.emplace(pieces[0], value);
  }
  return record;
}

std::string RecordToText(const RecordMap& record, const std::string& pairSeparator,
                         const std::string& entrySeparator) {
  std::string text;
  bool first = true;
  for (const auto& [key, value] : record) {
    if (!first) text += entrySeparator;
    first = false;
    text += key + pairSeparator + value;
  }
  return text;
}
