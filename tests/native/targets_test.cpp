#include "classify/Targets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace quarvel {
namespace {

// The input in a heap block of exactly its size, no terminator behind it, so
// the sanitizer reports any read past the given length.
class Exact {
 public:
  explicit Exact(const std::string& s) : len_(s.size()), buf_(new char[s.size()]) {
    if (len_ > 0) std::memcpy(buf_.get(), s.data(), len_);
  }
  const char* data() const { return buf_.get(); }
  std::size_t size() const { return len_; }

 private:
  std::size_t len_;
  std::unique_ptr<char[]> buf_;
};

std::string Str(TextSpan span) { return std::string(span.begin, span.len); }

bool Within(const Exact& in, TextSpan span) {
  return span.begin >= in.data() && span.begin + span.len <= in.data() + in.size();
}

constexpr unsigned char kSentinel = 0xAB;
constexpr unsigned char kDirt = 0xCD;
constexpr std::size_t kGuard = 8;

// An output buffer of capacity bytes followed by guard bytes, not zero-filled.
struct Guarded {
  explicit Guarded(std::size_t capacity) : cap(capacity), bytes(capacity + kGuard, kDirt) {
    std::memset(bytes.data() + cap, kSentinel, kGuard);
  }
  char* out() { return reinterpret_cast<char*>(bytes.data()); }
  bool GuardIntact() const {
    for (std::size_t i = cap; i < bytes.size(); ++i) {
      if (bytes[i] != kSentinel) return false;
    }
    return true;
  }
  bool Untouched() const {
    for (std::size_t i = 0; i < cap; ++i) {
      if (bytes[i] != kDirt) return false;
    }
    return GuardIntact();
  }
  std::size_t cap;
  std::vector<unsigned char> bytes;
};

// ---- Location: ----

TEST(CutLocationTarget, KeepsLeadingBlankAndEveryLineEnd) {
  Exact h("HTTP/1.1 302 Found\r\nLocation: http://a/b\r\n\r\n");
  TextSpan t{};
  ASSERT_EQ(kCutFound, CutLocationTarget(h.data(), h.size(), &t));
  EXPECT_EQ(" http://a/b\r\n\r\n", Str(t));
  EXPECT_TRUE(Within(h, t));
}

TEST(CutLocationTarget, KeepsHeaderLinesAfterIt) {
  Exact h("HTTP/1.1 302 Moved\r\nLocation:http://p/q\r\nServer: x\r\n\r\n");
  TextSpan t{};
  ASSERT_EQ(kCutFound, CutLocationTarget(h.data(), h.size(), &t));
  EXPECT_EQ("http://p/q\r\nServer: x\r\n\r\n", Str(t));
}

TEST(CutLocationTarget, NameIsCaseSensitive) {
  Exact lower("HTTP/1.1 302 Found\r\nlocation: http://a/b\r\n\r\n");
  Exact upper("HTTP/1.1 302 Found\r\nLOCATION: http://a/b\r\n\r\n");
  TextSpan t{};
  EXPECT_EQ(kCutNoMarker, CutLocationTarget(lower.data(), lower.size(), &t));
  EXPECT_EQ(kCutNoMarker, CutLocationTarget(upper.data(), upper.size(), &t));
}

TEST(CutLocationTarget, FirstOccurrenceAndEmptyTail) {
  Exact twice("Location: one\r\nLocation: two\r\n");
  TextSpan t{};
  ASSERT_EQ(kCutFound, CutLocationTarget(twice.data(), twice.size(), &t));
  EXPECT_EQ(" one\r\nLocation: two\r\n", Str(t));

  Exact atEnd("HTTP/1.1 302 Found\r\nLocation:");
  ASSERT_EQ(kCutFound, CutLocationTarget(atEnd.data(), atEnd.size(), &t));
  EXPECT_EQ(0u, t.len);
  EXPECT_TRUE(Within(atEnd, t));
}

TEST(CutLocationTarget, EveryTruncation) {
  const std::string full = "HTTP/1.1 302 Found\r\nLocation: http://a/b\r\n\r\n";
  const std::size_t nameEnd = full.find("Location:") + 9;
  for (std::size_t n = 0; n <= full.size(); ++n) {
    Exact h(full.substr(0, n));
    TextSpan t{};
    const TargetCut cut = CutLocationTarget(h.data(), h.size(), &t);
    if (n < nameEnd) {
      EXPECT_EQ(kCutNoMarker, cut) << n;
    } else {
      ASSERT_EQ(kCutFound, cut) << n;
      EXPECT_EQ(full.substr(nameEnd, n - nameEnd), Str(t));
    }
  }
}

TEST(CutLocationTarget, NullInputs) {
  TextSpan t{};
  EXPECT_EQ(kCutNoMarker, CutLocationTarget(nullptr, 10, &t));
  Exact h("Location: x");
  EXPECT_EQ(kCutNoMarker, CutLocationTarget(h.data(), h.size(), nullptr));
}

// ---- url=http:// in a ShanXi portal page ----

TEST(CutEmbeddedTarget, RefreshContentWithUpperCaseUrl) {
  Exact b("<html><head><meta http-equiv=\"refresh\" content=\"0;URL=http://x.y/z?a=1\">"
          "</head></html>");
  TextSpan t{};
  ASSERT_EQ(kCutFound, CutEmbeddedTarget(b.data(), b.size(), &t));
  EXPECT_EQ("http://x.y/z?a=1", Str(t));
  EXPECT_TRUE(Within(b, t));
}

TEST(CutEmbeddedTarget, MarkerInAnyCaseTargetAsReceived) {
  Exact b("<a href='x'>go</a> uRl=HtTp://Host/Path' >");
  TextSpan t{};
  ASSERT_EQ(kCutFound, CutEmbeddedTarget(b.data(), b.size(), &t));
  EXPECT_EQ("HtTp://Host/Path'", Str(t));
}

TEST(CutEmbeddedTarget, DropsTheByteBeforeTheTagEnd) {
  // Without a quotation mark the last address byte is the one dropped.
  Exact b("url=http://a/bc>");
  TextSpan t{};
  ASSERT_EQ(kCutFound, CutEmbeddedTarget(b.data(), b.size(), &t));
  EXPECT_EQ("http://a/b", Str(t));

  Exact bare("url=http://>");
  ASSERT_EQ(kCutFound, CutEmbeddedTarget(bare.data(), bare.size(), &t));
  EXPECT_EQ("http:/", Str(t));
}

TEST(CutEmbeddedTarget, TagEndBeforeMarkerDoesNotCount) {
  Exact b("<p>><meta content=\"0;url=http://a/b\">");
  TextSpan t{};
  ASSERT_EQ(kCutFound, CutEmbeddedTarget(b.data(), b.size(), &t));
  EXPECT_EQ("http://a/b", Str(t));
}

TEST(CutEmbeddedTarget, MissingMarkerOrEnd) {
  TextSpan t{};
  Exact none("<html><body>nothing here url=https://a/b\"></body>");
  EXPECT_EQ(kCutNoMarker, CutEmbeddedTarget(none.data(), none.size(), &t));
  Exact noEnd("<meta content=\"0;url=http://a/b/c\" /");
  EXPECT_EQ(kCutNoEnd, CutEmbeddedTarget(noEnd.data(), noEnd.size(), &t));
  Exact empty("");
  EXPECT_EQ(kCutNoMarker, CutEmbeddedTarget(empty.data(), empty.size(), &t));
}

TEST(CutEmbeddedTarget, EveryTruncation) {
  const std::string full = "<meta content=\"0;URL=http://x.y/z?a=1\">tail";
  const std::size_t markerEnd = full.find("URL=") + 11;
  const std::size_t gt = full.find('>');
  for (std::size_t n = 0; n <= full.size(); ++n) {
    Exact b(full.substr(0, n));
    TextSpan t{};
    const TargetCut cut = CutEmbeddedTarget(b.data(), b.size(), &t);
    if (n < markerEnd) {
      EXPECT_EQ(kCutNoMarker, cut) << n;
    } else if (n <= gt) {
      EXPECT_EQ(kCutNoEnd, cut) << n;
    } else {
      ASSERT_EQ(kCutFound, cut) << n;
      EXPECT_EQ("http://x.y/z?a=1", Str(t));
    }
  }
}

// ---- GuangXi portal product URL ----

constexpr char kPortal[] = "https://kb.portal.test/kbs/product";

TEST(CutPortalTarget, ClosingQuoteStays) {
  Exact b("<html><a href=\"https://kb.portal.test/kbs/product?nodeid=138485\">"
          "account</a></html>");
  TextSpan t{};
  ASSERT_EQ(kCutFound, CutPortalTarget(b.data(), b.size(), kPortal, &t));
  EXPECT_EQ("https://kb.portal.test/kbs/product?nodeid=138485\"", Str(t));
  EXPECT_TRUE(Within(b, t));
}

TEST(CutPortalTarget, TagEndRightAfterUrl) {
  Exact b("x https://kb.portal.test/kbs/product>");
  TextSpan t{};
  ASSERT_EQ(kCutFound, CutPortalTarget(b.data(), b.size(), kPortal, &t));
  EXPECT_EQ(kPortal, Str(t));
}

TEST(CutPortalTarget, TagEndSoughtBehindTheUrl) {
  Exact b("<x a>b?q>");
  TextSpan t{};
  ASSERT_EQ(kCutFound, CutPortalTarget(b.data(), b.size(), "a>b", &t));
  EXPECT_EQ("a>b?q", Str(t));
}

TEST(CutPortalTarget, NoTagEndAfterUrl) {
  Exact b("<a>https://kb.portal.test/kbs/product?nodeid=138428\"");
  TextSpan t{};
  EXPECT_EQ(kCutNoEnd, CutPortalTarget(b.data(), b.size(), kPortal, &t));
}

TEST(CutPortalTarget, CaseSensitiveAndEmptyUrl) {
  Exact b("<a href=\"HTTPS://kb.portal.test/kbs/product?nodeid=1\">");
  TextSpan t{};
  EXPECT_EQ(kCutNoMarker, CutPortalTarget(b.data(), b.size(), kPortal, &t));
  EXPECT_EQ(kCutNoMarker, CutPortalTarget(b.data(), b.size(), "", &t));
  EXPECT_EQ(kCutNoMarker, CutPortalTarget(b.data(), b.size(), nullptr, &t));
}

TEST(CutPortalTarget, UrlCutByTheEndOfTheBody) {
  const std::string full = std::string("<a href=\"") + kPortal + "?nodeid=138483\">";
  const std::size_t urlEnd = 9 + std::strlen(kPortal);
  for (std::size_t n = 0; n <= full.size(); ++n) {
    Exact b(full.substr(0, n));
    TextSpan t{};
    const TargetCut cut = CutPortalTarget(b.data(), b.size(), kPortal, &t);
    if (n < urlEnd) {
      EXPECT_EQ(kCutNoMarker, cut) << n;
    } else if (n < full.size()) {
      EXPECT_EQ(kCutNoEnd, cut) << n;
    } else {
      ASSERT_EQ(kCutFound, cut);
      EXPECT_EQ(std::string(kPortal) + "?nodeid=138483\"", Str(t));
    }
  }
}

// ---- earlier edition: meta refresh tag ----

struct MetaResult {
  TargetCut cut;
  std::string address;  // with the double quotes removed, as the check does
};

MetaResult Meta(const std::string& body) {
  Exact b(body);
  TextSpan span{};
  MetaResult r{CutMetaRefreshTarget(b.data(), b.size(), &span), ""};
  if (r.cut == kCutFound) {
    EXPECT_TRUE(Within(b, span));
    std::string text = Str(span);
    text.resize(RemoveAll(&text[0], text.size(), "\""));
    r.address = text;
  }
  return r;
}

TEST(CutMetaRefreshTarget, DoubleQuotesRemoved) {
  MetaResult r = Meta("<html><head><meta http-equiv=\"Refresh\" content=\"0;url=http://a.b/c?d=1\">"
                      "</head></html>");
  ASSERT_EQ(kCutFound, r.cut);
  EXPECT_EQ("http://a.b/c?d=1", r.address);

  r = Meta("<meta http-equiv=\"Refresh\" content=\"0;url=\"http://a/\"b\"\"\">");
  ASSERT_EQ(kCutFound, r.cut);
  EXPECT_EQ("http://a/b", r.address);
}

TEST(CutMetaRefreshTarget, SingleQuotesStay) {
  MetaResult r = Meta("<meta http-equiv=\"Refresh\" content=\"0;url='http://a/b'\">");
  ASSERT_EQ(kCutFound, r.cut);
  EXPECT_EQ("'http://a/b'", r.address);
}

TEST(CutMetaRefreshTarget, TagSearchIsCaseSensitive) {
  EXPECT_EQ(kCutNoMarker,
            Meta("<META HTTP-EQUIV=\"Refresh\" CONTENT=\"0;URL=http://a/b\">").cut);
  EXPECT_EQ(kCutNoMarker,
            Meta("<meta http-equiv=\"refresh\" content=\"0;url=http://a/b\">").cut);
  EXPECT_EQ(kCutNoMarker, Meta("").cut);
}

TEST(CutMetaRefreshTarget, UrlInAnyCaseInsideTheTag) {
  MetaResult r = Meta("<meta http-equiv=\"Refresh\" content=\"0;URL=http://A/B\">");
  ASSERT_EQ(kCutFound, r.cut);
  EXPECT_EQ("http://A/B", r.address);
  r = Meta("<meta http-equiv=\"Refresh\" content=\"0; Url=http://a/b\">");
  ASSERT_EQ(kCutFound, r.cut);
  EXPECT_EQ("http://a/b", r.address);
}

TEST(CutMetaRefreshTarget, TagEndsAtItsFirstTagEnd) {
  MetaResult r = Meta("<meta http-equiv=\"Refresh\" content=\"5\"><p>url=http://a/b\"></p>");
  EXPECT_EQ(kCutNoEnd, r.cut);
  // Without ">" the tag is empty, whatever follows.
  EXPECT_EQ(kCutNoEnd, Meta("<meta http-equiv=\"Refresh\" content=\"0;url=http://a/b\"").cut);
}

TEST(CutMetaRefreshTarget, EmptyAddress) {
  MetaResult r = Meta("<meta http-equiv=\"Refresh\" content=\"0;url=\">");
  ASSERT_EQ(kCutFound, r.cut);
  EXPECT_EQ("", r.address);
}

TEST(CutMetaRefreshTarget, DoubleByteTrailIsNotLowered) {
  // 0x81 is a lead byte: the "U" after it is the second half of one
  // character, not a letter, so "\x81Url=" and "\x81URL=" hold no "url=".
  for (const char* trail : {"Url=", "URL="}) {
    const std::string body = std::string("<meta http-equiv=\"Refresh\" content=\"0;\x81") +
                             trail + "http://evil/\">";
    EXPECT_EQ(kCutNoEnd, Meta(body).cut) << trail;
  }
  // A later "URL=" that starts a character is still found.
  MetaResult r = Meta("<meta http-equiv=\"Refresh\" content=\"\x81URL=http://x;URL=http://y\">");
  ASSERT_EQ(kCutFound, r.cut);
  EXPECT_EQ("http://y", r.address);
}

TEST(CutMetaRefreshTarget, DoubleByteTextBeforeUrl) {
  // "\xB5\xC8" and "\xCC\xF8\xD7\xAA" are GBK text; the address keeps its bytes.
  MetaResult r = Meta("<meta http-equiv=\"Refresh\" content=\"\xB5\xC8 0;URL=http://a/\xCC\xF8\xD7\xAA\">");
  ASSERT_EQ(kCutFound, r.cut);
  EXPECT_EQ("http://a/\xCC\xF8\xD7\xAA", r.address);
  // A lead byte as the last byte before ">" takes nothing beyond the tag.
  r = Meta("<meta http-equiv=\"Refresh\" content=0;url=http://a/\x81>");
  ASSERT_EQ(kCutFound, r.cut);
  EXPECT_EQ("http://a/\x81", r.address);
}

TEST(CutMetaRefreshTarget, EveryTruncation) {
  const std::string full = "<html><meta http-equiv=\"Refresh\" content=\"0;url=http://a/b\">";
  const std::size_t tagEnd = full.find("<meta") + 26;
  for (std::size_t n = 0; n <= full.size(); ++n) {
    const MetaResult r = Meta(full.substr(0, n));
    if (n < tagEnd) {
      EXPECT_EQ(kCutNoMarker, r.cut) << n;
    } else if (n < full.size()) {
      EXPECT_EQ(kCutNoEnd, r.cut) << n;
    } else {
      EXPECT_EQ(kCutFound, r.cut);
      EXPECT_EQ("http://a/b", r.address);
    }
  }
}

// ---- RemoveAll ----

// The removal as it reads: find the first occurrence, cut it out, start over.
std::string RemoveAllByRestart(std::string text, const std::string& pattern) {
  if (pattern.empty()) return text;
  for (std::size_t p; (p = text.find(pattern)) != std::string::npos;) text.erase(p, pattern.size());
  return text;
}

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

TEST(RemoveAll, RemovingJoinsNewOccurrences) {
  EXPECT_EQ("", RemoveIn("aabb", "ab"));
  EXPECT_EQ("ba", RemoveIn("ababa", "aba"));
  EXPECT_EQ("xy", RemoveIn("x<<<>>>y", "<>"));
}

TEST(RemoveAll, QuotesAndNothingToRemove) {
  EXPECT_EQ("http://a/b", RemoveIn("\"http://a/\"b\"", "\""));
  EXPECT_EQ("'a'", RemoveIn("'a'", "\""));
  EXPECT_EQ("abc", RemoveIn("abc", ""));
  EXPECT_EQ("abc", RemoveIn("abc", nullptr));
  EXPECT_EQ("ab", RemoveIn("ab", "abc"));
  EXPECT_EQ("", RemoveIn("", "a"));
}

TEST(RemoveAll, AgreesWithRestartingSearch) {
  for (std::size_t len = 0; len <= 9; ++len) {
    for (unsigned bits = 0; bits < (1u << len); ++bits) {
      std::string text;
      for (std::size_t i = 0; i < len; ++i) text += (bits >> i) & 1 ? 'b' : 'a';
      for (const char* pattern : {"a", "ab", "ba", "aa", "aba", "abb", "abab", "aab"}) {
        ASSERT_EQ(RemoveAllByRestart(text, pattern), RemoveIn(text, pattern))
            << text << " less " << pattern;
      }
    }
  }
}

TEST(RemoveAll, WholeBodyOfNestedPairs) {
  const std::string text = std::string(3000, '(') + std::string(3000, ')');
  EXPECT_EQ("", RemoveIn(text, "()"));
  EXPECT_EQ("", RemoveIn(std::string(6023, '"'), "\""));
}

// ---- CopyTarget ----

TEST(CopyTarget, EveryCapacity) {
  Exact src("http://x.y/z");
  const TextSpan t{src.data(), src.size()};
  for (int cap = -2; cap <= static_cast<int>(src.size()) + 3; ++cap) {
    const std::size_t room = cap > 0 ? static_cast<std::size_t>(cap) : 0;
    Guarded g(room);
    const std::size_t n = CopyTarget(g.out(), cap, t);
    EXPECT_TRUE(g.GuardIntact()) << cap;
    if (cap <= 0) {
      EXPECT_EQ(0u, n);
      EXPECT_TRUE(g.Untouched()) << cap;
      continue;
    }
    EXPECT_EQ(std::min(room - 1, src.size()), n) << cap;
    EXPECT_EQ(0, std::memcmp(src.data(), g.out(), n));
    EXPECT_EQ('\0', g.out()[n]);
  }
}

TEST(CopyTarget, NullDestinationOrSource) {
  EXPECT_EQ(0u, CopyTarget(nullptr, 10, TextSpan{"abc", 3}));
  char out[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(0u, CopyTarget(out, sizeof out, TextSpan{nullptr, 3}));
  EXPECT_EQ('\0', out[0]);
  EXPECT_EQ('x', out[1]);
}

}  // namespace
}  // namespace quarvel
