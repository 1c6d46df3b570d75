#include "install/package_manifest.h"

#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <type_traits>
#include <unordered_map>

#include "fs/text_file.h"
#include "install/installed_path.h"
#include "platform/files.h"
#include "platform/utf8_files.h"

namespace {

constexpr std::string_view kFormatLine = "tidewake-manifest 1";

// Fields are separated by TAB and lines by LF; such names cannot be written, so they are left
// out and their entries are always fetched.
bool NameFitsALine(const std::string& name) {
  return name.find_first_of("\t\r\n") == std::string::npos;
}

// The next TAB-ended field of line from at on; false when there is none.
bool NextField(std::string_view line, size_t& at, std::string_view& field) {
  const size_t tab = line.find('\t', at);
  if (tab == std::string_view::npos) return false;
  field = line.substr(at, tab - at);
  at = tab + 1;
  return true;
}

template <class Number>
bool ParseNumber(std::string_view text, Number& value, int base) {
  if (text.empty() || text.size() > 20) return false;
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  if constexpr (std::is_signed_v<Number>) {
    if (!(copy[0] == '-' || (copy[0] >= '0' && copy[0] <= '9'))) return false;
    value = static_cast<Number>(std::strtoll(copy.c_str(), &end, base));
  } else {
    if (!std::isxdigit(static_cast<unsigned char>(copy[0]))) return false;
    value = static_cast<Number>(std::strtoull(copy.c_str(), &end, base));
  }
  return end == copy.c_str() + copy.size() && errno != ERANGE;
}

bool ParseLine(std::string_view line, ManifestEntry& entry) {
  size_t at = 0;
  std::string_view crc, uncompressed, installed, mtime;
  if (!NextField(line, at, crc) || !NextField(line, at, uncompressed) ||
      !NextField(line, at, installed) || !NextField(line, at, mtime)) {
    return false;
  }
  uint64_t crcValue = 0;
  if (crc.size() != 8 || !ParseNumber(crc, crcValue, 16)) return false;
  entry.crc32 = static_cast<uint32_t>(crcValue);
  entry.name.assign(line.substr(at));
  return !entry.name.empty() && ParseNumber(uncompressed, entry.uncompressedBytes, 10) &&
         ParseNumber(installed, entry.installedBytes, 10) &&
         ParseNumber(mtime, entry.installedMtime, 10);
}

}  // namespace

std::vector<ManifestEntry> ReadPackageManifest(const std::string& path) {
  const std::string text = ReadTextFile(path);
  std::string_view rest = text;
  if (rest.substr(0, kFormatLine.size() + 1) != std::string(kFormatLine) + "\n") return {};
  rest.remove_prefix(kFormatLine.size() + 1);
  std::vector<ManifestEntry> entries;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    // A last line without its end was cut short.
    if (end == std::string_view::npos) return {};
    ManifestEntry entry{};
    if (!ParseLine(rest.substr(0, end), entry)) return {};
    entries.push_back(std::move(entry));
    rest.remove_prefix(end + 1);
  }
  return entries;
}

bool WritePackageManifest(const std::string& path, const std::string& installDir,
                          const std::vector<ZipDirectoryEntry>& entries,
                          const std::vector<ManifestEntry>& kept) {
  // Two names for one file leave it holding the later entry; neither line could be trusted.
  std::unordered_map<std::string, int> uses;
  for (const ZipDirectoryEntry& entry : entries) ++uses[FileSystemKey(entry.name)];
  std::unordered_map<std::string_view, const ManifestEntry*> keptByName;
  for (const ManifestEntry& file : kept) keptByName[file.name] = &file;
  std::string text(kFormatLine);
  text += '\n';
  for (const ZipDirectoryEntry& entry : entries) {
    if (IsFolderEntry(entry.name) || !NameFitsALine(entry.name) ||
        uses[FileSystemKey(entry.name)] != 1) {
      continue;
    }
    const std::optional<std::string> file = InstalledPathOf(installDir, entry.name);
    if (!file) continue;
    // A file that is not as the entry says (gone already, or changed) is fetched next time.
    const std::optional<platform::utf8::FileStamp> stamp = platform::utf8::FileSizeAndTime(*file);
    if (!stamp || stamp->bytes != entry.uncompressedBytes) continue;
    // Written to while the update ran (a running game, a player): bytes nobody checked.
    const auto left = keptByName.find(entry.name);
    if (left != keptByName.end() && (stamp->bytes != left->second->installedBytes ||
                                     stamp->mtimeNs != left->second->installedMtime)) {
      continue;
    }
    char fields[96];
    std::snprintf(fields, sizeof fields, "%08" PRIx32 "\t%" PRIu64 "\t%" PRIu64 "\t%" PRId64 "\t",
                  entry.crc32, entry.uncompressedBytes, stamp->bytes, stamp->mtimeNs);
    text += fields;
    text += entry.name;
    text += '\n';
  }
  if (WriteTextFile(path, text)) return true;
  // An old manifest would describe files this install has replaced.
  platform::RemoveFile(path);
  return false;
}
