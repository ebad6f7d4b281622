#include "component/ProvinceCode.h"

#include <gtest/gtest.h>

#include <string>

namespace quarvel {
namespace {

// The code cut out of the first len units of channel, or "<none>" when they
// hold no "-" (and the outputs are left alone).
std::u16string Cut(const std::u16string& channel, std::size_t len) {
  std::size_t begin = 99, codeLen = 99;
  if (!CutProvinceCode(channel.data(), len, &begin, &codeLen)) {
    EXPECT_EQ(99u, begin);
    EXPECT_EQ(99u, codeLen);
    return u"<none>";
  }
  EXPECT_LE(begin + codeLen, len);
  return channel.substr(begin, codeLen);
}

TEST(CutProvinceCode, AtMostTwoUnitsAfterTheFirstDash) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"xx-27", u"27"}, {u"xx-2712", u"27"}, {u"-13", u"13"}, {u"a-b-c", u"b-"},
      {u"xx-2", u"2"}, {u"xx-", u""}, {u"27", u"<none>"}, {u"", u"<none>"},
      {u"\x5C71-\x9655\x897F\x7701", u"\x9655\x897F"},  // units, not bytes
      {u"xx\xFF0D" u"27", u"<none>"},                   // a full-width hyphen is no "-"
  };
  for (std::size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    EXPECT_EQ(cases[i].second, Cut(cases[i].first, cases[i].first.size())) << "case " << i;
  }
  EXPECT_EQ(u"<none>", Cut(u"xx-27", 2));  // looks no further than the length
  EXPECT_EQ(u"2", Cut(u"xx-27", 4));
}

}  // namespace
}  // namespace quarvel
