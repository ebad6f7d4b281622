#include "http/HttpBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace quarvel {
namespace {

constexpr char kSentinel = '\x5A';

std::string Pattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

// ---- BuildRequestText ------------------------------------------------------

TEST(BuildRequestText, RefusesNullTextsAndLineBreaksLeavingTheBufferZero) {
  const std::string huge(100000, 'q');
  const std::pair<const char*, const char*> refused[] = {
      {nullptr, "/"}, {"h", nullptr}, {"h", "/a\r\nX-Injected: 1"}, {"h\nX: 1", "/"},
      {"h\r", "/"},   {huge.c_str(), huge.c_str()}};
  for (const auto& hp : refused) {
    char out[kRequestHeaderSize];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(0u, BuildRequestText(out, sizeof out, hp.first, hp.second));
    EXPECT_EQ(std::string(sizeof out, '\0'), std::string(out, sizeof out));
  }
}

// ---- IsHeaderEnd -----------------------------------------------------------

// Reads a header byte by byte, at most kHeaderReadLimit bytes. Returns the
// bytes up to the empty line, or 0. FindHeaderEnd must agree whichever
// earlier byte the scan resumes from, as when ReadHeader looks at a header
// that arrives in two parts.
std::size_t ScanHeader(const std::string& bytes) {
  const std::size_t n = std::min(bytes.size(), kHeaderReadLimit);
  std::vector<char> buf(bytes.begin(), bytes.begin() + n);
  std::size_t end = 0;
  for (std::size_t i = 0; i < n && end == 0; ++i) {
    if (IsHeaderEnd(buf.data(), i)) end = i + 1;
  }
  for (std::size_t from = 0; from <= (end > 0 ? end - 1 : n); ++from) {
    EXPECT_EQ(end, FindHeaderEnd(buf.data(), from, n)) << "resumed at " << from;
  }
  return end;
}

TEST(IsHeaderEnd, OnlyCrLfCrLfAfterAtLeastOneByte) {
  for (std::size_t i = 0; i <= 3; ++i) EXPECT_FALSE(IsHeaderEnd("\r\n\r\n", i)) << i;
  EXPECT_TRUE(IsHeaderEnd("X\r\n\r\n", 4));
  EXPECT_FALSE(IsHeaderEnd("X\r\n\r\n", 3));
  for (const char* notEnd : {"HTTP\n\n\n\n", "HTTP\r\r\r\n", "HTTP\n\r\n\r", "HTTP/\n\r\n"}) {
    EXPECT_FALSE(IsHeaderEnd(notEnd, 7)) << notEnd;
  }
  EXPECT_EQ(0u, ScanHeader("HTTP/1.1 200 OK\n\nbody"));
}

// ---- ParseContentLength ----------------------------------------------------

TEST(ParseContentLength, StrictDigitsInTheFirstOrEveryEqualField) {
  const std::string status = "HTTP/1.1 200 OK\r\n";
  const std::string tooBig = std::to_string(SIZE_MAX) + "0";
  struct Case {
    std::string fields;
    BodyLength result;
    std::size_t length;
  };
  const Case cases[] = {
      {"Content-Length: 5\r\n", kLengthDeclared, 5},
      {"X-A: b\r\ncontent-LENGTH:0\r\n", kLengthDeclared, 0},
      {"Content-Length: \t 12 \t\r\n", kLengthDeclared, 12},
      {"Content-Length: 7\r\nContent-Length: 7\r\n", kLengthDeclared, 7},
      {"Content-Length: " + std::to_string(SIZE_MAX) + "\r\n", kLengthDeclared, SIZE_MAX},
      {"", kLengthAbsent, 0},
      {"X-Content-Length: 5\r\nContent-Lengths: 5\r\nContent-Length : 5\r\n", kLengthAbsent, 0},
      {"X-A: b\nContent-Length: 5\r\n", kLengthAbsent, 0},  // not at a line start
      {"Content-Length: 7\r\nContent-Length: 8\r\n", kLengthMalformed, 0},
      {"Content-Length: 7\r\ntransfer-encoding: chunked\r\n", kLengthMalformed, 0},
      {"Content-Length: \r\n", kLengthMalformed, 0},
      {"Content-Length: +5\r\n", kLengthMalformed, 0},
      {"Content-Length: -1\r\n", kLengthMalformed, 0},
      {"Content-Length: 5a\r\n", kLengthMalformed, 0},
      {"Content-Length: 1 2\r\n", kLengthMalformed, 0},
      {"Content-Length: 5,5\r\n", kLengthMalformed, 0},
      {"Content-Length: 0x10\r\n", kLengthMalformed, 0},
      {"Content-Length: " + tooBig + "\r\n", kLengthMalformed, 0},
  };
  for (const Case& c : cases) {
    const std::string header = status + c.fields + "\r\n";
    std::size_t length = 99;
    EXPECT_EQ(c.result, ParseContentLength(header.data(), header.size(), &length)) << c.fields;
    EXPECT_EQ(c.result == kLengthDeclared ? c.length : 99u, length) << c.fields;
  }
  // The status line is no field.
  const std::string line = "Content-Length: 5\r\n\r\n";
  EXPECT_EQ(kLengthAbsent, ParseContentLength(line.data(), line.size(), nullptr));
}

// Cut anywhere, the header is read only within its length: a value whose
// line end is cut off is malformed, never a number read on into the rest.
TEST(ParseContentLength, EveryTruncation) {
  const std::string header = "HTTP/1.1 200 OK\r\nContent-Length: 42\r\nServer: x\r\n\r\n";
  const std::size_t field = header.find("Content-Length");
  const std::size_t fieldEnd = header.find("\r\n", field) + 2;
  for (std::size_t n = 0; n <= header.size(); ++n) {
    std::vector<char> exact(header.begin(), header.begin() + n);
    std::size_t length = 0;
    const BodyLength want = n < field + 15 ? kLengthAbsent
                            : n < fieldEnd ? kLengthMalformed
                                           : kLengthDeclared;
    ASSERT_EQ(want, ParseContentLength(exact.data(), n, &length)) << n;
    if (want == kLengthDeclared) ASSERT_EQ(42u, length);
  }
}

// ---- DeclaresChunkedBody and ScanChunked ----------------------------------

TEST(DeclaresChunkedBody, FinalCodingOfTheLastField) {
  const std::pair<std::string, bool> cases[] = {
      {"Transfer-Encoding: chunked\r\n", true},
      {"X-A: b\r\ntransfer-ENCODING:CHUNKED\r\n", true},
      {"Transfer-Encoding: \t chunked \t\r\n", true},
      {"Transfer-Encoding: gzip, chunked\r\n", true},
      {"Transfer-Encoding: gzip,chunked\r\n", true},
      {"Transfer-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n", true},
      {"Content-Length: 5\r\nTransfer-Encoding: chunked\r\n", true},
      {"", false},
      {"Transfer-Encoding: chunked, gzip\r\n", false},
      {"Transfer-Encoding: chunked\r\nTransfer-Encoding: gzip\r\n", false},
      {"Transfer-Encoding: chunkedx\r\n", false},
      {"Transfer-Encoding: x-chunked\r\n", false},
      {"Transfer-Encoding: chun ked\r\n", false},
      {"Transfer-Encoding: \r\n", false},
      {"X-Transfer-Encoding: chunked\r\nTransfer-Encoding : chunked\r\n", false},
      {"X-A: b\nTransfer-Encoding: chunked\r\n", false},  // not at a line start
  };
  for (const auto& c : cases) {
    const std::string header = "HTTP/1.1 200 OK\r\n" + c.first + "\r\n";
    EXPECT_EQ(c.second, DeclaresChunkedBody(header.data(), header.size())) << c.first;
  }
  // The status line is no field.
  const std::string line = "Transfer-Encoding: chunked\r\n\r\n";
  EXPECT_FALSE(DeclaresChunkedBody(line.data(), line.size()));
}

// Cut anywhere, the header is read only within its length: a coding whose
// line end is cut off is not taken.
TEST(DeclaresChunkedBody, EveryTruncation) {
  const std::string header = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nServer: x\r\n\r\n";
  const std::size_t fieldEnd = header.find("\r\nServer") + 2;
  for (std::size_t n = 0; n <= header.size(); ++n) {
    const std::vector<char> exact(header.begin(), header.begin() + n);
    ASSERT_EQ(n >= fieldEnd, DeclaresChunkedBody(exact.data(), n)) << n;
  }
}

// Feeds bytes in pieces ending at the offsets of cuts (ascending), each from
// an exact-size copy, so that a read past a piece meets the sanitizer.
// Checks that a result once done or malformed stays so; returns the last.
ChunkedResult ScanPieces(const std::string& bytes, const std::vector<std::size_t>& cuts) {
  ChunkedScan scan = {};
  ChunkedResult result = kChunkedNeedMore;
  std::size_t from = 0;
  for (std::size_t i = 0; i <= cuts.size(); ++i) {
    const std::size_t to = i < cuts.size() ? cuts[i] : bytes.size();
    const std::vector<char> piece(bytes.begin() + from, bytes.begin() + to);
    const ChunkedResult next = ScanChunked(&scan, piece.data(), piece.size());
    if (result != kChunkedNeedMore) EXPECT_EQ(result, next) << "at " << to;
    result = next;
    from = to;
  }
  return result;
}

TEST(ScanChunked, SameAnswerWholeSplitAnywhereOrByteByByte) {
  const std::string maxSize(2 * sizeof(std::size_t), 'f');
  const std::string overSize = "1" + std::string(2 * sizeof(std::size_t), '0');
  const std::pair<std::string, ChunkedResult> cases[] = {
      {"0\r\n\r\n", kChunkedDone},
      {"5\r\nhello\r\n0\r\n\r\n", kChunkedDone},
      {"1a\r\n" + Pattern(26) + "\r\nA\r\n0123456789\r\n0\r\n\r\n", kChunkedDone},
      {"0005;name=value;x\r\nhello\r\n000;last\r\n\r\n", kChunkedDone},
      {"5 \t;ext\r\nhello\r\n5\t \r\nworld\r\n0 ;\r\n\r\n", kChunkedDone},
      {"5\r\nhello\r\n0\r\nX-Sum: 1\r\nY:\r\n\r\n", kChunkedDone},
      // Data is counted, not looked at: CR LF and NUL inside it are data.
      {std::string("6\r\n\r\n\0\r\n0\r\n0\r\n\r\n", 16), kChunkedDone},
      {"", kChunkedNeedMore},
      {"5\r\nhello\r\n", kChunkedNeedMore},
      {"5\r\nhello\r\n0\r\nX-Sum: 1\r\n", kChunkedNeedMore},
      {"5\r\nhello\r\n0\r\n\r", kChunkedNeedMore},
      {"ffffff\r\nhello", kChunkedNeedMore},
      {"0" + maxSize + "\r\nhello", kChunkedNeedMore},
      {"\r\n", kChunkedMalformed},
      {";ext\r\nhello\r\n", kChunkedMalformed},
      {" 5\r\nhello\r\n", kChunkedMalformed},
      {"g\r\n", kChunkedMalformed},
      {"0x5\r\nhello\r\n", kChunkedMalformed},
      {"-1\r\n", kChunkedMalformed},
      {"5 x\r\nhello\r\n", kChunkedMalformed},
      {"5\nhello\r\n0\r\n\r\n", kChunkedMalformed},
      {"5;ext\nhello\r\n0\r\n\r\n", kChunkedMalformed},
      {"5\rhello\r\n0\r\n\r\n", kChunkedMalformed},
      {"5\r\nhelloX\r\n0\r\n\r\n", kChunkedMalformed},
      {"5\r\nhell\r\n0\r\n\r\n", kChunkedMalformed},
      {"5\r\nhello\n0\r\n\r\n", kChunkedMalformed},
      {"5\r\nhello\r\n0\r\n\n", kChunkedMalformed},
      {"0\r\nX-Sum: 1\n\r\n", kChunkedMalformed},
      {"0\r\n\rX", kChunkedMalformed},
      {overSize + "\r\nhello\r\n", kChunkedMalformed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.first));
    EXPECT_EQ(c.second, ScanPieces(c.first, {}));
    std::vector<std::size_t> everyByte;
    for (std::size_t k = 0; k <= c.first.size(); ++k) {
      EXPECT_EQ(c.second, ScanPieces(c.first, {k})) << "split at " << k;
      if (k > 0 && k < c.first.size()) everyByte.push_back(k);
    }
    EXPECT_EQ(c.second, ScanPieces(c.first, everyByte));
    // A complete body is done at its last byte, not one byte before.
    if (c.second == kChunkedDone) {
      EXPECT_EQ(kChunkedNeedMore, ScanPieces(c.first.substr(0, c.first.size() - 1), {}));
    }
  }
}

TEST(ScanChunked, ResultsStayAndBytesAfterTheEndAreNotLookedAt) {
  ChunkedScan done = {};
  const std::string body = "0\r\n\r\nHTTP/1.1 200 OK\r\n\n";
  EXPECT_EQ(kChunkedDone, ScanChunked(&done, body.data(), body.size()));
  EXPECT_EQ(kChunkedDone, ScanChunked(&done, "\n", 1));

  ChunkedScan bad = {};
  EXPECT_EQ(kChunkedMalformed, ScanChunked(&bad, "z", 1));
  EXPECT_EQ(kChunkedMalformed, ScanChunked(&bad, "0\r\n\r\n", 5));

  ChunkedScan start = {};
  EXPECT_EQ(kChunkedNeedMore, ScanChunked(&start, nullptr, 0));
  EXPECT_EQ(kChunkedMalformed, ScanChunked(nullptr, "0\r\n\r\n", 5));
}

// ---- FindStatusLine and ClassifyStatusLine ---------------------------------

StatusClass ClassOfHeader(const std::string& header) {
  std::size_t lineLen = 0;
  if (!FindStatusLine(header.data(), header.size(), &lineLen)) return kStatusOther;
  return ClassifyStatusLine(header.data(), lineLen);
}

TEST(ClassifyStatusLine, StatusLinesOfTheThreeClasses) {
  const std::pair<const char*, StatusClass> cases[] = {
      {"HTTP/1.1 302 Moved Temporarily\r\n\r\n", kStatusRedirect},
      {"HTTP/1.1 302 Found\r\nLocation: http://a/\r\n\r\n", kStatusRedirect},
      {"HTTP/1.1 301 Moved Permanently\r\n\r\n", kStatusOther},
      {"HTTP/1.0 200 OK\r\n\r\n", kStatusOk},
      {"HTTP/1.1 302 Redirect\r\n\r\n", kStatusOther},
      {"HTTP/1.1 307 Temporary Redirect\r\n\r\n", kStatusOther},
      {"HTTP/1.1 200 ok\r\n\r\n", kStatusOther},
      // Only the status line counts.
      {"HTTP/1.1 404 Not Found\r\nX-Note: 200 OK\r\n\r\n", kStatusOther},
      {"HTTP/1.1 500 Error\r\nX-Note: 302 Found\r\n\r\n", kStatusOther},
      // A status line needs its CR LF.
      {"HTTP/1.1 200 OK\n\n", kStatusOther},
      {"HTTP/1.1 302 Found\r", kStatusOther},
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, ClassOfHeader(c.first)) << c.first;

  EXPECT_EQ(kStatusOk, ClassifyStatusLine("302 Found 200 OK", 16));
  EXPECT_EQ(kStatusOther, ClassifyStatusLine("", 0));
}

// ---- Body gathering (kilobyte chunks from a socket: get_test) -------------

struct Body {
  std::vector<char> bytes = std::vector<char>(kResponseBodySize + 1, '\0');
  BodyGather gather{bytes.data(), kResponseBodySize, 0};
  Body() { bytes[kResponseBodySize] = kSentinel; }
  bool Append(const std::string& chunk) {
    return AppendBodyChunk(&gather, chunk.data(), static_cast<long>(chunk.size()));
  }
  // The text; every byte after it stays zero, and the sentinel intact.
  std::string Text() const {
    const std::string text(bytes.data());
    EXPECT_EQ(std::string(kResponseBodySize - text.size(), '\0'),
              std::string(bytes.data() + text.size(), kResponseBodySize - text.size()));
    EXPECT_EQ(kSentinel, bytes[kResponseBodySize]);
    return text;
  }
};

TEST(BodyGather, TotalStaysBelowTheCapacity) {
  Body body;
  const std::string chunk = Pattern(kResponseBodySize - 1);
  EXPECT_TRUE(body.Append(chunk));
  EXPECT_FALSE(body.Append("x"));
  EXPECT_TRUE(FinishBody(&body.gather));
  EXPECT_EQ(chunk, body.Text());

  Body whole;
  EXPECT_FALSE(whole.Append(Pattern(kResponseBodySize)));
  EXPECT_FALSE(FinishBody(&whole.gather));
  EXPECT_EQ("", whole.Text());

  Body huge;
  EXPECT_TRUE(huge.Append("ab"));
  EXPECT_FALSE(AppendBodyChunk(&huge.gather, "x", static_cast<long>(~0ul >> 1)));
  EXPECT_EQ(2u, huge.gather.total);
}

TEST(BodyGather, CloseOrErrorEndsTheBody) {
  Body none;
  EXPECT_FALSE(AppendBodyChunk(&none.gather, "", 0));
  EXPECT_FALSE(FinishBody(&none.gather));
  EXPECT_EQ("", none.Text());

  Body body;
  EXPECT_TRUE(AppendBodyChunk(&body.gather, "abcdef", 3));
  EXPECT_FALSE(AppendBodyChunk(&body.gather, "def", -1));
  EXPECT_TRUE(FinishBody(&body.gather));
  EXPECT_EQ("abc", body.Text());
}

TEST(BodyGather, ChunkWithNulContributesOnlyTheBytesBeforeIt) {
  Body body;
  EXPECT_TRUE(body.Append(std::string("ab\0cdefgh", 9)));
  EXPECT_TRUE(body.Append(std::string("\0xy", 3)));
  EXPECT_TRUE(body.Append("ef"));
  EXPECT_TRUE(FinishBody(&body.gather));
  // NUL-cut chunks still count whole towards the total.
  EXPECT_EQ(14u, body.gather.total);
  EXPECT_EQ("abef", body.Text());
}

}  // namespace
}  // namespace quarvel
