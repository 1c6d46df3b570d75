#pragma once
// A sample game published on the loopback test server the way the publisher lays it out: the
// config document, one fileInfo document per version and the package zip.

#include <string>
#include <vector>

#include "tests/support/https_test_server.h"

namespace testing_support {

struct GamePackage {
  std::string version;   // dotted, e.g. "1.0.0"
  std::string zipName;   // "Marlwood77301/game_1_0_0.zip"
  std::string bytes;     // the archive
  std::string md5;
  std::string fileInfo;  // the fileInfo document for it
};

// The loopback server port the test launcher's compiled-in base URL names.
int LauncherTestPort();

// A package with the sample game (the platform's build of it) as runa3D.exe (executable), a
// readme and extraBytes of incompressible data in filler entries of at most entryBytes each,
// then the further files given (name in UTF-8, contents), listed in the fileInfo too.
GamePackage MakeGamePackage(const std::string& version, size_t extraBytes = 64 * 1024,
                            size_t entryBytes = 1 << 20,
                            const std::string& game = TIDEWAKE_SAMPLE_GAME,
                            const std::vector<std::pair<std::string, std::string>>& moreFiles = {});

// The path below the server of a document or package ("/PCDownload/sq1/" + relative).
std::string ServerPath(const std::string& relative);

// Serves config.json naming the version, its fileInfo and its package.
void Publish(HttpsTestServer& server, const GamePackage& package);

// Lower-case hex digests of the bytes.
std::string Md5Hex(const std::string& bytes);
std::string Sha256Hex(const std::string& bytes);

}  // namespace testing_support
