#include "http/HttpBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace quarvel {
namespace {

constexpr char kSentinel = '\x5A';

const std::string kUserAgentLine =
    "User-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0; SLCC2; "
    ".NET CLR 2.0.50727; .NET CLR 3.5.30729; .NET CLR 3.0.30729; Media Center PC 6.0; "
    "InfoPath.3; .NET4.0C; Tablet PC 2.0)\r\n";

std::string ExpectedRequest(const std::string& host, const std::string& path) {
  return "GET " + path + " HTTP/1.1\r\n" + "Host: " + host + "\r\n" + "Accept: */*\r\n" +
         "Accept-Language: zh-cn\r\n" + kUserAgentLine + "Connection: Keep-Alive\r\n" + "\r\n";
}

std::size_t CountCrLf(const char* text, std::size_t len) {
  std::size_t pairs = 0;
  for (std::size_t i = 0; i + 1 < len; ++i) {
    if (text[i] == '\r' && text[i + 1] == '\n') ++pairs;
  }
  return pairs;
}

// ---- BuildRequestText ------------------------------------------------------

TEST(BuildRequestText, ComposesTheFixedRequestByteForByte) {
  char out[kRequestHeaderSize];
  const std::size_t len = BuildRequestText(out, sizeof out, "h", "/");
  const std::string expected = ExpectedRequest("h", "/");
  ASSERT_EQ(expected.size(), len);
  EXPECT_EQ(expected, std::string(out, len));
  EXPECT_EQ('\0', out[len]);
  // Six header lines and the empty line, and no stray CR or LF besides.
  EXPECT_EQ(7u, CountCrLf(out, len));
  EXPECT_EQ(len, std::strlen(out));
}

TEST(BuildRequestText, KeepsQueryTextAndHostCaseUnchanged) {
  char out[kRequestHeaderSize];
  const std::size_t len = BuildRequestText(out, sizeof out, "SomeHost", "/a?b=%20&c=d");
  EXPECT_EQ(ExpectedRequest("SomeHost", "/a?b=%20&c=d"), std::string(out, len));
}

TEST(BuildRequestText, ClearsTheWholeBufferBeforeWriting) {
  char out[kRequestHeaderSize];
  std::memset(out, 'x', sizeof out);
  const std::size_t len = BuildRequestText(out, sizeof out, "h", "/");
  for (std::size_t i = len; i < sizeof out; ++i) ASSERT_EQ('\0', out[i]) << "at " << i;
}

TEST(BuildRequestText, RefusesNullTextsAndLeavesTheBufferZero) {
  char out[kRequestHeaderSize];
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(0u, BuildRequestText(out, sizeof out, nullptr, "/"));
  EXPECT_EQ(std::string(sizeof out, '\0'), std::string(out, sizeof out));
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(0u, BuildRequestText(out, sizeof out, "h", nullptr));
  EXPECT_EQ(std::string(sizeof out, '\0'), std::string(out, sizeof out));
}

TEST(BuildRequestText, RefusesLineBreaksThatWouldInjectHeaderLines) {
  char out[kRequestHeaderSize];
  EXPECT_EQ(0u, BuildRequestText(out, sizeof out, "h", "/a\r\nX-Injected: 1"));
  EXPECT_EQ(0u, BuildRequestText(out, sizeof out, "h\nX: 1", "/"));
  EXPECT_EQ(0u, BuildRequestText(out, sizeof out, "h\r", "/"));
  EXPECT_EQ(std::string(sizeof out, '\0'), std::string(out, sizeof out));
}

// Every capacity around the exact size: the request is written whole when it
// and its NUL fit, refused (all zero) otherwise, and the byte after the
// capacity is never touched.
TEST(BuildRequestText, WalksEveryCapacityWithoutWritingPastIt) {
  const std::string host = "probe.example.test";
  const std::string path = "/city.asp";
  const std::string expected = ExpectedRequest(host, path);
  for (std::size_t capacity = 0; capacity <= expected.size() + 2; ++capacity) {
    std::vector<char> buf(capacity + 1, kSentinel);
    const std::size_t len = BuildRequestText(buf.data(), capacity, host.c_str(), path.c_str());
    ASSERT_EQ(kSentinel, buf[capacity]) << "capacity " << capacity;
    if (capacity > expected.size()) {
      ASSERT_EQ(expected.size(), len) << "capacity " << capacity;
      ASSERT_EQ(expected, std::string(buf.data(), len));
    } else {
      ASSERT_EQ(0u, len) << "capacity " << capacity;
      ASSERT_EQ(std::string(capacity, '\0'), std::string(buf.data(), capacity));
    }
  }
}

TEST(BuildRequestText, RefusesAPathTooLongForTheRecordBuffer) {
  char out[kRequestHeaderSize];
  const std::string fits(kRequestHeaderSize - 1 - ExpectedRequest("h", "").size(), 'p');
  EXPECT_EQ(kRequestHeaderSize - 1, BuildRequestText(out, sizeof out, "h", fits.c_str()));
  const std::string tooLong = fits + "p";
  EXPECT_EQ(0u, BuildRequestText(out, sizeof out, "h", tooLong.c_str()));
  const std::string huge(100000, 'q');
  EXPECT_EQ(0u, BuildRequestText(out, sizeof out, huge.c_str(), huge.c_str()));
}

// ---- IsHeaderEnd -----------------------------------------------------------

// Reads a header the way ReadHeader does: byte by byte, stopping at the first
// index that completes the empty line. Returns the number of bytes consumed,
// or 0 when limit bytes pass without one.
std::size_t ScanHeader(const std::string& bytes, std::size_t limit) {
  std::vector<char> buf(limit, '\0');
  for (std::size_t i = 0; i < limit && i < bytes.size(); ++i) {
    buf[i] = bytes[i];
    if (IsHeaderEnd(buf.data(), i)) return i + 1;
  }
  return 0;
}

TEST(IsHeaderEnd, NeedsFourBytesBeforeTheFinalLineFeed) {
  const char bare[] = "\r\n\r\n";
  for (std::size_t i = 0; i <= 3; ++i) EXPECT_FALSE(IsHeaderEnd(bare, i)) << "i " << i;
  const char shortest[] = "X\r\n\r\n";
  EXPECT_TRUE(IsHeaderEnd(shortest, 4));
  EXPECT_FALSE(IsHeaderEnd(shortest, 3));
}

TEST(IsHeaderEnd, RecognisesOnlyCrLfCrLf) {
  EXPECT_FALSE(IsHeaderEnd("HTTP\n\n\n\n", 7));
  EXPECT_FALSE(IsHeaderEnd("HTTP\r\r\r\n", 7));
  EXPECT_FALSE(IsHeaderEnd("HTTP\n\r\n\r", 7));
  EXPECT_FALSE(IsHeaderEnd("HTTP/\n\r\n", 7));
  EXPECT_TRUE(IsHeaderEnd("HTTP\r\n\r\n", 7));
}

TEST(IsHeaderEnd, StopsTheReaderExactlyAtTheEmptyLine) {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n";
  EXPECT_EQ(head.size(), ScanHeader(head + "<html>body</html>", kHeaderReadLimit));
  // A lone LF line end is not the end of the header.
  EXPECT_EQ(0u, ScanHeader("HTTP/1.1 200 OK\n\nbody", kHeaderReadLimit));
}

TEST(IsHeaderEnd, HeaderEndingAtTheLastReadableByteIsAccepted) {
  const std::string line = "HTTP/1.1 200 OK\r\n";
  std::string exact = line + std::string(kHeaderReadLimit - line.size() - 4, 'a') + "\r\n\r\n";
  ASSERT_EQ(kHeaderReadLimit, exact.size());
  EXPECT_EQ(kHeaderReadLimit, ScanHeader(exact, kHeaderReadLimit));

  std::string noEnd = line + std::string(kHeaderReadLimit - line.size(), 'a');
  EXPECT_EQ(0u, ScanHeader(noEnd + "\r\n\r\n", kHeaderReadLimit));
}

// ---- FindStatusLine and ClassifyStatusLine ---------------------------------

StatusClass ClassOfHeader(const std::string& header) {
  std::size_t lineLen = 0;
  if (!FindStatusLine(header.data(), header.size(), &lineLen)) return kStatusOther;
  return ClassifyStatusLine(header.data(), lineLen);
}

TEST(FindStatusLine, EndsAtTheFirstCrLf) {
  const std::string header = "HTTP/1.1 404 Not Found\r\nServer: x\r\n\r\n";
  std::size_t lineLen = 99;
  ASSERT_TRUE(FindStatusLine(header.data(), header.size(), &lineLen));
  EXPECT_EQ(std::strlen("HTTP/1.1 404 Not Found"), lineLen);
}

TEST(FindStatusLine, FailsWithoutCrLfInsideTheLength) {
  std::size_t lineLen = 0;
  EXPECT_FALSE(FindStatusLine("HTTP/1.1 200 OK\n", 16, &lineLen));
  EXPECT_FALSE(FindStatusLine("HTTP/1.1 200 OK\r", 16, &lineLen));
  // The CR LF lies one byte past the given length.
  EXPECT_FALSE(FindStatusLine("HTTP/1.1 200 OK\r\n", 16, &lineLen));
  EXPECT_FALSE(FindStatusLine("", 0, &lineLen));
  ASSERT_TRUE(FindStatusLine("\r\n", 2, &lineLen));
  EXPECT_EQ(0u, lineLen);
}

TEST(ClassifyStatusLine, TellsTheThreeClassesApart) {
  EXPECT_EQ(kStatusRedirect, ClassOfHeader("HTTP/1.1 302 Moved Temporarily\r\n\r\n"));
  EXPECT_EQ(kStatusRedirect, ClassOfHeader("HTTP/1.1 302 Found\r\nLocation: http://a/\r\n\r\n"));
  EXPECT_EQ(kStatusOther, ClassOfHeader("HTTP/1.1 301 Moved Permanently\r\n\r\n"));
  EXPECT_EQ(kStatusOk, ClassOfHeader("HTTP/1.0 200 OK\r\n\r\n"));
  EXPECT_EQ(kStatusOther, ClassOfHeader("HTTP/1.1 302 Redirect\r\n\r\n"));
  EXPECT_EQ(kStatusOther, ClassOfHeader("HTTP/1.1 303 See Other\r\n\r\n"));
  EXPECT_EQ(kStatusOther, ClassOfHeader("HTTP/1.1 307 Temporary Redirect\r\n\r\n"));
  EXPECT_EQ(kStatusOther, ClassOfHeader("HTTP/1.1 200 ok\r\n\r\n"));
}

TEST(ClassifyStatusLine, LooksOnlyAtTheStatusLine) {
  EXPECT_EQ(kStatusOther, ClassOfHeader("HTTP/1.1 404 Not Found\r\nX-Note: 200 OK\r\n\r\n"));
  EXPECT_EQ(kStatusOther,
            ClassOfHeader("HTTP/1.1 500 Error\r\nX-Note: 302 Found\r\n\r\n"));
}

TEST(ClassifyStatusLine, OkWinsOverRedirectAndMatchesAnywhere) {
  EXPECT_EQ(kStatusOk, ClassifyStatusLine("302 Found 200 OK", 16));
  EXPECT_EQ(kStatusOk, ClassifyStatusLine("200 OK", 6));
  EXPECT_EQ(kStatusOther, ClassifyStatusLine("200 OK", 5));
  EXPECT_EQ(kStatusOther, ClassifyStatusLine("", 0));
}

TEST(ClassifyStatusLine, ReadsNoFurtherThanTheLength) {
  // The text past the length must not count, even though it is readable.
  const char line[] = "HTTP/1.1 302 Foun" "d";
  EXPECT_EQ(kStatusOther, ClassifyStatusLine(line, sizeof line - 2));
  EXPECT_EQ(kStatusRedirect, ClassifyStatusLine(line, sizeof line - 1));
}

// ---- Body gathering --------------------------------------------------------

struct Body {
  std::vector<char> bytes = std::vector<char>(kResponseBodySize + 1, '\0');
  BodyGather gather{bytes.data(), kResponseBodySize, 0};
  Body() { bytes[kResponseBodySize] = kSentinel; }
  std::string Text() const { return std::string(bytes.data()); }
};

// Feeds data in chunks of at most chunkSize bytes, as the receive loop would,
// and returns how many chunks were taken.
int FeedInChunks(Body* body, const std::string& data, std::size_t chunkSize) {
  int taken = 0;
  for (std::size_t at = 0; at < data.size(); at += chunkSize) {
    const std::size_t n = std::min(chunkSize, data.size() - at);
    if (!AppendBodyChunk(&body->gather, data.data() + at, static_cast<long>(n))) return taken;
    ++taken;
  }
  AppendBodyChunk(&body->gather, "", 0);  // the peer closes
  return taken;
}

std::string Pattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

TEST(BodyGather, SevenThousandBytesInKilobyteChunksKeepFiveChunks) {
  Body body;
  const std::string data = Pattern(7000);
  EXPECT_EQ(5, FeedInChunks(&body, data, kBodyChunkSize));
  EXPECT_TRUE(FinishBody(&body.gather));
  EXPECT_EQ(5120u, body.gather.total);
  EXPECT_EQ(data.substr(0, 5120), body.Text());
  EXPECT_EQ(kSentinel, body.bytes[kResponseBodySize]);
}

TEST(BodyGather, TotalStaysBelowTheCapacity) {
  Body body;
  const std::string chunk = Pattern(kResponseBodySize - 1);
  EXPECT_TRUE(AppendBodyChunk(&body.gather, chunk.data(), static_cast<long>(chunk.size())));
  EXPECT_FALSE(AppendBodyChunk(&body.gather, "x", 1));
  EXPECT_TRUE(FinishBody(&body.gather));
  EXPECT_EQ(chunk, body.Text());
  EXPECT_EQ(kSentinel, body.bytes[kResponseBodySize]);

  Body whole;
  const std::string exact = Pattern(kResponseBodySize);
  EXPECT_FALSE(AppendBodyChunk(&whole.gather, exact.data(), static_cast<long>(exact.size())));
  EXPECT_FALSE(FinishBody(&whole.gather));
  EXPECT_EQ("", whole.Text());
}

TEST(BodyGather, ServerClosingAtOnceGivesNoBody) {
  Body body;
  EXPECT_FALSE(AppendBodyChunk(&body.gather, "", 0));
  EXPECT_FALSE(FinishBody(&body.gather));
  EXPECT_EQ(0u, body.gather.total);
  EXPECT_EQ("", body.Text());
}

TEST(BodyGather, ReceiveErrorEndsTheBody) {
  Body body;
  EXPECT_TRUE(AppendBodyChunk(&body.gather, "abc", 3));
  EXPECT_FALSE(AppendBodyChunk(&body.gather, "def", -1));
  EXPECT_TRUE(FinishBody(&body.gather));
  EXPECT_EQ("abc", body.Text());
}

TEST(BodyGather, ChunkWithNulContributesOnlyTheBytesBeforeIt) {
  Body body;
  const char first[] = {'a', 'b', '\0', 'c', 'd'};
  EXPECT_TRUE(AppendBodyChunk(&body.gather, first, sizeof first));
  EXPECT_TRUE(AppendBodyChunk(&body.gather, "ef", 2));
  EXPECT_TRUE(FinishBody(&body.gather));
  // The NUL-cut chunk still counts whole towards the total.
  EXPECT_EQ(7u, body.gather.total);
  EXPECT_EQ("abef", body.Text());
}

TEST(BodyGather, ChunkStartingWithNulAddsNoText) {
  Body body;
  const char chunk[] = {'\0', 'x', 'y'};
  EXPECT_TRUE(AppendBodyChunk(&body.gather, chunk, sizeof chunk));
  EXPECT_TRUE(FinishBody(&body.gather));
  EXPECT_EQ(3u, body.gather.total);
  EXPECT_EQ("", body.Text());
}

TEST(BodyGather, CountTakesNoBytesPastTheReceivedOnes) {
  Body body;
  EXPECT_TRUE(AppendBodyChunk(&body.gather, "abcdef", 3));
  EXPECT_TRUE(FinishBody(&body.gather));
  EXPECT_EQ("abc", body.Text());
}

TEST(BodyGather, OneByteAtATimeFillsToCapacityMinusOne) {
  Body body;
  const std::string data = Pattern(kResponseBodySize + 10);
  EXPECT_EQ(static_cast<int>(kResponseBodySize - 1), FeedInChunks(&body, data, 1));
  EXPECT_TRUE(FinishBody(&body.gather));
  EXPECT_EQ(data.substr(0, kResponseBodySize - 1), body.Text());
  EXPECT_EQ(kSentinel, body.bytes[kResponseBodySize]);
}

TEST(BodyGather, HugeCountIsDroppedWithoutOverflow) {
  Body body;
  EXPECT_TRUE(AppendBodyChunk(&body.gather, "ab", 2));
  EXPECT_FALSE(AppendBodyChunk(&body.gather, "x", static_cast<long>(~0ul >> 1)));
  EXPECT_EQ(2u, body.gather.total);
  EXPECT_EQ("ab", body.Text());
}

TEST(BodyGather, ChunkedCodingIsKeptAsItArrives) {
  Body body;
  const std::string chunked = "5\r\nhello\r\n0\r\n\r\n";
  EXPECT_EQ(1, FeedInChunks(&body, chunked, kBodyChunkSize));
  EXPECT_TRUE(FinishBody(&body.gather));
  EXPECT_EQ(chunked, body.Text());
}

}  // namespace
}  // namespace quarvel
