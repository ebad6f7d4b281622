// The process's private bytes, heap bytes in use and handle count, for the
// bench's checks that many calls leave the process as they found it.
#ifndef QUARVEL_TOOLS_KIT_PROCESSFIGURES_H
#define QUARVEL_TOOLS_KIT_PROCESSFIGURES_H

#include <windows.h>

namespace kit {

struct ProcessFigures {
  SIZE_T privateBytes = 0;
  SIZE_T heapInUse = 0;  // busy blocks of every heap: a leak too small to commit pages shows
  DWORD handles = 0;
  const char* privateSource = "";
  const char* handleSource = "";
};

// Private bytes and handle count from psapi and kernel32; where those give 0
// (Wine leaves both unset), from the address space and the handle table.
ProcessFigures MeasureProcess();

}  // namespace kit

#endif
