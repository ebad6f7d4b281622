// Bounded formatting of log lines into the shared message buffer, and the
// time stamp of a line. Portable. A line that does not fit its bound is cut:
// the value texts are shortened (never inside a code page 936 double-byte
// character) so that the message's end, the number and the final "\n" stay.
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

struct LocalTime {
  int year, month, day, hour, minute, second;
};

// "yyyy-MM-dd hh:mm:ss" into out (kTimeStampSize bytes).
void FormatTimeStamp(char* out, const LocalTime& t);

// Whole days between two instants given in 100-nanosecond ticks, absolute
// difference, truncated.
long long AgeInDays(long long nowTicks, long long thenTicks);

}  // namespace quarvel

#endif
