#include "support/LogFormat.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace quarvel {
namespace {

constexpr char kSentinel = '\x5A';
constexpr std::size_t kGuardBytes = 16;

// Code page 936 texts of the log points; their trail bytes lie in the
// lead-byte range too, so only a walk from the start finds characters.
const std::string kDisconnected = "\xC1\xAC\xBD\xD3\xD2\xD1\xB6\xCF\xBF\xAA\xA3\xA1";
const std::string kAddressInfo =
    "\xBB\xF1\xC8\xA1\xB5\xBD\xB5\xC4\xB5\xD8\xD6\xB7\xD0\xC5\xCF\xA2\xA3\xBA";
const std::string kArrears = "\xD5\xCA\xBA\xC5\xC7\xB7\xB7\xD1";

using Formatter = std::function<std::size_t(char*, std::size_t)>;

// Runs a formatter into capacity bytes followed by guard bytes and checks what
// every call must give: nothing written past capacity, a terminated text of
// the returned length, ended by "\n" whenever there is room for it.
std::string RunBounded(const Formatter& format, std::size_t capacity) {
  std::vector<char> buf(capacity + kGuardBytes, kSentinel);
  const std::size_t len = format(buf.data(), capacity);
  for (std::size_t i = capacity; i < buf.size(); ++i) {
    EXPECT_EQ(kSentinel, buf[i]) << "written past capacity " << capacity << " at " << i;
  }
  if (capacity == 0) {
    EXPECT_EQ(0u, len);
    return std::string();
  }
  EXPECT_LT(len, capacity);
  EXPECT_EQ(len, std::strlen(buf.data()));
  if (capacity >= 2) EXPECT_EQ('\n', len > 0 ? buf[len - 1] : 0) << "capacity " << capacity;
  return std::string(buf.data(), len);
}

// The longest prefix of a code page 936 text no longer than max bytes that
// keeps its characters whole, found by walking from the start.
std::size_t LongestPrefix(const std::string& text, std::size_t max) {
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    const std::size_t step = (b >= 0x81 && b <= 0xFE && i + 1 < text.size()) ? 2 : 1;
    if (i + step > max) break;
    i += step;
  }
  return i;
}

TEST(LogFormat, LayoutsNumbersAndEmptyTexts) {
  const std::pair<Formatter, std::string> cases[] = {
      {[](char* o, std::size_t c) { return FormatNumbered(o, c, kDisconnected.c_str(), 285); },
       kDisconnected + " -> 285\n"},
      {[](char* o, std::size_t c) { return FormatWithValue(o, c, "Check", "http://a.test/x", 312); },
       "Check http://a.test/x-> 312\n"},
      {[](char* o, std::size_t c) { return FormatCompact(o, c, "Get", 7); }, "Get-> 7\n"},
      {[](char* o, std::size_t c) { return FormatWithTwoValues(o, c, kAddressInfo.c_str(), 828, "A", "B"); },
       kAddressInfo + " -> 828,A,B\n"},
      {[](char* o, std::size_t c) { return FormatWithTwoValues(o, c, "m", 828, "", "B"); }, "m -> 828,,B\n"},
      {[](char* o, std::size_t c) { return FormatWithTwoValues(o, c, nullptr, 8, nullptr, nullptr); },
       " -> 8,,\n"},
      {[](char* o, std::size_t c) { return FormatWithValue(o, c, "m", nullptr, 2); }, "m -> 2\n"},
      // A lone lead byte at the end of a text is a character of its own.
      {[](char* o, std::size_t c) { return FormatNumbered(o, c, "ab\xB0", 1); }, "ab\xB0 -> 1\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, RunBounded(c.first, kLogLineBound));
  EXPECT_EQ(0u, FormatNumbered(nullptr, 10, "m", 1));
}

// Every capacity of a "message sep value tail" line: the value gives way
// first, then the message, each at a character boundary; the punctuation,
// the number and "\n" only when nothing else is left, and "\n" still ends it.
void WalkCapacities(const std::function<std::size_t(char*, std::size_t)>& format,
                    const std::string& message, const std::string& sep,
                    const std::string& value, const std::string& tail) {
  const std::size_t full = message.size() + sep.size() + value.size() + tail.size();
  for (std::size_t capacity = 0; capacity <= full + 2; ++capacity) {
    const std::string line = RunBounded(format, capacity);
    if (capacity <= 1) continue;
    const std::size_t room = capacity - 1;
    const std::size_t fixed = sep.size() + tail.size();
    std::string want;
    if (room >= message.size() + fixed) {
      want = message + sep + value.substr(0, LongestPrefix(value, room - message.size() - fixed)) + tail;
    } else if (room >= fixed) {
      want = message.substr(0, LongestPrefix(message, room - fixed)) + sep + tail;
    } else {
      want = (sep + tail).substr(0, room - 1) + "\n";
    }
    ASSERT_EQ(want, line) << "capacity " << capacity;
  }
}

TEST(LogFormat, OneAndOneValueFormatsWalkEveryCapacity) {
  // 0x81 0x40 is a GBK character outside GB2312: its lead byte is below 0xA1.
  const std::string m = kDisconnected + "x\x81\x40" + kArrears;
  WalkCapacities([&](char* o, std::size_t c) { return FormatNumbered(o, c, m.c_str(), 285); },
                 m, "", "", " -> 285\n");
  // Trail bytes equal to lead bytes, after an odd start.
  const std::string runs = "x" + std::string(80, '\xB0');
  WalkCapacities([&](char* o, std::size_t c) { return FormatCompact(o, c, runs.c_str(), -1); },
                 runs, "", "", "-> -1\n");
  const std::string value = "http://p.test/" + kDisconnected;
  WalkCapacities(
      [&](char* o, std::size_t c) { return FormatWithValue(o, c, m.c_str(), value.c_str(), 733); },
      m, " ", value, "-> 733\n");
}

TEST(LogFormat, WithTwoValuesWalksEveryCapacity) {
  const std::string a = "http://a.test/" + kArrears + kArrears;
  const std::string b = "http://b.test/pw\xB0";  // a lone lead byte ends it
  const std::string head = kAddressInfo + " -> 828,";
  const std::size_t full = head.size() + a.size() + 1 + b.size() + 1;
  for (std::size_t capacity = 0; capacity <= full + 2; ++capacity) {
    const std::string line = RunBounded(
        [&](char* o, std::size_t c) {
          return FormatWithTwoValues(o, c, kAddressInfo.c_str(), 828, a.c_str(), b.c_str());
        },
        capacity);
    if (capacity < head.size() + 3) continue;
    const std::size_t budget = capacity - 1 - head.size() - 2;
    ASSERT_EQ(0u, line.find(head)) << "capacity " << capacity;
    const std::size_t comma = line.find(',', head.size());
    ASSERT_NE(std::string::npos, comma);
    const std::string keptA = line.substr(head.size(), comma - head.size());
    const std::string keptB = line.substr(comma + 1, line.size() - 1 - (comma + 1));
    ASSERT_EQ(a.substr(0, LongestPrefix(a, keptA.size())), keptA) << "capacity " << capacity;
    ASSERT_EQ(b.substr(0, keptB.size()), keptB);
    ASSERT_LE(keptA.size() + keptB.size(), budget);
    // Nothing is given away that a whole character could have used.
    ASSERT_GE(keptA.size() + keptB.size() + 1, std::min(budget, a.size() + b.size()));
    // The shorter value is cut only once the longer is down to its length.
    if (keptB.size() < b.size()) ASSERT_LE(keptA.size(), keptB.size() + 2);
  }
}

// The 828 line with two values of 527 bytes in the 400-byte bound: they share
// the room evenly; a short value stays whole while the long one is cut.
TEST(LogFormat, TwoLongValuesInTheLineBound) {
  char out[kLogLineBound];
  const std::string a(527, 'a'), b(527, 'b'), s = "http://portal.test/expired";
  const std::string head = kAddressInfo + " -> 828,";
  ASSERT_EQ(kLogLineBound - 1, FormatWithTwoValues(out, sizeof out, kAddressInfo.c_str(), 828,
                                                   a.c_str(), b.c_str()));
  const std::size_t each = (kLogLineBound - 1 - head.size() - 2) / 2;
  const std::string line(out);
  EXPECT_EQ(0u, line.find(head + std::string(each, 'a')));
  EXPECT_NE(std::string::npos, line.find("a," + std::string(each, 'b') + "\n"));
  EXPECT_GE(line.size(), head.size() + 2 * each + 2);

  FormatWithTwoValues(out, sizeof out, "m", 828, s.c_str(), b.c_str());
  EXPECT_EQ(0u, std::string(out).find("m -> 828," + s + ",bbb"));
  EXPECT_EQ(kLogLineBound - 1, std::strlen(out));
  FormatWithTwoValues(out, sizeof out, "m", 828, b.c_str(), s.c_str());
  EXPECT_EQ(kLogLineBound - 1 - s.size() - 3, std::string(out).rfind("b," + s + "\n"));
}

TEST(FormatTimeStamp, ZeroPadsAndClampsEveryField) {
  const std::pair<LocalTime, const char*> cases[] = {
      // The day of the month, not of the week: a Friday in May's third week.
      {{2024, 5, 5, 17, 23, 59, 58, 999}, "2024-05-17 23:59:58"},
      {{2012, 9, 3, 12, 8, 5, 9, 0}, "2012-09-12 08:05:09"},
      {{999, 1, 2, 1, 0, 0, 0, 0}, "0999-01-01 00:00:00"},
      {{12345, 100, 0, 0, 0, 65535, 0, 0}, "9999-99-00 00:99:00"},
  };
  for (const auto& c : cases) {
    char out[kTimeStampSize + kGuardBytes];
    std::memset(out, kSentinel, sizeof out);
    FormatTimeStamp(out, c.first);
    EXPECT_EQ(c.second, std::string(out));
    EXPECT_EQ(std::string(kGuardBytes, kSentinel), std::string(out + kTimeStampSize, kGuardBytes));
  }
}

TEST(AgeInDays, WholeDaysOfTheAbsoluteDifference) {
  constexpr long long kHour = 36000000000LL;
  const long long now = 130000000000000000LL;
  EXPECT_EQ(3, AgeInDays(now, now - (3 * 24 + 23) * kHour));
  EXPECT_EQ(4, AgeInDays(now, now - 96 * kHour));
  EXPECT_EQ(3, AgeInDays(now, now - 96 * kHour + 1));
  EXPECT_EQ(10, AgeInDays(now, now + 240 * kHour));
  EXPECT_EQ(21350398, AgeInDays(LLONG_MAX, LLONG_MIN));
  EXPECT_EQ(21350398, AgeInDays(LLONG_MIN, LLONG_MAX));
}

}  // namespace
}  // namespace quarvel
