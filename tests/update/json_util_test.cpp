#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "update/json_util.h"

namespace {

void ExpectNotAnObject(const std::string& text) {
  try {
    JsonUtil::ToObject(text);
    ADD_FAILURE() << "accepted: " << text;
  } catch (const JsonToObjectException& e) {
    EXPECT_STREQ(e.what(), "JsonUtil::ToObject Error");
  }
}

}  // namespace

TEST(JsonUtil, AcceptsExactlyOneObjectWithSurroundingWhiteSpace) {
  EXPECT_TRUE(JsonUtil::ToObject("{}").IsObject());
  EXPECT_TRUE(JsonUtil::ToObject(" \r\n\t{\"a\":1} \n\n ").IsObject());
}

TEST(JsonUtil, RejectsEverythingElse) {
  for (const char* text : {"[]", "null", "", "   ", "{} x", "{}{}", "{\"a\":1,}", "{'a':1}",
                           "{\"a\":NaN}", "{\"a\":1 /* c */}", "{\"a\":", "\"s\"", "5"}) {
    ExpectNotAnObject(text);
  }
}

TEST(JsonUtil, TextEndsAtTheFirstZeroByte) {
  EXPECT_TRUE(JsonUtil::ToObject(std::string("{\"a\":1}\0garbage", 15)).IsObject());
  ExpectNotAnObject(std::string("{\"a\":\0 1}", 9));
}

TEST(JsonUtil, GetStringReadsOnlyStringsUpToAnEscapedZero) {
  const auto doc = JsonUtil::ToObject(R"({"n":5,"s":"text","z":"ab\u0000cd","o":{}})");
  EXPECT_EQ(JsonUtil::GetString(doc, "s"), "text");
  EXPECT_EQ(JsonUtil::GetString(doc, "n"), "");
  EXPECT_EQ(JsonUtil::GetString(doc, "o"), "");
  EXPECT_EQ(JsonUtil::GetString(doc, "missing"), "");
  EXPECT_EQ(JsonUtil::GetString(doc, "z"), "ab");
}

TEST(JsonUtil, FirstOfDuplicateMembersWins) {
  const auto doc = JsonUtil::ToObject(R"({"zipName":"first","zipName":"second","a":[1],"a":"x"})");
  EXPECT_EQ(JsonUtil::GetString(doc, "zipName"), "first");
  int visits = 0;
  JsonUtil::ForEachInArray(doc, "a", [&](const JsonUtil::Value&) { ++visits; });
  EXPECT_EQ(visits, 1);
}

TEST(JsonUtil, ForEachInArrayVisitsElementsInOrderOnlyForArrays) {
  const auto doc = JsonUtil::ToObject(R"({"list":["a",1,"b",null],"obj":{"x":1},"str":"s"})");
  std::vector<std::string> strings;
  JsonUtil::ForEachInArray(doc, "list", [&](const JsonUtil::Value& v) {
    strings.push_back(v.IsString() ? v.GetString() : "#");
  });
  EXPECT_EQ(strings, (std::vector<std::string>{"a", "#", "b", "#"}));

  int visits = 0;
  const auto count = [&](const JsonUtil::Value&) { ++visits; };
  JsonUtil::ForEachInArray(doc, "obj", count);
  JsonUtil::ForEachInArray(doc, "str", count);
  JsonUtil::ForEachInArray(doc, "missing", count);
  JsonUtil::ForEachInArray(doc, "list", JsonUtil::Visitor());
  EXPECT_EQ(visits, 0);
}

TEST(JsonUtil, NonUtf8BytesAreTakenAsTheyAre) {
  const auto doc = JsonUtil::ToObject("{\"k\":\"\xb4\xed\xce\xf3\xff\"}");
  EXPECT_EQ(JsonUtil::GetString(doc, "k"), "\xb4\xed\xce\xf3\xff");
}

// The documents come from outside; a few hundred thousand brackets once overflowed the stack of the
// worker that parsed them and killed the launcher.
TEST(JsonUtil, DeepNestingOnAWorkerIsParsedWithoutExhaustingTheStack) {
  constexpr size_t kDepth = 300000;
  const std::string open(kDepth, '[');
  const std::string close(kDepth, ']');
  bool unclosedRefused = false;
  bool closedIsObject = false;
  std::thread worker([&] {
    try {
      JsonUtil::ToObject("{\"fileNameList\":" + open);
    } catch (const JsonToObjectException&) {
      unclosedRefused = true;
    }
    closedIsObject = JsonUtil::ToObject("{\"fileNameList\":" + open + close + "}").IsObject();
  });
  worker.join();
  EXPECT_TRUE(unclosedRefused);
  EXPECT_TRUE(closedIsObject);
}

TEST(JsonUtil, TextsLargerThanTheDocumentLimitAreRefused) {
  constexpr size_t kLimit = 16u << 20;
  const auto objectOfSize = [](size_t size) {
    return "{\"a\":\"" + std::string(size - 8, 'x') + "\"}";
  };
  ASSERT_EQ(objectOfSize(kLimit).size(), kLimit);
  EXPECT_TRUE(JsonUtil::ToObject(objectOfSize(kLimit)).IsObject());
  ExpectNotAnObject(objectOfSize(kLimit + 1));
}
