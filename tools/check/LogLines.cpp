#include "tools/check/LogLines.h"

#include <cstdio>
#include <cstring>

#include "classify/ProbeSettings.h"
#include "tools/check/CodeNames.h"

namespace loglines {

using quarvel::LogForm;
using quarvel::LogPoint;

namespace {

constexpr const char* k200 = "200 OK";
constexpr const char* kRedirect = "redirect";
constexpr const char* kNoAnswer = "no answer";
constexpr long kReceiveTimedOut = 10060;  // the socket error of a receive time-out

// What the reader knows of each log point, in the order of LogPoint: its
// name; where in a call its line stands (0 before the fetch, 1 Get, 2 the
// redirection check, 3 the dispatch, 4 after: a line ranked below the one
// before begins the next call); the status class of the answer it shows; the
// call's result it tells.
struct PointFacts {
  const char* name;
  int rank;
  const char* status;
  const char* result;
};

constexpr PointFacts kFacts[] = {
    {"GetStart", 1, nullptr, nullptr},
    {"WaitWriteFailed", 1, kNoAnswer, nullptr},
    {"SendFailed", 1, kNoAnswer, nullptr},
    {"SendDone", 1, nullptr, nullptr},
    {"WaitReadFailed", 1, kNoAnswer, nullptr},
    {"WaitReadDone", 1, nullptr, nullptr},
    {"SocketError", 1, kNoAnswer, nullptr},
    {"PeerClosed", 1, kNoAnswer, nullptr},
    {"HeaderFailed", 1, kNoAnswer, nullptr},
    {"HeaderDone", 1, nullptr, nullptr},
    {"StatusLineDone", 1, nullptr, nullptr},
    {"BodyDone", 1, k200, nullptr},
    {"RedirectDone", 1, kRedirect, nullptr},
    {"GetFinish", 1, nullptr, nullptr},
    {"CheckStart", 0, nullptr, nullptr},
    {"Fetched", 2, nullptr, nullptr},
    {"StatusOk", 2, k200, nullptr},
    {"StatusRedirect", 2, kRedirect, nullptr},
    {"PageBody", 2, k200, nullptr},
    {"EmptyBody", 2, k200, "0 NoTarget"},
    {"NetworkUp", 2, k200, "3 NetworkUp"},
    {"Unparsed", 2, k200, "2 TargetUnparsed"},
    {"EmptyHeader", 2, kRedirect, "0 NoTarget"},
    {"LocationMissing", 2, kRedirect, "0 NoTarget"},
    {"LocationFound", 2, kRedirect, "1 TargetFound"},
    {"CheckFinish", 2, nullptr, nullptr},
    {"DisconBegin", 0, nullptr, nullptr},
    {"CheckReturned", 3, nullptr, nullptr},
    {"TargetText", 3, nullptr, nullptr},
    {"RulesFileMissing", 3, nullptr, "0 Unclassified: no rules file"},
    {"TargetLine", 3, nullptr, "0 Unclassified: no rule matched"},
    {"CannotParse", 3, nullptr, "0 Unclassified: no target"},
    {"ProbeUrlRefused", 0, nullptr, nullptr},
    {"IpLocationUrlRefused", 0, nullptr, nullptr},
    {"MarkerRefused", 0, nullptr, nullptr},
    {"TimeLimitRefused", 0, nullptr, nullptr},
    {"ExpectRefused", 0, nullptr, nullptr},
    {"TimeLimitEnded", 4, nullptr, nullptr},
};
static_assert(sizeof kFacts / sizeof kFacts[0] ==
                  static_cast<std::size_t>(LogPoint::kTimeLimitEnded) + 1,
              "one entry per log point, in the order of LogPoint");

// The waits a call can make between two of its lines, and the longest each
// can be. Stamps count whole seconds: a gap of one second may be no wait at
// all, and every bound gets one second more.
enum class WaitKind { kNone, kConnect, kSetWait, kAnswer, kReceive, kFetch, kTimeLimit };

constexpr long long kLeastWaitSeconds = 2;
constexpr long long kStampSlop = 1;
// Two name look-ups (the local name's and the server's) and a connect, at
// Windows' own time-outs: about 10 s a look-up, 21 s a connect.
constexpr long long kLookUpsAndConnectSeconds = 45;
// A header read a byte per receive and a body gathered in a few receives, 1 s
// each at most.
constexpr long long kMostReceiveSeconds = 1023 + 7;
constexpr long long kMostSetWaitSeconds = 2147484;  // the largest SetTimeOut, in seconds
constexpr long long kTimeLimitSeconds = quarvel::kTimeLimitMaxMs / 1000;

constexpr const char* kHostPause = "a pause of the host or a clock change";
constexpr const char* kSetBack = "a clock change: the time went back";

const PointFacts& FactsOf(LogPoint point) { return kFacts[static_cast<std::size_t>(point)]; }

}  // namespace

const char* PointName(LogPoint point) { return FactsOf(point).name; }

enum class Kind { kNone, kPoint, kIntro, kValues, kHit };

struct Placement {
  Kind kind = Kind::kNone;
  LogPoint point = LogPoint::kGetStart;
  const quarvel::Province* province = nullptr;
  const quarvel::ProvinceRule* rule = nullptr;
  long number = 0;
  std::size_t valueAt = 0;  // where the value of a line with one begins
};

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

long Field(const char* text, int digits) {
  long value = 0;
  for (int i = 0; i < digits; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

// "yyyy-MM-dd hh:mm:ss -> " at text, with a date and time that can be.
bool IsStamp(const char* text, std::size_t length) {
  static const char kShape[] = "dddd-dd-dd dd:dd:dd -> ";
  if (length < sizeof kShape - 1) return false;
  for (std::size_t i = 0; i + 1 < sizeof kShape; ++i) {
    if (kShape[i] == 'd' ? !IsDigit(text[i]) : text[i] != kShape[i]) return false;
  }
  long month = Field(text + 5, 2), day = Field(text + 8, 2);
  return month >= 1 && month <= 12 && day >= 1 && day <= 31 && Field(text + 11, 2) <= 23 &&
         Field(text + 14, 2) <= 59 && Field(text + 17, 2) <= 60;
}

// Seconds since 1970-01-01 of a stamp (proleptic Gregorian calendar).
long long StampSeconds(const char* s) {
  long y = Field(s, 4), m = Field(s + 5, 2), d = Field(s + 8, 2);
  y -= m <= 2;
  long era = y / 400, yoe = y - era * 400;
  long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  long long days = era * 146097LL + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
  return days * 86400 + Field(s + 11, 2) * 3600 + Field(s + 14, 2) * 60 + Field(s + 17, 2);
}

bool StartsWith(const char* text, std::size_t length, const char* prefix, std::size_t n) {
  return length >= n && std::memcmp(text, prefix, n) == 0;
}

// text is message, sep, a decimal number (n unless any) and, with tail, an
// optional ",..." after it.
bool MatchNumber(const char* text, std::size_t length, const char* message, const char* sep, long n,
                 bool any, bool tail, long* number) {
  std::size_t m = std::strlen(message), s = std::strlen(sep);
  if (!StartsWith(text, length, message, m) || !StartsWith(text + m, length - m, sep, s)) {
    return false;
  }
  std::size_t at = m + s, digits = 0;
  bool negative = at < length && text[at] == '-';
  long value = 0;
  for (at += negative; at < length && IsDigit(text[at]) && digits < 9; ++at, ++digits) {
    value = value * 10 + (text[at] - '0');
  }
  if (digits == 0 || (at < length && !(tail && text[at] == ','))) return false;
  *number = negative ? -value : value;
  return any || *number == n;
}

bool MatchLine(const quarvel::LogPointLine& line, const char* text, std::size_t length,
               long* number) {
  if (line.message == nullptr) return false;
  std::size_t m = std::strlen(line.message);
  bool own = line.n == 0;  // the point brings its own number
  switch (line.form) {
    case LogForm::kNumbered:
    case LogForm::kCompact:
      return MatchNumber(text, length, line.message,
                         line.form == LogForm::kNumbered ? " -> " : "-> ", line.n, own, false,
                         number);
    case LogForm::kWithValue:
      return StartsWith(text, length, line.message, m) && length > m && text[m] == ' ';
    case LogForm::kText:
      if (m > 0 && line.message[m - 1] == '\n') --m;
      return length == m && std::memcmp(text, line.message, m) == 0;
    default:
      return false;  // a value line is placed by the line before it
  }
}

bool MatchProvinceLine(const quarvel::LogLine& line, const char* text, std::size_t length,
                       bool tail) {
  long number = 0;
  return line.message != nullptr &&
         MatchNumber(text, length, line.message, " -> ", line.n, false, tail, &number);
}

// The placing of text in one edition's tables; expected: a value point
// (kValue form) the text may be, or -1.
bool MatchTables(const EditionTables* tables, const char* text, std::size_t length, int expected,
                 Placement* placed) {
  if (tables == nullptr) return false;
  const quarvel::LogPointTable& points = *tables->logPoints;
  for (std::size_t i = 0; i < points.count; ++i) {
    if (MatchLine(points.lines[i], text, length, &placed->number)) {
      placed->kind = Kind::kPoint;
      placed->point = points.lines[i].point;
      if (points.lines[i].form == LogForm::kWithValue) {
        placed->valueAt = std::strlen(points.lines[i].message) + 1;
      }
      return true;
    }
  }
  const quarvel::ProvinceTable& provinces = *tables->provinces;
  for (std::size_t p = 0; p < provinces.count; ++p) {
    const quarvel::Province& province = provinces.provinces[p];
    placed->province = &province;
    if (MatchProvinceLine(province.introLine, text, length, false)) {
      placed->kind = Kind::kIntro;
      return true;
    }
    if (MatchProvinceLine(province.valuesLine, text, length, true)) {
      placed->kind = Kind::kValues;
      return true;
    }
    for (std::size_t r = 0; r < province.ruleCount; ++r) {
      if (MatchProvinceLine(province.rules[r].hitLine, text, length, false)) {
        placed->kind = Kind::kHit;
        placed->rule = &province.rules[r];
        return true;
      }
    }
  }
  for (std::size_t i = 0; i < points.count; ++i) {
    if (points.lines[i].form == LogForm::kValue &&
        static_cast<int>(points.lines[i].point) == expected) {
      placed->kind = Kind::kPoint;
      placed->point = points.lines[i].point;
      return true;
    }
  }
  return false;
}

// The name of a placed line, in the order of Kind.
void NameOf(const Placement& placed, char* name) {
  static const char* const kFormats[] = {"", "%s", "Intro [%s]", "Values [%s]", "Hit [%s] %s"};
  const char* first = placed.kind == Kind::kPoint ? PointName(placed.point)
                      : placed.province != nullptr ? placed.province->section
                                                   : "";
  std::snprintf(name, kNameSize, kFormats[static_cast<int>(placed.kind)], first,
                placed.rule != nullptr ? placed.rule->key : "");
}

int RankOf(const Placement& placed) {
  return placed.kind == Kind::kPoint ? FactsOf(placed.point).rank : 3;
}

// The call's target as shown: leading blanks dropped, cut to the field, a
// NUL of the file shown as a blank.
void KeepTarget(char* target, const char* text, std::size_t length) {
  while (length > 0 && text[0] == ' ') ++text, --length;
  std::size_t n = length < kTargetSize - 1 ? length : kTargetSize - 1;
  std::memcpy(target, text, n);
  target[n] = '\0';
  for (std::size_t i = 0; i < n; ++i) {
    if (target[i] == '\0') target[i] = ' ';  // a NUL of the file ends no text here
  }
}

const char* const kNoRuleHit = "0 Unclassified: no rule matched";

bool IsPoint(const Placement& placed, LogPoint point) {
  return placed.kind == Kind::kPoint && placed.point == point;
}

// The wait a call makes between its line of point `before` (-1: a line of
// another kind, after which no step waits) and the line placed, from the
// steps that write no line.
WaitKind WaitBetween(int before, const Placement& placed) {
  if (IsPoint(placed, LogPoint::kTimeLimitEnded)) return WaitKind::kTimeLimit;
  if (placed.kind != Kind::kPoint || FactsOf(placed.point).rank != 1) return WaitKind::kNone;
  if (before < 0) return WaitKind::kNone;
  LogPoint point = placed.point;
  switch (static_cast<LogPoint>(before)) {
    case LogPoint::kGetStart:  // the look-ups, the connect, the wait to send
      return point == LogPoint::kSendFailed || point == LogPoint::kSendDone ||
                     point == LogPoint::kGetFinish
                 ? WaitKind::kConnect
                 : WaitKind::kNone;
    case LogPoint::kSendDone:  // the wait for the answer
      return point == LogPoint::kWaitReadDone ? WaitKind::kAnswer
             : point == LogPoint::kGetFinish || point == LogPoint::kWaitReadFailed
                 ? WaitKind::kSetWait
                 : WaitKind::kNone;
    case LogPoint::kWaitReadDone:    // the header's receives
    case LogPoint::kStatusLineDone:  // the body's
      return point == LogPoint::kSocketError || point == LogPoint::kPeerClosed ||
                     point == LogPoint::kHeaderFailed || point == LogPoint::kHeaderDone ||
                     point == LogPoint::kBodyDone || point == LogPoint::kGetFinish
                 ? WaitKind::kReceive
                 : WaitKind::kNone;
    default:
      // A Get that logs no start: all of its steps come before its first line.
      return FactsOf(static_cast<LogPoint>(before)).rank == 0 ? WaitKind::kFetch : WaitKind::kNone;
  }
}

bool Fits(long long gap, long long bound) { return gap <= bound + kStampSlop; }

// The share of the sample's bytes that must be NUL for the file to look UTF-16.
constexpr long long kUtf16NulShare = 4;
constexpr std::size_t kSampleBytes = 4096;

}  // namespace

const char* const kCallKinds[3] = {"Get", "CheckRedirction", "CheckNetDisconType"};

Reader::Reader(const EditionTables* current, const EditionTables* earlier, Sink* sink,
               long long setWaitMs)
    : current_(current),
      earlier_(earlier),
      sink_(sink),
      setWaitSeconds_(setWaitMs < 0 ? kMostSetWaitSeconds : (setWaitMs + 999) / 1000) {}

void Reader::Feed(const char* bytes, std::size_t count) {
  if (sampled_ < kSampleBytes) Sample(bytes, count);
  const char* end = bytes + count;
  while (bytes < end) {
    const char* newline = static_cast<const char*>(std::memchr(bytes, '\n', end - bytes));
    const char* stop = newline != nullptr ? newline : end;
    std::size_t n = static_cast<std::size_t>(stop - bytes);
    if (n > 0) {
      std::size_t room = kLineCapacity - kept_, take = n < room ? n : room;
      std::memcpy(buffer_ + kept_, bytes, take);
      kept_ += take;
      full_ += n;
      lastByte_ = stop[-1];
    }
    bytes = stop;
    if (newline != nullptr) {
      EndLine();
      ++bytes;
    }
  }
}

// Counts, over the file's first bytes, NULs and what reads as UTF-8 (a lead
// byte with its continuation bytes) or cannot.
void Reader::Sample(const char* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count && sampled_ < kSampleBytes; ++i, ++sampled_) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (sampled_ < sizeof sampleHead_) sampleHead_[sampled_] = b;
    if (b == 0) ++sampleNuls_;
    if (b < 0x80) continue;
    std::size_t more = b >= 0xC2 && b <= 0xDF   ? 1
                       : b >= 0xE0 && b <= 0xEF ? 2
                       : b >= 0xF0 && b <= 0xF4 ? 3
                                                : 0;
    std::size_t j = 1;
    while (j <= more && i + j < count &&
           (static_cast<unsigned char>(bytes[i + j]) & 0xC0) == 0x80) {
      ++j;
    }
    if (more > 0 && j > more) {
      ++sampleUtf8_;
      i += more, sampled_ += more;
    } else if (more == 0 || i + j < count) {
      ++sampleNotUtf8_;  // a sequence cut at the chunk's end counts as neither
    }
  }
}

void Reader::Finish() {
  if (full_ > 0) EndLine();
  CloseCall();
  const unsigned char* h = sampleHead_;
  bool utf16 = (h[0] == 0xFF && h[1] == 0xFE) || (h[0] == 0xFE && h[1] == 0xFF) ||
               (sampled_ > 0 && sampleNuls_ * kUtf16NulShare >= static_cast<long long>(sampled_));
  bool utf8 = (h[0] == 0xEF && h[1] == 0xBB && h[2] == 0xBF) ||
              (sampleUtf8_ > 0 && sampleNotUtf8_ == 0);
  summary_.looksLike = utf16 ? Encoding::kUtf16 : utf8 ? Encoding::kUtf8 : Encoding::kGbk;
  summary_.lines = lineNumber_;
  sink_->OnSummary(summary_);
}

void Reader::EndLine() {
  ++lineNumber_;
  std::size_t length = kept_, full = full_;
  // Text mode writes "\n" as CR LF; a target's own CR LF stands as CR CR LF.
  while (length > 0 && length == full && buffer_[length - 1] == '\r') --length, --full;
  if (length < full && lastByte_ == '\r') --full;
  const char* text = buffer_;
  // A record written without a line end runs into the next: split at the stamp.
  for (std::size_t at = IsStamp(text, length) ? kStampLength + 4 : 1; at + kStampLength < length;
       ++at) {
    if (text[at + 4] == '-' && IsStamp(text + at, length - at)) {
      Place(text, at, at);
      text += at, length -= at, full -= at;
      at = kStampLength + 3;
    }
  }
  Place(text, length, full);
  kept_ = full_ = 0;
}

void Reader::Place(const char* bytes, std::size_t length, std::size_t fullLength) {
  Line line = {lineNumber_, bytes, length, fullLength, IsStamp(bytes, length), {},
               Edition::kNone, false, 0, false, nullptr, false};
  Placement placed;
  if (!line.stamped) {
    if (valueOpen_ >= 0) {
      line.continuation = true;
      std::memcpy(line.name, valueName_, kNameSize);
      line.edition = valueEdition_;
    }
    Count(line);
    sink_->OnLine(line);
    return;
  }
  const char* message = bytes + kStampLength + 4;
  std::size_t messageLength = length - kStampLength - 4;
  long long time = StampSeconds(bytes);
  line.gapKnown = lastTime_ >= 0;
  line.gapSeconds = line.gapKnown ? time - lastTime_ : 0;
  lastTime_ = time;
  if (firstTime_ < 0) {
    firstTime_ = time;
    std::memcpy(summary_.firstStamp, bytes, kStampLength);
  }
  std::memcpy(summary_.lastStamp, bytes, kStampLength);
  summary_.spanSeconds = time - firstTime_;
  if (line.gapSeconds < 0) ++summary_.clockSetBack;
  if (PlaceStamped(&line, message, messageLength, &placed)) {
    line.callBegins = BeginsCall(placed);
    if (line.callBegins) CloseCall();
    line.waitReason = line.callBegins ? nullptr : WaitOf(line, placed);
    lastRank_ = RankOf(placed);
    lastPoint_ = placed.kind == Kind::kPoint ? static_cast<int>(placed.point) : -1;
    Count(line);
    sink_->OnLine(line);
    Account(line, placed, message, messageLength);
    return;
  }
  Count(line);
  sink_->OnLine(line);
}

// A call's first line: a dispatch's start; a check's start but in the
// dispatch that has just begun; a Get's start but in the check that has just
// begun; a Get's line after the last Get ended (an edition that logs no start
// for it); any line after a time limit ended the call, or ranked below the
// line before.
bool Reader::BeginsCall(const Placement& placed) const {
  if (!callOpen_ || lastPoint_ == static_cast<int>(LogPoint::kTimeLimitEnded)) return true;
  if (placed.kind == Kind::kPoint) {
    switch (placed.point) {
      case LogPoint::kDisconBegin:
        return true;
      case LogPoint::kCheckStart:
        return lastPoint_ != static_cast<int>(LogPoint::kDisconBegin);
      case LogPoint::kGetStart:
        return lastPoint_ != static_cast<int>(LogPoint::kCheckStart);
      default:
        if (FactsOf(placed.point).rank == 1 &&
            lastPoint_ == static_cast<int>(LogPoint::kGetFinish)) {
          return true;
        }
    }
  }
  return RankOf(placed) < lastRank_;
}

// The reason for the gap before a line within a call: the wait of the steps
// between it and the line before, when the gap fits it.
const char* Reader::WaitOf(const Line& line, const Placement& placed) const {
  long long gap = line.gapSeconds;
  if (gap < 0) return kSetBack;
  if (gap < kLeastWaitSeconds) return nullptr;
  bool earlier = line.edition == Edition::kEarlier ||
                 (line.edition == Edition::kBoth && lastEdition_ == Edition::kEarlier);
  switch (WaitBetween(lastPoint_, placed)) {
    case WaitKind::kConnect:
      if (Fits(gap, kLookUpsAndConnectSeconds + setWaitSeconds_)) {
        return "the look-ups, the connect and the set wait time (SetTimeOut)";
      }
      break;
    case WaitKind::kSetWait:
      if (Fits(gap, setWaitSeconds_)) return "the set wait time (SetTimeOut) ran out";
      break;
    case WaitKind::kAnswer:
      if (Fits(gap, setWaitSeconds_)) return "the server's answer, within the set wait time";
      break;
    case WaitKind::kReceive:  // the earlier edition's receives wait as long as the server
      if (earlier) return "a receive without time-out: the server held the connection";
      if (Fits(gap, kMostReceiveSeconds)) {
        return IsPoint(placed, LogPoint::kSocketError) && placed.number != kReceiveTimedOut
                   ? "receives that ended in the socket error the line names"
                   : "the receive time-out (1 s per receive)";
      }
      break;
    case WaitKind::kFetch:
      if (Fits(gap, kLookUpsAndConnectSeconds + 2 * setWaitSeconds_ + kMostReceiveSeconds)) {
        return "a fetch: the look-ups, the connect, the set wait time, receives of 1 s each";
      }
      break;
    case WaitKind::kTimeLimit:
      if (Fits(gap, kTimeLimitSeconds)) return "the time limit ([Probe] TimeLimitMs)";
      break;
    case WaitKind::kNone:
      break;
  }
  return kHostPause;
}

// The file's summary counts a line as it is handed out.
void Reader::Count(const Line& line) {
  if (line.continuation) ++summary_.continuations;
  if (line.name[0] == '\0') ++summary_.unplaced;
  if (line.name[0] != '\0' && !line.continuation) {
    ++summary_.editionLines[static_cast<int>(line.edition)];
  }
  if (line.waitReason == nullptr || line.gapSeconds < kLeastWaitSeconds) return;
  Wait* longest = summary_.longest;
  std::size_t at = kLongestWaits;
  while (at > 0 && longest[at - 1].seconds < line.gapSeconds) --at;
  if (at == kLongestWaits) return;
  for (std::size_t i = kLongestWaits - 1; i > at; --i) longest[i] = longest[i - 1];
  longest[at] = Wait{line.number, line.gapSeconds, line.waitReason};
}

bool Reader::PlaceStamped(Line* line, const char* message, std::size_t length, Placement* placed) {
  Placement fromCurrent, fromEarlier;
  bool current = MatchTables(current_, message, length, valueExpected_, &fromCurrent);
  bool earlier = MatchTables(earlier_, message, length, valueExpected_, &fromEarlier);
  valueOpen_ = valueExpected_ = -1;
  if (!current && !earlier) return false;
  char currentName[kNameSize], earlierName[kNameSize];
  NameOf(fromCurrent, currentName);
  NameOf(fromEarlier, earlierName);
  bool preferEarlier = earlier && (!current || lastEdition_ == Edition::kEarlier);
  *placed = preferEarlier ? fromEarlier : fromCurrent;
  std::memcpy(line->name, preferEarlier ? earlierName : currentName, kNameSize);
  line->edition = current && earlier && std::strcmp(currentName, earlierName) == 0 ? Edition::kBoth
                  : preferEarlier ? Edition::kEarlier
                                  : Edition::kCurrent;
  if (line->edition != Edition::kBoth) lastEdition_ = line->edition;
  if (placed->kind != Kind::kPoint) return true;
  if (placed->point == LogPoint::kStatusOk) valueExpected_ = static_cast<int>(LogPoint::kPageBody);
  if (placed->point == LogPoint::kCheckReturned) {
    valueExpected_ = static_cast<int>(LogPoint::kTargetText);
  }
  if (placed->point == LogPoint::kPageBody || placed->point == LogPoint::kTargetText ||
      placed->point == LogPoint::kTargetLine) {
    valueOpen_ = static_cast<int>(placed->point);
    std::memcpy(valueName_, line->name, kNameSize);
    valueEdition_ = line->edition;
  }
  return true;
}

void Reader::Account(const Line& line, const Placement& placed, const char* message,
                     std::size_t length) {
  if (!callOpen_) {
    call_ = Call{};
    call_.kind = kCallKinds[0];
    call_.firstLine = line.number;
    call_.status = "not logged";
    std::snprintf(call_.result, kNameSize, "not logged");
    callOpen_ = true;
  }
  call_.lastLine = line.number;
  // Only a check starts with a line ranked 0 (its start, or its [Probe]
  // settings refused); only a dispatch with its start or a line ranked 3.
  int rank = RankOf(placed);
  if (rank == 3 || IsPoint(placed, LogPoint::kDisconBegin)) {
    call_.kind = kCallKinds[2];
  } else if ((rank == 2 || rank == 0) && call_.kind == kCallKinds[0]) {
    call_.kind = kCallKinds[1];
  }
  if (placed.kind == Kind::kIntro || placed.kind == Kind::kValues) {
    bool silentHit = false;
    for (std::size_t r = 0; r < placed.province->ruleCount; ++r) {
      silentHit = silentHit || placed.province->rules[r].hitLine.message == nullptr;
    }
    std::snprintf(call_.result, kNameSize, "%s",
                  silentHit ? "not logged: this edition logs no hit of this province" : kNoRuleHit);
    return;
  }
  if (placed.kind == Kind::kHit) {
    std::snprintf(call_.rule, kNameSize, "[%s] %s", placed.province->section, placed.rule->key);
    std::snprintf(call_.result, kNameSize, "%d %s", static_cast<int>(placed.rule->code),
                  codes::DisconName(placed.rule->code));
    return;
  }
  const PointFacts& facts = FactsOf(placed.point);
  if (facts.status != nullptr) call_.status = facts.status;
  if (facts.result != nullptr) std::snprintf(call_.result, kNameSize, "%s", facts.result);
  if (placed.point == LogPoint::kGetFinish) ++call_.fetches;
  if (placed.point == LogPoint::kTimeLimitEnded) call_.timeLimitEnded = true;
  if (placed.point == LogPoint::kCheckReturned) {
    std::snprintf(call_.result, kNameSize, "%ld %s", placed.number,
                  codes::RedirectionName(static_cast<int>(placed.number)));
  }
  if (placed.point == LogPoint::kTargetText) KeepTarget(call_.target, message, length);
  if (placed.point == LogPoint::kTargetLine) {
    std::size_t end = length;  // a one-line target ends in "-> N"
    for (std::size_t i = placed.valueAt; i + 3 <= length; ++i) {
      if (std::memcmp(message + i, "-> ", 3) == 0) end = i;
    }
    KeepTarget(call_.target, message + placed.valueAt, end - placed.valueAt);
  }
}

void Reader::CloseCall() {
  if (!callOpen_) return;
  callOpen_ = false;
  lastRank_ = lastPoint_ = -1;
  ++summary_.calls;
  for (std::size_t k = 0; k < 3; ++k) summary_.callsByKind[k] += call_.kind == kCallKinds[k];
  std::size_t r = 0;
  while (r < summary_.resultKinds && std::strcmp(summary_.results[r].result, call_.result) != 0) {
    ++r;
  }
  if (r == summary_.resultKinds && r < kResultKinds) {
    std::memcpy(summary_.results[r].result, call_.result, kNameSize);
    ++summary_.resultKinds;
  }
  if (r < kResultKinds) {
    ++summary_.results[r].count;
  } else {
    ++summary_.otherResults;
  }
  sink_->OnCall(call_);
}

}  // namespace loglines
