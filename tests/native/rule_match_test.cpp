#include "classify/RuleMatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace quarvel {
namespace {

// The needle anywhere in the target, byte for byte (letter case and GBK
// bytes count); an empty or missing needle or target never hits.
TEST(RuleHits, NeedleAnywhereInTheTarget) {
  const char* target = "https://kb.portal.test/kbs/product?nodeid=138485\"";
  const std::string value(kRuleValueSize - 1, 'v');
  const std::string longTarget = "http://x/" + value + "?q", overlong = value + "w";
  const struct {
    const char* needle;
    const char* target;
    bool hits;
  } cases[] = {
      {"nodeid=138485", target, true}, {"https://", target, true}, {"\"", target, true},
      {target, target, true}, {"nodeid=138428", target, false},
      {"ArrearsPage", " http://isp.test/arrearspage.html\r\n", false},
      {"arrearspage", " http://isp.test/arrearspage.html\r\n", true},
      {"", "anything", false}, {"", "", false}, {nullptr, "anything", false}, {"a", nullptr, false},
      {"a", "", false}, {"abcd", "abc", false},
      {value.c_str(), longTarget.c_str(), true}, {overlong.c_str(), longTarget.c_str(), false},
      {"\xC7\xB7\xB7\xD1", "http://a/\xC7\xB7\xB7\xD1.html", true},
      {"\xC7\xB7\xB7\xD2", "http://a/\xC7\xB7\xB7\xD1.html", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.hits, RuleHits(c.needle, c.target)) << (c.needle ? c.needle : "(null)");
  }
}

constexpr char16_t kSentinel = 0xABCD;
constexpr char16_t kDirt = 0x5A5A;
constexpr std::size_t kGuard = 4;

TEST(CopyPageText, EveryPageCount) {
  const std::u16string text = u"http://isp.test/\u6B20\u8D39.html";
  for (std::uint32_t count = 0; count <= text.size() + 3; ++count) {
    std::vector<char16_t> page(count + kGuard, kDirt);
    for (std::size_t i = count; i < page.size(); ++i) page[i] = kSentinel;
    const std::size_t n = CopyPageText(page.data(), count, text.c_str());
    for (std::size_t i = count; i < page.size(); ++i) EXPECT_EQ(kSentinel, page[i]) << count;
    if (count == 0) {
      EXPECT_EQ(0u, n);
      continue;
    }
    const std::size_t kept = std::min<std::size_t>(count - 1, text.size());
    EXPECT_EQ(kept, n) << count;
    EXPECT_EQ(text.substr(0, kept), std::u16string(page.data(), kept));
    EXPECT_EQ(u'\0', page[kept]);
  }
}

// A null text is empty; units after the terminator are neither copied nor counted.
TEST(CopyPageText, NullPageOrTextAndTheTextTerminator) {
  EXPECT_EQ(0u, CopyPageText(nullptr, 10, u"abc"));
  const char16_t text[] = {u'a', u'b', u'\0', u'c', u'd'};
  for (const char16_t* t : {static_cast<const char16_t*>(nullptr), u"", text}) {
    char16_t page[6] = {kDirt, kDirt, kDirt, kDirt, kDirt, kDirt};
    const std::size_t n = t == text ? 2 : 0;
    EXPECT_EQ(n, CopyPageText(page, 6, t));
    EXPECT_EQ(u'\0', page[n]);
    EXPECT_EQ(kDirt, page[n + 1]);
  }
}

}  // namespace
}  // namespace quarvel
