#include "support/Lock.h"

namespace {

// Made by the module's start-up code, which runs the constructors of its
// static objects before the entry routine starts the units, and deleted by
// its shut-down code after they stopped. At process exit Windows has ended
// every other thread first, so nobody can be holding it then.
class LibraryLock {
 public:
  LibraryLock() { InitializeCriticalSection(&section_); }
  ~LibraryLock() { DeleteCriticalSection(&section_); }
  CRITICAL_SECTION section_;
};

LibraryLock gLock;

}  // namespace

namespace quarvel {

void LockLibrary() { EnterCriticalSection(&gLock.section_); }

void UnlockLibrary() { LeaveCriticalSection(&gLock.section_); }

}  // namespace quarvel
