#include "support/LogFormat.h"

#include <algorithm>
#include <cstring>

#include "support/Bytes.h"

namespace quarvel {
namespace {

// "-2147483648" and its NUL.
constexpr std::size_t kDecimalIntSize = 12;
constexpr long long kTicksPerDay = 864000000000LL;
// Most pieces in one line: "%s -> %d,%s,%s\n".
constexpr std::size_t kMaxPieces = 8;

// How a piece of a line gives way when the line does not fit: value texts
// are cut first, then the message, and the fixed punctuation and number only
// when nothing else is left.
enum CutOrder { kNeverCut = 0, kCutFirst = 1, kCutSecond = 2 };

struct Piece {
  const char* text;
  std::size_t len;
  CutOrder order;
};

Piece Text(const char* text, CutOrder order) {
  if (text == nullptr) return Piece{"", 0, order};
  return Piece{text, std::strlen(text), order};
}

Piece Fixed(const char* text) { return Text(text, kNeverCut); }

std::size_t FormatDecimal(char (&buf)[kDecimalIntSize], int n) {
  // Work on the magnitude as unsigned so that INT_MIN has one; the digits
  // come least significant first and are turned round at the end.
  unsigned int magnitude = n < 0 ? 0u - static_cast<unsigned int>(n) : static_cast<unsigned int>(n);
  std::size_t len = 0;
  do {
    buf[len++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (n < 0) buf[len++] = '-';
  std::reverse(buf, buf + len);
  buf[len] = '\0';
  return len;
}

// The longest prefix of text no longer than maxLen that does not split a
// double-byte character. Walks from the start: a trail byte can look like a
// lead byte, so only the walk knows where characters begin.
std::size_t CharBoundary(const char* text, std::size_t len, std::size_t maxLen) {
  std::size_t i = 0;
  while (i < len) {
    const std::size_t step = (IsGbkLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < len) ? 2 : 1;
    if (i + step > maxLen) break;
    i += step;
  }
  return i;
}

std::size_t TotalLength(const Piece* pieces, std::size_t count) {
  std::size_t total = 0;
  for (std::size_t i = 0; i < count; ++i) total += pieces[i].len;
  return total;
}

// Shares budget bytes between two texts: the longer is cut first, and when
// both are longer than half, each gets half.
void ShareBetween(Piece& a, Piece& b, std::size_t budget) {
  const std::size_t half = budget / 2;
  const std::size_t targetA = a.len <= half ? a.len : b.len <= half ? budget - b.len : budget - half;
  a.len = CharBoundary(a.text, a.len, targetA);
  b.len = CharBoundary(b.text, b.len, budget - a.len);
}

// Cuts the pieces of one cut order so that the line fits room bytes, or
// empties them when even that is not enough.
void CutPieces(Piece* pieces, std::size_t count, CutOrder order, std::size_t room) {
  const std::size_t total = TotalLength(pieces, count);
  if (total <= room) return;
  Piece* cut[2] = {nullptr, nullptr};
  std::size_t cutCount = 0;
  std::size_t cutLen = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (pieces[i].order != order) continue;
    if (cutCount < 2) cut[cutCount++] = &pieces[i];
    cutLen += pieces[i].len;
  }
  if (cutCount == 0) return;
  const std::size_t others = total - cutLen;
  const std::size_t budget = others < room ? room - others : 0;
  if (cutCount == 1) {
    cut[0]->len = CharBoundary(cut[0]->text, cut[0]->len, budget);
  } else {
    ShareBetween(*cut[0], *cut[1], budget);
  }
}

// Writes the pieces into out, cutting them in their cut order so that the
// line and its NUL fit capacity. When even the fixed pieces do not fit, they
// are cut short and "\n" still ends the line.
std::size_t ComposeLine(char* out, std::size_t capacity, Piece* pieces, std::size_t count) {
  if (out == nullptr || capacity == 0) return 0;
  const std::size_t room = capacity - 1;
  CutPieces(pieces, count, kCutFirst, room);
  CutPieces(pieces, count, kCutSecond, room);
  const bool fits = TotalLength(pieces, count) <= room;
  const std::size_t limit = fits ? room : (room > 0 ? room - 1 : 0);

  std::size_t used = 0;
  for (std::size_t i = 0; i < count && used < limit; ++i) {
    const std::size_t left = limit - used;
    const std::size_t take = pieces[i].len < left ? pieces[i].len : left;
    std::memcpy(out + used, pieces[i].text, take);
    used += take;
  }
  if (!fits && room > 0) out[used++] = '\n';
  out[used] = '\0';
  return used;
}

template <std::size_t N>
std::size_t Compose(char* out, std::size_t capacity, Piece (&pieces)[N]) {
  static_assert(N <= kMaxPieces, "too many pieces in one line");
  return ComposeLine(out, capacity, pieces, N);
}

// Writes value zero-padded to exactly digits characters, clamped to what
// that many digits can show.
char* PutPadded(char* out, int value, int digits) {
  int limit = 1;
  for (int i = 0; i < digits; ++i) limit *= 10;
  if (value < 0) value = 0;
  if (value >= limit) value = limit - 1;
  for (int i = digits - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return out + digits;
}

// "%s<arrow>%d\n": the two formats that carry a message and a number only.
std::size_t FormatMessageAndNumber(char* out, std::size_t capacity, const char* message,
                                   const char* arrow, int n) {
  char number[kDecimalIntSize];
  FormatDecimal(number, n);
  Piece pieces[] = {Text(message, kCutFirst), Fixed(arrow), Fixed(number), Fixed("\n")};
  return Compose(out, capacity, pieces);
}

}  // namespace

std::size_t FormatNumbered(char* out, std::size_t capacity, const char* message, int n) {
  return FormatMessageAndNumber(out, capacity, message, " -> ", n);
}

std::size_t FormatWithValue(char* out, std::size_t capacity, const char* message,
                            const char* value, int n) {
  char number[kDecimalIntSize];
  FormatDecimal(number, n);
  Piece pieces[] = {Text(message, kCutSecond), Fixed(" "), Text(value, kCutFirst),
                    Fixed("-> "), Fixed(number), Fixed("\n")};
  return Compose(out, capacity, pieces);
}

std::size_t FormatCompact(char* out, std::size_t capacity, const char* message, int n) {
  return FormatMessageAndNumber(out, capacity, message, "-> ", n);
}

std::size_t FormatWithTwoValues(char* out, std::size_t capacity, const char* message,
                                int n, const char* valueA, const char* valueB) {
  char number[kDecimalIntSize];
  FormatDecimal(number, n);
  Piece pieces[] = {Text(message, kCutSecond), Fixed(" -> "), Fixed(number),
                    Fixed(","), Text(valueA, kCutFirst), Fixed(","),
                    Text(valueB, kCutFirst), Fixed("\n")};
  return Compose(out, capacity, pieces);
}

void FormatTimeStamp(char* out, const LocalTime& t) {
  // "yyyy", then each two-digit field behind its separator.
  const int fields[] = {t.month, t.day, t.hour, t.minute, t.second};
  const char separators[] = "-- ::";
  char* p = PutPadded(out, t.year, 4);
  for (std::size_t i = 0; i < sizeof fields / sizeof fields[0]; ++i) {
    *p++ = separators[i];
    p = PutPadded(p, fields[i], 2);
  }
  *p = '\0';
}

long long AgeInDays(long long nowTicks, long long thenTicks) {
  // Unsigned, so that the difference of two far-apart instants cannot overflow.
  const unsigned long long now = static_cast<unsigned long long>(nowTicks);
  const unsigned long long then = static_cast<unsigned long long>(thenTicks);
  const unsigned long long diff = nowTicks >= thenTicks ? now - then : then - now;
  return static_cast<long long>(diff / static_cast<unsigned long long>(kTicksPerDay));
}

}  // namespace quarvel
