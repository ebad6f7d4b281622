// Arbitrary bytes as UTF-16 text of exactly its length: the URL split, port
// reader, numeric host test and province code cut stay inside the text and
// agree with the same work done on the parts; the same bytes split as ANSI
// text agree too. Which texts are URLs and ports is pinned by url_parts_test.
#include "component/ProvinceCode.h"
#include "http/UrlParts.h"

#include <cstdint>
#include <string>

#include "tests/fuzz/FuzzCheck.h"

namespace {

using namespace quarvel;

constexpr std::size_t kSchemeLen = 7;

bool Within(std::size_t begin, std::size_t len, std::size_t total) {
  return begin <= total && len <= total - begin;
}

void CheckSplit(const char16_t* url, std::size_t len) {
  const std::u16string text(url, len);
  UrlParts parts{};
  if (!SplitUrl(url, len, &parts)) return;

  CHECK(parts.hostBegin == kSchemeLen);
  CHECK(Within(parts.hostBegin, parts.hostLen, len));
  CHECK(Within(parts.pathBegin, parts.pathLen, len));

  const std::size_t slash = text.find(u'/', kSchemeLen);
  if (slash == std::u16string::npos) {
    CHECK(!parts.hasPath && parts.pathLen == 0);
  } else {
    CHECK(parts.hasPath && parts.pathBegin == slash && parts.pathLen == len - slash);
  }
  const std::u16string authority =
      text.substr(kSchemeLen, (slash == std::u16string::npos ? len : slash) - kSchemeLen);
  const std::size_t colon = authority.find(u':');
  const std::u16string host = authority.substr(0, colon);
  CHECK(text.compare(parts.hostBegin, parts.hostLen, host) == 0);
  // The port is the port text read on its own.
  const std::u16string port = colon == std::u16string::npos ? u"" : authority.substr(colon + 1);
  CHECK(parts.port == ParsePortText(port.data(), port.size()));
}

void CheckProvince(const char16_t* channel, std::size_t len) {
  const std::u16string text(channel, len);
  std::size_t begin = 0, codeLen = 0;
  const bool found = CutProvinceCode(channel, len, &begin, &codeLen);
  const std::size_t dash = text.find(u'-');
  CHECK(found == (dash != std::u16string::npos));
  if (!found) return;
  CHECK(Within(begin, codeLen, len));
  CHECK(begin == dash + 1);
  CHECK(codeLen == (len - begin < 2 ? len - begin : 2));
}

// The bytes as ANSI text split where the same bytes as UTF-16 units do.
void CheckNarrowSplit(const std::uint8_t* data, std::size_t size) {
  std::unique_ptr<char[]> bytes(new char[size == 0 ? 1 : size]);
  std::unique_ptr<char16_t[]> units(new char16_t[size == 0 ? 1 : size]);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>(data[i]);
    units[i] = data[i];
  }
  UrlParts narrow{}, wide{};
  const bool ok = SplitUrl(bytes.get(), size, &narrow);
  CHECK(ok == SplitUrl(units.get(), size, &wide));
  if (!ok) return;
  CHECK(narrow.hostBegin == wide.hostBegin && narrow.hostLen == wide.hostLen);
  CHECK(narrow.hasPath == wide.hasPath && narrow.pathBegin == wide.pathBegin &&
        narrow.pathLen == wide.pathLen && narrow.port == wide.port);
  CHECK(IsNumericHost(bytes.get() + narrow.hostBegin, narrow.hostLen) ==
        IsNumericHost(units.get() + wide.hostBegin, wide.hostLen));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::size_t len = size / sizeof(char16_t);
  std::u16string copy(len, u'\0');
  if (len > 0) std::memcpy(&copy[0], data, len * sizeof(char16_t));
  const auto text = ExactCopy(copy.data(), len);
  const char16_t* t = text.get();

  CheckSplit(t, len);
  const int port = ParsePortText(t, len);  // read within the text, digits only
  CHECK(port == kDefaultHttpPort ||
        copy.find_first_not_of(u"+-0123456789") == std::u16string::npos);
  CHECK(IsNumericHost(t, len) == (copy.find_first_not_of(u".0123456789") == std::u16string::npos));
  CheckProvince(t, len);
  CheckNarrowSplit(data, size);
  return 0;
}
