// Splitting an "http://" URL into host, port and path. Portable: works on
// UTF-16 text as char16_t, which has the layout of the platform's wchar_t,
// and on the same URL in the ANSI code page, whose "/", ":", "." and digits
// are single bytes that never stand inside a double-byte character.
#ifndef QUARVEL_HTTP_URLPARTS_H
#define QUARVEL_HTTP_URLPARTS_H

#include <cstddef>

namespace quarvel {

constexpr int kDefaultHttpPort = 80;

// Where the parts of a URL lie inside it (offsets and lengths in UTF-16
// units). The path is "/" when the URL has none: hasPath is then false,
// pathBegin is the URL's length and pathLen 0.
struct UrlParts {
  std::size_t hostBegin, hostLen;
  bool hasPath;
  std::size_t pathBegin, pathLen;
  int port;
};

// Splits url (len units, not necessarily terminated). Returns false when the
// first 7 units, lower-cased, are not "http://" (also when len < 7).
// Otherwise: the authority runs to the first "/" after the scheme, the host to
// the first ":" in the authority, and the port text after it is read with
// ParsePortText.
bool SplitUrl(const char16_t* url, std::size_t len, UrlParts* parts);
bool SplitUrl(const char* url, std::size_t len, UrlParts* parts);

// Reads a port text as a decimal 32-bit integer (optional sign, digits only,
// no overflow); any other text, empty included, gives kDefaultHttpPort.
int ParsePortText(const char16_t* text, std::size_t len);

// True when every unit of host is "." or a digit 0-9 (empty counts as true).
bool IsNumericHost(const char16_t* host, std::size_t len);
bool IsNumericHost(const char* host, std::size_t len);

}  // namespace quarvel

#endif
