// The four log line formats on arbitrary texts and capacities: nothing past
// the capacity written, terminated, ending in "\n", equal to snprintf's line
// when it fits, else fixed parts kept and texts cut only between characters.
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

bool IsBoundary(const std::string& text, std::size_t n) {
  std::size_t i = 0;
  while (i < n) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    i += (b >= 0x81 && b <= 0xFE && i + 1 < text.size()) ? 2 : 1;
  }
  return i == n;
}

bool IsCutOf(const std::string& text, const std::string& got) {
  return got.size() <= text.size() && text.compare(0, got.size(), got) == 0 &&
         IsBoundary(text, got.size());
}

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() &&
         s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The line that fixed parts alone leave, cut to the room and ended by "\n".
std::string CutFixed(const std::string& fixed, std::size_t room) {
  return fixed.substr(0, room - 1) + "\n";
}

struct Output {
  std::size_t capacity;
  std::string text;
};

// Runs one formatter and checks what holds for every format.
template <typename Format>
Output Run(std::size_t capacity, const std::string& full, Format format) {
  std::vector<char> buf(capacity + kGuard, kSentinel);
  const std::size_t len = format(buf.data(), capacity);
  CHECK_ALL(buf, capacity, buf.size(), kSentinel);
  if (capacity == 0) {
    CHECK(len == 0);
    return {capacity, std::string()};
  }
  const std::size_t room = capacity - 1;
  CHECK(len <= room);
  CHECK(buf[len] == '\0');
  CHECK(std::strlen(buf.data()) == len);
  if (capacity >= 2) CHECK(len >= 1 && buf[len - 1] == '\n');
  std::string text(buf.data(), len);
  if (full.size() <= room) {
    CHECK(text == full);
  } else {
    // At most one byte is left over when a cut falls inside a character.
    CHECK(len + 1 >= room);
  }
  return {capacity, text};
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

// "%s -> %d\n" and "%s-> %d\n": the message gives way, then the tail.
void CheckOneText(const Output& out, const std::string& message, const std::string& tail) {
  if (out.capacity == 0) return;
  const std::size_t room = out.capacity - 1;
  if (room == 0) {
    CHECK(out.text.empty());
  } else if (room >= tail.size()) {
    CHECK(EndsWith(out.text, tail));
    CHECK(IsCutOf(message, out.text.substr(0, out.text.size() - tail.size())));
  } else {
    CHECK(out.text == CutFixed(tail, room));
  }
}

void CheckWithValue(const Output& out, const std::string& message, const std::string& value,
                    const std::string& tail) {
  if (out.capacity == 0) return;
  const std::size_t room = out.capacity - 1;
  const std::string lead = message + " ";
  if (room == 0) {
    CHECK(out.text.empty());
  } else if (room >= lead.size() + tail.size()) {
    CHECK(StartsWith(out.text, lead) && EndsWith(out.text, tail));
    CHECK(IsCutOf(value, out.text.substr(lead.size(), out.text.size() - lead.size() - tail.size())));
  } else if (room >= 1 + tail.size()) {
    CHECK(EndsWith(out.text, " " + tail));
    CHECK(IsCutOf(message, out.text.substr(0, out.text.size() - 1 - tail.size())));
  } else {
    CHECK(out.text == CutFixed(" " + tail, room));
  }
}

// Both values kept as character-whole prefixes, the room shared: neither is
// cut while it is more than two bytes shorter than the other's kept part.
bool IsFairSplit(const std::string& middle, const std::string& a, const std::string& b,
                 std::size_t budget, bool cut) {
  for (std::size_t i = 0; i <= a.size() && i < middle.size(); ++i) {
    if (middle[i] != ',') continue;
    const std::string keptA = middle.substr(0, i), keptB = middle.substr(i + 1);
    if (!IsCutOf(a, keptA) || !IsCutOf(b, keptB)) continue;
    if (!cut) return keptA == a && keptB == b;
    if (keptA.size() + keptB.size() > budget || keptA.size() + keptB.size() + 1 < budget) continue;
    if (keptB.size() < b.size() && keptA.size() > keptB.size() + 2) continue;
    if (keptA.size() < a.size() && keptB.size() > keptA.size() + 2) continue;
    return true;
  }
  return false;
}

void CheckWithTwoValues(const Output& out, const std::string& message, const std::string& head,
                        const std::string& a, const std::string& b) {
  if (out.capacity == 0) return;
  const std::size_t room = out.capacity - 1;
  const std::string fixed = head + ",\n";
  if (room == 0) {
    CHECK(out.text.empty());
  } else if (room >= message.size() + fixed.size()) {
    const std::string lead = message + head;
    CHECK(StartsWith(out.text, lead) && EndsWith(out.text, "\n"));
    const std::string middle = out.text.substr(lead.size(), out.text.size() - lead.size() - 1);
    const bool cut = message.size() + fixed.size() + a.size() + b.size() > room;
    CHECK(IsFairSplit(middle, a, b, room - message.size() - fixed.size(), cut));
  } else if (room >= fixed.size()) {
    CHECK(EndsWith(out.text, fixed));
    CHECK(IsCutOf(message, out.text.substr(0, out.text.size() - fixed.size())));
  } else {
    CHECK(out.text == CutFixed(fixed, room));
  }
}

int Clamp(int v, int hi) { return v < 0 ? 0 : (v > hi ? hi : v); }

void CheckTimeStamp(const LocalTime& t) {
  char out[kTimeStampSize + kGuard];
  std::memset(out, kSentinel, sizeof out);
  FormatTimeStamp(out, t);
  CHECK_ALL(out, kTimeStampSize, sizeof out, kSentinel);
  const std::string expected =
      Printf("%04d-%02d-%02d %02d:%02d:%02d", Clamp(t.year, 9999), Clamp(t.month, 99),
             Clamp(t.day, 99), Clamp(t.hour, 99), Clamp(t.minute, 99), Clamp(t.second, 99));
  CHECK(expected.size() + 1 == kTimeStampSize);
  CHECK(std::memcmp(out, expected.c_str(), kTimeStampSize) == 0);
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

  const std::string number = Printf("%d", n);
  CheckOneText(Run(capacity, Printf("%s -> %d\n", m, n),
                   [&](char* out, std::size_t cap) { return FormatNumbered(out, cap, m, n); }),
               message, " -> " + number + "\n");
  CheckOneText(Run(capacity, Printf("%s-> %d\n", m, n),
                   [&](char* out, std::size_t cap) { return FormatCompact(out, cap, m, n); }),
               message, "-> " + number + "\n");
  CheckWithValue(Run(capacity, Printf("%s %s-> %d\n", m, value.c_str(), n),
                     [&](char* out, std::size_t cap) {
                       return FormatWithValue(out, cap, m, value.c_str(), n);
                     }),
                 message, value, "-> " + number + "\n");
  CheckWithTwoValues(
      Run(capacity, Printf("%s -> %d,%s,%s\n", m, n, valueA.c_str(), valueB.c_str()),
          [&](char* out, std::size_t cap) {
            return FormatWithTwoValues(out, cap, m, n, valueA.c_str(), valueB.c_str());
          }),
      message, " -> " + number + ",", valueA, valueB);

  LocalTime t{};
  for (int* field : {&t.year, &t.month, &t.day, &t.hour, &t.minute, &t.second}) {
    *field = fdp.ConsumeIntegral<int>();
  }
  CheckTimeStamp(t);
  CheckAge(fdp.ConsumeIntegral<long long>(), fdp.ConsumeIntegral<long long>());
  return 0;
}
