#include "publish/arguments.h"

#include <cstddef>
#include <filesystem>
#include <system_error>

namespace {

bool IsOption(const std::string& word) { return word.size() > 1 && word[0] == '-'; }

// The same file whatever the spelling ("k", "./k", a link to it).
bool SamePath(const std::string& a, const std::string& b) {
  std::error_code failure;
  const std::filesystem::path left = std::filesystem::weakly_canonical(a, failure);
  const std::filesystem::path right = std::filesystem::weakly_canonical(b, failure);
  return failure ? a == b : left == right;
}

}  // namespace

namespace {

struct CommandHelp {
  const char* name;
  const char* usage;
  const char* details;
};

const CommandHelp kCommands[] = {
    {"pack",
     "  tidewake-publish pack GAME_FOLDER VERSION SERVER_FOLDER [--unsupported PATTERN...]\n"
     "                        [--replace] [--rollback] [-s SECRET_KEY_FILE]\n",
     "Packs GAME_FOLDER as VERSION (a.b.c) into SERVER_FOLDER: the package, its fileInfo and the\n"
     "config, all written first and renamed into place only when every one is complete; a failure\n"
     "or Ctrl-C leaves SERVER_FOLDER as it was. --replace packs a published version again;\n"
     "--rollback lets lastVersion go back to an older version or one a pattern matches.\n"},
    {"check",
     "  tidewake-publish check SERVER_FOLDER [-p PUBLIC_KEY_FILE]\n"
     "  tidewake-publish check --url BASE_URL [-p PUBLIC_KEY_FILE] [--ca-bundle PEM_FILE]\n",
     "Reads SERVER_FOLDER with the launcher's own rules and reports what a launcher (with the "
     "key,\n"
     "when given) would refuse or meet. With --url, reads the live server at the launcher's base\n"
     "URL as a launcher does: the documents with ?rand=, their signatures, the package's length "
     "and\n"
     "a Range request from its end. Exit status 0 only when clean.\n"},
    {"upload", "  tidewake-publish upload SERVER_FOLDER DESTINATION [-p PUBLIC_KEY_FILE]\n",
     "Checks SERVER_FOLDER, then copies it with rclone to DESTINATION (any rclone remote path):\n"
     "packages first, then fileInfo documents, then the config; only what changed, never the\n"
     "hidden temporary files. TIDEWAKE_RCLONE names another rclone program.\n"},
    {"keygen", "  tidewake-publish keygen -p PUBLIC_KEY_FILE -s SECRET_KEY_FILE [-W] [-f]\n",
     "Makes a minisign key pair; -W leaves the secret key unencrypted, -f replaces existing "
     "files.\n"},
    {"sign", "  tidewake-publish sign -s SECRET_KEY_FILE FILE...\n",
     "Writes FILE.minisig beside each FILE, as minisign -S would.\n"},
};

}  // namespace

std::string UsageText(const std::string& command) {
  std::string text = "usage:\n";
  for (const CommandHelp& help : kCommands) {
    if (command.empty() || command == help.name) text += help.usage;
  }
  for (const CommandHelp& help : kCommands) {
    if (command == help.name) text += help.details;
  }
  return text +
         "The secret key's password is read from TIDEWAKE_PUBLISH_PASSWORD when it is set, else\n"
         "asked on the terminal. Results go to standard output, diagnostics to standard error.\n";
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
  if (command == "--help" || command == "-h" || command == "help") {
    arguments.command.clear();
    arguments.help = true;
    return arguments;
  }
  if (command != "pack" && command != "check" && command != "keygen" && command != "sign" &&
      command != "upload") {
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
    if (word == "--help" || word == "-h") {
      arguments.help = true;
      return arguments;
    }
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
    } else if (word == "--rollback" && packs) {
      arguments.rollback = true;
    } else if (word == "-W" && command == "keygen") {
      arguments.unencrypted = true;
    } else if (word == "-f" && command == "keygen") {
      arguments.force = true;
    } else if (word == "-s" && (command == "pack" || command == "keygen" || command == "sign")) {
      const std::optional<std::string> value = valueOf(i);
      if (!value) return std::nullopt;
      arguments.secretKeyFile = *value;
    } else if ((word == "--url" || word == "--ca-bundle") && command == "check") {
      const std::optional<std::string> value = valueOf(i);
      if (!value) return std::nullopt;
      (word == "--url" ? arguments.url : arguments.caBundle) = *value;
    } else if (word == "-p" && (command == "check" || command == "keygen" || command == "upload")) {
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
  } else if (command == "check" && count != (arguments.url.empty() ? 1u : 0u)) {
    *error = "check needs SERVER_FOLDER, or --url BASE_URL alone";
  } else if (command == "upload" && count != 2) {
    *error = "upload needs SERVER_FOLDER DESTINATION";
  } else if (command == "keygen" &&
             (count != 0 || arguments.publicKeyFile.empty() || arguments.secretKeyFile.empty())) {
    *error = "keygen needs -p PUBLIC_KEY_FILE and -s SECRET_KEY_FILE";
  } else if (command == "keygen" && SamePath(arguments.publicKeyFile, arguments.secretKeyFile)) {
    *error = arguments.publicKeyFile +
             " named for both keys; they need two files (one file would keep only the public key)";
  } else if (command == "sign" && (count == 0 || arguments.secretKeyFile.empty())) {
    *error = "sign needs -s SECRET_KEY_FILE and at least one FILE";
  } else {
    return arguments;
  }
  return std::nullopt;
}
