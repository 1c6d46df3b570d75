#include "install/delta_update.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

#include "core/strings.h"
#include "install/delta_archive.h"
#include "install/delta_plan.h"
#include "install/package_manifest.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/sha256.h"

namespace {

// Enough for the end record and the Zip64 locator and record of an archive without a comment;
// an archive with a long comment costs a second request for the rest of kZipTailBytes.
constexpr uint64_t kFirstTailBytes = 1024;

struct Fetched {
  std::string status;  // FetchRanges' final event
  std::string message;
};

// Fetches [start, end) of the package into memory (a tail or a directory: small).
Fetched FetchInto(const DeltaRequest& request, uint64_t start, uint64_t end, std::string& bytes) {
  Fetched outcome;
  RangeTask task;
  task.url = request.url;
  task.ranges = {{start, end}};
  task.objectBytes = request.archiveBytes;
  task.sink = [&bytes](uint64_t, std::string_view piece) {
    bytes.append(piece);
    return true;
  };
  task.callback = [&outcome](const std::string& event, const std::string& message, double, double) {
    if (event != "trans") outcome = {event, message};
  };
  HttpUtil::FetchRanges(task);
  return outcome;
}

std::string Sha256Hex(std::string_view bytes) {
  platform::Sha256 hash;
  platform::Sha256::Digest digest{};
  std::string failure;
  if (!hash.Begin(&failure) || !hash.Update(bytes.data(), bytes.size(), &failure) ||
      !hash.Finish(&digest, &failure)) {
    return {};
  }
  return LowerHex(digest.data(), digest.size());
}

bool SameHex(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x | 0x20) == (y | 0x20);
         });
}

DeltaOutcome Fallback(DeltaOutcome outcome, std::string reason) {
  outcome.status = "fallback";
  outcome.reason = std::move(reason);
  outcome.directory.clear();
  outcome.keptFiles.clear();
  platform::Diagnostic("delta: falling back to the full package: %s\n", outcome.reason.c_str());
  return outcome;
}

}  // namespace

DeltaOutcome RunDeltaUpdate(const DeltaRequest& request) {
  DeltaOutcome outcome;
  if (request.hashesRequired && request.directorySha256.empty()) {
    return Fallback(std::move(outcome), "the signed release states no directory hash");
  }
  const std::vector<ManifestEntry> manifest = ReadPackageManifest(request.manifestPath);
  if (manifest.empty()) return Fallback(std::move(outcome), "no manifest of the installed package");
  const uint64_t size = request.archiveBytes;

  // The end records: a short tail first, the longest one an end record allows when that was not
  // enough.
  uint64_t tailStart = size - std::min(size, kFirstTailBytes);
  std::string tail;
  Fetched fetched = FetchInto(request, tailStart, size, tail);
  if (fetched.status != "succ") return Fallback(std::move(outcome), "tail: " + fetched.status + " " + fetched.message);
  std::optional<ZipTail> ends = ParseZipTail(tail, size);
  if (!ends && tailStart > 0) {
    const uint64_t longStart = size - std::min(size, kZipTailBytes);
    std::string before;
    fetched = FetchInto(request, longStart, tailStart, before);
    if (fetched.status != "succ") return Fallback(std::move(outcome), "tail: " + fetched.status + " " + fetched.message);
    tail = before + tail;
    tailStart = longStart;
    ends = ParseZipTail(tail, size);
  }
  if (!ends) return Fallback(std::move(outcome), "no end record");
  if (!DirectoryWithinBounds(*ends)) {
    return Fallback(std::move(outcome),
                    "a directory of " + std::to_string(ends->directoryBytes) + " bytes for " +
                        std::to_string(ends->entryCount) + " entries");
  }
  outcome.directoryBytes = tail.size();

  // A small archive's directory came with its tail.
  std::string directoryBytes;
  const uint64_t directoryEnd = ends->directoryOffset + ends->directoryBytes;
  if (directoryEnd > size) return Fallback(std::move(outcome), "directory past the end");
  if (ends->directoryOffset >= tailStart) {
    directoryBytes = tail.substr(ends->directoryOffset - tailStart, ends->directoryBytes);
  } else {
    fetched = FetchInto(request, ends->directoryOffset, directoryEnd, directoryBytes);
    if (fetched.status != "succ") {
      return Fallback(std::move(outcome), "directory: " + fetched.status + " " + fetched.message);
    }
    outcome.directoryBytes += directoryBytes.size();
  }
  if (request.hashesRequired && !SameHex(Sha256Hex(directoryBytes), request.directorySha256)) {
    return Fallback(std::move(outcome), "the directory does not match its signed hash");
  }
  std::optional<std::vector<ZipDirectoryEntry>> directory = ParseZipDirectory(directoryBytes, *ends);
  if (!directory) return Fallback(std::move(outcome), "malformed directory");

  const DeltaPlan plan = PlanDelta(*directory, manifest, request.installDir);
  outcome.fetched = plan.fetched.size();
  outcome.kept = plan.kept;
  outcome.rangeBytes = plan.rangeBytes;
  if (request.hashesRequired) {
    for (size_t i : plan.fetched) {
      if (!request.entrySha256.contains((*directory)[i].name)) {
        return Fallback(std::move(outcome), "no signed hash for " + (*directory)[i].name);
      }
    }
  }

  std::string failure;
  {
    // A run killed while the entries arrived left their first part at deltaPath: only the rest
    // is asked for. The kept bytes face the same CRC-32 and signed hashes as the new ones.
    DeltaArchiveWriter writer(request.deltaPath, *directory, plan.fetched, true);
    const uint64_t from = writer.ResumeAt();
    outcome.keptBytes = writer.KeptBytes();
    if (outcome.keptBytes > 0) {
      platform::Diagnostic("delta: %llu bytes of the entries kept from an earlier run\n",
                           static_cast<unsigned long long>(outcome.keptBytes));
    }
    RangeTask task;
    task.url = request.url;
    for (const ByteRange& range : plan.ranges) {
      if (range.end > from) task.ranges.emplace_back(std::max(range.start, from), range.end);
    }
    task.objectBytes = size;
    task.sink = [&writer](uint64_t offset, std::string_view bytes) { return writer.Write(offset, bytes); };
    Fetched entries;
    task.callback = [&](const std::string& event, const std::string& message, double first,
                        double second) {
      if (event == "trans") {
        if (request.progress) request.progress(event, message, first, second);
      } else {
        entries = {event, message};
      }
    };
    if (task.ranges.empty()) {
      entries.status = "succ";
    } else {
      HttpUtil::FetchRanges(task);
    }
    if (entries.status != "succ") {
      failure = "entries: " + entries.status + " " + entries.message;
    } else if (!writer.Finish(failure)) {
      failure = "writing " + request.deltaPath + ": " + failure;
    } else if (request.hashesRequired) {
      const std::vector<std::string>& hashes = writer.SpanSha256();
      for (size_t k = 0; k < plan.fetched.size() && failure.empty(); ++k) {
        const std::string& name = (*directory)[plan.fetched[k]].name;
        if (k >= hashes.size() || !SameHex(hashes[k], request.entrySha256.at(name))) {
          failure = name + " does not match its signed hash";
        }
      }
    }
  }
  if (!failure.empty()) {
    platform::RemoveFile(request.deltaPath);
    return Fallback(std::move(outcome), failure);
  }
  outcome.status = "succ";
  outcome.directory = std::move(*directory);
  outcome.keptFiles = plan.keptFiles;
  return outcome;
}
