#include "publish/entry_name_rules.h"

#include <cstddef>
#include <cstdint>

#include "fs/safe_path.h"
#include "install/zip_util.h"

bool IsUtf8(const std::string& text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  size_t i = 0;
  while (i < size) {
    const unsigned char lead = bytes[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    size_t length = 0;
    uint32_t code = 0;
    if ((lead & 0xE0) == 0xC0) {
      length = 2;
      code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      code = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > size) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) return false;
      code = (code << 6) | (bytes[i + k] & 0x3F);
    }
    const uint32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::string EntryNameProblem(const std::string& name) {
  if (name.empty()) return "empty entry name";
  if (LeadsOutsideDestination(name)) return "leads outside the install folder";
  if (name.size() > kMaxEntryNameBytes) {
    return "longer than " + std::to_string(kMaxEntryNameBytes) + " bytes";
  }
  if (!IsUtf8(name)) return "not UTF-8";
  return {};
}
