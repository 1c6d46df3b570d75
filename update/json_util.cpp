#include "update/json_util.h"

#include <cstring>

#include "net/http_util.h"

const char* JsonToObjectException::what() const noexcept { return "JsonUtil::ToObject Error"; }

JsonUtil::Document JsonUtil::ToObject(const std::string& text) {
  // Documents come from a server or a file anyone can edit: one of endless size or nesting must
  // end in an error, not in a process out of memory or, parsed recursively, out of stack.
  if (text.size() > kMaxDocumentBytes) throw JsonToObjectException();
  Document document;
  document.Parse<rapidjson::kParseIterativeFlag>(text.c_str());
  if (document.HasParseError() || !document.IsObject()) throw JsonToObjectException();
  return document;
}

const JsonUtil::Value* JsonUtil::FindMember(const Value& object, const std::string& name) {
  if (!object.IsObject()) return nullptr;
  for (auto member = object.MemberBegin(); member != object.MemberEnd(); ++member) {
    const Value& key = member->name;
    if (key.GetStringLength() == name.size() &&
        std::memcmp(key.GetString(), name.data(), name.size()) == 0) {
      return &member->value;
    }
  }
  return nullptr;
}

std::string JsonUtil::GetString(const Value& object, const std::string& name) {
  const Value* value = FindMember(object, name);
  if (value == nullptr || !value->IsString()) return {};
  return std::string(value->GetString());  // up to the first zero character
}

void JsonUtil::ForEachInArray(const Value& object, const std::string& name, const Visitor& visitor) {
  const Value* value = FindMember(object, name);
  if (value == nullptr || !value->IsArray() || !visitor) return;
  for (const Value& element : value->GetArray()) visitor(element);
}
