#pragma once
// The download record: a key=value text file below the install directory, loaded once into
// memory on first use and rewritten whole on every store.

#include <map>
#include <string>

using RecordMap = std::map<std::string, std::string>;

// Loads the record file into the process-wide map (replacing what it held) and returns a copy.
RecordMap LoadDownloadRecord();

// The value of key, loading the record first if needed; a missing key is inserted empty.
std::string DownloadRecordValue(const std::string& key);

// Sets key to value and writes the whole record through. False when the file could not be
// written; the value is kept in memory all the same, and the caller tells the player.
bool SaveDownloadRecord(const std::string& key, const std::string& value);

// Drops the map in memory, so the next use reads the file again.
void ForgetDownloadRecord();

RecordMap ParseRecordText(const std::string& text, const std::string& pairSeparator,
                          const std::string& entrySeparator);
std::string RecordToText(const RecordMap& record, const std::string& pairSeparator,
                         const std::string& entrySeparator);
