#pragma once
// The command line of tidewake-publish.

#include <optional>
#include <string>
#include <vector>

struct PublishArguments {
  std::string command;                  // "pack", "check", "upload", "keygen" or "sign"
  std::vector<std::string> positional;  // pack: game folder, version, server folder; check:
                                        // server folder; upload: it and the destination;
                                        // sign: the files
  std::vector<std::string> unsupported; // pack --unsupported
  bool replace = false;                 // pack --replace
  bool rollback = false;                // pack --rollback
  bool help = false;                    // --help or -h: command's usage, or all (command empty)
  bool unencrypted = false;             // keygen -W
  bool force = false;                   // keygen -f: replace existing key files
  std::string secretKeyFile;            // -s
  std::string publicKeyFile;            // -p
  std::string url;                      // check --url: the live server's base URL
  std::string caBundle;                 // check --ca-bundle
};

// Nothing, with *error, when the words do not make one of the commands.
std::optional<PublishArguments> ParseArguments(const std::vector<std::string>& words,
                                               std::string* error);

// The usage of one command with what it does, or of all commands when command is empty.
std::string UsageText(const std::string& command = "");
