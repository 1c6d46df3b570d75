// The download benchmark's client: fetches one URL to a file with HttpUtil::DownloadFile and
// prints the seconds it took. It also issues the benchmark server's certificate from the CA
// that test builds trust, so a plain static server can stand in for the package host.
//
//   download_bench issue-cert CERT.pem KEY.pem
//   download_bench fetch URL FILE

#include <openssl/pem.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "net/http_util.h"
#include "tests/support/test_certificates.h"

namespace {

int IssueCertificate(const char* certPath, const char* keyPath) {
  const testing_support::ServerIdentity identity =
      testing_support::TrustedTestCa().IssueLocalhostCertificate();
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

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "issue-cert") == 0) return IssueCertificate(argv[2], argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "fetch") == 0) return Fetch(argv[2], argv[3]);
  std::fprintf(stderr, "usage: download_bench issue-cert CERT KEY | fetch URL FILE\n");
  return 2;
}
