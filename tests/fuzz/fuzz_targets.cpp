// Every target cutter on arbitrary bytes: each target lies within the input,
// each write within its buffer, and the removal leaves no occurrence behind.
// Copying a target is CopyTarget.EveryCapacity's walk in targets_test.
#include "classify/Targets.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/fuzz/FuzzCheck.h"

namespace {

using namespace quarvel;

constexpr char kPortal[] = "https://kb.portal.test/kbs/product";
constexpr std::size_t kGuard = 16;
constexpr char kSentinel = '\xAB';

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

void CheckRemoveAll(const char* in, std::size_t len, const std::string& pattern) {
  std::vector<char> text(in, in + len);
  text.resize(len + kGuard, kSentinel);
  const std::size_t n = RemoveAll(text.data(), len, pattern.c_str());
  CHECK(n <= len);
  CHECK_ALL(text, n, len, '\0');
  CHECK_ALL(text, len, text.size(), kSentinel);
  // Nothing of the pattern is left (which occurrences go is targets_test's table).
  if (!pattern.empty()) CHECK(std::string(text.data(), n).find(pattern) == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider fdp(data, size);
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
  CheckRemoveAll(in.get(), len, std::string(pattern.c_str()));
  return 0;
}
