// The download benchmarks' client: fetches one URL to a file with HttpUtil::DownloadFile and
// prints the seconds it took, or (package) with HttpUtil::DownloadPackage, resuming the way the
// launcher's check does, and then times the check after the download both ways: the digest the
// download made against reading the file again; it prints the seconds and CPU seconds of the
// download alone. It also issues the benchmark server's certificate from the CA that test builds
// trust, so a plain static server can stand in for the package host.
//
//   download_bench issue-cert CERT.pem KEY.pem [IPV4]
//   download_bench fetch URL FILE
//   download_bench package URL FILE BYTES

#include <openssl/pem.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "core/strings.h"
#include "install/file_digest.h"
#include "net/http_util.h"
#include "net/package_parts.h"
#include "platform/files.h"
#include "tests/support/test_certificates.h"

namespace {

int IssueCertificate(const char* certPath, const char* keyPath, const char* address) {
  const testing_support::ServerIdentity identity =
      testing_support::TrustedTestCa().IssueLocalhostCertificate(address);
  std::FILE* cert = std::fopen(certPath, "wb");
  std::FILE* key = std::fopen(keyPath, "wb");
  const bool ok = cert != nullptr && key != nullptr &&
                  PEM_write_X509(cert, identity.certificate.get()) == 1 &&
                  PEM_write_PrivateKey(key, identity.key.get(), nullptr, nullptr, 0, nullptr,
                                       nullptr) == 1;
  if (cert != nullptr) std::fclose(cert);
  if (key != nullptr) std::fclose(key);
  return ok ? 0 : 1;
}

int Fetch(const char* url, const char* path) {
  std::string outcome;
  std::string message;
  double lastFirst = 0;
  DownloadTask task;
  task.localPath = path;
  task.url = url;
  // As cheap as the launcher's own progress adapter: keep the numbers, nothing more.
  task.callback = [&](const std::string& event, const std::string& text, double first, double) {
    if (event == "trans") {
      lastFirst = first;
    } else {
      outcome = event;
      message = text;
    }
  };
  const auto start = std::chrono::steady_clock::now();
  HttpUtil::DownloadFile(task);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::fprintf(stderr, "\n");
  if (outcome != "succ") {
    std::fprintf(stderr, "download failed: %s\n", message.c_str());
    return 1;
  }
  std::printf("\n%.3f\n", elapsed.count());
  return 0;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int FetchPackage(const char* url, const char* path, uint64_t bytes) {
  std::string outcome;
  std::string message;
  std::optional<DownloadDigests> digests;
  DownloadTask task;
  task.localPath = path;
  task.url = url;
  task.maxBytes = bytes;
  // What the launcher's check would hand over after a kill.
  if (const std::optional<uint64_t> kept = KeptPackageBytes(path, bytes)) {
    task.resumeOffset = *kept;
  } else if (platform::PathExists(path) && platform::FileSize(path) < bytes) {
    task.resumeOffset = platform::FileSize(path);
  }
  task.callback = [&](const std::string& event, const std::string& text, double, double) {
    if (event != "trans") {
      outcome = event;
      message = text;
    }
  };
  task.digests = [&](const DownloadDigests& made) { digests = made; };
  const auto start = std::chrono::steady_clock::now();
  HttpUtil::DownloadPackage(task);
  const double download = SecondsSince(start);
  // What the download cost the process, before the check below reads the file again.
  const double downloadCpu = static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
  if (outcome != "succ") {
    std::fprintf(stderr, "download failed: %s\n", message.c_str());
    return 1;
  }
  // The check after the download, as it was (the file read again) and as it is now.
  const auto readStart = std::chrono::steady_clock::now();
  const std::string read = FileMd5(path);
  const double readCheck = SecondsSince(readStart);
  const auto madeStart = std::chrono::steady_clock::now();
  const bool same = digests && SameDigest(digests->md5, read);
  const double madeCheck = SecondsSince(madeStart);
  if (!same) {
    std::fprintf(stderr, "the download's digest is not the file's\n");
    return 1;
  }
  std::printf("\nresult %.3f %.6f %.9f %s %.3f\n", download, readCheck, madeCheck, read.c_str(),
              downloadCpu);
  return 0;
}

// COUNT ranges of RANGE_BYTES spread evenly over an object of OBJECT_BYTES, as a differential
// update asks for its changed entries; the sink checks each piece follows the one before.
int FetchSpreadRanges(const char* url, uint64_t objectBytes, uint64_t count, uint64_t rangeBytes) {
  RangeTask task;
  task.url = url;
  task.objectBytes = objectBytes;
  const uint64_t stride = objectBytes / count;
  for (uint64_t k = 0; k < count && rangeBytes <= stride; ++k) {
    task.ranges.emplace_back(k * stride, k * stride + rangeBytes);
  }
  uint64_t expected = task.ranges.empty() ? 0 : task.ranges.front().first;
  size_t range = 0;
  bool inOrder = true;
  task.sink = [&](uint64_t offset, std::string_view bytes) {
    if (offset != expected && !(range + 1 < task.ranges.size() &&
                                offset == task.ranges[range + 1].first)) {
      inOrder = false;
    }
    if (offset != expected) ++range;
    expected = offset + bytes.size();
    return true;
  };
  std::string outcome;
  std::string message;
  task.callback = [&](const std::string& event, const std::string& text, double, double) {
    if (event != "trans") {
      outcome = event;
      message = text;
    }
  };
  const auto start = std::chrono::steady_clock::now();
  HttpUtil::FetchRanges(task);
  const double seconds = SecondsSince(start);
  if (outcome != "succ" || !inOrder) {
    std::fprintf(stderr, "ranges failed: %s %s\n", outcome.c_str(), inOrder ? "" : "(out of order)");
    return 1;
  }
  std::printf("\nranges %.3f %llu\n", seconds,
              static_cast<unsigned long long>(task.ranges.size() * rangeBytes));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "issue-cert") == 0) {
    return IssueCertificate(argv[2], argv[3], argc == 5 ? argv[4] : "");
  }
  if (argc == 5 && std::strcmp(argv[1], "package") == 0) {
    return FetchPackage(argv[2], argv[3], std::strtoull(argv[4], nullptr, 10));
  }
  if (argc == 4 && std::strcmp(argv[1], "fetch") == 0) return Fetch(argv[2], argv[3]);
  if (argc == 6 && std::strcmp(argv[1], "ranges") == 0) {
    return FetchSpreadRanges(argv[2], std::strtoull(argv[3], nullptr, 10),
                             std::strtoull(argv[4], nullptr, 10),
                             std::strtoull(argv[5], nullptr, 10));
  }
  std::fprintf(stderr,
               "usage: download_bench issue-cert CERT KEY [IPV4] | fetch URL FILE | package URL "
               "FILE BYTES | ranges URL OBJECT_BYTES COUNT RANGE_BYTES\n");
  return 2;
}
