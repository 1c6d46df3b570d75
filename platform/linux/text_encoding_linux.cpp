#include "platform/text_encoding.h"

#include <iconv.h>

#include <cerrno>

namespace platform {
namespace {

// A conversion descriptor, closed with its scope.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
  ~Converter() {
    if (IsOpen()) ::iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool IsOpen() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Converts with glibc's iconv; bytes that do not convert become '?' so a bad text still shows.
std::string Convert(const char* to, const char* from, std::string_view input) {
  const Converter cd(to, from);
  if (!cd.IsOpen()) return std::string(input);
  std::string output;
  output.resize(input.size() * 4 + 16);
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  char* out = output.data();
  size_t outLeft = output.size();
  while (inLeft > 0) {
    if (::iconv(cd.get(), &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      const size_t used = static_cast<size_t>(out - output.data());
      output.resize(output.size() * 2);
      out = output.data() + used;
      outLeft = output.size() - used;
    } else {
      // Invalid or truncated sequence: skip one byte and mark it.
      ++in;
      --inLeft;
      if (outLeft == 0) {
        const size_t used = static_cast<size_t>(out - output.data());
        output.resize(output.size() + 16);
        out = output.data() + used;
        outLeft = output.size() - used;
      }
      *out++ = '?';
      --outLeft;
    }
  }
  output.resize(static_cast<size_t>(out - output.data()));
  return output;
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk) { return Convert("UTF-8", "GBK", gbk); }
std::string Utf8ToGbk(std::string_view utf8) { return Convert("GBK", "UTF-8", utf8); }
std::string Utf8ToNarrow(std::string_view utf8) { return std::string(utf8); }
std::string GbkToDisplay(std::string_view gbk) { return GbkToUtf8(gbk); }

}  // namespace platform
