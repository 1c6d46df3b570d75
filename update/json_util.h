#pragma once
// The launcher's thin layer over RapidJSON: parse a text that must be one JSON object, and typed
// reads that never fail. Member lookup is linear in document order, so the first of two members
// with the same name wins.

#include <exception>
#include <functional>
#include <string>

#include <rapidjson/document.h>

class JsonToObjectException : public std::exception {
 public:
  const char* what() const noexcept override;
};

class JsonUtil {
 public:
  using Document = rapidjson::Document;
  using Value = rapidjson::Value;
  using Visitor = std::function<void(const Value&)>;

  // Throws JsonToObjectException unless the whole text (up to its first zero byte) is one object
  // and the text is at most kMaxDocumentBytes long. Nesting depth is bounded by memory only.
  static Document ToObject(const std::string& text);

  // The member's string up to its first zero character; empty when absent or not a string.
  static std::string GetString(const Value& object, const std::string& name);

  // Calls the visitor for each element when the member is an array; otherwise nothing.
  static void ForEachInArray(const Value& object, const std::string& name, const Visitor& visitor);

  // The first member of that name, or null when there is none.
  static const Value* FindMember(const Value& object, const std::string& name);
};
