// The time one call of the library may take. Without a limit every step
// waits as it always has; with one, the look-ups, the connect, the waits and
// the receives of the whole call draw on what is left of it.
#ifndef QUARVEL_HTTP_DEADLINE_H
#define QUARVEL_HTTP_DEADLINE_H

#include <windows.h>

#include "support/OsCalls.h"

namespace quarvel {

class Deadline {
 public:
  // The call starts now, without a limit until one is set.
  Deadline() : startMs_(gOs.getTickCount()), limitMs_(0) {}

  // limitMs 0 leaves the call unbounded; it counts from the call's start.
  void SetLimit(DWORD limitMs) { limitMs_ = limitMs; }
  bool Bounded() const { return limitMs_ != 0; }

  // Milliseconds left, 0 once the limit is reached (the tick count may wrap:
  // the difference is still the time passed).
  DWORD LeftMs() const {
    DWORD passed = gOs.getTickCount() - startMs_;
    return passed < limitMs_ ? limitMs_ - passed : 0;
  }
  bool RanOut() const { return Bounded() && LeftMs() == 0; }

  // A step's own wait of waitMs, cut to what is left when that is less.
  int Cap(int waitMs) const {
    if (!Bounded() || waitMs < 0) return waitMs;
    DWORD left = LeftMs();
    return static_cast<DWORD>(waitMs) <= left ? waitMs : static_cast<int>(left);
  }

 private:
  DWORD startMs_;
  DWORD limitMs_;
};

}  // namespace quarvel

#endif
