#include "tools/check/LogLines.h"

#include <cstdio>
#include <cstring>

#include "tools/check/CodeNames.h"

namespace loglines {

using quarvel::LogForm;
using quarvel::LogPoint;

namespace {

constexpr const char* k200 = "200 OK";
constexpr const char* kRedirect = "redirect";
constexpr const char* kNoAnswer = "no answer";
constexpr const char* kSetWait = "the set wait time (SetTimeOut) ran out";
constexpr const char* kConnect = "the look-ups and the connect";
constexpr long kReceiveTimedOut = 10060;  // the socket error of a receive time-out

// What the reader knows of each log point, in the order of LogPoint: its
// name; where in a call its line stands (0 before the fetch, 1 Get, 2 the
// redirection check, 3 the dispatch, 4 after: a line ranked below the one
// before begins the next call); the status class of the answer it shows; why
// a wait that ended at it took so long (null: a receive); the call's result
// it tells.
struct PointFacts {
  const char* name;
  int rank;
  const char* status;
  const char* wait;
  const char* result;
};

constexpr PointFacts kFacts[] = {
    {"GetStart", 1, nullptr, kConnect, nullptr},
    {"WaitWriteFailed", 1, kNoAnswer, kSetWait, nullptr},
    {"SendFailed", 1, kNoAnswer, kConnect, nullptr},
    {"SendDone", 1, nullptr, kConnect, nullptr},
    {"WaitReadFailed", 1, kNoAnswer, kSetWait, nullptr},
    {"WaitReadDone", 1, nullptr, "the server's answer, within the set wait time", nullptr},
    {"SocketError", 1, kNoAnswer, nullptr, nullptr},
    {"PeerClosed", 1, kNoAnswer, nullptr, nullptr},
    {"HeaderFailed", 1, kNoAnswer, nullptr, nullptr},
    {"HeaderDone", 1, nullptr, nullptr, nullptr},
    {"StatusLineDone", 1, nullptr, nullptr, nullptr},
    {"BodyDone", 1, k200, nullptr, nullptr},
    {"RedirectDone", 1, kRedirect, nullptr, nullptr},
    {"GetFinish", 1, nullptr, nullptr, nullptr},
    {"CheckStart", 0, nullptr, nullptr, nullptr},
    {"Fetched", 2, nullptr, nullptr, nullptr},
    {"StatusOk", 2, k200, nullptr, nullptr},
    {"StatusRedirect", 2, kRedirect, nullptr, nullptr},
    {"PageBody", 2, k200, nullptr, nullptr},
    {"EmptyBody", 2, k200, nullptr, "0 NoTarget"},
    {"NetworkUp", 2, k200, nullptr, "3 NetworkUp"},
    {"Unparsed", 2, k200, nullptr, "2 TargetUnparsed"},
    {"EmptyHeader", 2, kRedirect, nullptr, "0 NoTarget"},
    {"LocationMissing", 2, kRedirect, nullptr, "0 NoTarget"},
    {"LocationFound", 2, kRedirect, nullptr, "1 TargetFound"},
    {"CheckFinish", 2, nullptr, nullptr, nullptr},
    {"DisconBegin", 0, nullptr, nullptr, nullptr},
    {"CheckReturned", 3, nullptr, nullptr, nullptr},
    {"TargetText", 3, nullptr, nullptr, nullptr},
    {"RulesFileMissing", 3, nullptr, nullptr, "0 Unclassified: no rules file"},
    {"TargetLine", 3, nullptr, nullptr, "0 Unclassified: no rule matched"},
    {"CannotParse", 3, nullptr, nullptr, "0 Unclassified: no target"},
    {"ProbeUrlRefused", 0, nullptr, nullptr, nullptr},
    {"IpLocationUrlRefused", 0, nullptr, nullptr, nullptr},
    {"MarkerRefused", 0, nullptr, nullptr, nullptr},
    {"TimeLimitRefused", 0, nullptr, nullptr, nullptr},
    {"ExpectRefused", 0, nullptr, nullptr, nullptr},
    {"TimeLimitEnded", 4, nullptr, "the time limit ([Probe] TimeLimitMs)", nullptr},
};
static_assert(sizeof kFacts / sizeof kFacts[0] ==
                  static_cast<std::size_t>(LogPoint::kTimeLimitEnded) + 1,
              "one entry per log point, in the order of LogPoint");

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

// Why the line came a second or more after the one before it.
const char* WaitReason(const Placement& placed, Edition edition) {
  if (placed.kind != Kind::kPoint) return "reading the rules file";
  if (FactsOf(placed.point).wait != nullptr) return FactsOf(placed.point).wait;
  if (placed.point == LogPoint::kSocketError && placed.number != kReceiveTimedOut) {
    return "a receive that ended in the socket error its line names";
  }
  return edition == Edition::kEarlier ? "a receive without time-out: the server held the connection"
                                      : "the receive time-out (1 s per receive)";
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

}  // namespace

Reader::Reader(const EditionTables* current, const EditionTables* earlier, Sink* sink)
    : current_(current), earlier_(earlier), sink_(sink) {}

void Reader::Feed(const char* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (bytes[i] == '\n') {
      EndLine();
      continue;
    }
    if (kept_ < kLineCapacity) buffer_[kept_++] = bytes[i];
    lastByte_ = bytes[i];
    ++full_;
  }
}

void Reader::Finish() {
  if (full_ > 0) EndLine();
  CloseCall();
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
               Edition::kNone, false, -1, nullptr, false};
  Placement placed;
  if (!line.stamped) {
    if (valueOpen_ >= 0) {
      line.continuation = true;
      std::memcpy(line.name, valueName_, kNameSize);
      line.edition = valueEdition_;
    }
    sink_->OnLine(line);
    return;
  }
  const char* message = bytes + kStampLength + 4;
  std::size_t messageLength = length - kStampLength - 4;
  long long time = StampSeconds(bytes);
  line.gapSeconds = lastTime_ < 0 ? -1 : time - lastTime_;
  lastTime_ = time;
  bool placedHere = PlaceStamped(&line, message, messageLength, &placed);
  if (placedHere) {
    int rank = RankOf(placed);
    line.callBegins = !callOpen_ || rank < lastRank_;
    if (callOpen_ && rank < lastRank_) CloseCall();
    lastRank_ = rank;
  }
  if (line.gapSeconds >= 1) {
    line.waitReason = placedHere ? WaitReason(placed, line.edition)
                                 : "not known: the line is none of the library's";
  }
  sink_->OnLine(line);
  if (placedHere) Account(line, placed, message, messageLength);
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
    call_.kind = "Get";
    call_.firstLine = line.number;
    call_.status = "not logged";
    std::snprintf(call_.result, kNameSize, "not logged");
    callOpen_ = true;
  }
  call_.lastLine = line.number;
  bool point = placed.kind == Kind::kPoint;
  if (RankOf(placed) == 3 || (point && placed.point == LogPoint::kDisconBegin)) {
    call_.kind = "CheckNetDisconType";
  } else if ((RankOf(placed) == 2 || (point && placed.point == LogPoint::kCheckStart)) &&
             std::strcmp(call_.kind, "Get") == 0) {
    call_.kind = "CheckRedirction";
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
  lastRank_ = -1;
  sink_->OnCall(call_);
}

}  // namespace loglines
