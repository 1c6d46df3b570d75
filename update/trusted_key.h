#pragma once
// The publisher's key that the documents' signatures must verify against. A build without one
// (LAUNCHER_PUBLIC_KEY unset) checks no signature at all.

#include <optional>
#include <string>

#include "update/minisign.h"

// The key in force: the compiled-in one unless replaced below; nullopt when there is none.
std::optional<minisign::PublicKey> TrustedPublicKey();

// Replaces the key in force for the rest of the process (the base64 line of a minisign public
// key; empty: no key, no signature checked). For programs built around the launcher's code that
// trust another key than the release's: the test suites and the signed test launcher. Call it
// before a check starts. False, with nothing changed, when the text is no public key.
bool ReplaceTrustedPublicKey(const std::string& keyText);
