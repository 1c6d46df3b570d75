#pragma once
// A document and its detached signature (<document>.minisig) judged against the trusted key.

#include <cstdint>
#include <optional>
#include <string>

#include "update/minisign.h"

struct SignedDocument {
  bool accepted = false;
  std::string error;                  // why not, for the error dialog
  std::optional<int64_t> timestamp;   // from the trusted comment, when it carries one
};

// Accepted only when the signature text is a signature by this key over exactly these bytes.
// A trusted comment that names a file must name this one (fileName: the document's own name,
// without folders or query), so a signed document cannot stand in for another one.
SignedDocument CheckSignedDocument(const minisign::PublicKey& key, const std::string& fileName,
                                   const std::string& document, const std::string& signatureText);

// The name in a "file:" field of a trusted comment (fields apart by tabs), when there is one.
std::optional<std::string> TrustedFileName(const std::string& trustedComment);

// The part of a path after its last "/", without a "?query".
std::string DocumentFileName(const std::string& path);
