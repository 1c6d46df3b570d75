#pragma once
// Certificate authorities made for the test run, and the server certificates they issue for
// "localhost" (and 127.0.0.1).

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace testing_support {

struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct X509Free {
  void operator()(X509* cert) const { X509_free(cert); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;
using X509Ptr = std::unique_ptr<X509, X509Free>;

struct ServerIdentity {
  PkeyPtr key;
  X509Ptr certificate;
};

class CertificateAuthority {
 public:
  // A fresh CA (P-256 key, self-signed, valid for ten years).
  static CertificateAuthority Generate(const std::string& commonName);
  // Reads a CA from the PEM text that Pem() wrote; throws when it holds no certificate and key.
  static CertificateAuthority FromPem(const std::string& pem);

  // Certificate then private key, PEM.
  std::string Pem() const;
  std::string CertificatePem() const;
  // A leaf for "localhost" and 127.0.0.1 (and the extra IPv4 address, when given) signed by
  // this CA, valid for a day.
  ServerIdentity IssueLocalhostCertificate(const std::string& extraAddress = "") const;

 private:
  PkeyPtr key_;
  X509Ptr certificate_;
};

// The CA that the launcher's transfers trust in test builds, made when the build was configured.
const CertificateAuthority& TrustedTestCa();

}  // namespace testing_support
