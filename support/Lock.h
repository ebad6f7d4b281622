// The library's one lock over its process-wide state: the log object and
// the message buffer every log point formats into, the province code, and
// the table of running name look-ups. Made when the module loads, before any
// unit starts; held only for a step that must be whole (format and write one
// line, copy or replace the province code), never across a network wait.
#ifndef QUARVEL_SUPPORT_LOCK_H
#define QUARVEL_SUPPORT_LOCK_H

#include <windows.h>

namespace quarvel {

void LockLibrary();
void UnlockLibrary();

// Holds the library lock for the scope it lives in.
class LibraryLockHold {
 public:
  LibraryLockHold() { LockLibrary(); }
  ~LibraryLockHold() { UnlockLibrary(); }
  LibraryLockHold(const LibraryLockHold&) = delete;
  LibraryLockHold& operator=(const LibraryLockHold&) = delete;
};

}  // namespace quarvel

#endif
