// Reading a user's log file line by line: each line placed at its log point
// (name and edition, from the editions' own log-point and province tables),
// the time since the line before with the reason for a wait, one summary per
// call and one for the whole file. A call begins at its own first line (a
// Get's, a check's), whatever came before it; a gap is a wait only within a
// call, and is named by a wait the call can make only when it fits one. One
// pass over any amount of bytes in constant memory: a line longer than
// kLineCapacity is kept cut, with its full length counted.
// Portable: bytes in, placed lines out; the texts stay as the file holds them.
#ifndef QUARVEL_TOOLS_CHECK_LOGLINES_H
#define QUARVEL_TOOLS_CHECK_LOGLINES_H

#include <cstddef>

#include "classify/Provinces.h"
#include "support/LogPoints.h"

namespace loglines {

constexpr std::size_t kLineCapacity = 2048;  // bytes of one file line kept
constexpr std::size_t kNameSize = 64;
constexpr std::size_t kTargetSize = 160;  // bytes of a call's target kept
constexpr std::size_t kStampLength = 19;  // "yyyy-MM-dd hh:mm:ss"
constexpr std::size_t kResultKinds = 24;   // distinct call results the summary counts
constexpr std::size_t kLongestWaits = 3;   // waits the summary names
constexpr long long kSetWaitNotKnown = -1;

enum class Edition { kNone, kCurrent, kEarlier, kBoth };

// One edition's tables, as the library holds them.
struct EditionTables {
  const quarvel::LogPointTable* logPoints;
  const quarvel::ProvinceTable* provinces;
};

struct Line {
  long long number;   // 1-based line of the file
  const char* bytes;  // the line without its line end, cut at kLineCapacity
  std::size_t length;
  std::size_t fullLength;  // as the file holds it
  bool stamped;            // starts with "yyyy-MM-dd hh:mm:ss -> "
  char name[kNameSize];    // the log point, "" when the line cannot be placed
  Edition edition;
  bool continuation;       // a further line of the value the record before carries
  long long gapSeconds;    // since the stamped line before (below 0: the clock was set back)
  bool gapKnown;           // a stamped line came before: else gapSeconds is 0
  // For a gap within a call of two seconds or more, or one back in time: the
  // wait it fits, or a pause of the host or a clock change. Else null (a gap
  // before a call's first line is the host's time between calls).
  const char* waitReason;
  bool callBegins;  // the line opens a call
};

struct Call {
  const char* kind;  // "CheckNetDisconType", "CheckRedirction" or "Get"
  long long firstLine, lastLine;
  int fetches;               // the Gets it made, as their closing lines tell
  const char* status;        // "200 OK", "redirect", "no answer" or "not logged"
  char target[kTargetSize];  // the redirect target's first line, "" none
  char rule[kNameSize];      // "[Section] Key" of the rule that hit, "" none
  char result[kNameSize];    // the outcome by code and name, or "not logged"
  bool timeLimitEnded;
};

enum class Encoding { kGbk, kUtf8, kUtf16 };  // what the file's first bytes look like

struct Wait {
  long long line;  // the line the wait ended at
  long long seconds;
  const char* reason;
};

struct Summary {
  long long lines;           // of the file
  long long unplaced;        // lines none of the library's
  long long continuations;   // further lines of a value
  long long editionLines[4];  // placed lines by Edition (kNone unused)
  char firstStamp[kStampLength + 1], lastStamp[kStampLength + 1];  // "" none
  long long spanSeconds;     // from the first stamp to the last
  long long clockSetBack;    // stamps earlier than the one before
  long long calls;
  long long callsByKind[3];  // Get, CheckRedirction, CheckNetDisconType
  struct {
    char result[kNameSize];
    long long count;
  } results[kResultKinds];   // in order of first sight
  std::size_t resultKinds;
  long long otherResults;    // calls whose result found no room above
  Wait longest[kLongestWaits];  // longest first; seconds 0: none
  Encoding looksLike;
};

// The kinds of call, in the order of Summary::callsByKind.
extern const char* const kCallKinds[3];

class Sink {
 public:
  virtual ~Sink() = default;
  virtual void OnLine(const Line& line) = 0;
  virtual void OnCall(const Call& call) = 0;
  virtual void OnSummary(const Summary&) {}
};

struct Placement;  // where a stamped line stands in an edition's tables

class Reader {
 public:
  // Either edition may be null: its lines are then not placed. setWaitMs:
  // the host's SetTimeOut, when known; else any wait a SetTimeOut can make
  // fits.
  Reader(const EditionTables* current, const EditionTables* earlier, Sink* sink,
         long long setWaitMs = kSetWaitNotKnown);
  void Feed(const char* bytes, std::size_t count);
  void Finish();  // the last line and call, then the summary

 private:
  void EndLine();
  void Place(const char* bytes, std::size_t length, std::size_t fullLength);
  bool PlaceStamped(Line* line, const char* message, std::size_t length, Placement* placed);
  bool BeginsCall(const Placement& placed) const;
  const char* WaitOf(const Line& line, const Placement& placed) const;
  void Account(const Line& line, const Placement& placed, const char* message, std::size_t length);
  void CloseCall();
  void Count(const Line& line);
  void Sample(const char* bytes, std::size_t count);

  const EditionTables* current_;
  const EditionTables* earlier_;
  Sink* sink_;
  long long setWaitSeconds_;
  char buffer_[kLineCapacity];
  std::size_t kept_ = 0, full_ = 0;
  char lastByte_ = 0;
  long long lineNumber_ = 0;
  long long lastTime_ = -1;
  Edition lastEdition_ = Edition::kNone;
  int lastRank_ = -1;
  int lastPoint_ = -1;  // the call's last placed line, a LogPoint (-1: another kind)
  int valueOpen_ = -1;  // the point whose value the following lines continue
  char valueName_[kNameSize] = {};
  Edition valueEdition_ = Edition::kNone;
  int valueExpected_ = -1;  // a value line the next stamped line may be
  bool callOpen_ = false;
  Call call_ = {};
  Summary summary_ = {};
  long long firstTime_ = -1;
  std::size_t sampled_ = 0;  // of the file's first bytes, looked at for the encoding
  long long sampleNuls_ = 0, sampleUtf8_ = 0, sampleNotUtf8_ = 0;
  unsigned char sampleHead_[3] = {};
};

// The name of a log point, as the log reader shows it.
const char* PointName(quarvel::LogPoint point);

}  // namespace loglines

#endif
