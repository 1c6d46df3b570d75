#include "tests/support/test_certificates.h"

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

namespace {

std::atomic<long> serialCounter{1};

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("certificate generation failed: ") + what);
}

PkeyPtr NewKey() {
  PkeyPtr key(EVP_EC_gen("P-256"));
  Check(key != nullptr, "EVP_EC_gen");
  return key;
}

void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  Check(extension != nullptr, "X509V3_EXT_conf_nid");
  X509_add_ext(cert, extension, -1);
  X509_EXTENSION_free(extension);
}

X509Ptr NewCertificate(EVP_PKEY* subjectKey, const std::string& commonName, long validDays) {
  X509Ptr cert(X509_new());
  Check(cert != nullptr, "X509_new");
  X509_set_version(cert.get(), 2);
  // Serials must differ between the certificates one CA issues, across processes too.
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()),
                   static_cast<long>(::getpid()) * 1000 + serialCounter.fetch_add(1));
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), validDays * 24L * 3600);
  X509_set_pubkey(cert.get(), subjectKey);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1,
                             0);
  return cert;
}

std::string ToPem(int (*write)(BIO*, void*), void* object) {
  BIO* bio = BIO_new(BIO_s_mem());
  write(bio, object);
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  std::string pem(data, static_cast<size_t>(size));
  BIO_free(bio);
  return pem;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace

CertificateAuthority CertificateAuthority::Generate(const std::string& commonName) {
  CertificateAuthority ca;
  ca.key_ = NewKey();
  // The trusted CA lives in the build tree for as long as the build does.
  ca.certificate_ = NewCertificate(ca.key_.get(), commonName, 3650);
  X509* cert = ca.certificate_.get();
  X509_set_issuer_name(cert, X509_get_subject_name(cert));
  AddExtension(cert, cert, NID_basic_constraints, "critical,CA:TRUE");
  AddExtension(cert, cert, NID_key_usage, "critical,keyCertSign,cRLSign");
  AddExtension(cert, cert, NID_subject_key_identifier, "hash");
  Check(X509_sign(cert, ca.key_.get(), EVP_sha256()) > 0, "X509_sign (CA)");
  return ca;
}

CertificateAuthority CertificateAuthority::FromPem(const std::string& pem) {
  CertificateAuthority ca;
  BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  ca.certificate_.reset(PEM_read_bio_X509(bio, nullptr, nullptr, nullptr));
  ca.key_.reset(PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr));
  BIO_free(bio);
  if (!ca.certificate_ || !ca.key_) throw std::runtime_error("no CA in the PEM text");
  return ca;
}

std::string CertificateAuthority::CertificatePem() const {
  return ToPem([](BIO* bio, void* cert) { return PEM_write_bio_X509(bio, static_cast<X509*>(cert)); },
               certificate_.get());
}

std::string CertificateAuthority::Pem() const {
  return CertificatePem() +
         ToPem(
             [](BIO* bio, void* key) {
               return PEM_write_bio_PrivateKey(bio, static_cast<EVP_PKEY*>(key), nullptr,
                                               nullptr, 0, nullptr, nullptr);
             },
             key_.get());
}

ServerIdentity CertificateAuthority::IssueLocalhostCertificate(
    const std::string& extraAddress) const {
  ServerIdentity identity;
  identity.key = NewKey();
  identity.certificate = NewCertificate(identity.key.get(), "localhost", 1);
  X509* cert = identity.certificate.get();
  X509_set_issuer_name(cert, X509_get_subject_name(certificate_.get()));
  AddExtension(cert, certificate_.get(), NID_basic_constraints, "critical,CA:FALSE");
  AddExtension(cert, certificate_.get(), NID_key_usage, "critical,digitalSignature");
  AddExtension(cert, certificate_.get(), NID_ext_key_usage, "serverAuth");
  const std::string names =
      "DNS:localhost,IP:127.0.0.1" + (extraAddress.empty() ? "" : ",IP:" + extraAddress);
  AddExtension(cert, certificate_.get(), NID_subject_alt_name, names.c_str());
  AddExtension(cert, certificate_.get(), NID_authority_key_identifier, "keyid:always");
  Check(X509_sign(cert, key_.get(), EVP_sha256()) > 0, "X509_sign (server)");
  return identity;
}

const CertificateAuthority& TrustedTestCa() {
  // Made when the build was configured, its certificate compiled into the launcher: every test
  // process, and the Windows launcher of the same checkout, trusts this one authority.
  static const CertificateAuthority ca = [] {
    const std::string certificate = TIDEWAKE_TEST_CA_BUNDLE;
    if (certificate.empty()) throw std::runtime_error("this build trusts no test CA");
    return CertificateAuthority::FromPem(ReadWhole(certificate) + ReadWhole(TIDEWAKE_TEST_CA_KEY));
  }();
  return ca;
}

}  // namespace testing_support
