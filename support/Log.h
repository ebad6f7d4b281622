// Unit Log: the library's one log file, Log\Quarvel_log.log under the install
// path, and the shared message buffer every log point formats into.
#ifndef QUARVEL_SUPPORT_LOG_H
#define QUARVEL_SUPPORT_LOG_H

#include <cstddef>
#include <cstdio>

#include "support/Lock.h"
#include "support/LogFormat.h"

namespace quarvel {

constexpr std::size_t kLogFileNameSize = 512;
constexpr std::size_t kMessageBufferSize = 512;
// Search pattern and deletion path buffers of the purge.
constexpr std::size_t kPurgePathSize = 260;

}  // namespace quarvel

// The log object, exported as data.
struct TLogFile {
  FILE* pFile;                                  // stream of the running write
  char szFileName[quarvel::kLogFileNameSize];   // log path, fixed at load

  // Appends "yyyy-MM-dd hh:mm:ss -> " and text; the file is opened and closed
  // for this one line, which is dropped when the file cannot be opened. The
  // library lock is held meanwhile: pFile is the running write's.
  void WriteLog(const char* text);
};

// Hosts read the exported record by offset: in the 32-bit library it is 516
// bytes, the path at offset 4; the 64-bit twin's pointer moves it to 8 (520).
static_assert(offsetof(TLogFile, szFileName) == sizeof(void*), "the path follows the stream");
static_assert(sizeof(TLogFile) == sizeof(void*) + quarvel::kLogFileNameSize,
              "the log object has no padding");
static_assert(sizeof(void*) != 4 || sizeof(TLogFile) == 516, "32-bit: a 516-byte log object");

extern "C" TLogFile _LOG;
extern "C" char _sError[quarvel::kMessageBufferSize];

extern "C" void LogInitialize();  // exported as @@Log@Initialize: StartLog(false)
extern "C" void LogFinalize();    // exported as @@Log@Finalize

namespace quarvel {

// Unit Log's start-up at load: the first call fixes the log path and, when
// purgeOldLogs, deletes old log files (the edition's unit code says which).
void StartLog(bool purgeOldLogs);

// A finished text, written as it is.
void LogText(const char* text);

// One line formatted into _sError by format(_sError, kLogLineBound) and
// written, both under the library lock: no other thread's line can be
// formatted into the buffer between the two.
template <typename Format>
void LogFormatted(const Format& format) {
  LibraryLockHold hold;
  format(_sError, kLogLineBound);
  _LOG.WriteLog(_sError);
}

// Deletes files of the log directory whose name holds namePart and that were
// created 4 or more days ago. False when the install path is empty or the
// directory cannot be searched.
bool DeleteOldLogs(const char* namePart);

}  // namespace quarvel

#endif
