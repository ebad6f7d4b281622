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

bool FindStatusLine(const char* header, std::size_t len, std::size_t* lineLen) {
  for (std::size_t i = 0; i + 1 < len; ++i) {
    if (header[i] == '\r' && header[i + 1] == '\n') {
      *lineLen = i;
      return true;
    }
  }
  return false;
}

StatusClass ClassifyStatusLine(const char* line, std::size_t len) {
  if (Contains(line, len, "200 OK")) return kStatusOk;
  if (Contains(line, len, "302 Moved") || Contains(line, len, "302 Found")) {
    return kStatusRedirect;
  }
  return kStatusOther;
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
