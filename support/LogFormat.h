// Bounded formatting of log lines into the shared message buffer, and the
// time stamp of a line. Portable. A line that does not fit its bound is cut,
// never inside a code page 936 double-byte character: first the value texts
// (two values share the room, the longer cut first), then the message, so that
// the punctuation, the number and the final "\n" stay. Only when those alone
// do not fit are they cut too, and "\n" still ends the line (capacity >= 2).
#ifndef QUARVEL_SUPPORT_LOGFORMAT_H
#define QUARVEL_SUPPORT_LOGFORMAT_H

#include <cstddef>

namespace quarvel {

// Every log point formats into _sError with this bound (NUL included).
constexpr std::size_t kLogLineBound = 400;
// "yyyy-MM-dd hh:mm:ss" and its NUL.
constexpr std::size_t kTimeStampSize = 20;

// All return the length written (without the NUL); out is always terminated
// when capacity > 0. Null texts are taken as empty.
// "%s -> %d\n"
std::size_t FormatNumbered(char* out, std::size_t capacity, const char* message, int n);
// "%s %s-> %d\n"
std::size_t FormatWithValue(char* out, std::size_t capacity, const char* message,
                            const char* value, int n);
// "%s-> %d\n"
std::size_t FormatCompact(char* out, std::size_t capacity, const char* message, int n);
// "%s -> %d,%s,%s\n"
std::size_t FormatWithTwoValues(char* out, std::size_t capacity, const char* message,
                                int n, const char* valueA, const char* valueB);

// A local time laid out as the system's SYSTEMTIME (eight 16-bit fields,
// the day of the week between the month and the day of the month), so that
// the log takes the system's record as it is, field for field.
struct LocalTime {
  unsigned short year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};

// "yyyy-MM-dd hh:mm:ss" into out (kTimeStampSize bytes). A field outside
// what its digits can show is clamped, so the layout never changes.
void FormatTimeStamp(char* out, const LocalTime& t);

// Whole days between two instants given in 100-nanosecond ticks, absolute
// difference, truncated.
long long AgeInDays(long long nowTicks, long long thenTicks);

}  // namespace quarvel

#endif
