#pragma once
// The certificate authorities the build was made to trust, PEM bytes compiled in
// (LAUNCHER_CA_BUNDLE); empty when the system's store decides. No file is read for them at run
// time: a path could be planted by another user of the player's machine.

#include <string_view>

namespace net {

std::string_view TrustedCaBundle();

}  // namespace net
