// Linked into the signed test launcher alone: before main runs, the key in force becomes the
// test signing key, as a release's compiled-in key would be.

#include "update/trusted_key.h"

namespace {

[[maybe_unused]] const bool trusted = ReplaceTrustedPublicKey(TIDEWAKE_TEST_SIGNING_PUBLIC_KEY);

}  // namespace
