#include "publish/documents.h"

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include "update/json_util.h"

namespace {

template <typename Value>
std::string Pretty(const Value& value) {
  rapidjson::StringBuffer buffer;
  rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
  writer.SetIndent(' ', 2);
  value.Accept(writer);
  return std::string(buffer.GetString(), buffer.GetSize()) + "\n";
}

rapidjson::Value Text(const std::string& text, rapidjson::Document::AllocatorType& allocator) {
  return rapidjson::Value(text.c_str(), static_cast<rapidjson::SizeType>(text.size()), allocator);
}

// The member the launcher reads: the first of that name. The document is this function's own.
rapidjson::Value* FirstMember(rapidjson::Document& document, const char* name) {
  return const_cast<rapidjson::Value*>(JsonUtil::FindMember(document, name));
}

}  // namespace

std::string FileInfoDocument(const FileInfoContent& content) {
  rapidjson::Document document(rapidjson::kObjectType);
  auto& allocator = document.GetAllocator();
  document.AddMember("zipName", Text(content.zipName, allocator), allocator);
  document.AddMember("zipMd5", Text(content.zipMd5, allocator), allocator);
  document.AddMember("zipBytes", rapidjson::Value(static_cast<int64_t>(content.zipBytes)), allocator);
  document.AddMember("zipSha256", Text(content.zipSha256, allocator), allocator);
  rapidjson::Value list(rapidjson::kArrayType);
  for (const std::string& name : content.fileNameList) list.PushBack(Text(name, allocator), allocator);
  document.AddMember("fileNameList", list, allocator);
  if (!content.zipDirectorySha256.empty()) {
    document.AddMember("zipDirectorySha256", Text(content.zipDirectorySha256, allocator), allocator);
  }
  if (!content.zipEntrySha256.empty()) {
    rapidjson::Value entries(rapidjson::kObjectType);
    for (const auto& [name, digest] : content.zipEntrySha256) {
      entries.AddMember(Text(name, allocator), Text(digest, allocator), allocator);
    }
    document.AddMember("zipEntrySha256", entries, allocator);
  }
  return Pretty(document);
}

std::optional<std::string> UpdatedConfigDocument(const std::string& currentText,
                                                 const std::string& lastVersion,
                                                 const std::vector<std::string>& unsupported,
                                                 const std::string& fileInfoSha256) {
  rapidjson::Document document(rapidjson::kObjectType);
  if (!currentText.empty()) {
    try {
      document = JsonUtil::ToObject(currentText);
    } catch (const JsonToObjectException&) {
      return std::nullopt;
    }
  }
  auto& allocator = document.GetAllocator();
  if (rapidjson::Value* last = FirstMember(document, "lastVersion")) {
    *last = Text(lastVersion, allocator);
  } else {
    document.AddMember("lastVersion", Text(lastVersion, allocator), allocator);
  }

  rapidjson::Value* patterns = FirstMember(document, "unsupportedVersions");
  if (patterns == nullptr) {
    document.AddMember("unsupportedVersions", rapidjson::Value(rapidjson::kArrayType), allocator);
    patterns = FirstMember(document, "unsupportedVersions");
  } else if (!patterns->IsArray()) {
    // The launcher reads anything but an array as no pattern at all; a lone pattern is kept.
    rapidjson::Value kept(rapidjson::kArrayType);
    if (patterns->IsString()) kept.PushBack(rapidjson::Value(*patterns, allocator), allocator);
    *patterns = std::move(kept);
  }
  for (const std::string& pattern : unsupported) {
    bool present = false;
    for (const rapidjson::Value& element : patterns->GetArray()) {
      present = present || (element.IsString() && pattern == element.GetString());
    }
    if (!present) patterns->PushBack(Text(pattern, allocator), allocator);
  }
  if (!fileInfoSha256.empty()) {
    if (rapidjson::Value* digest = FirstMember(document, "fileInfoSha256")) {
      *digest = Text(fileInfoSha256, allocator);
    } else {
      document.AddMember("fileInfoSha256", Text(fileInfoSha256, allocator), allocator);
    }
  }
  return Pretty(document);
}
