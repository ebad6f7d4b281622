// Cutting redirect targets out of responses: the Location header of a
// redirect answer, the address embedded in a provider portal page, and the
// earlier edition's meta refresh tag. Portable and bounded: every function
// reads only the bytes it is given.
#ifndef QUARVEL_CLASSIFY_TARGETS_H
#define QUARVEL_CLASSIFY_TARGETS_H

#include <cstddef>

namespace quarvel {

// A piece of a larger text: begin points into it, len bytes long.
struct TextSpan {
  const char* begin;
  std::size_t len;
};

enum TargetCut {
  kCutFound,      // the target span is set (it may be empty)
  kCutNoMarker,   // the marker that starts a target is absent
  kCutNoEnd,      // the marker is there, but nothing ends the target
};

// Location target: everything after the first "Location:" (case-sensitive)
// to the end of header, untrimmed (leading blank and line ends kept).
TargetCut CutLocationTarget(const char* header, std::size_t len, TextSpan* target);

// ShanXi portal page: finds "url=http://" without regard to ASCII case; the
// target starts at its "http://" and ends two bytes before the first ">"
// after that point (the closing quotation mark is dropped). The search runs
// over single bytes: double-byte characters are not stepped over here.
TargetCut CutEmbeddedTarget(const char* body, std::size_t len, TextSpan* target);

// GuangXi portal page: finds portalUrl (NUL-terminated, case-sensitive); the
// target runs from it up to, not including, the first ">" behind it (a ">"
// inside portalUrl does not count), so a closing quotation mark stays.
// kCutNoEnd when there is no ">" behind it; a null or empty portalUrl gives
// kCutNoMarker.
TargetCut CutPortalTarget(const char* body, std::size_t len,
                          const char* portalUrl, TextSpan* target);

// Earlier edition, ShanXi: the tag begins at the case-sensitive text
// <meta http-equiv="Refresh" and runs through its first ">". "url=" is sought
// in it without regard to ASCII case (the trail byte of a code page 936
// double-byte character is never lowered, so it cannot start a match). The
// address is the tag after "url=" up to, not including, its closing ">",
// double quotes still in it (see RemoveAll). kCutNoMarker: no tag; kCutNoEnd:
// the tag holds no "url=" (a tag without ">" is empty).
TargetCut CutMetaRefreshTarget(const char* body, std::size_t len, TextSpan* address);

// Removes every occurrence of pattern (NUL-terminated) from text (len bytes)
// in place, as if each search started again at the beginning of the
// shortened text, so removing can join new occurrences ("aabb" less "ab" is
// empty). Returns the new length; the bytes freed at the end are zeroed, so
// the text is terminated whenever it got shorter, and nothing at or beyond
// text[len] is touched. A null or empty pattern removes nothing.
std::size_t RemoveAll(char* text, std::size_t len, const char* pattern);

// Copies a target into the caller's buffer of capacity bytes that was already
// zero-filled: at most capacity - 1 bytes, a longer target is cut. A zero is
// also written right after the copy, so the text is terminated even in a
// buffer that was not filled. Nothing is written when dest is null or
// capacity <= 0. Returns the bytes copied.
std::size_t CopyTarget(char* dest, int capacity, TextSpan target);

}  // namespace quarvel

#endif
