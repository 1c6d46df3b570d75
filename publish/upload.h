#pragma once
// upload: a checked server folder copied to where players fetch it, through rclone (any remote a
// publisher configured: S3-compatible stores, SFTP, WebDAV, a local path), in the order a live
// reader is safest with and without the temporary files an interrupted run may have left.

#include <string>

#include "update/minisign.h"

struct UploadRequest {
  std::string serverFolder;
  std::string destination;  // an rclone remote path ("remote:bucket/PCDownload/sq1")
  const minisign::PublicKey* key = nullptr;  // the folder is checked with it first
};

// 0 when every stage went up; 1 with the reason on standard error. Nothing is sent unless the
// folder checks clean, and a failed stage leaves the documents players read untouched.
int Upload(const UploadRequest& request);
