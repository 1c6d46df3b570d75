#include "update/minisign.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

// Keys and signatures made by Debian's minisign 0.11 (minisign -G -W; minisign -S, and -S -l for
// the older whole-message form), so the parser is held to the real tool's output.

namespace {

const char kPublicKeyFile[] =
    "untrusted comment: minisign public key B22FE5BA77AD668B\n"
    "RWSLZq13uuUvsqtgf20reYsV1rdzWeoMuXBoh0P4uvk/rylfclqi17ez\n"
    "";
const char kOtherPublicKeyFile[] =
    "untrusted comment: minisign public key EDA2BC38FE0FB627\n"
    "RWQntg/+OLyi7WzkJY8G51j7wn27YFyUg8Ndw9a+4NYQ8l6qyQ4Z6MOj\n"
    "";
const char kConfig[] = "{\"lastVersion\":\"1.0.2\",\"unsupportedVersions\":[\"1.0.*\"]}";
const char kConfigSignature[] =
    "untrusted comment: signature from minisign secret key\n"
    "RUSLZq13uuUvstOEGZESRukr6To4A1gCNUl9EOoiMT17aUWjmJlvZbkzSVM0Lg/gkCL7xFAVs8vjFxMEmcjpgQXvAM4FeZQz4AY=\n"
    "trusted comment: timestamp:1796841910\tfile:config.json\thashed\n"
    "+uF/Ldpa/t1+JZqOBtubkmjSKFALfKnetH0SaaEQae9wobhyhjfDK7sYBJAKrp1dISsw7HK1Lsjb7Wk5lY/hCw==\n"
    "";
const char kConfigSignatureByOtherKey[] =
    "untrusted comment: signature from minisign secret key\n"
    "RUQntg/+OLyi7RvoKNgCTpahgB9v5okwLqnvajHpAeu3m/mZEz01APcYnlDTxJRfGBTSIWJ++r6efQaaH41FHEzqqaZpYx6KPgs=\n"
    "trusted comment: timestamp:1796841913\tfile:config.json\thashed\n"
    "iEtcIh0+yEOzwn3SZ0+mKbeR2jxA8v7OvHLE97n3fUamXCP4CKou5Rzr6dV2BbgfVBVnU7k3bqjJba8fX4WSCw==\n"
    "";
const char kWholeMessageSignature[] =
    "untrusted comment: signature from minisign secret key\n"
    "RWSLZq13uuUvsswbQWnVjW6H4XvP/YjGW4gMSRKorLt2FnEBGfS+w7hzqQP1VNktfDb8jcenjd2mIjmfPWfz2o67161uIAavjQM=\n"
    "trusted comment: timestamp:1700000000\tfile:c2.json\n"
    "L8FwkHtKkp1Rmk/3aANrJbI6+GEItNXmQIuIrK3ePavSEEHnbyHWloS5TS5iQtBvyT/lumUoLwVeP4XWO8yICQ==\n"
    "";

std::string ReplaceFirst(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// Flips one bit of the n-th base64 line's decoded bytes at the given offset.
std::string FlipDecodedByte(const std::string& file, int line, size_t offset) {
  size_t start = 0;
  for (int i = 0; i < line; ++i) start = file.find('\n', start) + 1;
  const size_t end = file.find('\n', start);
  std::string bytes = *minisign::Base64Decode(file.substr(start, end - start));
  bytes[offset] = static_cast<char>(bytes[offset] ^ 0x01);
  return file.substr(0, start) + minisign::Base64Encode(bytes) + file.substr(end);
}

minisign::PublicKey Key(const char* file) {
  std::string error;
  const auto key = minisign::ParsePublicKey(file, &error);
  EXPECT_TRUE(key) << error;
  return key.value_or(minisign::PublicKey{});
}

}  // namespace

TEST(Minisign, WhatTheToolSignedVerifiesAndCarriesItsTimestamp) {
  std::string error;
  const auto signature = minisign::ParseSignature(kConfigSignature, &error);
  ASSERT_TRUE(signature) << error;
  EXPECT_TRUE(signature->prehashed);
  EXPECT_TRUE(minisign::Verify(Key(kPublicKeyFile), *signature, kConfig, &error)) << error;
  EXPECT_EQ(minisign::TrustedTimestamp(signature->trustedComment), 1796841910);

  const auto whole = minisign::ParseSignature(kWholeMessageSignature, &error);
  ASSERT_TRUE(whole) << error;
  EXPECT_FALSE(whole->prehashed);
  EXPECT_TRUE(minisign::Verify(Key(kPublicKeyFile), *whole, kConfig, &error)) << error;
  EXPECT_EQ(minisign::TrustedTimestamp(whole->trustedComment), 1700000000);
}

TEST(Minisign, KeyFileOrItsBareLineAndAnyLineEnds) {
  const std::string file = kPublicKeyFile;
  const std::string bare = file.substr(file.find('\n') + 1);
  std::string crlfSignature = kConfigSignature;
  for (size_t at = 0; (at = crlfSignature.find('\n', at)) != std::string::npos; at += 2) {
    crlfSignature.insert(at, "\r");
  }
  const std::string unterminated = std::string(kConfigSignature, sizeof kConfigSignature - 2);
  for (const std::string& keyText : {file, bare, bare.substr(0, bare.size() - 1)}) {
    for (const std::string& signatureText : {std::string(kConfigSignature), crlfSignature, unterminated}) {
      std::string error;
      const auto key = minisign::ParsePublicKey(keyText, &error);
      const auto signature = minisign::ParseSignature(signatureText, &error);
      ASSERT_TRUE(key && signature) << error;
      EXPECT_TRUE(minisign::Verify(*key, *signature, kConfig, &error)) << error;
    }
  }
}

TEST(Minisign, EveryAlterationIsRefused) {
  // The other key's bytes under this key's id: the ids agree, the signature must still fail.
  const minisign::PublicKey own = Key(kPublicKeyFile);
  minisign::PublicKey impostor = Key(kOtherPublicKeyFile);
  impostor.keyId = own.keyId;
  const std::string impostorKey = minisign::Base64Encode(
      "Ed" + std::string(impostor.keyId.begin(), impostor.keyId.end()) +
      std::string(impostor.key.begin(), impostor.key.end()));

  struct Case {
    const char* name;
    std::string key;
    std::string signature;
    std::string message;
    const char* error;
  };
  const Case cases[] = {
      {"document changed", kPublicKeyFile, kConfigSignature,
       ReplaceFirst(kConfig, "1.0.2", "1.0.1"), "signature does not match the document"},
      {"one byte appended", kPublicKeyFile, kConfigSignature, std::string(kConfig) + " ",
       "signature does not match the document"},
      {"signed by another key", kPublicKeyFile, kConfigSignatureByOtherKey, kConfig,
       "signature made by another key"},
      {"another key under this key's id", impostorKey, kConfigSignature, kConfig,
       "signature does not match the document"},
      {"signature bit flipped", kPublicKeyFile, FlipDecodedByte(kConfigSignature, 1, 20), kConfig,
       "signature does not match the document"},
      {"key id of the signature changed", kPublicKeyFile, FlipDecodedByte(kConfigSignature, 1, 3),
       kConfig, "signature made by another key"},
      {"timestamp moved forward", kPublicKeyFile,
       ReplaceFirst(kConfigSignature, "timestamp:1796841910", "timestamp:1796841911"), kConfig,
       "trusted comment does not match its signature"},
      {"global signature bit flipped", kPublicKeyFile, FlipDecodedByte(kConfigSignature, 3, 5),
       kConfig, "trusted comment does not match its signature"},
      {"prehashed mark turned into whole-message", kPublicKeyFile,
       ReplaceFirst(kConfigSignature, "RUSL", "RWSL"), kConfig,
       "signature does not match the document"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    const auto key = minisign::ParsePublicKey(c.key, &error);
    const auto signature = minisign::ParseSignature(c.signature, &error);
    ASSERT_TRUE(key && signature) << error;
    EXPECT_FALSE(minisign::Verify(*key, *signature, c.message, &error));
    EXPECT_EQ(error, c.error);
  }
}

TEST(Minisign, MalformedTextIsRefusedBeforeAnyCheck) {
  const std::string good = kConfigSignature;
  const std::string signatures[] = {
      "",
      "untrusted comment: x\n",
      good.substr(0, good.rfind('\n', good.size() - 2) + 1),           // no global signature
      ReplaceFirst(good, "untrusted comment:", "comment:"),               // first line
      ReplaceFirst(good, "trusted comment: ", "trusted-comment: "),       // third line
      ReplaceFirst(good, "RUSLZq13", "RUSLZq1*"),                         // not base64
      ReplaceFirst(good, "RUSLZq13", "RUSLZq"),                           // not a multiple of 4
      ReplaceFirst(good, "RUSLZq13", "RUSLZq13AAAA"),                     // too long
      ReplaceFirst(good, "RUSL", "RVSL"),                                 // unknown algorithm
      ReplaceFirst(good, "hCw==", "hCw=A"),                               // padding inside
      good + "extra line\n",
  };
  for (const std::string& text : signatures) {
    std::string error;
    EXPECT_FALSE(minisign::ParseSignature(text, &error)) << text;
    EXPECT_FALSE(error.empty());
  }
  const std::string keys[] = {
      "", "untrusted comment: only a comment\n", "RWSLZq13uuUvsqtg",
      ReplaceFirst(kPublicKeyFile, "RWSL", "RVSL"),
      ReplaceFirst(kPublicKeyFile, "RWSLZq13", "RWSLZq13AAAA"),
  };
  for (const std::string& text : keys) {
    std::string error;
    EXPECT_FALSE(minisign::ParsePublicKey(text, &error)) << text;
    EXPECT_EQ(error, "public key malformed");
  }
}

TEST(Minisign, TimestampIsAFieldOfItsOwn) {
  struct Case {
    const char* comment;
    std::optional<int64_t> timestamp;
  };
  const Case cases[] = {
      {"timestamp:1765300000\tfile:config.json\thashed", 1765300000},
      {"file:config.json\ttimestamp:42", 42},
      {"file:timestamp:42", std::nullopt},
      {"timestamp:", std::nullopt},
      {"timestamp:12x", std::nullopt},
      {"timestamp:-5", std::nullopt},
      {"timestamp:9999999999999999999", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(minisign::TrustedTimestamp(c.comment), c.timestamp) << c.comment;
  }
}

TEST(Minisign, Base64RoundTripsEveryLength) {
  std::string bytes;
  for (int n = 0; n < 70; ++n) {
    const std::string text = minisign::Base64Encode(bytes);
    EXPECT_EQ(text.size() % 4, 0u);
    EXPECT_EQ(minisign::Base64Decode(text), bytes);
    bytes.push_back(static_cast<char>(n * 37 + 200));
  }
  EXPECT_EQ(minisign::Base64Encode("Ma"), "TWE=");
  EXPECT_FALSE(minisign::Base64Decode("TW=E"));
  EXPECT_FALSE(minisign::Base64Decode("TWE"));
}
