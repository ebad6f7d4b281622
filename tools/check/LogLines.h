// Reading a user's log file line by line: each line placed at its log point
// (name and edition, from the editions' own log-point and province tables),
// the time since the line before with the reason for a wait, and one summary
// per call. One pass over any amount of bytes in constant memory: a line
// longer than kLineCapacity is kept cut, with its full length counted.
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
  long long gapSeconds;    // since the stamped line before, -1 when none
  const char* waitReason;  // for a gap of one second or more, else null
  bool callBegins;         // the line opens a call: a wait before it may be the host's pause
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

class Sink {
 public:
  virtual ~Sink() = default;
  virtual void OnLine(const Line& line) = 0;
  virtual void OnCall(const Call& call) = 0;
};

struct Placement;  // where a stamped line stands in an edition's tables

class Reader {
 public:
  // Either edition may be null: its lines are then not placed.
  Reader(const EditionTables* current, const EditionTables* earlier, Sink* sink);
  void Feed(const char* bytes, std::size_t count);
  void Finish();  // the last line and call

 private:
  void EndLine();
  void Place(const char* bytes, std::size_t length, std::size_t fullLength);
  bool PlaceStamped(Line* line, const char* message, std::size_t length, Placement* placed);
  void Account(const Line& line, const Placement& placed, const char* message, std::size_t length);
  void CloseCall();

  const EditionTables* current_;
  const EditionTables* earlier_;
  Sink* sink_;
  char buffer_[kLineCapacity];
  std::size_t kept_ = 0, full_ = 0;
  char lastByte_ = 0;
  long long lineNumber_ = 0;
  long long lastTime_ = -1;
  Edition lastEdition_ = Edition::kNone;
  int lastRank_ = -1;
  int valueOpen_ = -1;  // the point whose value the following lines continue
  char valueName_[kNameSize] = {};
  Edition valueEdition_ = Edition::kNone;
  int valueExpected_ = -1;  // a value line the next stamped line may be
  bool callOpen_ = false;
  Call call_ = {};
};

// The name of a log point, as the log reader shows it.
const char* PointName(quarvel::LogPoint point);

}  // namespace loglines

#endif
