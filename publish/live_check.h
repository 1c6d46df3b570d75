#pragma once
// check --url: the live server read over HTTPS as a launcher reads it, for what players are
// actually served (a CDN's stale copy, a wrong length, ranges ignored), not what was uploaded.

#include <string>
#include <vector>

#include "update/minisign.h"

struct LiveCheckRequest {
  std::string baseUrl;   // the launcher's base URL, ending in "/PCDownload/sq1/"
  std::string caBundle;  // PEM file of the CAs to trust; empty: the system's
  const minisign::PublicKey* key = nullptr;
};

// Each problem as "where: what"; empty when a launcher (with the key, when given) would install
// what the server offers and could update it entry by entry.
std::vector<std::string> CheckLiveServer(const LiveCheckRequest& request);
