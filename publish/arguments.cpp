#include "publish/arguments.h"

#include <cstddef>

namespace {

bool IsOption(const std::string& word) { return word.size() > 1 && word[0] == '-'; }

}  // namespace

std::string UsageText() {
  return "usage:\n"
         "  tidewake-publish pack GAME_FOLDER VERSION SERVER_FOLDER [--unsupported PATTERN...]\n"
         "                        [--replace] [-s SECRET_KEY_FILE]\n"
         "  tidewake-publish check SERVER_FOLDER [-p PUBLIC_KEY_FILE]\n"
         "  tidewake-publish keygen -p PUBLIC_KEY_FILE -s SECRET_KEY_FILE [-W] [-f]\n"
         "  tidewake-publish sign -s SECRET_KEY_FILE FILE...\n"
         "The secret key's password is read from TIDEWAKE_PUBLISH_PASSWORD when it is set, else\n"
         "asked on the terminal.\n";
}

std::optional<PublishArguments> ParseArguments(const std::vector<std::string>& words,
                                               std::string* error) {
  if (words.empty()) {
    *error = "no command";
    return std::nullopt;
  }
  PublishArguments arguments;
  arguments.command = words[0];
  const std::string& command = arguments.command;
  if (command != "pack" && command != "check" && command != "keygen" && command != "sign") {
    *error = "unknown command: " + command;
    return std::nullopt;
  }
  const auto valueOf = [&](size_t& i) -> std::optional<std::string> {
    if (i + 1 >= words.size() || IsOption(words[i + 1])) {
      *error = words[i] + " needs a value";
      return std::nullopt;
    }
    return words[++i];
  };
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    const bool packs = command == "pack";
    if (word == "--unsupported" && packs) {
      size_t taken = 0;
      while (i + 1 < words.size() && !IsOption(words[i + 1])) {
        arguments.unsupported.push_back(words[++i]);
        ++taken;
      }
      if (taken == 0) {
        *error = "--unsupported needs a version pattern";
        return std::nullopt;
      }
    } else if (word == "--replace" && packs) {
      arguments.replace = true;
    } else if (word == "-W" && command == "keygen") {
      arguments.unencrypted = true;
    } else if (word == "-f" && command == "keygen") {
      arguments.force = true;
    } else if (word == "-s" && command != "check") {
      const std::optional<std::string> value = valueOf(i);
      if (!value) return std::nullopt;
      arguments.secretKeyFile = *value;
    } else if (word == "-p" && (command == "check" || command == "keygen")) {
      const std::optional<std::string> value = valueOf(i);
      if (!value) return std::nullopt;
      arguments.publicKeyFile = *value;
    } else if (word == "--") {
      for (++i; i < words.size(); ++i) arguments.positional.push_back(words[i]);
    } else if (IsOption(word)) {
      *error = "unknown option for " + command + ": " + word;
      return std::nullopt;
    } else {
      arguments.positional.push_back(word);
    }
  }

  const size_t count = arguments.positional.size();
  if (command == "pack" && count != 3) {
    *error = "pack needs GAME_FOLDER VERSION SERVER_FOLDER";
  } else if (command == "check" && count != 1) {
    *error = "check needs SERVER_FOLDER";
  } else if (command == "keygen" && (count != 0 || arguments.publicKeyFile.empty() ||
                                     arguments.secretKeyFile.empty())) {
    *error = "keygen needs -p PUBLIC_KEY_FILE and -s SECRET_KEY_FILE";
  } else if (command == "sign" && (count == 0 || arguments.secretKeyFile.empty())) {
    *error = "sign needs -s SECRET_KEY_FILE and at least one FILE";
  } else {
    return arguments;
  }
  return std::nullopt;
}
