#include "tests/support/zip_builder.h"

#include <zip.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace testing_support {
namespace {

uint32_t Little(const std::string& bytes, size_t at, int width) {
  uint32_t value = 0;
  for (int k = width - 1; k >= 0; --k) {
    value = (value << 8) | static_cast<unsigned char>(bytes.at(at + static_cast<size_t>(k)));
  }
  return value;
}

void PutLittle(std::string& bytes, size_t at, uint64_t value, int width) {
  for (int k = 0; k < width; ++k) {
    bytes.at(at + static_cast<size_t>(k)) = static_cast<char>((value >> (8 * k)) & 0xFF);
  }
}

std::string Little(uint64_t value, int width) {
  std::string bytes(static_cast<size_t>(width), '\0');
  PutLittle(bytes, 0, value, width);
  return bytes;
}

// minizip's writer adds the Zip64 end records only for offsets past 4 GiB, not for an entry
// count past 65535, and then leaves the count at 0xFFFF. Readers need the records to learn the
// real count, so they are put in front of the classic end record here.
void AddZip64EndRecords(const std::string& path, uint64_t count) {
  std::string bytes;
  {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  constexpr size_t kEndRecordBytes = 22;
  const size_t end = bytes.size() - kEndRecordBytes;
  if (bytes.compare(end, 4, "PK\x05\x06") != 0)
    throw std::runtime_error("no end record in " + path);
  const uint64_t directoryBytes = Little(bytes, end + 12, 4);
  const uint64_t directoryOffset = Little(bytes, end + 16, 4);
  const uint64_t zip64End = directoryOffset + directoryBytes;

  std::string records = "PK\x06\x06" + Little(44, 8) + Little(45, 2) + Little(45, 2) +
                        Little(0, 4) + Little(0, 4) + Little(count, 8) + Little(count, 8) +
                        Little(directoryBytes, 8) + Little(directoryOffset, 8);
  records += "PK\x06\x07" + Little(0, 4) + Little(zip64End, 8) + Little(1, 4);
  bytes.insert(end, records);

  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot rewrite " + path);
}

}  // namespace

ZipBuilder& ZipBuilder::AddFile(const std::string& name, const std::string& content,
                                ZipMethod method) {
  entries_.push_back({name, content, method});
  return *this;
}

ZipBuilder& ZipBuilder::AddExecutable(const std::string& name, const std::string& content) {
  entries_.push_back({name, content, ZipMethod::Deflated, 0100755});
  return *this;
}

ZipBuilder& ZipBuilder::AddDirectory(const std::string& name) {
  entries_.push_back({name, std::string(), ZipMethod::Stored});
  return *this;
}

ZipBuilder& ZipBuilder::UseZip64(bool on) {
  zip64_ = on;
  return *this;
}

ZipBuilder& ZipBuilder::FlagNamesAsUtf8(bool on) {
  utf8Flag_ = on;
  return *this;
}

void ZipBuilder::WriteTo(const std::string& path) const {
  zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  if (zip == nullptr) throw std::runtime_error("cannot create " + path);
  for (const Entry& entry : entries_) {
    zip_fileinfo info{};
    info.external_fa = static_cast<uLong>(entry.unixMode) << 16;
    const bool deflated = entry.method == ZipMethod::Deflated;
    // "Version made by": 3 (Unix) in the high byte when a Unix mode is recorded, else MS-DOS.
    const uLong madeBy = entry.unixMode != 0 ? (3u << 8) | 20u : 20u;
    int result = zipOpenNewFileInZip4_64(
        zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
        deflated ? Z_DEFLATED : 0, deflated ? Z_DEFAULT_COMPRESSION : 0, 0, -MAX_WBITS,
        DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, madeBy, utf8Flag_ ? 1u << 11 : 0u,
        zip64_ ? 1 : 0);
    if (result == ZIP_OK && !entry.content.empty()) {
      result = zipWriteInFileInZip(zip, entry.content.data(),
                                   static_cast<unsigned>(entry.content.size()));
    }
    if (result == ZIP_OK) result = zipCloseFileInZip(zip);
    if (result != ZIP_OK) {
      zipClose(zip, nullptr);
      throw std::runtime_error("cannot add " + entry.name + " to " + path);
    }
  }
  if (zipClose(zip, nullptr) != ZIP_OK) throw std::runtime_error("cannot finish " + path);
  if (entries_.size() >= 0xFFFF) AddZip64EndRecords(path, entries_.size());
}

size_t EntryDataOffset(const std::string& archiveBytes, const std::string& name) {
  static const std::string kLocalHeader("PK\x03\x04", 4);
  constexpr size_t kFixedHeaderBytes = 30;
  for (size_t at = archiveBytes.find(kLocalHeader); at != std::string::npos;
       at = archiveBytes.find(kLocalHeader, at + 1)) {
    if (at + kFixedHeaderBytes > archiveBytes.size()) break;
    const size_t nameBytes = Little(archiveBytes, at + 26, 2);
    const size_t extraBytes = Little(archiveBytes, at + 28, 2);
    if (archiveBytes.compare(at + kFixedHeaderBytes, nameBytes, name) == 0 &&
        nameBytes == name.size()) {
      return at + kFixedHeaderBytes + nameBytes + extraBytes;
    }
  }
  throw std::runtime_error("no local header for " + name);
}

namespace {

// Puts value into the named entry's local header at localField and into its central record at
// centralField.
void OverwriteHeaderField(std::string& archiveBytes, const std::string& name, size_t localField,
                          size_t centralField, uint32_t value) {
  const size_t local = EntryDataOffset(archiveBytes, name);
  const size_t localHeader = archiveBytes.rfind(std::string("PK\x03\x04", 4), local);
  PutLittle(archiveBytes, localHeader + localField, value, 4);
  static const std::string kCentralHeader("PK\x01\x02", 4);
  constexpr size_t kFixedHeaderBytes = 46;
  for (size_t at = archiveBytes.find(kCentralHeader); at != std::string::npos;
       at = archiveBytes.find(kCentralHeader, at + 1)) {
    if (at + kFixedHeaderBytes > archiveBytes.size()) break;
    const size_t nameBytes = Little(archiveBytes, at + 28, 2);
    if (nameBytes == name.size() &&
        archiveBytes.compare(at + kFixedHeaderBytes, nameBytes, name) == 0) {
      PutLittle(archiveBytes, at + centralField, value, 4);
      return;
    }
  }
  throw std::runtime_error("no central header for " + name);
}

}  // namespace

void OverwriteCompressedSize(std::string& archiveBytes, const std::string& name, uint32_t size) {
  OverwriteHeaderField(archiveBytes, name, 18, 20, size);
}

void OverwriteUncompressedSize(std::string& archiveBytes, const std::string& name, uint32_t size) {
  OverwriteHeaderField(archiveBytes, name, 22, 24, size);
}

std::string CompressibleText(size_t size, unsigned seed) {
  static const char* const kWords[] = {"tide ", "wake ",  "kelp ",  "stone ", "marl ",
                                       "wood ", "shore ", "reef\n", "sand ",  "gull "};
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> pick(0, 9);
  std::string text;
  text.reserve(size + 8);
  while (text.size() < size) text += kWords[pick(random)];
  text.resize(size);
  return text;
}

std::string IncompressibleBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

}  // namespace testing_support
