// Plays arbitrary bytes as a server's answer: header end, Content-Length,
// chunked declaration and framing, status class, body gathering in random
// receives, and requests composed into random capacities. Each result is
// checked against a plain reference, the same work done another way, or its
// bounds, in buffers of exactly their size.
#include "http/HttpBytes.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tests/ExpectedRequest.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

using namespace quarvel;

constexpr std::size_t kMaxRequestCapacity = 1100;
constexpr std::size_t kGuard = 16;
constexpr std::size_t kMaxBodyBytes = 8000;  // past the buffer's capacity
constexpr char kSentinel = '\x5A';

struct XorShift {  // chunk sizes, seeded from the input
  std::uint32_t state;
  std::uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
};

// Reads byte by byte, as ReadHeader does; returns the bytes read.
std::size_t ScanHeader(const std::uint8_t* data, std::size_t size, char* header, bool* ended) {
  std::memset(header, 0, kResponseHeaderSize);
  *ended = false;
  std::size_t i = 0;
  for (; i < kHeaderReadLimit && i < size; ++i) {
    header[i] = static_cast<char>(data[i]);
    const bool expected = i > 3 && std::memcmp(header + i - 3, "\r\n\r\n", 4) == 0;
    CHECK(IsHeaderEnd(header, i) == expected);
    if (expected) {
      *ended = true;
      return i + 1;
    }
  }
  return i;
}

// FindHeaderEnd resumed at any earlier byte agrees with the byte-wise scan.
void CheckHeaderEnd(const char* header, std::size_t read, bool ended, std::uint32_t roll) {
  const std::size_t from = read == 0 ? 0 : roll % read;
  CHECK(FindHeaderEnd(header, from, read) == (ended ? read : 0));
}

// Both read only within the header's length (an exact copy), the length is
// written only when declared, and a body declared chunked has no usable
// Content-Length. The fields' syntax is pinned by http_bytes_test's tables.
void CheckFraming(const char* header, std::size_t len) {
  const auto exact = ExactCopy(header, len);
  std::size_t length = 7;
  const BodyLength found = ParseContentLength(exact.get(), len, &length);
  CHECK(found == kLengthDeclared || length == 7);
  if (DeclaresChunkedBody(exact.get(), len)) CHECK(found == kLengthMalformed);
}

// Whole, then in random exact-size pieces: the same answer, and one that once
// done or malformed stays so.
void CheckChunkedScan(const char* bytes, std::size_t len, XorShift* rng) {
  ChunkedScan once{};
  const ChunkedResult expected = ScanChunked(&once, ExactCopy(bytes, len).get(), len);

  ChunkedScan pieces{};
  ChunkedResult result = kChunkedNeedMore;
  for (std::size_t at = 0; at < len;) {
    const std::uint32_t roll = rng->Next();
    const std::size_t n = roll % 4 == 0 ? 1 : 1 + (roll >> 2) % (len - at);
    const ChunkedResult next = ScanChunked(&pieces, ExactCopy(bytes + at, n).get(), n);
    if (result != kChunkedNeedMore) CHECK(next == result);
    result = next;
    at += n;
  }
  CHECK(result == expected);
}

void CheckStatusLine(const char* header, std::size_t len) {
  const std::string_view text(header, len);
  std::size_t lineLen = 0;
  const bool found = FindStatusLine(header, len, &lineLen);
  const std::size_t crlf = text.find("\r\n");
  CHECK(found == (crlf != std::string_view::npos));
  if (!found) return;
  CHECK(lineLen == crlf);

  const auto line = ExactCopy(header, lineLen);
  const std::string_view view(line.get(), lineLen);
  StatusClass expected = kStatusOther;
  if (view.find("200 OK") != std::string_view::npos) {
    expected = kStatusOk;
  } else if (view.find("302 Moved") != std::string_view::npos ||
             view.find("302 Found") != std::string_view::npos) {
    expected = kStatusRedirect;
  }
  CHECK(ClassifyStatusLine(line.get(), lineLen) == expected);
}

// bodyLen bytes of data (repeated) as receives of 1 to kBodyChunkSize bytes,
// now and then one that fills the buffer or to one byte short, or fails: the
// total stays below the capacity and counts every byte taken, the text ends
// within it. Which receives end the body is pinned by http_bytes_test.
void GatherBody(const std::uint8_t* data, std::size_t size, std::size_t bodyLen,
                XorShift* rng) {
  if (size == 0) bodyLen = 0;
  std::unique_ptr<char[]> body(new char[kResponseBodySize]());
  BodyGather gather{body.get(), kResponseBodySize, 0};
  for (std::size_t at = 0;;) {
    long count;
    const std::uint32_t roll = rng->Next();
    if (at == bodyLen) {
      count = 0;
    } else if (roll % 64 == 0) {
      count = -1;
    } else if (roll % 64 < 5) {
      count = static_cast<long>(kResponseBodySize - gather.total - roll % 2);
    } else {
      count = static_cast<long>(1 + (roll >> 8) % kBodyChunkSize);
    }
    if (count > 0 && static_cast<std::size_t>(count) > bodyLen - at) {
      count = static_cast<long>(bodyLen - at);
    }
    std::unique_ptr<char[]> chunk(new char[count > 0 ? count : 1]);
    for (long k = 0; k < count; ++k) chunk[k] = static_cast<char>(data[(at + k) % size]);
    const std::size_t before = gather.total;
    const bool more = AppendBodyChunk(&gather, chunk.get(), count);
    CHECK(gather.total < kResponseBodySize);
    if (!more) break;
    CHECK(count > 0 && gather.total == before + static_cast<std::size_t>(count));
    at += static_cast<std::size_t>(count);
  }
  const bool some = gather.total > 0;
  CHECK(FinishBody(&gather) == some);
  CHECK(strnlen(body.get(), kResponseBodySize) <= gather.total);
}

using testdata::ExpectedRequest;

void ComposeRequest(const std::string& host, const std::string& path, std::size_t capacity) {
  std::vector<char> out(capacity + kGuard, kSentinel);
  const std::size_t len = BuildRequestText(out.data(), capacity, host.c_str(), path.c_str());
  CHECK_ALL(out, capacity, out.size(), kSentinel);

  // What the function sees: the texts up to their first NUL.
  const std::string h(host.c_str()), p(path.c_str());
  const std::string expected = ExpectedRequest(h, p);
  const bool lineBreak = h.find_first_of("\r\n") != std::string::npos ||
                         p.find_first_of("\r\n") != std::string::npos;
  if (capacity == 0) {
    CHECK(len == 0);
  } else if (!lineBreak && expected.size() <= capacity - 1) {
    CHECK(len == expected.size());
    CHECK(std::memcmp(out.data(), expected.data(), len) == 0);
    CHECK_ALL(out, len, capacity, '\0');
  } else {
    CHECK(len == 0);
    CHECK_ALL(out, 0, capacity, '\0');
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The answer comes first in the input; the numbers that steer the run from its end.
  FuzzedDataProvider params(data, size);
  XorShift rng{params.ConsumeIntegral<std::uint32_t>() | 1u};
  const std::size_t capacity = params.ConsumeIntegralInRange<std::size_t>(0, kMaxRequestCapacity);
  const std::size_t bodyLen = params.ConsumeIntegralInRange<std::size_t>(0, kMaxBodyBytes);
  const std::size_t answerSize = params.remaining_bytes();

  std::unique_ptr<char[]> header(new char[kResponseHeaderSize]);
  bool ended = false;
  const std::size_t read = ScanHeader(data, answerSize, header.get(), &ended);
  CheckHeaderEnd(header.get(), read, ended, rng.Next());
  CheckFraming(header.get(), read);
  CheckStatusLine(header.get(), read);
  // The status line as the object's text holds it, up to its first NUL.
  CheckStatusLine(header.get(), strnlen(header.get(), kResponseHeaderSize));

  const std::uint8_t* body = ended ? data + read : data;
  const std::size_t bodySize = ended ? answerSize - read : answerSize;
  GatherBody(body, bodySize, bodyLen, &rng);
  CheckChunkedScan(reinterpret_cast<const char*>(body), bodySize, &rng);

  // Host and path are two stretches of the answer.
  const std::size_t hostEnd = answerSize == 0 ? 0 : rng.Next() % (answerSize + 1);
  const std::size_t pathEnd =
      hostEnd + (answerSize == hostEnd ? 0 : rng.Next() % (answerSize - hostEnd + 1));
  const char* text = reinterpret_cast<const char*>(data);
  ComposeRequest(std::string(text, hostEnd), std::string(text + hostEnd, pathEnd - hostEnd),
                 capacity);
  ComposeRequest(std::string(text, hostEnd), "/", kRequestHeaderSize);
  return 0;
}
