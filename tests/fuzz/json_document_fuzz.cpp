// JsonUtil::ToObject and the typed reads on whatever a server or an override file may hold: every
// input either throws JsonToObjectException or gives an object the reads walk without harm.

#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/fuzz/fuzz_check.h"
#include "update/json_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const JsonUtil::Document document = JsonUtil::ToObject(text);
    FUZZ_CHECK(document.IsObject());
    for (auto member = document.MemberBegin(); member != document.MemberEnd(); ++member) {
      const std::string name(member->name.GetString(), member->name.GetStringLength());
      // The first member of a name is the one every read sees.
      FUZZ_CHECK(JsonUtil::FindMember(document, name) != nullptr);
      const std::string value = JsonUtil::GetString(document, name);
      size_t elements = 0;
      JsonUtil::ForEachInArray(document, name, [&elements](const JsonUtil::Value&) { ++elements; });
      const JsonUtil::Value& first = *JsonUtil::FindMember(document, name);
      if (!first.IsString()) FUZZ_CHECK(value.empty());
      if (!first.IsArray()) FUZZ_CHECK(elements == 0);
    }
  } catch (const JsonToObjectException&) {
  }
  return 0;
}
