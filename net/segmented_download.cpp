// The package over several connections at once: byte ranges (pieces) fetched through one libcurl
// multi handle on this worker, written at their offsets, with the digests following the file's
// contiguous prefix. A server that does not answer a range with 206 gets the one-connection
// download instead.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/strings.h"
#include "fs/now_ms.h"
#include "fs/stdio_file.h"
#include "net/connection_pacer.h"
#include "net/curl_transfer.h"
#include "net/http_util.h"
#include "net/package_parts.h"
#include "net/parts_saver.h"
#include "net/running_digests.h"
#include "platform/diagnostics.h"
#include "platform/disk.h"
#include "platform/file_seek.h"
#include "platform/files.h"

using namespace net_detail;

namespace {

// Pieces small enough that a kill loses little, large enough that the request between two
// pieces of one connection is a small share of its time.
// A new request costs the connection a round trip and the server's pacing restarts with it
// (nginx's limit_rate is per request), so pieces stay large until the end.
constexpr uint64_t kPieceBytes = 8u << 20;
// Near the end the work left is shared out evenly, so the connections finish together rather
// than one still working through a whole piece while the others have nothing left (on a paced
// line that tail cost a twentieth of the time); pieces get no smaller than this.
constexpr uint64_t kSmallestPiece = 512u << 10;
// Connections only work this far ahead of the contiguous prefix, so the file grows nearly in
// order: the digests keep up, and the system never has to fill a long stretch with zeros. Half
// again the pieces of all connections, so a slow piece at the prefix does not leave the others
// idle.
constexpr uint64_t kWindowBytes = 96u << 20;
constexpr int kMaxConnections = 8;
// A kill loses what arrived since the last save: a tenth of a second of the line, for a small
// file written and renamed ten times a second.
constexpr int64_t kSavePartsEveryMs = 100;
constexpr int64_t kReportEveryMs = 50;
// Digest catch-up from the disk per turn of the loop, so transfers are served in between.
constexpr uint64_t kCatchUpBytes = 4u << 20;
constexpr int64_t kLongestRetryAfterMs = 60000;
// A reader following the prefix is told in steps of this much, each costing a flush.
constexpr uint64_t kTellPrefixEveryBytes = 1u << 20;

struct Source {
  std::string url;
  bool failed = false;
  int64_t notBeforeMs = 0;  // a Retry-After in force
};

class SegmentedDownload;

struct Piece {
  SegmentedDownload* owner = nullptr;
  size_t source = 0;
  uint64_t start = 0;
  uint64_t position = 0;
  uint64_t end = 0;
  CurlHandle curl;
  HeaderList headers;
  long status = 0;
  std::string contentRange;
  std::string retryAfter;
  bool checked = false;  // the response was found to be the range asked for
  bool refused = false;  // it was not: the transfer was stopped at its first byte
};

// "bytes a-b/total": a, b and total; nothing for any other form.
bool ParseContentRange(const std::string& value, uint64_t* first, uint64_t* last,
                       uint64_t* total) {
  unsigned long long a = 0;
  unsigned long long b = 0;
  unsigned long long t = 0;
  if (std::sscanf(value.c_str(), "bytes %llu-%llu/%llu", &a, &b, &t) != 3 || a > b || b >= t) {
    return false;
  }
  *first = a;
  *last = b;
  *total = t;
  return true;
}

std::string HeaderValue(const char* data, size_t size, const char* lowerName) {
  const std::string line(data, size);
  const size_t colon = line.find(':');
  if (colon == std::string::npos) return {};
  std::string name = line.substr(0, colon);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (name != lowerName) return {};
  const size_t begin = line.find_first_not_of(" \t", colon + 1);
  const size_t end = line.find_last_not_of(" \t\r\n");
  if (begin == std::string::npos || end < begin) return {};
  return line.substr(begin, end - begin + 1);
}

class SegmentedDownload {
 public:
  explicit SegmentedDownload(const DownloadTask& task)
      : task_(task), digests_(task.wantSha256), pacer_(kMaxConnections), saver_(task.localPath) {
    sources_.push_back(Source{task.url});
    for (const std::string& mirror : task.mirrorUrls) {
      if (mirror != task.url) sources_.push_back(Source{mirror});
    }
  }
  ~SegmentedDownload() {
    for (auto& piece : pieces_) curl_multi_remove_handle(multi_, piece.curl.get());
    if (multi_ != nullptr) curl_multi_cleanup(multi_);
  }
  SegmentedDownload(const SegmentedDownload&) = delete;
  SegmentedDownload& operator=(const SegmentedDownload&) = delete;

  // False when the one-connection download must take over.
  bool Run();

  size_t Write(Piece& piece, const char* data, size_t size);
  void Header(Piece& piece, const char* data, size_t size);

 private:
  bool Prepare();
  void Schedule(int64_t now);
  bool StartPiece(size_t source, uint64_t start, uint64_t end);
  void Finish(std::list<Piece>::iterator piece, CURLcode code, int64_t now);
  uint64_t ContiguousEnd() const;
  ByteRanges WrittenNow() const;
  void CatchUpDigests(uint64_t upTo);
  void TellPrefix(bool force);
  void Report(bool force, int64_t now);
  void Conclude(bool success, CURLcode code, long status);
  int Active() const { return static_cast<int>(pieces_.size()); }
  bool Flush() {
    if (std::fflush(file_.get()) != 0) writeFailed_ = true;
    return !writeFailed_;
  }

  const DownloadTask& task_;
  std::vector<Source> sources_;
  size_t nextSource_ = 0;
  CURLM* multi_ = nullptr;
  FilePtr file_;
  std::optional<uint64_t> total_;  // the package's size, from the first Content-Range
  ByteRanges done_;                // written and finished, kept across runs through the parts file
  std::list<Piece> pieces_;
  uint64_t keptAtStart_ = 0;
  uint64_t received_ = 0;
  bool fallBack_ = false;
  bool rangeAnswered_ = false;
  bool partsSaved_ = false;
  bool listed_ = false;  // a list of this run's parts is on the disk
  bool writeFailed_ = false;

  RunningDigests digests_;
  uint64_t toldPrefix_ = 0;

  ConnectionPacer pacer_;

  PartsSaver saver_;
  int64_t lastSaveMs_ = 0;
  int64_t lastReportMs_ = 0;
  CURLcode lastCode_ = CURLE_OK;
  long lastStatus_ = 0;
};

size_t OnPieceData(char* data, size_t size, size_t count, void* user) {
  auto& piece = *static_cast<Piece*>(user);
  return piece.owner->Write(piece, data, size * count);
}

size_t OnPieceHeader(char* data, size_t size, size_t count, void* user) {
  auto& piece = *static_cast<Piece*>(user);
  piece.owner->Header(piece, data, size * count);
  return size * count;
}

void SegmentedDownload::Header(Piece& piece, const char* data, size_t size) {
  // Each response of a redirect chain starts over with its status line.
  if (size >= 5 && std::string(data, 5) == "HTTP/") {
    piece.contentRange.clear();
    piece.retryAfter.clear();
    return;
  }
  if (std::string value = HeaderValue(data, size, "content-range"); !value.empty()) {
    piece.contentRange = value;
  }
  if (std::string value = HeaderValue(data, size, "retry-after"); !value.empty()) {
    piece.retryAfter = value;
  }
}

size_t SegmentedDownload::Write(Piece& piece, const char* data, size_t size) {
  if (!piece.checked) {
    curl_easy_getinfo(piece.curl.get(), CURLINFO_RESPONSE_CODE, &piece.status);
    uint64_t first = 0;
    uint64_t last = 0;
    uint64_t total = 0;
    const bool ranged = piece.status == 206 &&
                        ParseContentRange(piece.contentRange, &first, &last, &total) &&
                        first == piece.start && (!total_ || *total_ == total);
    if (!ranged || (task_.maxBytes && total > *task_.maxBytes)) {
      piece.refused = true;
      return 0;
    }
    if (!total_) total_ = total;
    piece.end = std::min({piece.end, last + 1, *total_});
    piece.checked = true;
    rangeAnswered_ = true;
    pacer_.Start(NowMs(), received_);
    pacer_.Answered(NowMs(), received_);
  }
  const size_t wanted = static_cast<size_t>(std::min<uint64_t>(size, piece.end - piece.position));
  if (!platform::WriteAt(file_.get(), piece.position, data, wanted)) {
    writeFailed_ = true;
    return 0;
  }
  if (piece.position == digests_.Through()) digests_.Add(data, wanted);
  piece.position += wanted;
  received_ += wanted;
  // Past the range asked for the server is not answering what it was asked: stop there.
  return wanted == size ? size : 0;
}

bool SegmentedDownload::Prepare() {
  const std::optional<PackageParts> parts =
      task_.resumeOffset != 0 ? ReadPackageParts(task_.localPath) : std::nullopt;
  const bool partsFit = parts && platform::PathExists(task_.localPath) &&
                        (!task_.maxBytes || *task_.maxBytes == parts->packageBytes);
  if (partsFit) {
    done_ = parts->written;
    total_ = parts->packageBytes;
    file_.reset(platform::OpenFile(task_.localPath, "rb+"));
  } else {
    // Without the list the file is what one connection wrote: a prefix.
    platform::RemoveFile(PackagePartsPath(task_.localPath));
    if (task_.resumeOffset != 0 && platform::FileSize(task_.localPath) == task_.resumeOffset) {
      done_.Add(0, task_.resumeOffset);
      file_.reset(platform::OpenFile(task_.localPath, "rb+"));
    } else if (task_.resumeOffset == 0) {
      file_.reset(platform::OpenFile(task_.localPath, "wb+"));
    }
  }
  if (file_ == nullptr) return false;
  keptAtStart_ = done_.CoveredBytes();
  multi_ = curl_multi_init();
  return multi_ != nullptr;
}

ByteRanges SegmentedDownload::WrittenNow() const {
  ByteRanges written = done_;
  for (const Piece& piece : pieces_) written.Add(piece.start, piece.position);
  return written;
}

uint64_t SegmentedDownload::ContiguousEnd() const { return WrittenNow().EndOfRunFrom(0); }

bool SegmentedDownload::StartPiece(size_t source, uint64_t start, uint64_t end) {
  Piece& piece = pieces_.emplace_back();
  piece.owner = this;
  piece.source = source;
  piece.start = piece.position = start;
  piece.end = end;
  piece.curl.reset(curl_easy_init());
  CURL* curl = piece.curl.get();
  if (curl == nullptr) {
    pieces_.pop_back();
    return false;
  }
  SetPackageTransferOptions(curl, sources_[source].url);
  const std::string range = std::to_string(start) + "-" + std::to_string(end - 1);
  curl_easy_setopt(curl, CURLOPT_RANGE, range.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnPieceData);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &piece);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &OnPieceHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &piece);
  curl_easy_setopt(curl, CURLOPT_PRIVATE, &piece);
  if (curl_multi_add_handle(multi_, curl) != CURLM_OK) {
    pieces_.pop_back();
    return false;
  }
  return true;
}

void SegmentedDownload::Schedule(int64_t now) {
  // Until the first answer names the size, one connection asks from the end of the prefix.
  const int wanted = total_ ? pacer_.Target() : 1;
  while (Active() < wanted) {
    ByteRanges taken = done_;
    uint64_t inFlight = 0;
    for (const Piece& piece : pieces_) {
      taken.Add(piece.start, piece.end);
      inFlight += piece.end - piece.position;
    }
    const uint64_t prefix = ContiguousEnd();
    const uint64_t limit = total_ ? std::min(*total_, prefix + kWindowBytes) : prefix + kPieceBytes;
    auto [start, end] = taken.FirstGap(prefix, limit);
    if (start >= end) return;
    uint64_t share = kPieceBytes;
    if (total_) {
      const uint64_t left = *total_ - std::min(*total_, taken.CoveredBytes()) + inFlight;
      share = std::clamp<uint64_t>(left / static_cast<uint64_t>(wanted), kSmallestPiece, kPieceBytes);
    }
    end = std::min(end, start + share);
    size_t source = sources_.size();
    for (size_t i = 0; i < sources_.size(); ++i) {
      const size_t candidate = (nextSource_ + i) % sources_.size();
      if (!sources_[candidate].failed && sources_[candidate].notBeforeMs <= now) {
        source = candidate;
        break;
      }
    }
    if (source == sources_.size()) return;
    nextSource_ = source + 1;
    if (!StartPiece(source, start, end)) return;
  }
}

void SegmentedDownload::Finish(std::list<Piece>::iterator piece, CURLcode code, int64_t now) {
  curl_multi_remove_handle(multi_, piece->curl.get());
  long status = piece->status;
  if (status == 0) curl_easy_getinfo(piece->curl.get(), CURLINFO_RESPONSE_CODE, &status);
  done_.Add(piece->start, piece->position);
  const bool complete = code == CURLE_OK && piece->checked && piece->position == piece->end;
  // A finished piece is written down at once: a kill then loses only pieces in flight.
  if (complete) partsSaved_ = false;
  Source& source = sources_[piece->source];
  if (!complete && (status == 429 || status == 503) && !piece->retryAfter.empty()) {
    const long long seconds = std::atoll(piece->retryAfter.c_str());
    source.notBeforeMs = now + std::clamp<int64_t>(seconds * 1000, 1000, kLongestRetryAfterMs);
    pacer_.Busy(now, received_, Active(), source.notBeforeMs);
    platform::Diagnostic("download: %ld from %s, %d connections from now on\n", status,
                         source.url.c_str(), pacer_.Target());
  } else if (piece->refused && !rangeAnswered_) {
    fallBack_ = true;  // the first answer of this run was no usable range
  } else if (!complete) {
    // The pieces of a source that failed go to the others; its written bytes stay.
    source.failed = true;
    lastCode_ = code == CURLE_OK ? CURLE_PARTIAL_FILE : code;
    lastStatus_ = status;
    // The last one's failure is the download's, told once by Conclude.
    if (std::any_of(sources_.begin(), sources_.end(), [](const Source& s) { return !s.failed; })) {
      platform::Diagnostic("download: %s failed (curl_code %d, ret_code %ld) at byte %llu, the "
                           "other servers go on\n", source.url.c_str(), static_cast<int>(code),
                           status, static_cast<unsigned long long>(piece->position));
    }
  }
  pieces_.erase(piece);
}

void SegmentedDownload::CatchUpDigests(uint64_t upTo) {
  digests_.AddFromFile(file_.get(), std::min(upTo, digests_.Through() + kCatchUpBytes));
}

void SegmentedDownload::TellPrefix(bool force) {
  // Until a server has answered with a range, the kept bytes may yet be written over from the
  // first one (the one-connection road, for a server that ignores ranges): a reader told of them
  // would be following bytes that go away.
  if (!task_.prefixWritten || (!rangeAnswered_ && !force)) return;
  const uint64_t prefix = ContiguousEnd();
  if (prefix <= toldPrefix_ || (!force && prefix - toldPrefix_ < kTellPrefixEveryBytes)) return;
  // The reader opens the file on its own: the bytes must have left this stream's buffer. Written
  // back as it grows, the package is not left for the install's final sync to write.
  if (!Flush()) return;
  platform::StartWriteBack(file_.get());
  toldPrefix_ = prefix;
  task_.prefixWritten(prefix);
}

void SegmentedDownload::Report(bool force, int64_t now) {
  if (!total_ || (!force && now - lastReportMs_ < kReportEveryMs)) return;
  lastReportMs_ = now;
  const double base = static_cast<double>(task_.resumeOffset);
  task_.callback("trans", "", static_cast<double>(keptAtStart_ + received_) - base,
                 static_cast<double>(*total_) - base);
}

bool SegmentedDownload::Run() {
  if (!Prepare()) return false;
  int64_t now = NowMs();
  lastSaveMs_ = now;
  bool finished = false;
  while (!fallBack_ && !writeFailed_) {
    Schedule(now);
    if (pieces_.empty()) {
      finished = total_ && done_.EndOfRunFrom(0) >= *total_;
      const bool waiting = std::any_of(sources_.begin(), sources_.end(), [](const Source& s) {
        return !s.failed;
      });
      if (finished || !waiting) break;
    }
    int running = 0;
    curl_multi_perform(multi_, &running);
    int queued = 0;
    int ended = 0;
    now = NowMs();
    while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
      if (message->msg != CURLMSG_DONE) continue;
      const auto piece = std::find_if(pieces_.begin(), pieces_.end(), [&](const Piece& p) {
        return p.curl.get() == message->easy_handle;
      });
      if (piece == pieces_.end()) continue;
      Finish(piece, message->data.result, now);
      ++ended;
    }
    CatchUpDigests(ContiguousEnd());
    TellPrefix(false);
    pacer_.Tick(now, received_, Active());
    Report(false, now);
    // Saved as soon as the size is known, before a second connection can write past the
    // prefix: a file with gaps never goes without its list.
    if (total_ && (!partsSaved_ || now - lastSaveMs_ >= kSavePartsEveryMs)) {
      partsSaved_ = true;
      lastSaveMs_ = now;
      // A list naming bytes the system refused to write would pass them off as kept.
      if (!Flush()) break;
      PackageParts parts{*total_, WrittenNow()};
      // The first list must be on the disk before a second connection writes past the prefix;
      // later lists only add to it.
      if (listed_) {
        saver_.SaveSoon(std::move(parts));
      } else {
        listed_ = saver_.SaveNow(parts);
      }
    }
    // A piece that ended frees its connection for the next one at once: waiting here first
    // would leave that connection (with one, the line) idle until the wait timed out. Without
    // transfers (a Retry-After in force) this is the wait.
    if (ended == 0) curl_multi_poll(multi_, nullptr, 0, 100, nullptr);
  }
  if (fallBack_) return false;
  finished = Flush() && finished;
  if (finished) {
    while (!digests_.Lost() && digests_.Through() < *total_) CatchUpDigests(*total_);
    Report(true, now);
    TellPrefix(true);
  }
  Conclude(finished, lastCode_, lastStatus_);
  return true;
}

void SegmentedDownload::Conclude(bool success, CURLcode code, long status) {
  const std::optional<DownloadDigests> digests =
      success ? digests_.Finish() : std::optional<DownloadDigests>();
  // The close writes what the stream still holds; a package that did not reach the disk is no
  // success, and the list saved last still names what did.
  saver_.Stop();
  if (success && !CloseFile(file_)) {
    writeFailed_ = true;
    success = false;
  } else if (success) {
    platform::RemoveFile(PackagePartsPath(task_.localPath));
  } else if (total_ && !writeFailed_) {
    SavePackageParts(task_.localPath, PackageParts{*total_, done_});
  }
  file_.reset();
  const bool writeFailed = writeFailed_;
  if (success) {
    platform::Diagnostic("download succ from %s to %s", task_.url.c_str(), task_.localPath.c_str());
    if (digests && task_.digests) task_.digests(*digests);
    task_.callback("succ", "", 0, 0);
    return;
  }
  const std::string reason = writeFailed ? "can not write local file " + task_.localPath
                                         : std::string(curl_easy_strerror(code));
  const std::string message =
      FormatMessage("curl perform fail, curl_code %d (%s), ret_code %d",
                    static_cast<int>(writeFailed ? CURLE_WRITE_ERROR : code), reason.c_str(),
                    static_cast<int>(status));
  platform::Diagnostic("%s", message.c_str());
  task_.callback("fail", message, static_cast<double>(writeFailed ? CURLE_WRITE_ERROR : code),
                 static_cast<double>(status));
}

}  // namespace

void HttpUtil::DownloadPackage(const DownloadTask& task) {
  bool handled = false;
  {
    SegmentedDownload download(task);
    handled = download.Run();
  }
  if (handled) return;
  // The one-connection road from the end of the prefix; a file with bytes past it (written by
  // pieces ahead) cannot be appended to and starts over.
  platform::RemoveFile(PackagePartsPath(task.localPath));
  DownloadTask single = task;
  const uint64_t prefix = platform::PathExists(task.localPath) ? platform::FileSize(task.localPath) : 0;
  if (task.resumeOffset != prefix) single.resumeOffset = 0;
  DownloadFile(single);
}
