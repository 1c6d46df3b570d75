#include "update/document_signature.h"

#include "core/strings.h"

std::optional<std::string> TrustedFileName(const std::string& trustedComment) {
  for (const std::string& field : SplitString(trustedComment, "\t")) {
    if (field.rfind("file:", 0) == 0) return field.substr(5);
  }
  return std::nullopt;
}

std::string DocumentFileName(const std::string& path) {
  std::string name = path.substr(0, path.find('?'));
  const size_t slash = name.find_last_of('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  return name;
}

SignedDocument CheckSignedDocument(const minisign::PublicKey& key, const std::string& fileName,
                                   const std::string& document, const std::string& signatureText) {
  SignedDocument result;
  const std::string signatureName = fileName + ".minisig";
  if (signatureText.empty()) {
    result.error = signatureName + ": signature missing";
    return result;
  }
  std::string error;
  const std::optional<minisign::Signature> signature =
      minisign::ParseSignature(signatureText, &error);
  if (!signature) {
    result.error = signatureName + ": signature malformed (" + error + ")";
    return result;
  }
  if (!minisign::Verify(key, *signature, document, &error)) {
    result.error = fileName + ": signature does not verify (" + error + ")";
    return result;
  }
  const std::optional<std::string> signedName = TrustedFileName(signature->trustedComment);
  if (signedName && *signedName != fileName) {
    result.error = fileName + ": the signature is for " + *signedName;
    return result;
  }
  result.accepted = true;
  result.timestamp = minisign::TrustedTimestamp(signature->trustedComment);
  return result;
}
