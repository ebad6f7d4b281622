#include "http/UrlParts.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace quarvel {
namespace {

constexpr int kRefused = -999;  // marks a URL that SplitUrl refuses

struct SplitCase {
  std::u16string url;
  int port;               // kRefused: not an http:// URL
  std::u16string host;
  std::u16string path;    // empty: the URL has none
};

TEST(SplitUrl, HostPortAndPath) {
  const SplitCase cases[] = {
      {u"http://www.example.test/city.asp?x=1/2", 80, u"www.example.test", u"/city.asp?x=1/2"},
      {u"HTTP://SomeHost/a", 80, u"SomeHost", u"/a"},
      {u"HtTp://h", 80, u"h", u""},
      {u"http://host", 80, u"host", u""},
      {u"http://", 80, u"", u""},
      {u"http://host:8080/x", 8080, u"host", u"/x"},
      {u"http://host:8080", 8080, u"host", u""},
      {u"http://host/x:8080", 80, u"host", u"/x:8080"},
      {u"http://host:abc/x", 80, u"host", u"/x"},
      {u"http://host:/x", 80, u"host", u"/x"},
      {u"http://host:", 80, u"host", u""},
      {u"http://host:81:82/", 80, u"host", u"/"},  // only the first ":" divides
      {u"https://host/", kRefused, u"", u""},
      {u"ftp://host/", kRefused, u"", u""},
      {u"http:/", kRefused, u"", u""},
      {u"", kRefused, u"", u""},
      {u" http://host/", kRefused, u"", u""},
      {u"\x0130ttp://host/", kRefused, u"", u""},  // not lower-cased into "h"
  };
  for (const SplitCase& c : cases) {
    const std::string name(c.url.begin(), c.url.end());
    UrlParts parts{1, 2, true, 3, 4, 5};
    const bool ok = SplitUrl(c.url.data(), c.url.size(), &parts);
    ASSERT_EQ(c.port != kRefused, ok) << name;
    if (!ok) {
      EXPECT_EQ(1u, parts.hostBegin) << "refusal leaves the fields alone: " << name;
      EXPECT_EQ(5, parts.port) << name;
      continue;
    }
    ASSERT_LE(parts.hostBegin + parts.hostLen, c.url.size()) << name;
    EXPECT_EQ(c.host, c.url.substr(parts.hostBegin, parts.hostLen)) << name;
    EXPECT_EQ(c.port, parts.port) << name;
    EXPECT_EQ(!c.path.empty(), parts.hasPath) << name;
    if (parts.hasPath) {
      ASSERT_LE(parts.pathBegin + parts.pathLen, c.url.size()) << name;
      EXPECT_EQ(c.path, c.url.substr(parts.pathBegin, parts.pathLen)) << name;
    } else {
      EXPECT_EQ(c.url.size(), parts.pathBegin) << name;
      EXPECT_EQ(0u, parts.pathLen) << name;
    }
  }
}

TEST(SplitUrl, ReadsOnlyTheGivenLength) {
  const std::u16string url = u"http://host:8080/x";
  UrlParts parts{};
  ASSERT_TRUE(SplitUrl(url.data(), 14, &parts));  // "http://host:80"
  EXPECT_EQ(80, parts.port);
  EXPECT_FALSE(parts.hasPath);
  ASSERT_TRUE(SplitUrl(url.data(), 13, &parts));  // "http://host:8"
  EXPECT_EQ(8, parts.port);
  EXPECT_FALSE(SplitUrl(url.data(), 6, &parts));
}

TEST(ParsePortText, SignedDecimalIntsElseEighty) {
  const std::pair<std::u16string, int> cases[] = {
      {u"8080", 8080}, {u"0", 0}, {u"+7", 7}, {u"-1", -1}, {u"65616", 65616}, {u"0008080", 8080},
      {u"2147483647", INT_MAX}, {u"-2147483648", INT_MIN},
      {u"000000000000000000002147483647", INT_MAX},
      {u"2147483648", 80}, {u"-2147483649", 80}, {u"99999999999999999999999", 80},
      {u"000000000000000000002147483648", 80},
      {u"", 80}, {u"+", 80}, {u"-", 80}, {u"+-1", 80}, {u"--1", 80}, {u" 81", 80}, {u"81 ", 80},
      {u"8 1", 80}, {u"abc", 80}, {u"0x51", 80}, {u"$51", 80}, {u"81a", 80}, {u"8.1", 80},
      {u"\x0660", 80},             // an Arabic-Indic digit
      {u"\xFF18\xFF11", 80},       // full-width digits
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.second, ParsePortText(c.first.data(), c.first.size()))
        << std::string(c.first.begin(), c.first.end());
  }
}

TEST(IsNumericHost, DotsAndDigitsOnly) {
  for (const char16_t* yes : {u"192.168.1.1", u"999.1", u"", u"..."}) {
    EXPECT_TRUE(IsNumericHost(yes, std::char_traits<char16_t>::length(yes)));
  }
  for (const char16_t* no : {u"10.0.0.1a", u"host", u"10.0.0.1 ", u"1-2", u"9:", u"/1", u"1\x0661"}) {
    EXPECT_FALSE(IsNumericHost(no, std::char_traits<char16_t>::length(no)));
  }
}

}  // namespace
}  // namespace quarvel
