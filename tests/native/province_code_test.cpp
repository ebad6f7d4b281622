#include "component/ProvinceCode.h"

#include <gtest/gtest.h>

#include <string>

namespace quarvel {
namespace {

// The code cut out of channel, or "<none>" when the channel has no "-".
std::u16string Cut(const std::u16string& channel) {
  std::size_t begin = 99, codeLen = 99;
  if (!CutProvinceCode(channel.data(), channel.size(), &begin, &codeLen)) return u"<none>";
  EXPECT_LE(begin + codeLen, channel.size());
  return channel.substr(begin, codeLen);
}

TEST(CutProvinceCode, TakesTwoUnitsAfterTheFirstDash) {
  EXPECT_EQ(u"27", Cut(u"xx-27"));
  EXPECT_EQ(u"27", Cut(u"xx-2712"));
  EXPECT_EQ(u"13", Cut(u"-13"));
  EXPECT_EQ(u"b-", Cut(u"a-b-c"));
  EXPECT_EQ(u"2", Cut(u"xx-2"));
}

TEST(CutProvinceCode, DashAtTheEndGivesAnEmptyCode) {
  std::size_t begin = 0, codeLen = 99;
  const std::u16string channel = u"xx-";
  ASSERT_TRUE(CutProvinceCode(channel.data(), channel.size(), &begin, &codeLen));
  EXPECT_EQ(3u, begin);
  EXPECT_EQ(0u, codeLen);
}

TEST(CutProvinceCode, NoDashLeavesTheOutputsAlone) {
  std::size_t begin = 7, codeLen = 7;
  const std::u16string channel = u"27";
  EXPECT_FALSE(CutProvinceCode(channel.data(), channel.size(), &begin, &codeLen));
  EXPECT_EQ(7u, begin);
  EXPECT_EQ(7u, codeLen);
  EXPECT_EQ(u"<none>", Cut(u""));
}

TEST(CutProvinceCode, LooksNoFurtherThanTheLength) {
  const std::u16string channel = u"xx-27";
  std::size_t begin = 0, codeLen = 0;
  EXPECT_FALSE(CutProvinceCode(channel.data(), 2, &begin, &codeLen));
  ASSERT_TRUE(CutProvinceCode(channel.data(), 4, &begin, &codeLen));
  EXPECT_EQ(1u, codeLen);
}

TEST(CutProvinceCode, NonAsciiUnitsAreCountedAsUnits) {
  EXPECT_EQ(u"\x9655\x897F", Cut(u"\x5C71-\x9655\x897F\x7701"));
  // A full-width hyphen is not the separator.
  EXPECT_EQ(u"<none>", Cut(u"xx\xFF0D" u"27"));
}

}  // namespace
}  // namespace quarvel
