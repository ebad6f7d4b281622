#include "classify/Targets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace quarvel {
namespace {

constexpr char kPortal[] = "https://kb.portal.test/kbs/product";
constexpr char kRefresh[] = "<meta http-equiv=\"Refresh\" content=";
constexpr unsigned char kSentinel = 0xAB;
constexpr std::size_t kGuard = 8;

// The input in a heap block of exactly its size, no terminator behind it, so
// the sanitizer reports any read past the given length.
struct Exact {
  explicit Exact(const std::string& s) : len(s.size()), buf(new char[s.size()]) {
    std::memcpy(buf.get(), s.data(), len);
  }
  std::size_t len;
  std::unique_ptr<char[]> buf;
};

using Cutter = TargetCut (*)(const char*, std::size_t, TextSpan*);

TargetCut Portal(const char* b, std::size_t n, TextSpan* t) { return CutPortalTarget(b, n, kPortal, t); }
// A ">" inside the portal URL does not end the target.
TargetCut PortalWithGt(const char* b, std::size_t n, TextSpan* t) { return CutPortalTarget(b, n, "a>b", t); }
TargetCut PortalEmpty(const char* b, std::size_t n, TextSpan* t) { return CutPortalTarget(b, n, "", t); }
TargetCut PortalNull(const char* b, std::size_t n, TextSpan* t) { return CutPortalTarget(b, n, nullptr, t); }

// Cuts input with cut; the target text when found, after checking that it
// lies within the input.
TargetCut Cut(Cutter cut, const std::string& input, std::string* target) {
  Exact in(input);
  TextSpan t{};
  const TargetCut r = cut(in.buf.get(), in.len, &t);
  target->clear();
  if (r == kCutFound) {
    EXPECT_TRUE(t.begin >= in.buf.get() && t.begin + t.len <= in.buf.get() + in.len) << input;
    target->assign(t.begin, t.len);
  }
  return r;
}

struct CutCase {
  const char* what;
  Cutter cut;
  std::string input;
  TargetCut result;
  std::string target;  // the raw span, double quotes still in it
};

TEST(Targets, EachCutterOnItsPages) {
  const std::string refresh = kRefresh;
  const CutCase cases[] = {
      {"Location: leading blank and line ends kept", CutLocationTarget,
       "HTTP/1.1 302 Found\r\nLocation: http://a/b\r\n\r\n", kCutFound, " http://a/b\r\n\r\n"},
      {"Location: later header lines kept", CutLocationTarget,
       "HTTP/1.1 302 Moved\r\nLocation:http://p/q\r\nServer: x\r\n\r\n", kCutFound,
       "http://p/q\r\nServer: x\r\n\r\n"},
      {"Location: first of two", CutLocationTarget, "Location: one\r\nLocation: two\r\n", kCutFound,
       " one\r\nLocation: two\r\n"},
      {"Location: lower-case name", CutLocationTarget,
       "HTTP/1.1 302 Found\r\nlocation: http://a/b\r\n\r\n", kCutNoMarker, ""},
      {"Location: capitals", CutLocationTarget, "HTTP/1.1 302 Found\r\nLOCATION: http://a/b\r\n\r\n",
       kCutNoMarker, ""},

      {"url=: refresh with URL=", CutEmbeddedTarget,
       "<html><head><meta http-equiv=\"refresh\" content=\"0;URL=http://x.y/z?a=1\"></head></html>",
       kCutFound, "http://x.y/z?a=1"},
      {"url=: marker in any case, target as received", CutEmbeddedTarget,
       "<a href='x'>go</a> uRl=HtTp://Host/Path' >", kCutFound, "HtTp://Host/Path'"},
      {"url=: the byte before > is dropped, quote or not", CutEmbeddedTarget, "url=http://a/bc>",
       kCutFound, "http://a/b"},
      {"url=: bare scheme", CutEmbeddedTarget, "url=http://>", kCutFound, "http:/"},
      {"url=: a > before the marker does not count", CutEmbeddedTarget,
       "<p>><meta content=\"0;url=http://a/b\">", kCutFound, "http://a/b"},
      {"url=: https is no marker", CutEmbeddedTarget, "<body>url=https://a/b\"></body>", kCutNoMarker, ""},
      {"url=: no > after the marker", CutEmbeddedTarget, "<meta content=\"0;url=http://a/b/c\" /",
       kCutNoEnd, ""},
      {"url=: empty body", CutEmbeddedTarget, "", kCutNoMarker, ""},

      {"portal: closing quote stays", Portal,
       "<html><a href=\"https://kb.portal.test/kbs/product?nodeid=138485\">account</a></html>",
       kCutFound, "https://kb.portal.test/kbs/product?nodeid=138485\""},
      {"portal: > right after the URL", Portal, "x https://kb.portal.test/kbs/product>", kCutFound,
       kPortal},
      {"portal: > sought behind the URL", PortalWithGt, "<x a>b?q>", kCutFound, "a>b?q"},
      {"portal: no > after the URL", Portal,
       "<a>https://kb.portal.test/kbs/product?nodeid=138428\"", kCutNoEnd, ""},
      {"portal: case-sensitive", Portal, "<a href=\"HTTPS://kb.portal.test/kbs/product?n=1\">",
       kCutNoMarker, ""},
      {"portal: empty URL", PortalEmpty, "<a href=\"x\">", kCutNoMarker, ""},
      {"portal: null URL", PortalNull, "<a href=\"x\">", kCutNoMarker, ""},

      {"meta: address up to the tag's >", CutMetaRefreshTarget,
       "<html><head>" + refresh + "\"0;url=http://a.b/c?d=1\"></head></html>", kCutFound,
       "http://a.b/c?d=1\""},
      {"meta: upper-case URL= found", CutMetaRefreshTarget, refresh + "\"0;URL=http://A/B\">",
       kCutFound, "http://A/B\""},
      {"meta: mixed-case Url=", CutMetaRefreshTarget, refresh + "\"0; Url=http://a/b\">", kCutFound,
       "http://a/b\""},
      {"meta: single quotes", CutMetaRefreshTarget, refresh + "\"0;url='http://a/b'\">", kCutFound,
       "'http://a/b'\""},
      {"meta: empty address", CutMetaRefreshTarget, refresh + "0;url=>", kCutFound, ""},
      {"meta: tag in capitals", CutMetaRefreshTarget,
       "<META HTTP-EQUIV=\"Refresh\" CONTENT=\"0;URL=http://a/b\">", kCutNoMarker, ""},
      {"meta: refresh in lower case", CutMetaRefreshTarget,
       "<meta http-equiv=\"refresh\" content=\"0;url=http://a/b\">", kCutNoMarker, ""},
      {"meta: delay only, url= after the tag", CutMetaRefreshTarget,
       refresh + "\"5\"><p>url=http://a/b\"></p>", kCutNoEnd, ""},
      {"meta: no > makes the tag empty", CutMetaRefreshTarget, refresh + "\"0;url=http://a/b\"",
       kCutNoEnd, ""},
      // 0x81 is a lead byte: the letter after it is a trail byte, never lowered.
      {"meta: trail byte U", CutMetaRefreshTarget, refresh + "\"0;\x81Url=http://evil/\">", kCutNoEnd, ""},
      {"meta: trail byte U, then URL=", CutMetaRefreshTarget,
       refresh + "\"\x81URL=http://x;URL=http://y\">", kCutFound, "http://y\""},
      {"meta: GBK text kept", CutMetaRefreshTarget,
       refresh + "\"\xB5\xC8 0;URL=http://a/\xCC\xF8\xD7\xAA\">", kCutFound,
       "http://a/\xCC\xF8\xD7\xAA\""},
      {"meta: lead byte last before >", CutMetaRefreshTarget, refresh + "0;url=http://a/\x81>",
       kCutFound, "http://a/\x81"},
  };
  for (const CutCase& c : cases) {
    std::string target;
    EXPECT_EQ(c.result, Cut(c.cut, c.input, &target)) << c.what;
    EXPECT_EQ(c.target, target) << c.what;
  }
}

TEST(Targets, NullInputs) {
  const std::string any = std::string("Location: url=http://x>") + kPortal + ">" + kRefresh + "0;url=y>";
  TextSpan t{};
  for (Cutter cut : {CutLocationTarget, CutEmbeddedTarget, Portal, CutMetaRefreshTarget}) {
    EXPECT_EQ(kCutNoMarker, cut(nullptr, 10, &t));
    EXPECT_EQ(kCutNoMarker, cut(any.data(), any.size(), nullptr));
  }
}

// Every prefix of full: no marker before markerEnd, no end before foundFrom,
// then found. A Location target runs to the end of what was given.
struct Walk {
  const char* what;
  Cutter cut;
  std::string full;
  std::size_t markerEnd, foundFrom;
  std::string target;  // empty: the Location rule
};

TEST(Targets, EveryTruncation) {
  const std::string loc = "HTTP/1.1 302 Found\r\nLocation: http://a/b\r\n\r\n";
  const std::string emb = "<meta content=\"0;URL=http://x.y/z?a=1\">tail";
  const std::string portal = std::string("<a href=\"") + kPortal + "?nodeid=138483\">";
  const std::string meta = std::string("<html>") + kRefresh + "\"0;url=http://a/b\">";
  const Walk walks[] = {
      {"Location", CutLocationTarget, loc, loc.find(':') + 1, loc.find(':') + 1, ""},
      {"url=", CutEmbeddedTarget, emb, emb.find("URL=") + 11, emb.find('>') + 1, "http://x.y/z?a=1"},
      {"portal", Portal, portal, 9 + std::strlen(kPortal), portal.size(),
       std::string(kPortal) + "?nodeid=138483\""},
      {"meta", CutMetaRefreshTarget, meta, meta.find("<meta") + 26, meta.size(), "http://a/b\""},
  };
  for (const Walk& w : walks) {
    for (std::size_t n = 0; n <= w.full.size(); ++n) {
      std::string target;
      const TargetCut r = Cut(w.cut, w.full.substr(0, n), &target);
      const TargetCut want = n < w.markerEnd ? kCutNoMarker : n < w.foundFrom ? kCutNoEnd : kCutFound;
      ASSERT_EQ(want, r) << w.what << " cut at " << n;
      if (r != kCutFound) continue;
      const std::string expected =
          w.target.empty() ? w.full.substr(w.foundFrom, n - w.foundFrom) : w.target;
      ASSERT_EQ(expected, target) << w.what << " cut at " << n;
    }
  }
}

// ---- RemoveAll ----

// RemoveAll in a buffer with sentinels behind the text; checks that freed
// bytes are zero and nothing past the text is touched.
std::string RemoveIn(const std::string& text, const char* pattern) {
  std::vector<char> buf(text.begin(), text.end());
  buf.resize(text.size() + kGuard, static_cast<char>(kSentinel));
  const std::size_t n = RemoveAll(buf.data(), text.size(), pattern);
  EXPECT_LE(n, text.size());
  for (std::size_t i = n; i < text.size(); ++i) EXPECT_EQ('\0', buf[i]) << "freed byte " << i;
  for (std::size_t i = text.size(); i < buf.size(); ++i) {
    EXPECT_EQ(static_cast<char>(kSentinel), buf[i]) << "write past the text";
  }
  return std::string(buf.data(), n);
}

TEST(RemoveAll, QuotesAndDegenerateInputs) {
  EXPECT_EQ("http://a/b", RemoveIn("\"http://a/\"b\"\"\"", "\""));
  EXPECT_EQ("'a'", RemoveIn("'a'", "\""));
  EXPECT_EQ("abc", RemoveIn("abc", ""));
  EXPECT_EQ("abc", RemoveIn("abc", nullptr));
  EXPECT_EQ("", RemoveIn(std::string(3000, '(') + std::string(3000, ')'), "()"));
}

// Against the removal as it reads: find the first occurrence, cut it out,
// start over; removing can join new occurrences ("aabb" less "ab" is empty).
TEST(RemoveAll, AgreesWithRestartingSearch) {
  for (std::size_t len = 0; len <= 9; ++len) {
    for (unsigned bits = 0; bits < (1u << len); ++bits) {
      std::string text;
      for (std::size_t i = 0; i < len; ++i) text += (bits >> i) & 1 ? 'b' : 'a';
      for (const std::string pattern : {"a", "ab", "ba", "aa", "aba", "abb", "abab", "aab"}) {
        std::string expected = text;
        for (std::size_t p; (p = expected.find(pattern)) != std::string::npos;) {
          expected.erase(p, pattern.size());
        }
        ASSERT_EQ(expected, RemoveIn(text, pattern.c_str())) << text << " less " << pattern;
      }
    }
  }
}

// ---- CopyTarget ----

TEST(CopyTarget, EveryCapacity) {
  const std::string src = "http://x.y/z";
  constexpr char kDirt = '\xCD';
  for (int cap = -2; cap <= static_cast<int>(src.size()) + 3; ++cap) {
    const std::size_t room = cap > 0 ? static_cast<std::size_t>(cap) : 0;
    std::vector<char> out(room + kGuard, kDirt);
    std::fill(out.begin() + room, out.end(), static_cast<char>(kSentinel));
    const std::size_t n = CopyTarget(out.data(), cap, TextSpan{src.data(), src.size()});
    for (std::size_t i = room; i < out.size(); ++i) {
      ASSERT_EQ(static_cast<char>(kSentinel), out[i]) << "capacity " << cap;
    }
    if (cap <= 0) {
      EXPECT_EQ(0u, n);
      continue;
    }
    EXPECT_EQ(std::min(room - 1, src.size()), n) << cap;
    EXPECT_EQ(src.substr(0, n), std::string(out.data(), n));
    EXPECT_EQ('\0', out[n]);
  }
}

TEST(CopyTarget, NullDestinationOrSource) {
  EXPECT_EQ(0u, CopyTarget(nullptr, 10, TextSpan{"abc", 3}));
  char out[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(0u, CopyTarget(out, sizeof out, TextSpan{nullptr, 3}));
  EXPECT_EQ(std::string("\0xxx", 4), std::string(out, 4));
}

}  // namespace
}  // namespace quarvel
