#include "core/text_codec.hpp"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace velmira {
namespace {

// One converter per thread and direction: iconv descriptors carry shift
// state and must not be shared, and opening one per call is costly.
class converter {
 public:
  converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
  }
  ~converter() { iconv_close(cd_); }
  converter(const converter&) = delete;
  converter& operator=(const converter&) = delete;

  // `skip_bad` tells how many input bytes one unconvertible character spans.
  template <class SkipBad>
  std::string convert(std::string_view in, SkipBad skip_bad) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string out;
    out.reserve(in.size() * 2 + 4);
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char buffer[4096];
    while (src_left > 0) {
      char* dst = buffer;
      size_t dst_left = sizeof buffer;
      size_t rc = iconv(cd_, &src, &src_left, &dst, &dst_left);
      out.append(buffer, static_cast<size_t>(dst - buffer));
      if (rc != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (a truncated sequence at the end): replace and go on.
      size_t n = skip_bad(std::string_view(src, src_left));
      out.push_back('?');
      src += n;
      src_left -= n;
    }
    return out;
  }

 private:
  iconv_t cd_;
};

// Length of the UTF-8 sequence starting at s[0] if it is well formed, else 1,
// so an unrepresentable character costs one "?" and a broken byte one "?".
size_t utf8_sequence_length(std::string_view s) {
  auto b = static_cast<unsigned char>(s[0]);
  size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 1;
  if (n > s.size()) return 1;
  for (size_t i = 1; i < n; ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 1;
  }
  return n;
}

}  // namespace

std::string from_utf8(std::string_view utf8) {
  thread_local converter c("WINDOWS-1251", "UTF-8");
  return c.convert(utf8, utf8_sequence_length);
}

std::string to_utf8(std::string_view cp1251) {
  thread_local converter c("UTF-8", "WINDOWS-1251");
  return c.convert(cp1251, [](std::string_view) { return size_t{1}; });
}

}  // namespace velmira
