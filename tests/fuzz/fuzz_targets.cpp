// Every target cutter on arbitrary bytes: each target lies within the input,
// each write within its buffer, and the removal matches a restarting search.
#include "classify/Targets.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/fuzz/FuzzCheck.h"

namespace {

using namespace quarvel;

constexpr char kPortal[] = "https://kb.portal.test/kbs/product";
constexpr std::size_t kMaxCapacity = 1100;
constexpr std::size_t kGuard = 16;
constexpr char kSentinel = '\xAB';
// The restarting reference is slow; it only runs on inputs up to this size.
constexpr std::size_t kReferenceLimit = 2048;

bool Within(const char* in, std::size_t len, TextSpan span) {
  return span.begin >= in && span.len <= len &&
         static_cast<std::size_t>(span.begin - in) <= len - span.len;
}

void CheckLocation(const char* in, std::size_t len) {
  TextSpan t{};
  if (CutLocationTarget(in, len, &t) != kCutFound) return;
  CHECK(Within(in, len, t));
  CHECK(t.begin + t.len == in + len);
  CHECK(t.begin - in >= 9 && std::memcmp(t.begin - 9, "Location:", 9) == 0);
}

void CheckEmbedded(const char* in, std::size_t len) {
  TextSpan t{};
  if (CutEmbeddedTarget(in, len, &t) != kCutFound) return;
  CHECK(Within(in, len, t));
  CHECK(t.len >= 6);
  // The byte after the target closes the value; the one after that is ">".
  const std::size_t end = static_cast<std::size_t>(t.begin - in) + t.len;
  CHECK(end + 1 < len && in[end + 1] == '>');
  CHECK(std::memchr(t.begin, '>', t.len + 1) == nullptr);
}

void CheckPortal(const char* in, std::size_t len, const std::string& portal) {
  TextSpan t{};
  if (CutPortalTarget(in, len, portal.c_str(), &t) != kCutFound) return;
  CHECK(Within(in, len, t));
  CHECK(!portal.empty() && t.len >= portal.size());
  CHECK(std::memcmp(t.begin, portal.data(), portal.size()) == 0);
  const std::size_t end = static_cast<std::size_t>(t.begin - in) + t.len;
  CHECK(end < len && in[end] == '>');
}

void CheckMetaRefresh(const char* in, std::size_t len) {
  TextSpan address{};
  if (CutMetaRefreshTarget(in, len, &address) != kCutFound) return;
  CHECK(Within(in, len, address));
  // The address ends right before the tag's ">".
  const std::size_t end = static_cast<std::size_t>(address.begin - in) + address.len;
  CHECK(end < len && in[end] == '>');
}

void CheckCopy(const char* in, std::size_t len, int capacity) {
  const std::size_t room = capacity > 0 ? static_cast<std::size_t>(capacity) : 0;
  std::vector<char> out(room + kGuard, kSentinel);
  const std::size_t n = CopyTarget(out.data(), capacity, TextSpan{in, len});
  CHECK_ALL(out, room, out.size(), kSentinel);
  if (capacity <= 0) {
    CHECK(n == 0);
    return;
  }
  CHECK(n == (len < room - 1 ? len : room - 1));
  CHECK(std::memcmp(out.data(), in, n) == 0 && out[n] == '\0');
}

void CheckRemoveAll(const char* in, std::size_t len, const std::string& pattern) {
  std::vector<char> text(in, in + len);
  text.resize(len + kGuard, kSentinel);
  const std::size_t n = RemoveAll(text.data(), len, pattern.c_str());
  CHECK(n <= len);
  CHECK_ALL(text, n, len, '\0');
  CHECK_ALL(text, len, text.size(), kSentinel);
  if (len > kReferenceLimit) return;
  std::string expected(in, len);
  if (!pattern.empty()) {
    for (std::size_t p; (p = expected.find(pattern)) != std::string::npos;) {
      expected.erase(p, pattern.size());
    }
  }
  CHECK(expected == std::string(text.data(), n));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider fdp(data, size);
  const int copyCapacity = fdp.ConsumeIntegralInRange<int>(-2, static_cast<int>(kMaxCapacity));
  // A short pattern: NUL bytes end it early, as they would in a C string.
  const std::string pattern = fdp.ConsumeBytesAsString(fdp.ConsumeIntegralInRange<std::size_t>(0, 4));
  const bool ownPortal = fdp.ConsumeBool();
  const std::vector<char> rest = fdp.ConsumeRemainingBytes<char>();

  const std::size_t len = rest.size();
  const auto in = ExactCopy(rest.data(), len);

  CheckLocation(in.get(), len);
  CheckEmbedded(in.get(), len);
  CheckPortal(in.get(), len, ownPortal ? std::string(pattern.c_str()) : std::string(kPortal));
  CheckMetaRefresh(in.get(), len);
  CheckCopy(in.get(), len, copyCapacity);
  CheckRemoveAll(in.get(), len, std::string(pattern.c_str()));
  return 0;
}
