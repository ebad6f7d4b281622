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

// Code page 936 texts used by the log points.
const std::string kDisconnected = "\xC1\xAC\xBD\xD3\xD2\xD1\xB6\xCF\xBF\xAA\xA3\xA1";
const std::string kAddressInfo =
    "\xBB\xF1\xC8\xA1\xB5\xBD\xB5\xC4\xB5\xD8\xD6\xB7\xD0\xC5\xCF\xA2\xA3\xBA";
const std::string kArrears = "\xD5\xCA\xBA\xC5\xC7\xB7\xB7\xD1";

using Formatter = std::function<std::size_t(char*, std::size_t)>;

// Runs a formatter into capacity bytes followed by guard bytes and checks what
// every call must give: nothing written past capacity, a terminated text of
// the returned length, and "\n" at its end whenever there is room for it.
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
  EXPECT_EQ('\0', buf[len]);
  EXPECT_EQ(len, std::strlen(buf.data()));
  if (capacity >= 2) {
    EXPECT_GT(len, 0u);
    if (len > 0) {
      EXPECT_EQ('\n', buf[len - 1]) << "capacity " << capacity;
    }
  }
  return std::string(buf.data(), len);
}

// Character starts of a code page 936 text, found by walking from its start,
// and the text's end.
std::vector<std::size_t> Boundaries(const std::string& text) {
  std::vector<std::size_t> at{0};
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    i += (b >= 0x81 && b <= 0xFE && i + 1 < text.size()) ? 2 : 1;
    at.push_back(i);
  }
  return at;
}

bool IsBoundary(const std::string& text, std::size_t n) {
  for (std::size_t b : Boundaries(text)) {
    if (b == n) return true;
  }
  return false;
}

// The longest character-whole prefix of text no longer than max bytes.
std::size_t LongestPrefix(const std::string& text, std::size_t max) {
  std::size_t best = 0;
  for (std::size_t b : Boundaries(text)) {
    if (b <= max) best = b;
  }
  return best;
}

// ---- Formats at full length -------------------------------------------------

TEST(LogFormat, FourFormatsProduceTheirLayouts) {
  char out[kLogLineBound];
  FormatNumbered(out, sizeof out, kDisconnected.c_str(), 285);
  EXPECT_EQ(kDisconnected + " -> 285\n", std::string(out));
  FormatWithValue(out, sizeof out, "CheckRedirction", "http://a.test/x", 312);
  EXPECT_EQ("CheckRedirction http://a.test/x-> 312\n", std::string(out));
  FormatCompact(out, sizeof out, "Get", 7);
  EXPECT_EQ("Get-> 7\n", std::string(out));
  FormatWithTwoValues(out, sizeof out, kAddressInfo.c_str(), 828, "A", "B");
  EXPECT_EQ(kAddressInfo + " -> 828,A,B\n", std::string(out));
}

TEST(LogFormat, NumbersCoverTheWholeIntRange) {
  char out[kLogLineBound];
  FormatNumbered(out, sizeof out, "SOCKET_ERROR", -1);
  EXPECT_EQ("SOCKET_ERROR -> -1\n", std::string(out));
  FormatNumbered(out, sizeof out, "m", INT_MIN);
  EXPECT_EQ("m -> -2147483648\n", std::string(out));
  FormatCompact(out, sizeof out, "m", INT_MAX);
  EXPECT_EQ("m-> 2147483647\n", std::string(out));
  FormatNumbered(out, sizeof out, "m", 0);
  EXPECT_EQ("m -> 0\n", std::string(out));
}

TEST(LogFormat, EmptyAndNullTextsLeaveTheirPlacesEmpty) {
  char out[kLogLineBound];
  FormatWithTwoValues(out, sizeof out, kAddressInfo.c_str(), 828, "", "B");
  EXPECT_EQ(kAddressInfo + " -> 828,,B\n", std::string(out));
  FormatWithTwoValues(out, sizeof out, nullptr, 828, nullptr, nullptr);
  EXPECT_EQ(" -> 828,,\n", std::string(out));
  FormatNumbered(out, sizeof out, nullptr, 1);
  EXPECT_EQ(" -> 1\n", std::string(out));
  FormatWithValue(out, sizeof out, "m", nullptr, 2);
  EXPECT_EQ("m -> 2\n", std::string(out));
}

// ---- Cutting at the 400-byte bound -----------------------------------------

TEST(LogFormat, LongValueIsCutSoThatTheNumberStays) {
  char out[kLogLineBound];
  const std::string value(6000, 'v');
  const std::size_t len = FormatWithValue(out, sizeof out, "Location", value.c_str(), 732);
  const std::string line(out, len);
  EXPECT_EQ(kLogLineBound - 1, len);
  EXPECT_EQ(0u, line.find("Location vvv"));
  EXPECT_EQ(line.size() - 8, line.rfind("v-> 732\n"));
}

TEST(LogFormat, TwoLongValuesShareTheRoomEvenly) {
  char out[kLogLineBound];
  const std::string a(527, 'a'), b(527, 'b');
  const std::size_t len = FormatWithTwoValues(out, sizeof out, kAddressInfo.c_str(), 828,
                                              a.c_str(), b.c_str());
  EXPECT_EQ(kLogLineBound - 1, len);
  const std::string line(out, len);
  const std::string head = kAddressInfo + " -> 828,";
  ASSERT_EQ(0u, line.find(head));
  const std::size_t comma = line.find(',', head.size());
  ASSERT_NE(std::string::npos, comma);
  const std::size_t cutA = comma - head.size();
  const std::size_t cutB = len - 1 - (comma + 1);
  EXPECT_LE(cutA > cutB ? cutA - cutB : cutB - cutA, 1u);
  EXPECT_EQ(std::string(cutA, 'a'), line.substr(head.size(), cutA));
  EXPECT_EQ(std::string(cutB, 'b') + "\n", line.substr(comma + 1));
}

TEST(LogFormat, ShortValueStaysWholeWhileTheLongerIsCut) {
  char out[kLogLineBound];
  const std::string a = "http://portal.test/expired", b(527, 'b');
  FormatWithTwoValues(out, sizeof out, "m", 828, a.c_str(), b.c_str());
  const std::string line(out);
  EXPECT_EQ(kLogLineBound - 1, line.size());
  EXPECT_EQ(0u, line.find("m -> 828," + a + ",bbb"));
  FormatWithTwoValues(out, sizeof out, "m", 828, b.c_str(), a.c_str());
  EXPECT_EQ(line.size() - a.size() - 3, std::string(out).rfind("b," + a + "\n"));
}

TEST(LogFormat, CutNeverSplitsADoubleByteCharacter) {
  // Trail bytes here lie in the lead-byte range too, so only a walk from the
  // start tells where characters begin.
  const std::string value = "x" + std::string(400, '\xB0');
  for (std::size_t capacity = 1; capacity < 80; ++capacity) {
    const std::string line = RunBounded(
        [&](char* out, std::size_t cap) {
          return FormatWithValue(out, cap, "m", value.c_str(), 5);
        },
        capacity);
    if (line.size() < std::strlen("m -> 5\n")) continue;
    const std::size_t kept = line.size() - std::strlen("m -> 5\n");
    ASSERT_TRUE(IsBoundary(value, kept)) << "capacity " << capacity << " kept " << kept;
    ASSERT_EQ(LongestPrefix(value, capacity - 1 - std::strlen("m -> 5\n")), kept);
  }
}

TEST(LogFormat, LoneLeadByteAtTheEndOfATextIsOneCharacter) {
  char out[16];
  EXPECT_EQ(std::strlen("ab\xB0 -> 1\n"), FormatNumbered(out, sizeof out, "ab\xB0", 1));
  EXPECT_EQ("ab\xB0 -> 1\n", std::string(out));
}

// ---- Every capacity ---------------------------------------------------------

// For a one-text format: every capacity keeps the tail whole as long as it
// fits, and the message is the longest whole-character prefix that leaves
// room for it.
void WalkOneText(const std::function<std::size_t(char*, std::size_t, const char*)>& format,
                 const std::string& message, const std::string& tail) {
  const std::size_t full = message.size() + tail.size();
  for (std::size_t capacity = 0; capacity <= full + 2; ++capacity) {
    const std::string line = RunBounded(
        [&](char* out, std::size_t cap) { return format(out, cap, message.c_str()); }, capacity);
    if (capacity == 0) continue;
    const std::size_t room = capacity - 1;
    if (room >= tail.size()) {
      const std::size_t kept = LongestPrefix(message, room - tail.size());
      ASSERT_EQ(message.substr(0, kept) + tail, line) << "capacity " << capacity;
    } else if (room > 0) {
      ASSERT_EQ(tail.substr(0, room - 1) + "\n", line) << "capacity " << capacity;
    } else {
      ASSERT_EQ("", line);
    }
  }
}

TEST(LogFormat, NumberedWalksEveryCapacity) {
  WalkOneText(
      [](char* out, std::size_t cap, const char* m) { return FormatNumbered(out, cap, m, 285); },
      kDisconnected + "x" + kArrears, " -> 285\n");
}

TEST(LogFormat, CompactWalksEveryCapacity) {
  WalkOneText(
      [](char* out, std::size_t cap, const char* m) { return FormatCompact(out, cap, m, -17); },
      "Get " + kArrears, "-> -17\n");
}

TEST(LogFormat, WithValueWalksEveryCapacity) {
  const std::string message = "CheckNetDisconType " + kArrears;
  const std::string value = "http://p.test/" + kDisconnected;
  const std::string tail = "-> 733\n";
  const std::string full = message + " " + value + tail;
  for (std::size_t capacity = 0; capacity <= full.size() + 2; ++capacity) {
    const std::string line = RunBounded(
        [&](char* out, std::size_t cap) {
          return FormatWithValue(out, cap, message.c_str(), value.c_str(), 733);
        },
        capacity);
    if (capacity == 0) continue;
    const std::size_t room = capacity - 1;
    const std::size_t fixed = message.size() + 1 + tail.size();
    if (room >= fixed) {
      // Only the value gives way.
      const std::size_t kept = LongestPrefix(value, room - fixed);
      ASSERT_EQ(message + " " + value.substr(0, kept) + tail, line) << "capacity " << capacity;
    } else if (room >= 1 + tail.size()) {
      // Then the message, the value being gone.
      const std::size_t kept = LongestPrefix(message, room - 1 - tail.size());
      ASSERT_EQ(message.substr(0, kept) + " " + tail, line) << "capacity " << capacity;
    }
  }
}

TEST(LogFormat, WithTwoValuesWalksEveryCapacity) {
  const std::string message = kAddressInfo;
  const std::string a = "http://a.test/" + kArrears + kArrears;
  const std::string b = "http://b.test/pw";
  const std::string full = message + " -> 828," + a + "," + b + "\n";
  const std::string head = message + " -> 828,";
  for (std::size_t capacity = 0; capacity <= full.size() + 2; ++capacity) {
    const std::string line = RunBounded(
        [&](char* out, std::size_t cap) {
          return FormatWithTwoValues(out, cap, message.c_str(), 828, a.c_str(), b.c_str());
        },
        capacity);
    if (capacity == 0 || capacity - 1 < head.size() + 2) continue;
    const std::size_t budget = capacity - 1 - head.size() - 2;
    ASSERT_EQ(0u, line.find(head)) << "capacity " << capacity;
    const std::size_t comma = line.find(',', head.size());
    ASSERT_NE(std::string::npos, comma);
    const std::string keptA = line.substr(head.size(), comma - head.size());
    const std::string keptB = line.substr(comma + 1, line.size() - 1 - (comma + 1));
    ASSERT_EQ(a.substr(0, keptA.size()), keptA);
    ASSERT_EQ(b.substr(0, keptB.size()), keptB);
    ASSERT_TRUE(IsBoundary(a, keptA.size())) << "capacity " << capacity;
    ASSERT_LE(keptA.size() + keptB.size(), budget);
    // Nothing is given away that a whole character could have used.
    ASSERT_GE(keptA.size() + keptB.size() + 1, std::min(budget, a.size() + b.size()));
    // The shorter value is cut only once the longer is down to its length.
    if (keptB.size() < b.size()) {
      ASSERT_LE(keptA.size(), keptB.size() + 2);
    }
  }
}

TEST(LogFormat, TinyCapacitiesStillEndTheLine) {
  char out[4] = {kSentinel, kSentinel, kSentinel, kSentinel};
  EXPECT_EQ(0u, FormatNumbered(out, 0, "m", 1));
  EXPECT_EQ(kSentinel, out[0]);
  EXPECT_EQ(0u, FormatNumbered(out, 1, "m", 1));
  EXPECT_EQ('\0', out[0]);
  EXPECT_EQ(1u, FormatWithTwoValues(out, 2, "m", 1, "a", "b"));
  EXPECT_EQ("\n", std::string(out));
  EXPECT_EQ(0u, FormatNumbered(nullptr, 10, "m", 1));
}

// ---- Time stamp and age ----------------------------------------------------

std::string Stamp(const LocalTime& t) {
  char out[kTimeStampSize + kGuardBytes];
  std::memset(out, kSentinel, sizeof out);
  FormatTimeStamp(out, t);
  for (std::size_t i = kTimeStampSize; i < sizeof out; ++i) EXPECT_EQ(kSentinel, out[i]);
  return std::string(out);
}

TEST(FormatTimeStamp, ZeroPadsEveryField) {
  EXPECT_EQ("2012-09-12 08:05:09", Stamp({2012, 9, 12, 8, 5, 9}));
  EXPECT_EQ("2026-12-31 23:59:59", Stamp({2026, 12, 31, 23, 59, 59}));
  EXPECT_EQ("0999-01-01 00:00:00", Stamp({999, 1, 1, 0, 0, 0}));
}

TEST(FormatTimeStamp, OutOfRangeFieldsKeepTheLayout) {
  EXPECT_EQ("9999-99-00 00:99:00", Stamp({12345, 100, -1, INT_MIN, INT_MAX, 0}));
}

constexpr long long kTicksPerHour = 36000000000LL;

TEST(AgeInDays, TruncatesWholeDays) {
  const long long now = 130000000000000000LL;
  EXPECT_EQ(3, AgeInDays(now, now - (3 * 24 + 23) * kTicksPerHour));
  EXPECT_EQ(4, AgeInDays(now, now - 96 * kTicksPerHour));
  EXPECT_EQ(4, AgeInDays(now, now - 96 * kTicksPerHour - 1));
  EXPECT_EQ(3, AgeInDays(now, now - 96 * kTicksPerHour + 1));
  EXPECT_EQ(0, AgeInDays(now, now));
}

TEST(AgeInDays, IsTheAbsoluteDifference) {
  const long long now = 130000000000000000LL;
  EXPECT_EQ(10, AgeInDays(now, now + 240 * kTicksPerHour));
  EXPECT_EQ(AgeInDays(1, 5 * 864000000000LL), AgeInDays(5 * 864000000000LL, 1));
}

TEST(AgeInDays, ExtremeInstantsDoNotOverflow) {
  EXPECT_EQ(21350398, AgeInDays(LLONG_MAX, LLONG_MIN));
  EXPECT_EQ(21350398, AgeInDays(LLONG_MIN, LLONG_MAX));
  EXPECT_EQ(10675199, AgeInDays(LLONG_MAX, 0));
}

}  // namespace
}  // namespace quarvel
