// Matches a needle against a target, both cut from the input, against a
// plain search; copies a page text into a UTF-16 page of random size.
#include "classify/RuleMatch.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/fuzz/FuzzCheck.h"

namespace {

using namespace quarvel;

constexpr std::uint32_t kMaxPageCount = 1100;
constexpr std::size_t kGuard = 8;
constexpr char16_t kSentinel = 0xABCD;

void CheckRuleHits(FuzzedDataProvider& fdp) {
  // Both held as C strings: the first NUL ends each, as in a value buffer.
  const std::string needle = fdp.ConsumeRandomLengthString(kRuleValueSize - 1).c_str();
  const std::string target = fdp.ConsumeRandomLengthString(kRuleValueSize * 2).c_str();
  const bool expected = !needle.empty() && target.find(needle) != std::string::npos;
  CHECK(RuleHits(needle.c_str(), target.c_str()) == expected);
}

void CheckCopyPageText(FuzzedDataProvider& fdp) {
  const std::uint32_t count = fdp.ConsumeIntegralInRange<std::uint32_t>(0, kMaxPageCount);
  std::u16string text;
  while (fdp.remaining_bytes() >= 2) {
    text.push_back(static_cast<char16_t>(fdp.ConsumeIntegral<std::uint16_t>()));
  }
  const std::size_t textLen = std::u16string(text.c_str()).size();

  std::vector<char16_t> page(count + kGuard, kSentinel);
  const std::size_t n = CopyPageText(page.data(), count, text.c_str());
  CHECK_ALL(page, count, page.size(), kSentinel);
  if (count == 0) {
    CHECK(n == 0);
    return;
  }
  CHECK(n == (textLen < count - 1 ? textLen : count - 1));
  CHECK(text.compare(0, n, page.data(), n) == 0);
  CHECK(page[n] == u'\0');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider fdp(data, size);
  CheckRuleHits(fdp);
  CheckCopyPageText(fdp);
  return 0;
}
