#pragma once

#include <string>

// Brings the download record and the disk in line with the package about to be fetched or
// verified: a superseded package file is deleted, then both keys are stored.
void RememberPackage(const std::string& zipPath, const std::string& zipMd5);
