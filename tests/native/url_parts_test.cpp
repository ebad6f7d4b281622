#include "http/UrlParts.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace quarvel {
namespace {

struct Split {
  bool ok = false;
  std::u16string host;
  std::u16string path;  // "/" when the URL has none, as the caller fills it in
  bool hasPath = false;
  int port = 0;
};

Split SplitText(const std::u16string& url) {
  Split s;
  UrlParts parts{};
  s.ok = SplitUrl(url.data(), url.size(), &parts);
  if (!s.ok) return s;
  EXPECT_LE(parts.hostBegin + parts.hostLen, url.size());
  EXPECT_LE(parts.pathBegin + parts.pathLen, url.size());
  s.host = url.substr(parts.hostBegin, parts.hostLen);
  s.hasPath = parts.hasPath;
  s.path = parts.hasPath ? url.substr(parts.pathBegin, parts.pathLen) : u"/";
  s.port = parts.port;
  return s;
}

int Port(const std::u16string& text) { return ParsePortText(text.data(), text.size()); }

bool Numeric(const std::u16string& host) { return IsNumericHost(host.data(), host.size()); }

// ---- SplitUrl --------------------------------------------------------------

TEST(SplitUrl, PlainUrlGivesHostPathAndDefaultPort) {
  const Split s = SplitText(u"http://www.example.test/city.asp?x=1/2");
  ASSERT_TRUE(s.ok);
  EXPECT_EQ(u"www.example.test", s.host);
  EXPECT_EQ(u"/city.asp?x=1/2", s.path);
  EXPECT_TRUE(s.hasPath);
  EXPECT_EQ(kDefaultHttpPort, s.port);
}

TEST(SplitUrl, SchemeInCapitalsPassesAndHostKeepsItsCase) {
  const Split s = SplitText(u"HTTP://SomeHost/a");
  ASSERT_TRUE(s.ok);
  EXPECT_EQ(u"SomeHost", s.host);
  EXPECT_EQ(u"/a", s.path);
  EXPECT_TRUE(SplitText(u"HtTp://h").ok);
}

TEST(SplitUrl, RefusesOtherSchemesAndShortTexts) {
  EXPECT_FALSE(SplitText(u"https://host/").ok);
  EXPECT_FALSE(SplitText(u"ftp://host/").ok);
  EXPECT_FALSE(SplitText(u"http:/").ok);
  EXPECT_FALSE(SplitText(u"http:").ok);
  EXPECT_FALSE(SplitText(u"").ok);
  EXPECT_FALSE(SplitText(u" http://host/").ok);
  // A non-ASCII letter is not lower-cased into the scheme.
  EXPECT_FALSE(SplitText(u"\x0130ttp://host/").ok);
}

TEST(SplitUrl, LeavesTheFieldsAloneWhenRefused) {
  UrlParts parts{1, 2, true, 3, 4, 5};
  const std::u16string url = u"https://x/";
  EXPECT_FALSE(SplitUrl(url.data(), url.size(), &parts));
  EXPECT_EQ(1u, parts.hostBegin);
  EXPECT_EQ(5, parts.port);
}

TEST(SplitUrl, UrlWithoutPathGetsTheRootPath) {
  const Split s = SplitText(u"http://host");
  ASSERT_TRUE(s.ok);
  EXPECT_EQ(u"host", s.host);
  EXPECT_FALSE(s.hasPath);
  EXPECT_EQ(u"/", s.path);
  EXPECT_EQ(kDefaultHttpPort, s.port);
}

TEST(SplitUrl, SchemeAloneGivesAnEmptyHost) {
  const Split s = SplitText(u"http://");
  ASSERT_TRUE(s.ok);
  EXPECT_EQ(u"", s.host);
  EXPECT_FALSE(s.hasPath);
  EXPECT_EQ(kDefaultHttpPort, s.port);
}

TEST(SplitUrl, PortIsReadFromTheAuthorityOnly) {
  Split s = SplitText(u"http://host:8080/x");
  ASSERT_TRUE(s.ok);
  EXPECT_EQ(u"host", s.host);
  EXPECT_EQ(8080, s.port);
  EXPECT_EQ(u"/x", s.path);

  s = SplitText(u"http://host/x:8080");
  EXPECT_EQ(u"host", s.host);
  EXPECT_EQ(kDefaultHttpPort, s.port);
  EXPECT_EQ(u"/x:8080", s.path);

  s = SplitText(u"http://host:8080");
  EXPECT_EQ(u"host", s.host);
  EXPECT_EQ(8080, s.port);
  EXPECT_FALSE(s.hasPath);
}

TEST(SplitUrl, BadOrEmptyPortTextFallsBackToEighty) {
  EXPECT_EQ(kDefaultHttpPort, SplitText(u"http://host:abc/x").port);
  EXPECT_EQ(kDefaultHttpPort, SplitText(u"http://host:/x").port);
  EXPECT_EQ(kDefaultHttpPort, SplitText(u"http://host:").port);
  // Only the first ":" divides host from port.
  const Split s = SplitText(u"http://host:81:82/");
  EXPECT_EQ(u"host", s.host);
  EXPECT_EQ(kDefaultHttpPort, s.port);
}

TEST(SplitUrl, ReadsOnlyTheGivenLength) {
  const std::u16string url = u"http://host:8080/x";
  UrlParts parts{};
  ASSERT_TRUE(SplitUrl(url.data(), 14, &parts));  // "http://host:80"
  EXPECT_EQ(80, parts.port);
  EXPECT_FALSE(parts.hasPath);
  ASSERT_TRUE(SplitUrl(url.data(), 13, &parts));  // "http://host:8"
  EXPECT_EQ(8, parts.port);
}

// ---- ParsePortText ---------------------------------------------------------

TEST(ParsePortText, AcceptsSignedDecimalIntegers) {
  EXPECT_EQ(8080, Port(u"8080"));
  EXPECT_EQ(0, Port(u"0"));
  EXPECT_EQ(7, Port(u"+7"));
  EXPECT_EQ(-1, Port(u"-1"));
  EXPECT_EQ(65616, Port(u"65616"));
  EXPECT_EQ(8080, Port(u"0008080"));
}

TEST(ParsePortText, AcceptsTheWholeIntRangeAndNothingBeyond) {
  EXPECT_EQ(INT_MAX, Port(u"2147483647"));
  EXPECT_EQ(INT_MIN, Port(u"-2147483648"));
  EXPECT_EQ(kDefaultHttpPort, Port(u"2147483648"));
  EXPECT_EQ(kDefaultHttpPort, Port(u"-2147483649"));
  EXPECT_EQ(kDefaultHttpPort, Port(u"99999999999999999999999"));
  EXPECT_EQ(kDefaultHttpPort, Port(u"000000000000000000002147483648"));
  EXPECT_EQ(INT_MAX, Port(u"000000000000000000002147483647"));
}

TEST(ParsePortText, RefusesEverythingElse) {
  for (const char16_t* text : {u"", u"+", u"-", u"+-1", u"--1", u" 80", u"80 ", u"8 0",
                               u"abc", u"0x50", u"$50", u"80a", u"8.0", u"\x0660"}) {
    EXPECT_EQ(kDefaultHttpPort, Port(text)) << "text of " << std::u16string(text).size();
  }
  // Full-width digits are not decimal digits here.
  EXPECT_EQ(kDefaultHttpPort, Port(u"\xFF18\xFF11"));
}

// ---- IsNumericHost ---------------------------------------------------------

TEST(IsNumericHost, DotsAndDigitsOnly) {
  EXPECT_TRUE(Numeric(u"192.168.1.1"));
  EXPECT_TRUE(Numeric(u"999.1"));
  EXPECT_TRUE(Numeric(u""));
  EXPECT_TRUE(Numeric(u"..."));
  EXPECT_FALSE(Numeric(u"10.0.0.1a"));
  EXPECT_FALSE(Numeric(u"host"));
  EXPECT_FALSE(Numeric(u"10.0.0.1 "));
  EXPECT_FALSE(Numeric(u"1-2"));
}

}  // namespace
}  // namespace quarvel
