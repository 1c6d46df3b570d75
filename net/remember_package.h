#pragma once

#include <functional>
#include <string>

// Called at the moment the first record write fails, before the next write is tried, so the
// caller can ask the player to free the file first; once per call at most.
using RecordWriteFailed = std::function<void()>;

// Brings the download record and the disk in line with the package about to be fetched or
// verified: a superseded package file is deleted, the package is marked as pending install
// (installPendingKey, cleared by the caller once the extraction succeeded), then both keys are
// stored.
void RememberPackage(const std::string& zipPath, const std::string& zipMd5,
                     const RecordWriteFailed& onWriteFailed);
