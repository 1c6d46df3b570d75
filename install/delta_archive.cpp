#include "install/delta_archive.h"

#include <algorithm>
#include <numeric>

#include "core/strings.h"
#include "install/zip_fields.h"
#include "platform/file_seek.h"
#include "platform/files.h"

using namespace zip_fields;

DeltaArchiveWriter::DeltaArchiveWriter(const std::string& path,
                                       const std::vector<ZipDirectoryEntry>& directory,
                                       const std::vector<size_t>& entries, bool resume)
    : path_(path) {
  order_.resize(entries.size());
  std::iota(order_.begin(), order_.end(), size_t{0});
  for (size_t i : entries) {
    if (i >= directory.size()) {
      Fail("no such entry");
      return;
    }
  }
  std::sort(order_.begin(), order_.end(), [&](size_t a, size_t b) {
    return directory[entries[a]].spanStart < directory[entries[b]].spanStart;
  });
  for (size_t k : order_) {
    const ZipDirectoryEntry& entry = directory[entries[k]];
    // The same entry twice, or spans that overlap, could not arrive in one ascending stream.
    if (!spans_.empty() && entry.spanStart < spans_.back()->spanEnd) {
      Fail("overlapping spans: " + entry.name);
      return;
    }
    spans_.push_back(&entry);
  }
  newOffsets_.resize(spans_.size());
  spanSha256_.resize(spans_.size());
  if (resume && platform::PathExists(path)) {
    file_.reset(platform::OpenFile(path, "r+b"));
    if (file_ != nullptr && !Adopt(platform::FileSize(path))) {
      // Bytes of some other attempt: start over.
      current_ = 0;
      spanDone_ = 0;
      spanHead_.clear();
      written_ = 0;
      kept_ = 0;
      file_.reset();
    }
  }
  if (file_ == nullptr) file_.reset(platform::OpenFile(path, "wb"));
  if (file_ == nullptr) Fail("cannot open " + path);
  position_ = ResumeAt();
}

bool DeltaArchiveWriter::Adopt(uint64_t onDisk) {
  // The file holds the spans back to back in archive order, as far as the last run got.
  std::string buffer;
  std::string failure;
  while (current_ < spans_.size() && written_ < onDisk) {
    const ZipDirectoryEntry& span = *spans_[current_];
    const uint64_t take = std::min(span.spanEnd - span.spanStart, onDisk - written_);
    newOffsets_[current_] = written_;
    if (!hash_.Begin(&failure)) return false;
    for (uint64_t done = 0; done < take;) {
      buffer.resize(static_cast<size_t>(std::min<uint64_t>(take - done, 1 << 20)));
      if (std::fread(buffer.data(), 1, buffer.size(), file_.get()) != buffer.size()) return false;
      if (done == 0) {
        // Its local header: the signature and, once whole, the entry's own name.
        const size_t nameAt = kLocalHeaderBytes;
        if (buffer.size() >= 4 && Le32(buffer, 0) != kLocalSignature) return false;
        if (buffer.size() >= nameAt + span.name.size() &&
            (Le16(buffer, 26) != span.name.size() ||
             buffer.compare(nameAt, span.name.size(), span.name) != 0)) {
          return false;
        }
        spanHead_ = buffer.substr(0, 4);
      }
      if (!hash_.Update(buffer.data(), buffer.size(), &failure)) return false;
      done += buffer.size();
    }
    written_ += take;
    kept_ += take;
    spanDone_ = take;
    if (take == span.spanEnd - span.spanStart && !EndSpan()) return false;
  }
  return platform::SeekFromStart(file_.get(), written_);
}

uint64_t DeltaArchiveWriter::ResumeAt() const {
  if (current_ >= spans_.size()) return spans_.empty() ? 0 : spans_.back()->spanEnd;
  return spans_[current_]->spanStart + spanDone_;
}

DeltaArchiveWriter::~DeltaArchiveWriter() = default;

bool DeltaArchiveWriter::Fail(std::string message) {
  if (!failed_) failure_ = std::move(message);
  failed_ = true;
  file_.reset();
  return false;
}

bool DeltaArchiveWriter::Append(std::string_view bytes) {
  if (bytes.empty()) return true;
  std::string failure;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) {
    return Fail("write error");
  }
  if (!hash_.Update(bytes.data(), bytes.size(), &failure)) return Fail(failure);
  written_ += bytes.size();
  // Each span must begin with a local header: anything else means the server sent other bytes.
  if (spanHead_.size() < 4) {
    spanHead_.append(bytes.substr(0, 4 - spanHead_.size()));
    if (spanHead_.size() == 4 && Le32(spanHead_, 0) != kLocalSignature) {
      return Fail("no local header at the start of " + spans_[current_]->name);
    }
  }
  return true;
}

bool DeltaArchiveWriter::EndSpan() {
  platform::Sha256::Digest digest{};
  std::string failure;
  if (!hash_.Finish(&digest, &failure)) return Fail(failure);
  spanSha256_[order_[current_]] = LowerHex(digest.data(), digest.size());
  ++current_;
  spanDone_ = 0;
  spanHead_.clear();
  return true;
}

bool DeltaArchiveWriter::Write(uint64_t archiveOffset, std::string_view data) {
  if (failed_) return false;
  if (finished_) return Fail("bytes after the end");
  if (archiveOffset < position_) return Fail("bytes out of order");
  const uint64_t end = archiveOffset + data.size();
  while (current_ < spans_.size() && spans_[current_]->spanStart < end) {
    const ZipDirectoryEntry& span = *spans_[current_];
    const uint64_t next = span.spanStart + spanDone_;
    if (next < archiveOffset) return Fail("bytes missing in " + span.name);
    if (spanDone_ == 0) {
      newOffsets_[current_] = written_;
      std::string failure;
      if (!hash_.Begin(&failure)) return Fail(failure);
    }
    const uint64_t upTo = std::min(span.spanEnd, end);
    if (!Append(data.substr(static_cast<size_t>(next - archiveOffset),
                            static_cast<size_t>(upTo - next)))) {
      return false;
    }
    spanDone_ += upTo - next;
    if (upTo < span.spanEnd) break;
    if (!EndSpan()) return false;
  }
  position_ = end;
  return true;
}

bool DeltaArchiveWriter::Finish(std::string& error) {
  if (!failed_ && finished_) return Fail("finished twice");
  if (!failed_ && current_ < spans_.size()) {
    Fail("bytes missing in " + spans_[current_]->name);
  }
  if (failed_) {
    error = failure_;
    return false;
  }
  finished_ = true;

  std::string records;
  for (size_t i = 0; i < spans_.size(); ++i) {
    std::string record = spans_[i]->centralRecord;
    const std::optional<Zip64Fields> zip64 = FindZip64Fields(record);
    if (!zip64) {
      Fail("bad central record: " + spans_[i]->name);
      error = failure_;
      return false;
    }
    // Spans only move towards the start, so the offset fits where the old one was kept.
    if (zip64->offsetAt) {
      Put(record, *zip64->offsetAt, newOffsets_[i], 8);
    } else {
      Put(record, kCentralOffsetAt, newOffsets_[i], 4);
    }
    records += record;
  }
  const uint64_t directoryOffset = written_;
  const uint64_t count = spans_.size();
  std::string end;
  const bool needZip64 =
      count >= kMore16 || records.size() >= kMore32 || directoryOffset >= kMore32;
  if (needZip64) {
    const uint64_t recordOffset = directoryOffset + records.size();
    zip_fields::Append(end, kZip64EndSignature, 4);
    zip_fields::Append(end, kZip64EndBytes - 12, 8);
    zip_fields::Append(end, 45, 2);  // made by: version 4.5, the first with Zip64
    zip_fields::Append(end, 45, 2);  // needed to extract
    zip_fields::Append(end, 0, 4);   // this disk
    zip_fields::Append(end, 0, 4);   // the directory's disk
    zip_fields::Append(end, count, 8);
    zip_fields::Append(end, count, 8);
    zip_fields::Append(end, records.size(), 8);
    zip_fields::Append(end, directoryOffset, 8);
    zip_fields::Append(end, kZip64LocatorSignature, 4);
    zip_fields::Append(end, 0, 4);
    zip_fields::Append(end, recordOffset, 8);
    zip_fields::Append(end, 1, 4);  // disks in all
  }
  zip_fields::Append(end, kEndSignature, 4);
  zip_fields::Append(end, 0, 2);
  zip_fields::Append(end, 0, 2);
  zip_fields::Append(end, std::min<uint64_t>(count, kMore16), 2);
  zip_fields::Append(end, std::min<uint64_t>(count, kMore16), 2);
  zip_fields::Append(end, std::min<uint64_t>(records.size(), kMore32), 4);
  zip_fields::Append(end, std::min<uint64_t>(directoryOffset, kMore32), 4);
  zip_fields::Append(end, 0, 2);  // no comment
  const std::string tailBytes = records + end;
  if (std::fwrite(tailBytes.data(), 1, tailBytes.size(), file_.get()) != tailBytes.size() ||
      std::fflush(file_.get()) != 0 || !CloseFile(file_)) {
    Fail("write error");
    error = failure_;
    return false;
  }
  // A resumed file that an earlier run had finished already ends here too; one that ran longer
  // held something else.
  if (platform::FileSize(path_) != written_ + tailBytes.size()) {
    Fail("bytes past the end of " + path_);
    error = failure_;
    return false;
  }
  return true;
}

const std::vector<std::string>& DeltaArchiveWriter::SpanSha256() const { return spanSha256_; }
