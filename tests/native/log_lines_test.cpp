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
  std::string out =
      "2026-12-07 10:00:" + std::string(s < 10 ? "0" : "") + std::to_string(s) + " -> ";
  for (char c : std::string(text)) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

std::string HitRecord(int s, const quarvel::Province& province, std::size_t rule) {
  char text[quarvel::kLogLineBound];
  quarvel::FormatNumbered(text, sizeof text, province.rules[rule].hitLine.message,
                          province.rules[rule].hitLine.n);
  return "2026-12-07 10:00:0" + std::to_string(s) + " -> " + std::string(text, strlen(text) - 1) +
         "\r\n";
}

// Each line as number:name/edition (+ a continuation, ~gap when a wait is
// named), each call as {kind,status,target,rule,result}.
class Shape : public loglines::Sink {
 public:
  std::string text;
  void OnLine(const loglines::Line& line) override {
    static const char kEditions[] = "-ceb";
    text += std::to_string(line.number) + ":" + (line.name[0] ? line.name : "?") +
            (line.continuation ? "+" : "") + "/" + kEditions[static_cast<int>(line.edition)];
    if (line.waitReason != nullptr) text += "~" + std::to_string(line.gapSeconds);
    if (line.fullLength != line.length) text += "#" + std::to_string(line.fullLength);
    text += " ";
  }
  void OnCall(const loglines::Call& call) override {
    text += std::string("{") + call.kind + "," + call.status + "," + call.target + "," + call.rule +
            "," + call.result + "} ";
  }
};

std::string Read(const std::string& bytes, std::size_t chunk) {
  Shape shape;
  loglines::Reader reader(&kCurrent, &kEarlier, &shape);
  for (std::size_t at = 0; at < bytes.size(); at += chunk) {
    reader.Feed(bytes.data() + at, std::min(chunk, bytes.size() - at));
  }
  reader.Finish();
  return shape.text;
}

TEST(LogLines, PlacesAndSurvives) {
  const quarvel::Province& shanXi = quarvel::kCurrentProvinces.provinces[0];
  const quarvel::Province& anHui = quarvel::kEarlierProvinces.provinces[1];
  const std::string stamp = "2026-12-07 10:00:00 -> ";
  const struct {
    const char* what;
    std::string bytes;
    std::string shape;
  } kRows[] = {
      {"same text, each edition's number",
       Record(0, kCurrent, LogPoint::kPeerClosed) + Record(0, kEarlier, LogPoint::kPeerClosed),
       "1:PeerClosed/c 2:PeerClosed/e {Get,no answer,,,not logged} "},
      {"a number the point brings itself", Record(0, kCurrent, LogPoint::kSocketError, "", 10054),
       "1:SocketError/b {Get,no answer,,,not logged} "},
      {"a wait of the set wait time",
       Record(0, kCurrent, LogPoint::kGetFinish) + Record(3, kCurrent, LogPoint::kWaitReadFailed),
       "1:GetFinish/c 2:WaitReadFailed/c~3 {Get,no answer,,,not logged} "},
      {"a ShanXi hit, its target over several lines, then the next call",
       Record(0, kCurrent, LogPoint::kGetFinish) + Record(0, kCurrent, LogPoint::kLocationFound) +
           Record(0, kCurrent, LogPoint::kTargetLine, " http://a/b\nServer: x\n") +
           HitRecord(0, shanXi, 0) + Record(2, kCurrent, LogPoint::kGetFinish),
       "1:GetFinish/c 2:LocationFound/c 3:TargetLine/c 4:TargetLine+/c 5:TargetLine+/c "
       "6:Hit [ShanXi] AccountExpirePage/c {CheckNetDisconType,redirect,http://a/b,"
       "[ShanXi] AccountExpirePage,2 AccountExpire} 7:GetFinish/c~2 "
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
       "1:?/- 2:?/- 3:?/- 4:?/- "},
      {"a very long line, then a line that is placed",
       stamp + std::string(100000, '\xB0') + "\r\n" + Record(0, kCurrent, LogPoint::kNetworkUp),
       "1:?/-#100023 2:NetworkUp/c {CheckRedirction,200 OK,,,3 NetworkUp} "},
  };
  for (const auto& row : kRows) {
    EXPECT_EQ(Read(row.bytes, 1 << 16), row.shape) << row.what;
    EXPECT_EQ(Read(row.bytes, 7), row.shape) << row.what << " (fed in 7-byte pieces)";
  }
}

}  // namespace
