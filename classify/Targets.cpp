#include "classify/Targets.h"

#include <cstring>

#include "support/Bytes.h"

namespace quarvel {

namespace {

constexpr char kLocationName[] = "Location:";
constexpr std::size_t kLocationNameLen = sizeof(kLocationName) - 1;

constexpr char kEmbeddedMarker[] = "url=http://";
constexpr std::size_t kEmbeddedMarkerLen = sizeof(kEmbeddedMarker) - 1;
// The target starts at the "http://" of the marker, behind "url=".
constexpr std::size_t kEmbeddedSchemeOffset = 4;

constexpr char kRefreshTag[] = "<meta http-equiv=\"Refresh\"";
constexpr std::size_t kRefreshTagLen = sizeof(kRefreshTag) - 1;
constexpr char kRefreshUrl[] = "url=";
constexpr std::size_t kRefreshUrlLen = sizeof(kRefreshUrl) - 1;

// The first ">" of len bytes of text.
std::size_t FindTagEnd(const char* text, std::size_t len) { return FindBytes(text, len, ">", 1); }

// "url=" in the lower-cased view of tag. Only single-byte characters are
// lowered: the trail byte of a double-byte character keeps its value, so a
// trail byte 'U' cannot turn into the start of "url=".
std::size_t FindRefreshUrl(const char* tag, std::size_t len) {
  unsigned char window[kRefreshUrlLen] = {};
  bool trail = false;
  for (std::size_t i = 0; i < len; ++i) {
    const unsigned char c = static_cast<unsigned char>(tag[i]);
    unsigned char seen = c;
    if (trail) {
      trail = false;
    } else if (IsGbkLeadByte(c)) {
      trail = true;
    } else {
      seen = AsciiLower(c);
    }
    std::memmove(window, window + 1, kRefreshUrlLen - 1);
    window[kRefreshUrlLen - 1] = seen;
    if (i + 1 >= kRefreshUrlLen &&
        std::memcmp(window, kRefreshUrl, kRefreshUrlLen) == 0) {
      return i + 1 - kRefreshUrlLen;
    }
  }
  return kNotFound;
}

TextSpan Span(const char* begin, std::size_t len) { return TextSpan{begin, len}; }

}  // namespace

TargetCut CutLocationTarget(const char* header, std::size_t len, TextSpan* target) {
  if (!header || !target) return kCutNoMarker;
  const std::size_t at = FindBytes(header, len, kLocationName, kLocationNameLen);
  if (at == kNotFound) return kCutNoMarker;
  const std::size_t from = at + kLocationNameLen;
  *target = Span(header + from, len - from);
  return kCutFound;
}

TargetCut CutEmbeddedTarget(const char* body, std::size_t len, TextSpan* target) {
  if (!body || !target) return kCutNoMarker;
  const std::size_t at =
      FindBytesFolded(body, len, kEmbeddedMarker, kEmbeddedMarkerLen);
  if (at == kNotFound) return kCutNoMarker;
  const char* text = body + at + kEmbeddedSchemeOffset;
  const std::size_t textLen = len - at - kEmbeddedSchemeOffset;
  const std::size_t gt = FindTagEnd(text, textLen);
  if (gt == kNotFound) return kCutNoEnd;
  // The byte before ">" closes the attribute value. The text starts with
  // "http://", so gt is at least 7; the guard only keeps the length sane.
  *target = Span(text, gt > 0 ? gt - 1 : 0);
  return kCutFound;
}

TargetCut CutPortalTarget(const char* body, std::size_t len,
                          const char* portalUrl, TextSpan* target) {
  if (!body || !target || !portalUrl || portalUrl[0] == '\0') return kCutNoMarker;
  const std::size_t urlLen = std::strlen(portalUrl);
  const std::size_t at = FindBytes(body, len, portalUrl, urlLen);
  if (at == kNotFound) return kCutNoMarker;
  // The tag end is sought behind the URL, so the target always holds it whole.
  const std::size_t from = at + urlLen;
  const std::size_t gt = FindTagEnd(body + from, len - from);
  if (gt == kNotFound) return kCutNoEnd;
  *target = Span(body + at, urlLen + gt);
  return kCutFound;
}

TargetCut CutMetaRefreshTarget(const char* body, std::size_t len, TextSpan* address) {
  if (!body || !address) return kCutNoMarker;
  const std::size_t at = FindBytes(body, len, kRefreshTag, kRefreshTagLen);
  if (at == kNotFound) return kCutNoMarker;
  const char* tag = body + at;
  const std::size_t gt = FindTagEnd(tag, len - at);
  const std::size_t tagLen = gt == kNotFound ? 0 : gt + 1;

  const std::size_t url = FindRefreshUrl(tag, tagLen);
  if (url == kNotFound) return kCutNoEnd;
  // "url=" cannot hold the tag's ">", so the address ends at or after it.
  const std::size_t from = url + kRefreshUrlLen;
  *address = Span(tag + from, tagLen - 1 - from);
  return kCutFound;
}

std::size_t RemoveAll(char* text, std::size_t len, const char* pattern) {
  if (!text || !pattern) return len;
  const std::size_t plen = std::strlen(pattern);
  if (plen == 0) return len;
  // Compacting in one pass gives the same text as removing the first
  // occurrence and searching again from the start: the kept prefix holds no
  // occurrence, so the next one found must end at the byte just appended,
  // and it is removed as soon as it is complete.
  const char last = pattern[plen - 1];
  std::size_t kept = 0;
  for (std::size_t i = 0; i < len; ++i) {
    const char c = text[i];
    text[kept++] = c;
    if (c == last && kept >= plen &&
        std::memcmp(text + kept - plen, pattern, plen) == 0) {
      kept -= plen;
    }
  }
  if (kept < len) std::memset(text + kept, 0, len - kept);
  return kept;
}

std::size_t CopyTarget(char* dest, int capacity, TextSpan target) {
  if (!dest || capacity <= 0) return 0;
  std::size_t n = static_cast<std::size_t>(capacity) - 1;
  if (!target.begin) n = 0;
  if (target.len < n) n = target.len;
  if (n > 0) std::memcpy(dest, target.begin, n);
  dest[n] = '\0';
  return n;
}

}  // namespace quarvel
