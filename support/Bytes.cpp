#include "support/Bytes.h"

#include <cstring>

namespace quarvel {

std::size_t FindBytes(const char* text, std::size_t len, const char* needle, std::size_t nlen) {
  if (nlen == 0 || nlen > len) return kNotFound;
  const std::size_t last = len - nlen;
  for (std::size_t i = 0; i <= last; ++i) {
    const void* hit = std::memchr(text + i, needle[0], last - i + 1);
    if (!hit) return kNotFound;
    i = static_cast<std::size_t>(static_cast<const char*>(hit) - text);
    if (std::memcmp(text + i + 1, needle + 1, nlen - 1) == 0) return i;
  }
  return kNotFound;
}

std::size_t FindBytesFolded(const char* text, std::size_t len, const char* needle,
                            std::size_t nlen) {
  if (nlen == 0 || nlen > len) return kNotFound;
  for (std::size_t i = 0; i + nlen <= len; ++i) {
    std::size_t k = 0;
    while (k < nlen && AsciiLower(static_cast<unsigned char>(text[i + k])) ==
                           static_cast<unsigned char>(needle[k])) {
      ++k;
    }
    if (k == nlen) return i;
  }
  return kNotFound;
}

}  // namespace quarvel
