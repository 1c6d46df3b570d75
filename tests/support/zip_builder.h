#pragma once
// Builds real zip archives for tests with minizip's writer, entry by entry, stored or deflated.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

enum class ZipMethod { Stored, Deflated };

class ZipBuilder {
 public:
  // The name is written as given (UTF-8, either separator); a name ending in '/' is a folder.
  ZipBuilder& AddFile(const std::string& name, const std::string& content,
                      ZipMethod method = ZipMethod::Deflated);
  ZipBuilder& AddDirectory(const std::string& name);
  // A deflated file recorded as made on Unix with mode 0755, as packers there store programs.
  ZipBuilder& AddExecutable(const std::string& name, const std::string& content);
  // Marks every entry as Zip64, so its local header carries the 64-bit size field.
  ZipBuilder& UseZip64(bool on = true);
  // Sets the flag that says an entry's name is UTF-8 (bit 11) on every entry; names are written
  // as given either way.
  ZipBuilder& FlagNamesAsUtf8(bool on = true);
  // Writes the archive, replacing any file at the path; throws std::runtime_error on failure.
  void WriteTo(const std::string& path) const;

 private:
  struct Entry {
    std::string name;
    std::string content;
    ZipMethod method;
    unsigned unixMode = 0;  // 0: no Unix attributes recorded
  };
  std::vector<Entry> entries_;
  bool zip64_ = false;
  bool utf8Flag_ = false;
};

// Where the named entry's packed data starts in the archive's bytes, found from its local
// header; throws std::runtime_error when no such entry is there.
size_t EntryDataOffset(const std::string& archiveBytes, const std::string& name);

// Rewrites the packed size the named entry's local and central headers give, as a damaged or
// forged archive would; throws std::runtime_error when the entry is not there.
void OverwriteCompressedSize(std::string& archiveBytes, const std::string& name, uint32_t size);
// The same for the unpacked size the headers declare.
void OverwriteUncompressedSize(std::string& archiveBytes, const std::string& name, uint32_t size);

// Text that deflates well, the same for the same size and seed.
std::string CompressibleText(size_t size, unsigned seed = 1);
// Bytes that do not deflate, the same for the same size and seed.
std::string IncompressibleBytes(size_t size, unsigned seed = 1);

}  // namespace testing_support
