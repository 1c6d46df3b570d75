#pragma once
// Runs tidewake-publish and minisign as a publisher would, on folders below a fresh working
// directory, and reads back what they wrote.

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace publish_testing {

struct ProgramRun {
  int status = -1;
  std::string output;   // results, then diagnostics
  std::string results;  // standard output alone
};

inline std::string Quoted(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The program run in its own session (no terminal to ask a password on), with the input given
// on standard input and the password variable set only when password is not null.
inline ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const char* password = nullptr, const std::string& input = "") {
  std::string command = "env -u TIDEWAKE_PUBLISH_PASSWORD ";
  if (password != nullptr) command += "TIDEWAKE_PUBLISH_PASSWORD=" + Quoted(password) + " ";
  command += "setsid -w " + Quoted(program);
  for (const std::string& argument : arguments) command += " " + Quoted(argument);
  testing_support::WriteFile("stdin.txt", input);
  command += " < stdin.txt > output.txt 2> errors.txt";
  const int raw = std::system(command.c_str());
  ProgramRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.results = testing_support::ReadFile("output.txt");
  run.output = run.results + testing_support::ReadFile("errors.txt");
  return run;
}

// The tool built beside the suite, or another build of it named by TIDEWAKE_PUBLISH_UNDER_TEST
// (an older one, to see which cases it fails).
inline std::string ToolProgram() {
  const char* other = std::getenv("TIDEWAKE_PUBLISH_UNDER_TEST");
  return other != nullptr && *other != '\0' ? other : TIDEWAKE_PUBLISH_PROGRAM;
}

inline ProgramRun Tool(const std::vector<std::string>& arguments, const char* password = nullptr) {
  return RunProgram(ToolProgram(), arguments, password);
}

inline ProgramRun Minisign(const std::vector<std::string>& arguments, const std::string& input = "") {
  return RunProgram(TIDEWAKE_MINISIGN_PROGRAM, arguments, nullptr, input);
}

inline std::string Hex(const unsigned char* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

// OpenSSL's digest of the bytes, as lower-case hex: made apart from the tool's own code.
inline std::string Digest(const EVP_MD* type, const std::string& bytes) {
  unsigned char value[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(bytes.data(), bytes.size(), value, &size, type, nullptr);
  return Hex(value, size);
}

inline std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

// A small game as a publisher has it: the program (executable), data in folders, a Chinese
// name, an empty folder, a file that does not compress.
inline void MakeGame(const std::string& folder) {
  namespace fs = std::filesystem;
  testing_support::WriteFile(folder + "/runa3D.exe", "#!/bin/sh\necho game\n");
  fs::permissions(folder + "/runa3D.exe", fs::perms(0755), fs::perm_options::replace);
  std::string noise;
  unsigned state = 12345;
  for (int i = 0; i < 200000; ++i) {
    state = state * 1103515245u + 12345u;
    noise += static_cast<char>(state >> 24);
  }
  testing_support::WriteFile(folder + "/data/levels/level1.dat", noise);
  std::string text;
  for (int i = 0; i < 500; ++i) text += "Sample line " + std::to_string(i) + "\n";
  testing_support::WriteFile(folder + "/data/readme.txt", text);
  testing_support::WriteFile(folder + "/" + Utf8(u8"资料/说明.txt"), Utf8(u8"示例游戏\n"));
  fs::create_directories(folder + "/saves");
}

inline const std::string kFolder = "server/Marlwood77301";

// Every name below the folder, files with their bytes' digest: what a live reader or a sync sees.
inline std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> seen;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().lexically_relative(folder).generic_string();
    seen[name] = entry.is_regular_file()
                     ? Digest(EVP_sha256(), testing_support::ReadFile(entry.path().string()))
                     : "<folder>";
  }
  return seen;
}

// The signature minisign makes of the file with this trusted comment (a timestamp the tool
// itself would never write, a name another file has).
inline ProgramRun SignWithComment(const std::string& key, const std::string& file,
                                  const std::string& comment) {
  return Minisign({"-S", "-s", key, "-m", file, "-t", comment});
}

inline int64_t NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace publish_testing
