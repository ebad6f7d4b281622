// The log reader over log texts made as the library makes them (its own
// tables and formatters) and over what a user's file may hold besides:
// truncated lines, bytes that are no GBK, NUL bytes, very long lines, records
// run together, and both editions mixed.
#include <gtest/gtest.h>

#include <string>

#include "current/Edition.h"
#include "earlier/Edition.h"
#include "support/LogFormat.h"
#include "tools/check/LogLines.h"

namespace {

using quarvel::LogPoint;

const loglines::EditionTables kCurrent = {&quarvel::kCurrentLogPoints, &quarvel::kCurrentProvinces};
const loglines::EditionTables kEarlier = {&quarvel::kEarlierLogPoints, &quarvel::kEarlierProvinces};

// The stamp of second s after 2026-12-07 10:00:00, and its separator.
std::string Stamp(int s) {
  char stamp[32];
  snprintf(stamp, sizeof stamp, "2026-12-07 %02d:%02d:%02d -> ", 10 + s / 3600, s / 60 % 60,
           s % 60);
  return stamp;
}

// One record as the edition's log point writes it, after a time stamp of
// second s, each "\n" stood as CR LF the way text mode writes it.
std::string Record(int s, const loglines::EditionTables& edition, LogPoint point,
                   const char* value = "", int n = 0) {
  char text[quarvel::kLogLineBound] = {};
  for (std::size_t i = 0; i < edition.logPoints->count; ++i) {
    const quarvel::LogPointLine& line = edition.logPoints->lines[i];
    if (line.point != point) continue;
    int number = line.n != 0 ? line.n : n;
    switch (line.form) {
      case quarvel::LogForm::kNumbered:
        quarvel::FormatNumbered(text, sizeof text, line.message, number);
        break;
      case quarvel::LogForm::kWithValue:
        quarvel::FormatWithValue(text, sizeof text, line.message, value, number);
        break;
      case quarvel::LogForm::kCompact:
        quarvel::FormatCompact(text, sizeof text, line.message, number);
        break;
      case quarvel::LogForm::kText:
        snprintf(text, sizeof text, "%s", line.message);
        break;
      case quarvel::LogForm::kValue:
        snprintf(text, sizeof text, "%s", value);
        break;
    }
  }
  std::string out = Stamp(s);
  for (char c : std::string(text)) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

std::string HitRecord(int s, const quarvel::Province& province, std::size_t rule) {
  char text[quarvel::kLogLineBound];
  quarvel::FormatNumbered(text, sizeof text, province.rules[rule].hitLine.message,
                          province.rules[rule].hitLine.n);
  return Stamp(s) + std::string(text, strlen(text) - 1) + "\r\n";
}

bool NoWaitFits(const char* reason) {
  return strcmp(reason, "a pause of the host or a clock change") == 0 ||
         strcmp(reason, "a clock change: the time went back") == 0;
}

// Each line as number:name/edition (+ a continuation, ~gap when a wait is
// named, ! when none fits), each call as {kind,status,target,rule,result};
// the summary apart.
class Shape : public loglines::Sink {
 public:
  std::string text, summary;
  void OnLine(const loglines::Line& line) override {
    static const char kEditions[] = "-ceb";
    text += std::to_string(line.number) + ":" + (line.name[0] ? line.name : "?") +
            (line.continuation ? "+" : "") + "/" + kEditions[static_cast<int>(line.edition)];
    if (line.waitReason != nullptr) {
      text += "~" + std::to_string(line.gapSeconds) + (NoWaitFits(line.waitReason) ? "!" : "");
    }
    if (line.fullLength != line.length) text += "#" + std::to_string(line.fullLength);
    text += " ";
  }
  void OnCall(const loglines::Call& call) override {
    text += std::string("{") + call.kind + "," + call.status + "," + call.target + "," + call.rule +
            "," + call.result + "} ";
  }
  // lines/unplaced, current+earlier+both, calls get/check/dispatch, each
  // result=count, the longest waits as seconds@line, span, set back, and with
  // lines not placed what the file looks like (GBK, UTF-8 or UTF-16).
  void OnSummary(const loglines::Summary& s) override {
    const long long* e = s.editionLines;
    summary = std::to_string(s.lines) + "/" + std::to_string(s.unplaced) + " " +
              std::to_string(e[1]) + "+" + std::to_string(e[2]) + "+" + std::to_string(e[3]) +
              " " + std::to_string(s.callsByKind[0]) + "/" + std::to_string(s.callsByKind[1]) +
              "/" + std::to_string(s.callsByKind[2]);
    for (std::size_t r = 0; r < s.resultKinds; ++r) {
      summary += std::string(" ") + s.results[r].result + "=" + std::to_string(s.results[r].count);
    }
    for (const loglines::Wait& w : s.longest) {
      if (w.seconds > 0) summary += " " + std::to_string(w.seconds) + "@" + std::to_string(w.line);
    }
    summary += " span " + std::to_string(s.spanSeconds) + " back " +
               std::to_string(s.clockSetBack);
    if (s.unplaced > 0) summary += std::string(" ") + "G8U"[static_cast<int>(s.looksLike)];
  }
};

// The shape of bytes read in pieces of chunk bytes, and (in *summary) the summary.
std::string Read(const std::string& bytes, std::size_t chunk, std::string* summary = nullptr) {
  Shape shape;
  loglines::Reader reader(&kCurrent, &kEarlier, &shape);
  for (std::size_t at = 0; at < bytes.size(); at += chunk) {
    reader.Feed(bytes.data() + at, std::min(chunk, bytes.size() - at));
  }
  reader.Finish();
  if (summary != nullptr) *summary = shape.summary;
  return shape.text;
}

std::string Repeated(const std::string& bytes, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += bytes;
  return out;
}

TEST(LogLines, PlacesAndSurvives) {
  const quarvel::Province& shanXi = quarvel::kCurrentProvinces.provinces[0];
  const quarvel::Province& anHui = quarvel::kEarlierProvinces.provinces[1];
  const std::string stamp = "2026-12-07 10:00:00 -> ";
  const std::string getFinish = Record(0, kCurrent, LogPoint::kGetFinish);
  const std::string notLogged = "{Get,not logged,,,not logged} ";
  // shape or summary "": not compared.
  const struct {
    const char* what;
    std::string bytes;
    std::string shape;
    std::string summary = "";
  } kRows[] = {
      {"same text, each edition's number",
       Record(0, kCurrent, LogPoint::kPeerClosed) + Record(0, kEarlier, LogPoint::kPeerClosed),
       "1:PeerClosed/c 2:PeerClosed/e {Get,no answer,,,not logged} "},
      {"a number the point brings itself", Record(0, kCurrent, LogPoint::kSocketError, "", 10054),
       "1:SocketError/b {Get,no answer,,,not logged} "},
      {"back-to-back Gets, each a call; 10 s between calls is no wait, 3 s to a Get's end is one",
       getFinish + getFinish + Record(10, kCurrent, LogPoint::kGetFinish) +
           Record(10, kEarlier, LogPoint::kGetStart) + Record(10, kEarlier, LogPoint::kSendDone) +
           Record(13, kEarlier, LogPoint::kGetFinish) + Record(13, kEarlier, LogPoint::kGetStart) +
           Record(13, kEarlier, LogPoint::kGetFinish),
       "1:GetFinish/c " + notLogged + "2:GetFinish/c " + notLogged + "3:GetFinish/c " +
           notLogged + "4:GetStart/e 5:SendDone/e 6:GetFinish/e~3 " + notLogged +
           "7:GetStart/e 8:GetFinish/e " + notLogged,
       "8/0 3+5+0 5/0/0 not logged=5 3@6 span 13 back 0"},
      {"9174 Gets", Repeated(getFinish, 9174), "",
       "9174/0 9174+0+0 9174/0/0 not logged=9174 span 0 back 0"},
      {"a check after 421 Gets",
       Repeated(getFinish, 421) + Record(1, kCurrent, LogPoint::kGetFinish) +
           Record(1, kCurrent, LogPoint::kNetworkUp),
       "", "423/0 423+0+0 421/1/0 not logged=421 3 NetworkUp=1 span 1 back 0"},
      {"the clock set back within a call, then years on, then back between calls",
       Record(5, kEarlier, LogPoint::kGetStart) + Record(0, kEarlier, LogPoint::kSendDone) +
           "2031-01-01 00:00:00" + Record(0, kEarlier, LogPoint::kGetFinish).substr(19) + getFinish,
       "1:GetStart/e 2:SendDone/e~-5! 3:GetFinish/e~128354400! " + notLogged + "4:GetFinish/c " +
           notLogged,
       "4/0 1+3+0 2/0/0 not logged=2 128354400@3 span -5 back 2"},
      {"the host paused 3 hours within a check; a step of 1 s is no wait",
       Record(0, kEarlier, LogPoint::kCheckStart) + Record(1, kEarlier, LogPoint::kGetStart) +
           Record(1, kEarlier, LogPoint::kGetFinish) + Record(10801, kEarlier, LogPoint::kFetched) +
           Record(10801, kEarlier, LogPoint::kCheckFinish),
       "1:CheckStart/e 2:GetStart/e 3:GetFinish/e 4:Fetched/e~10800! 5:CheckFinish/e "
       "{CheckRedirction,not logged,,,not logged} ",
       "5/0 0+5+0 0/1/0 not logged=1 10800@4 span 10801 back 0"},
      {"a log written as UTF-8", stamp + "\xE8\xBF\x9E\xE6\x8E\xA5 -> 285\r\n", "1:?/- ",
       "1/1 0+0+0 0/0/0 span 0 back 0 8"},
      {"a log written as UTF-16, without its mark",
       std::string("2\0" "0\0" "2\0" "6\0\r\0\n\0", 12),
       "1:?/- 2:?/- ", "2/2 0+0+0 0/0/0 span 0 back 0 U"},
      {"a ShanXi hit, its target over several lines, then the next call",
       Record(0, kCurrent, LogPoint::kGetFinish) + Record(0, kCurrent, LogPoint::kLocationFound) +
           Record(0, kCurrent, LogPoint::kTargetLine, " http://a/b\nServer: x\n") +
           HitRecord(0, shanXi, 0) + Record(2, kCurrent, LogPoint::kGetFinish),
       "1:GetFinish/c 2:LocationFound/c 3:TargetLine/c 4:TargetLine+/c 5:TargetLine+/c "
       "6:Hit [ShanXi] AccountExpirePage/c {CheckNetDisconType,redirect,http://a/b,"
       "[ShanXi] AccountExpirePage,2 AccountExpire} 7:GetFinish/c "
       "{Get,not logged,,,not logged} "},
      {"the earlier edition's body and target values",
       Record(0, kEarlier, LogPoint::kStatusOk) +
           Record(0, kEarlier, LogPoint::kPageBody, "<p>\nx\n") +
           Record(0, kEarlier, LogPoint::kCheckReturned, "", 1) +
           Record(0, kEarlier, LogPoint::kTargetText, " http://t/\n") + HitRecord(0, anHui, 1),
       "1:StatusOk/e 2:PageBody/e 3:PageBody+/e 4:CheckReturned/e 5:TargetText/e "
       "6:Hit [AnHui] ErrPasswordPage/e {CheckNetDisconType,200 OK,http://t/,"
       "[AnHui] ErrPasswordPage,1 ErrPassword} "},
      {"a body without line end runs into the next record",
       Record(0, kEarlier, LogPoint::kStatusOk) + Record(0, kEarlier, LogPoint::kPageBody, "<p>") +
           Record(0, kEarlier, LogPoint::kCheckFinish),
       "1:StatusOk/e 2:PageBody/e 2:CheckFinish/e {CheckRedirction,200 OK,,,not logged} "},
      {"truncated at the end of the file", stamp + "TZHttp::Get fin", "1:?/- "},
      {"no GBK, NUL bytes, a bare stamp",
       stamp + "\xFF\x80\xFE\r\n" + std::string("a\0b\r\n", 5) + stamp + "\r\n" +
           "2026-99-99 99:99:99 -> x\r\n",
       "1:?/- 2:?/- 3:?/- 4:?/- ", "4/4 0+0+0 0/0/0 span 0 back 0 G"},
      {"a very long line, then a line that is placed",
       stamp + std::string(100000, '\xB0') + "\r\n" + Record(0, kCurrent, LogPoint::kNetworkUp),
       "1:?/-#100023 2:NetworkUp/c {CheckRedirction,200 OK,,,3 NetworkUp} "},
  };
  for (const auto& row : kRows) {
    std::string summary, shape = Read(row.bytes, 1 << 16, &summary);
    if (!row.shape.empty()) EXPECT_EQ(shape, row.shape) << row.what;
    if (!row.summary.empty()) EXPECT_EQ(summary, row.summary) << row.what;
    EXPECT_EQ(Read(row.bytes, 7), shape) << row.what << " (fed in 7-byte pieces)";
  }
}

}  // namespace
