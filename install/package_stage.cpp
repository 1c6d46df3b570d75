#include "install/package_stage.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

#include "fs/directory.h"
#include "fs/parent_folders.h"
#include "install/installed_path.h"
#include "install/zip_crc.h"
#include "install/zip_fields.h"
#include "install/zip_util.h"
#include "platform/diagnostics.h"
#include "platform/disk.h"
#include "platform/file_seek.h"
#include "platform/files.h"
#include "platform/utf8_files.h"

namespace {

using namespace zip_fields;

// Read and inflate in steps of this much: two buffers are all the memory an inflater holds.
constexpr size_t kChunkBytes = 256u << 10;
// More would only share the same few cores with the download.
constexpr unsigned kMostInflaters = 4;
constexpr size_t kQueuedJobsPerInflater = 2;
constexpr uint16_t kEncryptedFlag = 0x0001;
// Sizes and CRC follow the data: a stored entry's end cannot be found from its header.
constexpr uint16_t kDescriptorFlag = 0x0008;

void RemoveTree(const std::string& narrow) {
  if (!platform::DirectoryExists(narrow)) return;
  ClearPackageFolder(narrow);
  platform::RemoveEmptyDirectory(narrow);
}

}  // namespace

PackageStage::PackageStage(std::string packagePath, std::string stageDir, uint64_t packageBytes,
                           unsigned inflaters)
    : packagePath_(std::move(packagePath)),
      stageDir_(std::move(stageDir)),
      packageBytes_(packageBytes),
      inflaterCount_(inflaters > 0
                         ? inflaters
                         : std::clamp(std::thread::hardware_concurrency(), 1u, kMostInflaters)),
      folders_(platform::utf8::FromNarrow(stageDir_)) {}

PackageStage::~PackageStage() { Stop(); }

bool PackageStage::Start() {
  // Whatever an earlier run staged was never checked against a digest; it is not reused.
  RemoveTree(stageDir_);
  if (platform::MakeDirectory(stageDir_) == platform::MakeDirResult::Failed) return false;
  try {
    scanner_ = std::thread([this] { Scan(); });
    for (unsigned i = 0; i < inflaterCount_; ++i) {
      inflaters_.emplace_back([this] { RunInflater(); });
    }
  } catch (const std::system_error&) {
    Stop();
    return false;
  }
  return true;
}

void PackageStage::PrefixWritten(uint64_t prefixBytes) {
  {
    std::lock_guard lock(mutex_);
    prefix_ = std::max(prefix_, prefixBytes);
  }
  changed_.notify_all();
}

std::vector<StagedEntry> PackageStage::Finish() {
  {
    std::lock_guard lock(mutex_);
    ended_ = true;
  }
  changed_.notify_all();
  JoinAll();
  std::vector<StagedEntry> kept;
  for (size_t i = 0; i < staged_.size(); ++i) {
    StagedEntry& entry = staged_[i];
    if (entry.stagedPath.empty()) continue;
    // Bytes that did not add up end the stage where they stand, as a stage reading one entry
    // after another would have stopped there; the package's digest will tell.
    if (i > firstBroken_) {
      platform::utf8::RemoveFile(entry.stagedPath);
      continue;
    }
    kept.push_back(std::move(entry));
  }
  platform::Diagnostic("stage: %zu files staged, stopped at byte %llu of %llu\n", kept.size(),
                       static_cast<unsigned long long>(scannedTo_),
                       static_cast<unsigned long long>(packageBytes_));
  staged_.clear();
  return kept;
}

void PackageStage::Stop() {
  {
    std::lock_guard lock(mutex_);
    ended_ = stopped_ = true;
  }
  changed_.notify_all();
  JoinAll();
}

void PackageStage::JoinAll() {
  if (scanner_.joinable()) scanner_.join();
  for (std::thread& inflater : inflaters_) {
    if (inflater.joinable()) inflater.join();
  }
  inflaters_.clear();
  jobs_.clear();  // a stop leaves jobs nobody took
}

void PackageStage::Discard() {
  Stop();
  staged_.clear();
  RemoveTree(stageDir_);
}

void PackageStage::Scan() {
  uint64_t offset = 0;
  try {
    while (StageNext(offset)) {
    }
  } catch (const std::exception& e) {
    // What was handed out stays valid; the rest is extracted from the package.
    platform::Diagnostic("stage: stopped: %s\n", e.what());
  }
  scanReader_.file.reset();
  {
    std::lock_guard lock(mutex_);
    scanned_ = true;
    scannedTo_ = offset;
  }
  changed_.notify_all();
}

void PackageStage::RunInflater() {
  Reader reader;
  for (;;) {
    Job job;
    StagedEntry entry;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stopped_ || scanned_ || !jobs_.empty(); });
      if (stopped_ || jobs_.empty()) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
      entry = staged_[job.index];
    }
    changed_.notify_all();  // room for the scanner's next job
    Outcome outcome = Outcome::Broken;
    try {
      outcome = Inflate(reader, job, entry);
    } catch (const std::exception& e) {
      platform::Diagnostic("stage: %s: %s\n", entry.name.c_str(), e.what());
    }
    job.out.reset();
    const std::string path = job.path;
    if (outcome != Outcome::Staged) platform::utf8::RemoveFile(path);
    {
      std::lock_guard lock(mutex_);
      pendingBytes_ -= entry.uncompressedBytes;
      if (outcome == Outcome::Staged) {
        staged_[job.index].stagedPath = path;
      } else {
        firstBroken_ = std::min(firstBroken_, job.index);
      }
    }
    changed_.notify_all();
  }
}

bool PackageStage::WaitFor(uint64_t end) {
  if (end > packageBytes_) return false;
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return stopped_ || ended_ || prefix_ >= end; });
  return !stopped_ && prefix_ >= end;
}

bool PackageStage::ReadAt(Reader& reader, uint64_t offset, char* out, size_t bytes) {
  if (!WaitFor(offset + bytes)) return false;
  // Opened once the first bytes are there: the download makes the file. Unbuffered: a buffer
  // filled past the prefix would hold bytes the download had not written yet, and a later seek
  // inside it would read them instead of the file.
  if (reader.file == nullptr) {
    reader.file.reset(platform::OpenFile(packagePath_, "rb"));
    if (reader.file != nullptr) std::setvbuf(reader.file.get(), nullptr, _IONBF, 0);
  }
  if (reader.file == nullptr || !platform::SeekFromStart(reader.file.get(), offset)) return false;
  return std::fread(out, 1, bytes, reader.file.get()) == bytes;
}

bool PackageStage::HasRoomFor(uint64_t bytes, uint64_t offset) {
  const std::optional<uint64_t> free = platform::FreeDiskBytes(stageDir_);
  if (!free.has_value()) return true;  // the extraction's own check still stands after
  const uint64_t toCome = packageBytes_ > offset ? packageBytes_ - offset : 0;
  uint64_t pending = 0;
  {
    std::lock_guard lock(mutex_);
    pending = pendingBytes_;
  }
  return *free >= bytes + pending + toCome + kStageSpareBytes;
}

bool PackageStage::StageNext(uint64_t& offset) {
  char head[kLocalHeaderBytes];
  if (!ReadAt(scanReader_, offset, head, sizeof head)) return false;
  const std::string_view h(head, sizeof head);
  // The central directory, or anything else: the entries end here.
  if (Le32(h, 0) != kLocalSignature) return false;
  const uint16_t flags = Le16(h, 6);
  const uint16_t method = Le16(h, 8);
  StagedEntry entry;
  entry.localHeaderOffset = offset;
  entry.crc32 = Le32(h, 14);
  entry.compressedBytes = Le32(h, 18);
  entry.uncompressedBytes = Le32(h, 22);
  const size_t nameBytes = Le16(h, 26);
  const size_t extraBytes = Le16(h, 28);
  if ((flags & (kEncryptedFlag | kDescriptorFlag)) != 0 || (method != 0 && method != 8) ||
      nameBytes == 0 || nameBytes > kMaxEntryNameBytes) {
    return false;
  }
  std::string nameAndExtra(nameBytes + extraBytes, '\0');
  if (!ReadAt(scanReader_, offset + kLocalHeaderBytes, nameAndExtra.data(), nameAndExtra.size())) {
    return false;
  }
  entry.name = nameAndExtra.substr(0, nameBytes);
  // Zip64: the saturated sizes are in the extra field, uncompressed first.
  if (entry.uncompressedBytes == kMore32 || entry.compressedBytes == kMore32) {
    const std::string_view extra = std::string_view(nameAndExtra).substr(nameBytes);
    bool found = false;
    for (size_t at = 0; at + 4 <= extra.size();) {
      const uint16_t id = Le16(extra, at);
      const size_t size = Le16(extra, at + 2);
      if (at + 4 + size > extra.size()) break;
      if (id == kZip64ExtraId) {
        size_t field = at + 4;
        const auto take = [&](uint64_t& value) {
          if (value != kMore32) return true;
          if (field + 8 > at + 4 + size) return false;
          value = Le64(extra, field);
          field += 8;
          return true;
        };
        found = take(entry.uncompressedBytes) && take(entry.compressedBytes);
        break;
      }
      at += 4 + size;
    }
    if (!found) return false;
  }
  const uint64_t dataOffset = offset + kLocalHeaderBytes + nameAndExtra.size();
  if (entry.compressedBytes > packageBytes_ || dataOffset > packageBytes_ - entry.compressedBytes ||
      (method == 0 && entry.compressedBytes != entry.uncompressedBytes)) {
    return false;
  }
  offset = dataOffset + entry.compressedBytes;

  const std::optional<std::string> path = InstalledPathOf(stageDir_, entry.name);
  if (!path.has_value()) return true;  // the extraction refuses it, with its own message
  folders_.MakeFor(*path);
  if (IsFolderEntry(entry.name)) return true;
  // Which of two entries for one file stays is the extraction's to follow, in archive order.
  if (!keys_.insert(FileSystemKey(entry.name)).second) return false;
  if (!HasRoomFor(entry.uncompressedBytes, offset)) {
    platform::Diagnostic("stage: no room for %s, the rest is extracted after the download\n",
                         entry.name.c_str());
    return false;
  }
  Job job;
  job.dataOffset = dataOffset;
  job.method = method;
  job.path = *path;
  job.out.reset(platform::utf8::OpenForWriting(*path));
  // A name this system cannot hold is left to the extraction.
  if (job.out == nullptr) return true;
  {
    std::unique_lock lock(mutex_);
    // A few jobs ahead of the inflaters: each holds an open file.
    changed_.wait(lock, [&] {
      return stopped_ || firstBroken_ != SIZE_MAX ||
             jobs_.size() < kQueuedJobsPerInflater * inflaterCount_;
    });
    if (stopped_ || firstBroken_ != SIZE_MAX) {
      lock.unlock();
      job.out.reset();
      platform::utf8::RemoveFile(*path);
      return false;
    }
    job.index = staged_.size();
    staged_.push_back(std::move(entry));
    pendingBytes_ += staged_.back().uncompressedBytes;
    jobs_.push_back(std::move(job));
  }
  changed_.notify_all();
  return true;
}

PackageStage::Outcome PackageStage::Inflate(Reader& reader, Job& job, const StagedEntry& entry) {
  const int method = job.method;
  std::FILE* out = job.out.get();
  z_stream stream{};
  if (method == 8 && inflateInit2(&stream, -MAX_WBITS) != Z_OK) return Outcome::Broken;
  struct End {
    z_stream* stream;
    ~End() {
      if (stream != nullptr) inflateEnd(stream);
    }
  } end{method == 8 ? &stream : nullptr};

  std::vector<char>& input = reader.input;
  std::vector<char>& output = reader.output;
  input.resize(kChunkBytes);
  output.resize(kChunkBytes);
  uint32_t crc = 0;
  uint64_t produced = 0;
  uint64_t at = job.dataOffset;
  uint64_t left = entry.compressedBytes;
  bool streamEnded = method == 0;
  const auto emit = [&](const char* bytes, size_t size) {
    produced += size;
    if (produced > entry.uncompressedBytes) return false;
    crc = ZipCrc32(crc, bytes, size);
    return std::fwrite(bytes, 1, size, out) == size;
  };
  while (left > 0) {
    const size_t size = static_cast<size_t>(std::min<uint64_t>(left, kChunkBytes));
    if (!ReadAt(reader, at, input.data(), size)) return Outcome::Broken;
    at += size;
    left -= size;
    if (method == 0) {
      if (!emit(input.data(), size)) return Outcome::Broken;
      continue;
    }
    if (streamEnded) return Outcome::Broken;  // bytes past the deflate stream's end
    stream.next_in = reinterpret_cast<Bytef*>(input.data());
    stream.avail_in = static_cast<uInt>(size);
    do {
      stream.next_out = reinterpret_cast<Bytef*>(output.data());
      stream.avail_out = static_cast<uInt>(output.size());
      const int result = inflate(&stream, Z_NO_FLUSH);
      if (result == Z_STREAM_END) {
        streamEnded = true;
      } else if (result != Z_OK) {
        return Outcome::Broken;
      }
      if (!emit(output.data(), output.size() - stream.avail_out)) return Outcome::Broken;
    } while (!streamEnded && (stream.avail_in > 0 || stream.avail_out == 0));
    if (streamEnded && stream.avail_in > 0) return Outcome::Broken;
  }
  const bool flushed = platform::StartWriteBack(out) && platform::FlushFileToDisk(out);
  if (!CloseFile(job.out) || !flushed) return Outcome::Broken;
  const bool whole = streamEnded && produced == entry.uncompressedBytes && crc == entry.crc32;
  return whole ? Outcome::Staged : Outcome::Broken;
}
