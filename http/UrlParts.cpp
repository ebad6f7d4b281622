#include "http/UrlParts.h"

#include <climits>
#include <type_traits>

#include "support/Bytes.h"

namespace quarvel {
namespace {

constexpr char kScheme[] = "http://";
constexpr std::size_t kSchemeLen = sizeof kScheme - 1;

// Every test below is on ASCII units, so one template serves UTF-16 units and
// ANSI bytes alike; bytes are compared as unsigned so that none is negative.
template <typename Char>
unsigned Unit(Char c) {
  return static_cast<unsigned>(static_cast<typename std::make_unsigned<Char>::type>(c));
}

bool IsDigit(unsigned c) { return c >= '0' && c <= '9'; }

template <typename Char>
bool HasHttpScheme(const Char* url, std::size_t len) {
  if (len < kSchemeLen) return false;
  for (std::size_t i = 0; i < kSchemeLen; ++i) {
    if (AsciiLower(Unit(url[i])) != static_cast<unsigned>(kScheme[i])) return false;
  }
  return true;
}

// Offset of the first c in text[from, len), or len when there is none.
template <typename Char>
std::size_t FindUnit(const Char* text, std::size_t from, std::size_t len, unsigned c) {
  for (std::size_t i = from; i < len; ++i) {
    if (Unit(text[i]) == c) return i;
  }
  return len;
}

template <typename Char>
int ReadPort(const Char* text, std::size_t len) {
  if (text == nullptr || len == 0) return kDefaultHttpPort;
  std::size_t i = 0;
  const bool negative = Unit(text[0]) == '-';
  if (negative || Unit(text[0]) == '+') ++i;
  if (i == len) return kDefaultHttpPort;

  // Accumulate the magnitude; INT_MIN has one more than INT_MAX.
  const unsigned long long limit =
      negative ? static_cast<unsigned long long>(INT_MAX) + 1 : INT_MAX;
  unsigned long long value = 0;
  for (; i < len; ++i) {
    if (!IsDigit(Unit(text[i]))) return kDefaultHttpPort;
    value = value * 10 + (Unit(text[i]) - '0');
    if (value > limit) return kDefaultHttpPort;
  }
  if (negative) return value == limit ? INT_MIN : -static_cast<int>(value);
  return static_cast<int>(value);
}

template <typename Char>
bool Split(const Char* url, std::size_t len, UrlParts* parts) {
  if (url == nullptr || parts == nullptr || !HasHttpScheme(url, len)) return false;

  const std::size_t slash = FindUnit(url, kSchemeLen, len, '/');
  parts->hasPath = slash < len;
  parts->pathBegin = slash;
  parts->pathLen = len - slash;

  const std::size_t colon = FindUnit(url, kSchemeLen, slash, ':');
  parts->hostBegin = kSchemeLen;
  parts->hostLen = colon - kSchemeLen;
  parts->port = colon < slash ? ReadPort(url + colon + 1, slash - colon - 1) : kDefaultHttpPort;
  return true;
}

template <typename Char>
bool NumericHost(const Char* host, std::size_t len) {
  for (std::size_t i = 0; i < len; ++i) {
    if (Unit(host[i]) != '.' && !IsDigit(Unit(host[i]))) return false;
  }
  return true;
}

}  // namespace

bool SplitUrl(const char16_t* url, std::size_t len, UrlParts* parts) {
  return Split(url, len, parts);
}
bool SplitUrl(const char* url, std::size_t len, UrlParts* parts) { return Split(url, len, parts); }

int ParsePortText(const char16_t* text, std::size_t len) { return ReadPort(text, len); }

bool IsNumericHost(const char16_t* host, std::size_t len) { return NumericHost(host, len); }
bool IsNumericHost(const char* host, std::size_t len) { return NumericHost(host, len); }

}  // namespace quarvel
