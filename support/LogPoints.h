// The library's log points: every step that writes a line names its point,
// and an edition's table says what that line is there (message, form,
// number) or that the edition writes none. Portable data, so that tests read
// the same tables.
#ifndef QUARVEL_SUPPORT_LOGPOINTS_H
#define QUARVEL_SUPPORT_LOGPOINTS_H

#include <cstddef>

namespace quarvel {

enum class LogPoint {
  // Get
  kGetStart,
  kWaitWriteFailed,
  kSendFailed,
  kSendDone,
  kWaitReadFailed,
  kWaitReadDone,
  kSocketError,  // numbered with the socket error
  kPeerClosed,
  kHeaderFailed,
  kHeaderDone,
  kStatusLineDone,
  kBodyDone,
  kRedirectDone,
  kGetFinish,
  // CheckRedirction
  kCheckStart,
  kFetched,
  kStatusOk,
  kStatusRedirect,
  kPageBody,  // the body as it is
  kEmptyBody,
  kNetworkUp,
  kUnparsed,
  kEmptyHeader,
  kLocationMissing,
  kLocationFound,
  kCheckFinish,
  // CheckNetDisconType
  kDisconBegin,
  kCheckReturned,  // numbered with the redirection result
  kTargetText,     // the target as it is
  kRulesFileMissing,
  kTargetLine,     // with the target as its value
  kCannotParse,
  // The rules file's [Probe] section
  kProbeUrlRefused,
  kIpLocationUrlRefused,
  kMarkerRefused,
  kTimeLimitRefused,
  kExpectRefused,
  // Any call whose time limit ran out
  kTimeLimitEnded,
};

enum class LogForm {
  kNumbered,   // "%s -> %d\n"
  kWithValue,  // "%s %s-> %d\n"
  kCompact,    // "%s-> %d\n"
  kText,       // the message as it is
  kValue,      // the value as it is
};

struct LogPointLine {
  LogPoint point;
  LogForm form;
  const char* message;  // null for kValue
  int n;                // for the numbered forms, unless the point brings its own
};

// One edition's lines; a point it does not list writes nothing.
struct LogPointTable {
  const LogPointLine* lines;
  std::size_t count;
};

}  // namespace quarvel

#endif
