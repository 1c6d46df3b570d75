// What checking the signatures of one start costs: the compiled-in public key parsed, then the
// config's and the fileInfo document's signature parsed and verified (BLAKE2b-512 of the
// document, Ed25519 over the digest, the global signature over the trusted comment) and the
// trusted timestamp read. The documents are read before the clock starts: at a start they are
// already in memory when their signatures are checked.
//
//   tidewake_signature_bench PUBLIC_KEY CONFIG FILE_INFO [ROUNDS]
// (each document's signature is DOCUMENT.minisig). Prints one line of microseconds:
//   first key config file_info
// first: the whole check of both documents as the first thing this process does (libsodium's own
// start included), as at a player's start; key, config, file_info: means over ROUNDS repetitions
// of parsing the key, and of parsing and verifying each document's signature.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "update/minisign.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    std::exit(1);
  }
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

double MicrosecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

struct Document {
  std::string text;
  std::string signature;
};

// Exits when the document does not verify: a figure for a failed check would measure nothing.
void Check(const minisign::PublicKey& key, const Document& document) {
  std::string error;
  const auto signature = minisign::ParseSignature(document.signature, &error);
  if (!signature || !minisign::Verify(key, *signature, document.text, &error) ||
      !minisign::TrustedTimestamp(signature->trustedComment)) {
    std::fprintf(stderr, "signature not accepted: %s\n", error.c_str());
    std::exit(1);
  }
}

minisign::PublicKey ParseKey(const std::string& text) {
  std::string error;
  const auto key = minisign::ParsePublicKey(text, &error);
  if (!key) {
    std::fprintf(stderr, "public key not accepted: %s\n", error.c_str());
    std::exit(1);
  }
  return *key;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: %s PUBLIC_KEY CONFIG FILE_INFO [ROUNDS]\n", argv[0]);
    return 2;
  }
  const std::string keyText = ReadWhole(argv[1]);
  const Document config{ReadWhole(argv[2]), ReadWhole(std::string(argv[2]) + ".minisig")};
  const Document fileInfo{ReadWhole(argv[3]), ReadWhole(std::string(argv[3]) + ".minisig")};
  const int rounds = argc == 5 ? std::atoi(argv[4]) : 200;
  if (rounds < 1) return 2;

  Clock::time_point start = Clock::now();
  const minisign::PublicKey key = ParseKey(keyText);
  Check(key, config);
  Check(key, fileInfo);
  const double first = MicrosecondsSince(start);

  start = Clock::now();
  for (int i = 0; i < rounds; ++i) ParseKey(keyText);
  const double keyMean = MicrosecondsSince(start) / rounds;
  start = Clock::now();
  for (int i = 0; i < rounds; ++i) Check(key, config);
  const double configMean = MicrosecondsSince(start) / rounds;
  start = Clock::now();
  for (int i = 0; i < rounds; ++i) Check(key, fileInfo);
  const double fileInfoMean = MicrosecondsSince(start) / rounds;

  std::printf("%.1f %.2f %.1f %.1f\n", first, keyMean, configMean, fileInfoMean);
  return 0;
}
