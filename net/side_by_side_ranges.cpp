// The ranges cut into pieces, each asked for on whichever connection is free, the count of
// connections set by the rate they reach (as the package download sets it). Pieces that arrive
// ahead of the first one the sink still waits for wait in memory, so connections only work a
// few pieces ahead of it.

#include "net/side_by_side_ranges.h"

#include <algorithm>
#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fs/now_ms.h"
#include "net/connection_pacer.h"
#include "net/curl_transfer.h"
#include "net/range_response.h"
#include "platform/diagnostics.h"

namespace net_detail {

namespace {

constexpr uint64_t kPieceBytes = 2u << 20;
constexpr int kMaxConnections = 8;
// What waits in memory stays within this many pieces from the sink's next one.
constexpr size_t kPiecesAhead = 12;
constexpr int64_t kReportEveryMs = 50;

struct Piece {
  uint64_t start = 0;
  uint64_t end = 0;
  std::string bytes;  // arrived, not yet handed to the sink
  bool done = false;
  bool busy = false;
  int attemptsLeft = kResumeAttempts;
};

// One connection's easy handle and the piece it is working on.
struct Lane {
  Piece* piece = nullptr;
  RangeTask task;  // its sink keeps the bytes in the piece
  RangeState state;
  CurlHandle curl;
  bool answered = false;  // its first response brought bytes
  uint64_t before = 0;    // where the piece stood when this request began
};

class SideBySide {
 public:
  explicit SideBySide(const RangeTask& task) : task_(task), pacer_(kMaxConnections) {
    for (const auto& [start, end] : task.ranges) {
      for (uint64_t at = start; at < end; at += kPieceBytes) {
        Piece& piece = pieces_.emplace_back();
        piece.start = at;
        piece.end = std::min(end, at + kPieceBytes);
        total_ += piece.end - piece.start;
      }
    }
  }

  ~SideBySide() {
    for (Lane& lane : lanes_) {
      if (lane.piece != nullptr) curl_multi_remove_handle(multi_, lane.curl.get());
    }
    lanes_.clear();
    if (multi_ != nullptr) curl_multi_cleanup(multi_);
  }

  void Run() {
    multi_ = curl_multi_init();
    if (multi_ == nullptr) return End("fail", "can not init curl", 0, 0);
    for (;;) {
      if (!HandOver()) return End("fail", "range bytes could not be kept", 0, 0);
      if (front_ == pieces_.size()) break;
      if (!Schedule()) return End("fail", "can not init curl", 0, 0);
      int running = 0;
      curl_multi_perform(multi_, &running);
      int ended = 0;
      int queued = 0;
      while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
        if (message->msg != CURLMSG_DONE) continue;
        const auto lane = std::find_if(lanes_.begin(), lanes_.end(), [&](const Lane& l) {
          return l.curl.get() == message->easy_handle;
        });
        if (lane == lanes_.end()) continue;
        ++ended;
        if (!Finish(*lane, message->data.result)) return;
      }
      Measure();
      // A piece that ended frees its connection for the next one at once.
      if (ended == 0) curl_multi_poll(multi_, nullptr, 0, 100, nullptr);
    }
    if (reported_ != total_) End("trans", "", static_cast<double>(total_), static_cast<double>(total_));
    platform::Diagnostic("ranges succ from %s: %llu bytes in %zu ranges, up to %d connections\n",
                         task_.url.c_str(), static_cast<unsigned long long>(total_),
                         task_.ranges.size(), mostConnections_);
    End("succ", "", static_cast<double>(total_), 0);
  }

 private:
  void End(const std::string& event, const std::string& message, double first, double second) {
    task_.callback(event, message, first, second);
  }

  // The finished pieces at the front go to the sink, and their memory with them.
  bool HandOver() {
    while (front_ < pieces_.size() && pieces_[front_].done) {
      Piece& piece = pieces_[front_];
      if (!task_.sink(piece.start, piece.bytes)) return false;
      std::string().swap(piece.bytes);
      ++front_;
    }
    return true;
  }

  int Active() const {
    return static_cast<int>(std::count_if(lanes_.begin(), lanes_.end(),
                                          [](const Lane& lane) { return lane.piece != nullptr; }));
  }

  bool Schedule() {
    const int wanted = measuring_ ? pacer_.Target() : 1;
    const size_t last = std::min(pieces_.size(), front_ + kPiecesAhead);
    size_t next = front_;
    for (int active = Active(); active < wanted; ++active) {
      while (next < last && (pieces_[next].done || pieces_[next].busy)) ++next;
      if (next == last) return true;
      Lane* lane = IdleLane();
      if (lane == nullptr) return false;
      Begin(*lane, pieces_[next]);
      mostConnections_ = std::max(mostConnections_, active + 1);
    }
    return true;
  }

  // An idle lane keeps its connection; a new one opens another.
  Lane* IdleLane() {
    for (Lane& lane : lanes_) {
      if (lane.piece == nullptr) return &lane;
    }
    Lane& lane = lanes_.emplace_back();
    lane.curl.reset(curl_easy_init());
    CURL* curl = lane.curl.get();
    if (curl == nullptr) {
      lanes_.pop_back();
      return nullptr;
    }
    lane.task.url = task_.url;
    lane.task.objectBytes = task_.objectBytes;
    lane.task.sink = [&lane, this](uint64_t, std::string_view bytes) {
      lane.piece->bytes.append(bytes);
      received_ += bytes.size();
      return true;
    };
    lane.task.callback = [](const std::string&, const std::string&, double, double) {};
    lane.state.task = &lane.task;
    SetPackageTransferOptions(curl, task_.url);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &KeepHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &lane.state);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &ReceiveRange);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &lane.state);
    return &lane;
  }

  void Begin(Lane& lane, Piece& piece) {
    lane.piece = &piece;
    piece.busy = true;
    lane.before = piece.start + piece.bytes.size();
    BeginRangeRequest(lane.state, lane.before, piece.end);
    const std::string range = RangeHeaderValue(lane.before, piece.end);
    curl_easy_setopt(lane.curl.get(), CURLOPT_RANGE, range.c_str());
    curl_multi_add_handle(multi_, lane.curl.get());
  }

  // False when the fetch ended (and the callback heard why).
  bool Finish(Lane& lane, CURLcode code) {
    curl_multi_remove_handle(multi_, lane.curl.get());
    Piece& piece = *lane.piece;
    lane.piece = nullptr;
    piece.busy = false;
    const std::optional<RangeFetchEnd> ended = JudgeRangeAnswer(
        lane.state, code, lane.before, piece.attemptsLeft, piece.start, piece.end);
    if (ended) {
      End(ended->event, ended->message, ended->first, ended->second);
      return false;
    }
    piece.done = lane.state.next == lane.state.end;
    return true;
  }

  // The count of connections follows the rate; progress counts the bytes of all of them.
  void Measure() {
    const int64_t now = NowMs();
    for (Lane& lane : lanes_) {
      if (lane.answered || !lane.state.checked) continue;
      lane.answered = true;
      if (!measuring_) {
        measuring_ = true;
        pacer_.Start(now, received_);
      } else {
        pacer_.Answered(now, received_);
      }
    }
    if (measuring_) pacer_.Tick(now, received_, Active());
    if (received_ != reported_ && now - lastReportMs_ >= kReportEveryMs) {
      reported_ = received_;
      lastReportMs_ = now;
      task_.callback("trans", "", static_cast<double>(received_), static_cast<double>(total_));
    }
  }

  const RangeTask& task_;
  std::vector<Piece> pieces_;
  std::list<Lane> lanes_;  // the addresses libcurl holds stay put
  CURLM* multi_ = nullptr;
  ConnectionPacer pacer_;
  bool measuring_ = false;
  size_t front_ = 0;
  uint64_t total_ = 0;
  uint64_t received_ = 0;
  uint64_t reported_ = 0;
  int64_t lastReportMs_ = 0;
  int mostConnections_ = 0;
};

}  // namespace

void FetchRangesSideBySide(const RangeTask& task) {
  SideBySide fetch(task);
  fetch.Run();
}

}  // namespace net_detail
