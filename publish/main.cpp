// tidewake-publish: packs, signs and checks what the launcher downloads. Results go to standard
// output, diagnostics to standard error; the exit status is 0 only when the command did all it
// was asked.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "publish/arguments.h"
#include "publish/folder_check.h"
#include "publish/key_commands.h"
#include "publish/live_check.h"
#include "publish/pack.h"
#include "publish/upload.h"
#include "update/minisign.h"

namespace {

// The public key named by -p; false (said) when it cannot be read.
bool ReadPublicKey(const PublishArguments& arguments, std::optional<minisign::PublicKey>* key) {
  if (arguments.publicKeyFile.empty()) return true;
  std::ifstream in(arguments.publicKeyFile, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "%s: cannot read %s: %s\n", arguments.command.c_str(),
                 arguments.publicKeyFile.c_str(), std::strerror(errno));
    return false;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string error;
  *key = minisign::ParsePublicKey(text, &error);
  if (!*key) {
    std::fprintf(stderr, "%s: %s is not a public key (%s)\n", arguments.command.c_str(),
                 arguments.publicKeyFile.c_str(), error.c_str());
    return false;
  }
  return true;
}

int Check(const PublishArguments& arguments) {
  std::optional<minisign::PublicKey> key;
  if (!ReadPublicKey(arguments, &key)) return 2;
  std::vector<std::string> problems;
  std::string checked;
  if (!arguments.url.empty()) {
    LiveCheckRequest request;
    request.baseUrl = arguments.url.back() == '/' ? arguments.url : arguments.url + "/";
    request.caBundle = arguments.caBundle;
    request.key = key ? &*key : nullptr;
    problems = CheckLiveServer(request);
    checked = request.baseUrl;
  } else {
    problems = CheckServerFolder(arguments.positional[0], key ? &*key : nullptr);
    checked = arguments.positional[0];
  }
  for (const std::string& problem : problems) std::printf("problem: %s\n", problem.c_str());
  if (problems.empty()) {
    std::printf("clean: %s is what a launcher%s can install\n", checked.c_str(),
                key ? " with this key" : "");
    return 0;
  }
  std::printf("%zu %s\n", problems.size(), problems.size() == 1 ? "problem" : "problems");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> words(argv + 1, argv + argc);
  std::string error;
  const std::optional<PublishArguments> arguments = ParseArguments(words, &error);
  if (!arguments) {
    std::fprintf(stderr, "tidewake-publish: %s\n%s", error.c_str(), UsageText().c_str());
    return 2;
  }
  if (arguments->help) {
    std::printf("%s", UsageText(arguments->command).c_str());
    return 0;
  }
  if (arguments->command == "keygen") {
    return GenerateKeyFiles(arguments->publicKeyFile, arguments->secretKeyFile,
                            arguments->unencrypted, arguments->force);
  }
  if (arguments->command == "check") return Check(*arguments);
  if (arguments->command == "upload") {
    std::optional<minisign::PublicKey> key;
    if (!ReadPublicKey(*arguments, &key)) return 2;
    return Upload({arguments->positional[0], arguments->positional[1], key ? &*key : nullptr});
  }

  std::optional<SecretKey> key;
  if (!arguments->secretKeyFile.empty()) {
    key = LoadSecretKey(arguments->secretKeyFile);
    if (!key) return 1;
  }
  if (arguments->command == "sign") return SignFiles(*key, arguments->positional);

  PackRequest request;
  request.gameFolder = arguments->positional[0];
  request.version = arguments->positional[1];
  request.serverFolder = arguments->positional[2];
  request.unsupported = arguments->unsupported;
  request.replace = arguments->replace;
  request.rollback = arguments->rollback;
  request.key = key ? &*key : nullptr;
  return Pack(request);
}
