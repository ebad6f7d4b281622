#include "http/UrlParts.h"

#include <climits>

namespace quarvel {
namespace {

constexpr char kScheme[] = "http://";
constexpr std::size_t kSchemeLen = sizeof kScheme - 1;

char16_t AsciiLower(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool HasHttpScheme(const char16_t* url, std::size_t len) {
  if (len < kSchemeLen) return false;
  for (std::size_t i = 0; i < kSchemeLen; ++i) {
    if (AsciiLower(url[i]) != static_cast<char16_t>(kScheme[i])) return false;
  }
  return true;
}

// Offset of the first c in text[from, len), or len when there is none.
std::size_t FindUnit(const char16_t* text, std::size_t from, std::size_t len, char16_t c) {
  for (std::size_t i = from; i < len; ++i) {
    if (text[i] == c) return i;
  }
  return len;
}

}  // namespace

bool SplitUrl(const char16_t* url, std::size_t len, UrlParts* parts) {
  if (url == nullptr || parts == nullptr || !HasHttpScheme(url, len)) return false;

  const std::size_t slash = FindUnit(url, kSchemeLen, len, u'/');
  parts->hasPath = slash < len;
  parts->pathBegin = slash;
  parts->pathLen = len - slash;

  const std::size_t colon = FindUnit(url, kSchemeLen, slash, u':');
  parts->hostBegin = kSchemeLen;
  parts->hostLen = colon - kSchemeLen;
  parts->port = colon < slash ? ParsePortText(url + colon + 1, slash - colon - 1)
                              : kDefaultHttpPort;
  return true;
}

int ParsePortText(const char16_t* text, std::size_t len) {
  if (text == nullptr || len == 0) return kDefaultHttpPort;
  std::size_t i = 0;
  const bool negative = text[0] == u'-';
  if (text[0] == u'-' || text[0] == u'+') ++i;
  if (i == len) return kDefaultHttpPort;

  // Accumulate the magnitude; INT_MIN has one more than INT_MAX.
  const unsigned long long limit =
      negative ? static_cast<unsigned long long>(INT_MAX) + 1 : INT_MAX;
  unsigned long long value = 0;
  for (; i < len; ++i) {
    if (!IsDigit(text[i])) return kDefaultHttpPort;
    value = value * 10 + static_cast<unsigned>(text[i] - u'0');
    if (value > limit) return kDefaultHttpPort;
  }
  if (negative) return value == limit ? INT_MIN : -static_cast<int>(value);
  return static_cast<int>(value);
}

bool IsNumericHost(const char16_t* host, std::size_t len) {
  for (std::size_t i = 0; i < len; ++i) {
    if (host[i] != u'.' && !IsDigit(host[i])) return false;
  }
  return true;
}

}  // namespace quarvel
