// ParseRecordText on arbitrary record files: what it keeps is what the record's format can say.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fs/download_record.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const RecordMap record = ParseRecordText(text, "=", "\r\n");
  for (const auto& [key, value] : record) {
    FUZZ_CHECK(!key.empty());
    FUZZ_CHECK(key.find('=') == std::string::npos && key.find('\n') == std::string::npos);
    FUZZ_CHECK(value.find('=') == std::string::npos && value.find('\n') == std::string::npos);
    FUZZ_CHECK(text.find(key) != std::string::npos);
  }
  // What the record writes back reads the same keys again.
  const RecordMap again = ParseRecordText(RecordToText(record, "=", "\r\n"), "=", "\r\n");
  for (const auto& [key, value] : again) FUZZ_CHECK(record.count(key) == 1);
  return 0;
}
