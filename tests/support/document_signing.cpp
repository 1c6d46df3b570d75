#include "tests/support/document_signing.h"

#include <chrono>
#include <stdexcept>

#include "core/strings.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wine_session.h"

namespace testing_support {

using namespace std::chrono_literals;

namespace {

std::string SecondLine(const std::string& text) {
  const size_t first = text.find('\n');
  if (first == std::string::npos) return {};
  const size_t end = text.find('\n', first + 1);
  std::string line = text.substr(first + 1, end == std::string::npos ? end : end - first - 1);
  std::erase(line, '\r');
  return line;
}

}  // namespace

SigningKey MakeSigningKey(const std::string& folder) {
  SigningKey key;
  const std::string publicPath = folder + "/key.pub";
  key.secretKeyPath = folder + "/key.sec";
  if (!RunTool({"minisign", "-G", "-W", "-f", "-p", publicPath, "-s", key.secretKeyPath}, 30s)) {
    throw std::runtime_error("minisign -G failed in " + folder);
  }
  key.publicKey = SecondLine(ReadFile(publicPath));
  return key;
}

SigningKey LauncherSigningKey() {
  return {TIDEWAKE_TEST_SIGNING_PUBLIC_KEY, TIDEWAKE_TEST_SIGNING_SECRET_KEY};
}

std::string TrustedComment(int64_t timestamp, const std::string& fileName) {
  return "timestamp:" + std::to_string(timestamp) + "\tfile:" + fileName + "\thashed";
}

std::string Sign(const SigningKey& key, const std::string& bytes,
                 const std::string& trustedComment) {
  TempDir scratch;
  const std::string document = scratch.path() + "/document";
  WriteFile(document, bytes);
  if (!RunTool({"minisign", "-S", "-s", key.secretKeyPath, "-m", document, "-x",
                document + ".minisig", "-t", trustedComment},
               30s)) {
    throw std::runtime_error("minisign -S failed");
  }
  return ReadFile(document + ".minisig");
}

std::string WithSha256(const GamePackage& package, const std::string& sha256) {
  const std::string digest = sha256.empty() ? Sha256Hex(package.bytes) : sha256;
  return package.fileInfo.substr(0, package.fileInfo.size() - 1) + R"(,"zipSha256":")" + digest +
         "\"}";
}

void PublishSigned(HttpsTestServer& server, const GamePackage& package, const SigningKey& key,
                   int64_t timestamp) {
  Publish(server, package);
  const std::string config =
      R"({"lastVersion":")" + package.version + R"(","unsupportedVersions":[]})";
  const std::string fileInfoName = "fileInfo_" + ReplaceAll(package.version, ".", "_") + ".json";
  server.Serve(ServerPath("Marlwood77301/config.json.minisig"),
               Sign(key, config, TrustedComment(timestamp, "config.json")));
  server.Serve(ServerPath("Marlwood77301/" + fileInfoName + ".minisig"),
               Sign(key, package.fileInfo, TrustedComment(timestamp, fileInfoName)));
}

}  // namespace testing_support
