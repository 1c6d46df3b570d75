#pragma once
// pack: a game folder becomes the package, its fileInfo document and the updated config document
// in the server folder, all written first and then renamed in the order that never lets a
// launcher read a document before what it names: the package, then the fileInfo (and its
// signature), then the config (and its). The config names the fileInfo's SHA-256.

#include <string>
#include <vector>

#include "publish/secret_key.h"

struct PackRequest {
  std::string gameFolder;
  std::string version;       // dotted, a.b.c
  std::string serverFolder;  // the folder behind the launcher's base URL
  std::vector<std::string> unsupported;
  bool replace = false;
  bool rollback = false;  // lets lastVersion go back, or name a version a pattern matches
  const SecretKey* key = nullptr;  // signs both documents when set
};

// 0 when published; otherwise 1 with the reason on standard error and the server folder as it
// was. Refuses a version already published unless replace is set.
int Pack(const PackRequest& request);
