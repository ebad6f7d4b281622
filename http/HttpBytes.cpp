#include "http/HttpBytes.h"

#include <cstdint>
#include <cstring>

#include "support/Bytes.h"

namespace quarvel {
namespace {

// The request is "GET " path kAfterPath host kAfterHost: the request line,
// the Host line, then the fixed header lines and the empty line.
constexpr char kBeforePath[] = "GET ";
constexpr char kAfterPath[] = " HTTP/1.1\r\nHost: ";
constexpr char kAfterHost[] =
    "\r\n"
    "Accept: */*\r\n"
    "Accept-Language: zh-cn\r\n"
    "User-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0; "
    "SLCC2; .NET CLR 2.0.50727; .NET CLR 3.5.30729; .NET CLR 3.0.30729; "
    "Media Center PC 6.0; InfoPath.3; .NET4.0C; Tablet PC 2.0)\r\n"
    "Connection: Keep-Alive\r\n"
    "\r\n";

constexpr std::size_t kFixedRequestBytes =
    sizeof kBeforePath - 1 + sizeof kAfterPath - 1 + sizeof kAfterHost - 1;

// A CR or LF inside host or path would end the request line or the Host
// line early and let the URL inject header lines of its own.
bool HasLineBreak(const char* text, std::size_t len) {
  return std::memchr(text, '\r', len) != nullptr || std::memchr(text, '\n', len) != nullptr;
}

bool Contains(const char* text, std::size_t len, const char* needle) {
  return FindBytes(text, len, needle, std::strlen(needle)) != kNotFound;
}

// Length of the text already in the body buffer; the whole capacity when it
// holds no NUL (a buffer that was not cleared takes nothing more).
std::size_t BodyTextLength(const BodyGather& gather) {
  const void* nul = std::memchr(gather.body, '\0', gather.capacity);
  if (nul == nullptr) return gather.capacity;
  return static_cast<std::size_t>(static_cast<const char*>(nul) - gather.body);
}

constexpr char kContentLengthName[] = "Content-Length";
constexpr char kTransferEncodingName[] = "Transfer-Encoding";

// True when the line at lineBegin of header (len bytes) is the field name:
// the name, in any case, and its colon. Sets *valueBegin after the colon.
bool IsField(const char* header, std::size_t lineBegin, std::size_t len, const char* name,
             std::size_t* valueBegin) {
  const std::size_t nameLen = std::strlen(name);
  if (len - lineBegin < nameLen + 1 || header[lineBegin + nameLen] != ':') return false;
  for (std::size_t i = 0; i < nameLen; ++i) {
    if (AsciiLower(header[lineBegin + i]) != AsciiLower(name[i])) return false;
  }
  *valueBegin = lineBegin + nameLen + 1;
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The value of a length field, from just after its colon to the line's CR
// LF: blanks, at least one digit, blanks. False for anything else, for a
// line without its CR LF, and for a number that does not fit a size_t.
bool ReadLengthValue(const char* header, std::size_t at, std::size_t len, std::size_t* value) {
  while (at < len && IsBlank(header[at])) ++at;
  std::size_t number = 0;
  std::size_t digits = 0;
  for (; at < len && header[at] >= '0' && header[at] <= '9'; ++at, ++digits) {
    const std::size_t digit = static_cast<std::size_t>(header[at] - '0');
    if (number > (SIZE_MAX - digit) / 10) return false;
    number = number * 10 + digit;
  }
  while (at < len && IsBlank(header[at])) ++at;
  if (digits == 0 || len - at < 2 || header[at] != '\r' || header[at + 1] != '\n') return false;
  *value = number;
  return true;
}

// True when the Transfer-Encoding value from at to its line's CR LF ends in
// the coding "chunked": the text after its last comma, blanks trimmed.
bool FinalCodingIsChunked(const char* header, std::size_t at, std::size_t len) {
  std::size_t end = at;
  while (end + 1 < len && !(header[end] == '\r' && header[end + 1] == '\n')) ++end;
  if (end + 1 >= len) return false;
  std::size_t begin = end;
  while (begin > at && header[begin - 1] != ',') --begin;
  while (begin < end && IsBlank(header[begin])) ++begin;
  while (end > begin && IsBlank(header[end - 1])) --end;
  constexpr char kChunked[] = "chunked";
  return end - begin == sizeof kChunked - 1 &&
         FindBytesFolded(header + begin, end - begin, kChunked, sizeof kChunked - 1) == 0;
}

// The framing elements of a chunked body, in the order they come. The scan
// starts at kSizeFirst (0) with size 0.
enum ChunkStep {
  kSizeFirst,     // the first hexadecimal digit of a size line
  kSizeDigits,    // more digits, or what may follow them
  kSizeBlanks,    // blanks or tabs after the size, then ";" or CR
  kExtension,     // extension bytes up to the CR
  kSizeLf,        // the LF that ends a size line
  kData,          // chunk data: size bytes more
  kDataCr,        // the CR LF after a chunk's data
  kDataLf,
  kTrailerFirst,  // a trailer line, or the CR of the final empty line
  kTrailer,       // trailer bytes up to the CR
  kTrailerLf,     // the LF that ends a trailer line
  kFinalLf,       // the LF of the final empty line
  kFramingDone,
  kFramingBad,
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char lower = AsciiLower(c);
  return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// A byte of a line's text: CR ends it, a bare LF is malformed.
ChunkStep LineByte(char c, ChunkStep text, ChunkStep lf) {
  return c == '\r' ? lf : c == '\n' ? kFramingBad : text;
}

// A byte after a size's digits: blanks, then an extension or the line end.
ChunkStep AfterSize(char c) {
  if (IsBlank(c)) return kSizeBlanks;
  if (c == ';') return kExtension;
  return c == '\r' ? kSizeLf : kFramingBad;
}

// The step after byte c of any element but the data; reads the size.
ChunkStep NextStep(ChunkedScan* scan, char c) {
  switch (scan->step) {
    case kSizeFirst:
    case kSizeDigits: {
      const int digit = HexValue(c);
      if (digit < 0) return scan->step == kSizeFirst ? kFramingBad : AfterSize(c);
      if (scan->size > (SIZE_MAX >> 4)) return kFramingBad;
      scan->size = scan->size << 4 | static_cast<std::size_t>(digit);
      return kSizeDigits;
    }
    case kSizeBlanks: return AfterSize(c);
    case kExtension: return LineByte(c, kExtension, kSizeLf);
    case kSizeLf:
      if (c != '\n') return kFramingBad;
      return scan->size == 0 ? kTrailerFirst : kData;
    case kDataCr: return c == '\r' ? kDataLf : kFramingBad;
    case kDataLf: return c == '\n' ? kSizeFirst : kFramingBad;
    case kTrailerFirst: return c == '\r' ? kFinalLf : LineByte(c, kTrailer, kTrailerLf);
    case kTrailer: return LineByte(c, kTrailer, kTrailerLf);
    case kTrailerLf: return c == '\n' ? kTrailerFirst : kFramingBad;
    case kFinalLf: return c == '\n' ? kFramingDone : kFramingBad;
    default: return kFramingBad;
  }
}

}  // namespace

std::size_t BuildRequestText(char* out, std::size_t capacity, const char* host,
                             const char* path) {
  if (out == nullptr || capacity == 0) return 0;
  std::memset(out, 0, capacity);
  if (host == nullptr || path == nullptr) return 0;

  const std::size_t hostLen = std::strlen(host);
  const std::size_t pathLen = std::strlen(path);
  if (HasLineBreak(host, hostLen) || HasLineBreak(path, pathLen)) return 0;
  const std::size_t room = capacity - 1;
  if (hostLen > room || pathLen > room - hostLen ||
      kFixedRequestBytes > room - hostLen - pathLen) {
    return 0;
  }

  std::size_t used = 0;
  auto append = [&](const char* text, std::size_t len) {
    std::memcpy(out + used, text, len);
    used += len;
  };
  append(kBeforePath, sizeof kBeforePath - 1);
  append(path, pathLen);
  append(kAfterPath, sizeof kAfterPath - 1);
  append(host, hostLen);
  append(kAfterHost, sizeof kAfterHost - 1);
  return used;
}

bool IsHeaderEnd(const char* buf, std::size_t i) {
  return i > 3 && buf[i] == '\n' && buf[i - 1] == '\r' && buf[i - 2] == '\n' &&
         buf[i - 3] == '\r';
}

std::size_t FindHeaderEnd(const char* buf, std::size_t from, std::size_t len) {
  for (std::size_t i = from; i < len; ++i) {
    if (IsHeaderEnd(buf, i)) return i + 1;
  }
  return 0;
}

BodyLength ParseContentLength(const char* header, std::size_t len, std::size_t* length) {
  BodyLength found = kLengthAbsent;
  std::size_t value = 0;
  // Each field line begins just after a CR LF; the status line is no field.
  for (std::size_t at = 1; at < len; ++at) {
    if (header[at] != '\n' || header[at - 1] != '\r') continue;
    std::size_t valueBegin = 0;
    // A transfer coding makes the length meaningless: the body is read to its
    // end as without one.
    if (IsField(header, at + 1, len, kTransferEncodingName, &valueBegin)) return kLengthMalformed;
    if (!IsField(header, at + 1, len, kContentLengthName, &valueBegin)) continue;
    std::size_t lineValue = 0;
    if (!ReadLengthValue(header, valueBegin, len, &lineValue) ||
        (found == kLengthDeclared && lineValue != value)) {
      return kLengthMalformed;
    }
    found = kLengthDeclared;
    value = lineValue;
  }
  if (found == kLengthDeclared && length != nullptr) *length = value;
  return found;
}

bool DeclaresChunkedBody(const char* header, std::size_t len) {
  bool chunked = false;
  for (std::size_t at = 1; at < len; ++at) {
    if (header[at] != '\n' || header[at - 1] != '\r') continue;
    std::size_t valueBegin = 0;
    // The last field names the final coding.
    if (IsField(header, at + 1, len, kTransferEncodingName, &valueBegin)) {
      chunked = FinalCodingIsChunked(header, valueBegin, len);
    }
  }
  return chunked;
}

ChunkedResult ScanChunked(ChunkedScan* scan, const char* bytes, std::size_t len) {
  if (scan == nullptr || (bytes == nullptr && len > 0)) return kChunkedMalformed;
  std::size_t at = 0;
  while (at < len && scan->step != kFramingDone && scan->step != kFramingBad) {
    if (scan->step == kData) {
      // The data is skipped whole; its CR LF follows.
      const std::size_t take = scan->size < len - at ? scan->size : len - at;
      scan->size -= take;
      at += take;
      if (scan->size == 0) scan->step = kDataCr;
    } else {
      scan->step = NextStep(scan, bytes[at++]);
    }
  }
  if (scan->step == kFramingDone) return kChunkedDone;
  return scan->step == kFramingBad ? kChunkedMalformed : kChunkedNeedMore;
}

bool FindStatusLine(const char* header, std::size_t len, std::size_t* lineLen) {
  const std::size_t end = FindBytes(header, len, "\r\n", 2);
  if (end == kNotFound) return false;
  *lineLen = end;
  return true;
}

StatusClass ClassifyStatusLine(const char* line, std::size_t len) {
  if (Contains(line, len, "200 OK")) return kStatusOk;
  if (Contains(line, len, "302 Moved") || Contains(line, len, "302 Found")) {
    return kStatusRedirect;
  }
  return kStatusOther;
}

int StatusCodeOf(const char* header) {
  static const char kVersion[] = "HTTP/1.";
  constexpr std::size_t kVersionLen = sizeof kVersion - 1;
  constexpr std::size_t kCodeEnd = kVersionLen + 5;  // the minor digit, a blank, three digits
  std::size_t len = std::strlen(header);
  std::size_t lineLen = len;
  if (FindStatusLine(header, len, &lineLen)) len = lineLen;
  if (len < kCodeEnd || std::memcmp(header, kVersion, kVersionLen) != 0) return 0;
  const char* p = header + kVersionLen;
  if (p[0] < '0' || p[0] > '9' || p[1] != ' ') return 0;
  int code = 0;
  for (std::size_t i = 2; i < 5; ++i) {
    if (p[i] < '0' || p[i] > '9') return 0;
    code = code * 10 + (p[i] - '0');
  }
  return len == kCodeEnd || header[kCodeEnd] == ' ' ? code : 0;
}

bool AppendBodyChunk(BodyGather* gather, const char* chunk, long count) {
  if (gather == nullptr || gather->body == nullptr || chunk == nullptr) return false;
  if (count <= 0 || gather->total >= gather->capacity) return false;
  const std::size_t received = static_cast<unsigned long>(count);
  // The total must stay below the capacity so that its NUL fits.
  if (received >= gather->capacity - gather->total) return false;

  const std::size_t textLen = BodyTextLength(*gather);
  const void* nul = std::memchr(chunk, '\0', received);
  std::size_t take =
      nul == nullptr ? received : static_cast<std::size_t>(static_cast<const char*>(nul) - chunk);
  // The text never outgrows the total, so this only bites on a buffer that
  // was not cleared before the first chunk.
  if (textLen >= gather->capacity) return false;
  if (take > gather->capacity - 1 - textLen) take = gather->capacity - 1 - textLen;

  std::memcpy(gather->body + textLen, chunk, take);
  gather->body[textLen + take] = '\0';
  gather->total += received;
  return true;
}

bool FinishBody(BodyGather* gather) {
  if (gather == nullptr || gather->body == nullptr || gather->total == 0) return false;
  if (gather->total < gather->capacity) gather->body[gather->total] = '\0';
  return true;
}

}  // namespace quarvel
