// Byte-text helpers every portable unit shares: finding bytes, finding them
// without regard to ASCII letter case, and the code page 936 (GBK) lead byte.
#ifndef QUARVEL_SUPPORT_BYTES_H
#define QUARVEL_SUPPORT_BYTES_H

#include <cstddef>

namespace quarvel {

// What the finders return when there is no occurrence.
constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// A code page 936 (GBK) lead byte: the byte after it belongs to the same
// character.
inline bool IsGbkLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// ASCII letters lowered; every other byte or unit kept.
template <typename Unit>
inline Unit AsciiLower(Unit c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<Unit>(c - 'A' + 'a') : c;
}

// Offset of the first occurrence of needle (nlen bytes) in text (len bytes),
// or kNotFound; an empty needle is never found.
std::size_t FindBytes(const char* text, std::size_t len, const char* needle, std::size_t nlen);

// The same with the ASCII letters of text lowered: needle must be lower-case.
std::size_t FindBytesFolded(const char* text, std::size_t len, const char* needle,
                            std::size_t nlen);

}  // namespace quarvel

#endif
