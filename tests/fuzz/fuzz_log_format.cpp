// The four log line formats on arbitrary texts and capacities: nothing past
// the capacity written, terminated, ending in "\n", equal to snprintf's line
// when it fits, else filling the room. Where each part is cut is pinned by
// log_format_test's capacity walks; here only the bounds are checked.
#include "support/LogFormat.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdarg>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/fuzz/FuzzCheck.h"

namespace {

using namespace quarvel;

constexpr std::size_t kMaxCapacity = 600;
constexpr std::size_t kGuard = 32;
constexpr char kSentinel = '\x5A';

// Runs one formatter and checks what holds for every format.
template <typename Format>
void Run(std::size_t capacity, const std::string& full, Format format) {
  std::vector<char> buf(capacity + kGuard, kSentinel);
  const std::size_t len = format(buf.data(), capacity);
  CHECK_ALL(buf, capacity, buf.size(), kSentinel);
  if (capacity == 0) {
    CHECK(len == 0);
    return;
  }
  const std::size_t room = capacity - 1;
  CHECK(len <= room);
  CHECK(buf[len] == '\0');
  CHECK(std::strlen(buf.data()) == len);
  if (capacity >= 2) CHECK(len >= 1 && buf[len - 1] == '\n');
  if (full.size() <= room) {
    CHECK(std::string(buf.data(), len) == full);
  } else {
    // At most one byte is left over when a cut falls inside a character.
    CHECK(len + 1 >= room);
  }
}

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
  char line[4096];  // four texts of at most 700 bytes and a number fit
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  CHECK(n >= 0 && static_cast<std::size_t>(n) < sizeof line);
  return std::string(line, static_cast<std::size_t>(n));
}

void CheckTimeStamp(const LocalTime& t) {
  char out[kTimeStampSize + kGuard];
  std::memset(out, kSentinel, sizeof out);
  FormatTimeStamp(out, t);
  CHECK_ALL(out, kTimeStampSize, sizeof out, kSentinel);
  CHECK(std::strlen(out) + 1 == kTimeStampSize);
}

void CheckAge(long long now, long long then) {
  const __int128 diff = static_cast<__int128>(now) - then;
  const __int128 days = (diff < 0 ? -diff : diff) / 864000000000LL;
  CHECK(AgeInDays(now, then) == static_cast<long long>(days));
}

// A text as the formatter sees it: up to its first NUL.
std::string Text(FuzzedDataProvider& fdp) { return fdp.ConsumeRandomLengthString(700).c_str(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider fdp(data, size);
  const std::string message = Text(fdp);
  const std::string value = Text(fdp);
  const std::string valueA = Text(fdp);
  const std::string valueB = Text(fdp);
  const int n = fdp.ConsumeIntegral<int>();
  const std::size_t capacity = fdp.ConsumeIntegralInRange<std::size_t>(0, kMaxCapacity);
  const char* m = message.c_str();

  Run(capacity, Printf("%s -> %d\n", m, n),
      [&](char* out, std::size_t cap) { return FormatNumbered(out, cap, m, n); });
  Run(capacity, Printf("%s-> %d\n", m, n),
      [&](char* out, std::size_t cap) { return FormatCompact(out, cap, m, n); });
  Run(capacity, Printf("%s %s-> %d\n", m, value.c_str(), n), [&](char* out, std::size_t cap) {
    return FormatWithValue(out, cap, m, value.c_str(), n);
  });
  Run(capacity, Printf("%s -> %d,%s,%s\n", m, n, valueA.c_str(), valueB.c_str()),
      [&](char* out, std::size_t cap) {
        return FormatWithTwoValues(out, cap, m, n, valueA.c_str(), valueB.c_str());
      });

  LocalTime t{};
  for (unsigned short* field : {&t.year, &t.month, &t.dayOfWeek, &t.day, &t.hour, &t.minute,
                                 &t.second, &t.milliseconds}) {
    *field = fdp.ConsumeIntegral<unsigned short>();
  }
  CheckTimeStamp(t);
  CheckAge(fdp.ConsumeIntegral<long long>(), fdp.ConsumeIntegral<long long>());
  return 0;
}
