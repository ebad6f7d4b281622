#include "tools/check/Commands.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "current/Edition.h"
#include "earlier/Edition.h"
#include "tools/check/LogLines.h"
#include "tools/check/RulesLint.h"
#include "support/Bytes.h"
#include "tools/check/TextOut.h"
#include "tools/kit/Kit.h"

namespace commands {
namespace {

constexpr std::size_t kReadChunk = 1 << 16;
constexpr std::size_t kOutputChunk = 1 << 16;  // units gathered before a write
constexpr UINT kGbk = 936;
constexpr std::size_t kLongestValueShown = 100;  // bytes of a value the text output shows
constexpr std::size_t kTimeAt = 11, kTimeLength = 8;  // "hh:mm:ss" within a stamp
constexpr std::size_t kStampedHead = loglines::kStampLength + 4;  // "yyyy-MM-dd hh:mm:ss -> "

void Out(const std::wstring& text) { textout::Write(GetStdHandle(STD_OUTPUT_HANDLE), text); }
void Err(const std::wstring& text) {
  textout::Write(GetStdHandle(STD_ERROR_HANDLE), L"quarvel-check: " + text + L"\n");
}

// path made whole against the current folder, as it is printed.
std::wstring FullPath(const std::wstring& path) {
  DWORD units = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  std::wstring full(units, L'\0');
  DWORD written = units ? GetFullPathNameW(path.c_str(), units, &full[0], nullptr) : 0;
  return written > 0 && written < units ? full.substr(0, written) : path;
}

std::wstring Text(const std::string& ansi) {
  return textout::VisibleNarrow(ansi.data(), ansi.size());
}
std::wstring Json(const std::string& ansi) { return textout::JsonNarrow(ansi.data(), ansi.size()); }
std::wstring JsonWide(const std::wstring& text) {
  return textout::JsonWide(text.c_str(), text.size());
}

const wchar_t* EditionName(const quarvel::Edition& edition) {
  return &edition == &quarvel::kEarlierEdition ? L"earlier" : L"current";
}

std::wstring Names(const std::vector<std::string>& names, bool json) {
  std::wstring out;
  for (const std::string& name : names) {
    if (!out.empty()) out += json ? L"," : L", ";
    out += json ? Json(name) : Text(name);
  }
  return json ? L"[" + out + L"]" : out.empty() ? L"none" : out;
}

std::wstring Where(const lint::Finding& f) {
  std::wstring where = f.line > 0 ? L"line " + std::to_wstring(f.line) : L"file";
  if (!f.section.empty()) where += L" [" + Text(f.section) + L"]";
  return f.key.empty() ? where : where + L" " + Text(f.key);
}

// "ShanXi 27 (the setup key's channel)", or "" when no province is singled out.
std::string DeployedName(const lint::Deployment& d) {
  if (d.province == nullptr) return "";
  return std::string(d.province->section) + " " +
         std::string(d.province->code, d.province->code + 2) + " (" + d.why + ")";
}

std::wstring RulesText(const std::wstring& path, const quarvel::Edition& edition,
                       const lint::Deployment& deployment, const lint::Report& r) {
  std::wstring out = L"file: " + path + L"\nedition: " + EditionName(edition) + L"\n";
  if (deployment.province) out += L"province: " + Text(DeployedName(deployment)) + L"\n";
  out += L"encoding: " + Text(r.encoding) + L"\n";
  for (const lint::Value& v : r.values) {
    out += (v.note.empty() ? L"value: [" : L"problem: [") + Text(v.section) + L"] " + Text(v.key);
    std::string shown = v.value.size() <= kLongestValueShown
                            ? v.value
                            : v.value.substr(0, kLongestValueShown) + "... (" +
                                  std::to_string(v.value.size()) + " bytes)";
    out += v.present ? L" = \"" + Text(shown) + L"\"" : std::wstring(L": missing");
    out += v.note.empty() ? L"\n" : L": " + Text(v.note) + L"\n";
  }
  for (const lint::Finding& f : r.findings) {
    out += (f.problem ? L"problem: " : L"note: ") + Where(f) + L": " + Text(f.text) + L"\n";
  }
  for (const lint::Province& p : r.provinces) {
    out += L"province " + Text(p.section) + L" " + Text(p.code) + L": recognised: " +
           Names(p.recognised, false) + L"; not recognised: " + Names(p.missed, false) + L"\n";
  }
  return out + (r.sound ? L"result: sound for this edition\n"
                        : L"result: something will not work as written\n");
}

const wchar_t* Bool(bool value) { return value ? L"true" : L"false"; }

// A JSON array of items, each object's members given by members.
template <typename Item, typename Members>
std::wstring JsonArray(const std::vector<Item>& items, Members members) {
  std::wstring out;
  for (const Item& item : items) out += (out.empty() ? L"{" : L",{") + members(item) + L"}";
  return L"[" + out + L"]";
}

std::wstring RulesJson(const std::wstring& path, const quarvel::Edition& edition,
                       const lint::Deployment& deployment, const lint::Report& r) {
  std::string province = DeployedName(deployment);
  return L"{\"command\":\"rules\",\"file\":" + JsonWide(path) + L",\"edition\":\"" +
         EditionName(edition) + L"\",\"province\":" +
         (province.empty() ? L"null" : Json(province)) + L",\"encoding\":" + Json(r.encoding) +
         L",\"values\":" +
         JsonArray(r.values, [](const lint::Value& v) {
           return L"\"section\":" + Json(v.section) + L",\"key\":" + Json(v.key) + L",\"value\":" +
                  (v.present ? Json(v.value) : L"null") + L",\"problem\":" +
                  (v.note.empty() ? L"null" : Json(v.note));
         }) +
         L",\"findings\":" + JsonArray(r.findings, [](const lint::Finding& f) {
           return L"\"line\":" + std::to_wstring(f.line) + L",\"section\":" + Json(f.section) +
                  L",\"key\":" + Json(f.key) + L",\"problem\":" + Bool(f.problem) +
                  L",\"text\":" + Json(f.text);
         }) +
         L",\"provinces\":" + JsonArray(r.provinces, [](const lint::Province& p) {
           return L"\"section\":" + Json(p.section) + L",\"code\":" + Json(p.code) +
                  L",\"recognised\":" + Names(p.recognised, true) + L",\"notRecognised\":" +
                  Names(p.missed, true);
         }) +
         L",\"sound\":" + Bool(r.sound) + L"}\n";
}

// The bytes plain text takes at bytes: 1 (printable ASCII, quote and
// backslash not for JSON), 2 (a GBK character) or 0 (a byte to escape).
std::size_t PlainAt(const char* bytes, std::size_t left, bool json) {
  unsigned char b = static_cast<unsigned char>(bytes[0]);
  if (b >= 0x20 && b < 0x7F) return json && (b == '"' || b == '\\') ? 0 : 1;
  unsigned char trail = left > 1 ? static_cast<unsigned char>(bytes[1]) : 0;
  return quarvel::IsGbkLeadByte(b) && trail >= 0x40 && trail != 0x7F && trail != 0xFF ? 2 : 0;
}

// A log line's bytes decoded from GBK: a byte that starts no GBK character,
// and control characters, shown as \xNN (or \t, \r).
void AppendGbk(std::wstring* out, const char* bytes, std::size_t length, bool json) {
  std::size_t at = 0;
  while (at < length) {
    std::size_t run = at;
    bool ascii = true;
    for (std::size_t n; run < length && (n = PlainAt(bytes + run, length - run, json)) > 0;) {
      ascii = ascii && n == 1;
      run += n;
    }
    if (run > at && ascii) {
      for (; at < run; ++at) out->push_back(static_cast<wchar_t>(bytes[at]));
      continue;
    }
    if (run > at) {
      std::size_t start = out->size();
      out->resize(start + run - at);  // a byte, a unit at most
      int n = MultiByteToWideChar(kGbk, 0, bytes + at, static_cast<int>(run - at), &(*out)[start],
                                  static_cast<int>(run - at));
      out->resize(start + static_cast<std::size_t>(n > 0 ? n : 0));
      at = run;
      continue;
    }
    std::wstring one =
        json ? textout::JsonNarrow(bytes + at, 1) : textout::VisibleNarrow(bytes + at, 1);
    out->append(json ? one.substr(1, one.size() - 2) : one);
    ++at;
  }
}

// ASCII text and a blank appended to out, widened with blanks to width units
// (on the left when right), as a column of the text output; longer text is
// never cut.
void AppendPadded(std::wstring* out, const char* text, std::size_t width, bool right = false) {
  std::size_t length = std::strlen(text), fill = length < width ? width - length : 0;
  if (right) out->append(fill, L' ');
  for (std::size_t i = 0; i < length; ++i) out->push_back(static_cast<wchar_t>(text[i]));
  if (!right) out->append(fill, L' ');
  out->push_back(L' ');
}

const char* const kEditionMarks[] = {"-", "current", "earlier", "both"};

const wchar_t* EditionMark(loglines::Edition edition) {
  static const wchar_t* const kMarks[] = {L"-", L"current", L"earlier", L"both"};
  return kMarks[static_cast<int>(edition)];
}

std::wstring Quoted(const char* text) { return L"\"" + kit::Widen(text) + L"\""; }

const wchar_t* const kLooksLike[] = {
    L"", L"the file looks like UTF-8, not GBK: it was converted after the library wrote it",
    L"the file looks like UTF-16 (Notepad's \"Unicode\"), not GBK: it was converted after "
    L"the library wrote it"};

std::wstring SummaryText(const loglines::Summary& s) {
  const long long* e = s.editionLines;
  std::wstring out = L"summary: " + std::to_wstring(s.lines) + L" lines, " +
                     std::to_wstring(s.unplaced) + L" not placed\n  time: ";
  out += s.firstStamp[0] ? kit::Widen(s.firstStamp) + L" to " + kit::Widen(s.lastStamp) + L" (" +
                               std::to_wstring(s.spanSeconds) + L" s)"
                         : std::wstring(L"no stamped line");
  if (s.clockSetBack > 0) {
    out += L", the clock set back " + std::to_wstring(s.clockSetBack) + L" times";
  }
  out += L"\n  editions: current " + std::to_wstring(e[1]) + L" lines, earlier " +
         std::to_wstring(e[2]) + L", either " + std::to_wstring(e[3]) + L"\n  calls: " +
         std::to_wstring(s.calls);
  for (std::size_t k = 0; k < 3; ++k) {
    out += (k ? L", " : L": ") + kit::Widen(loglines::kCallKinds[k]) + L" " +
           std::to_wstring(s.callsByKind[k]);
  }
  out += L"\n  results:";
  for (std::size_t r = 0; r < s.resultKinds; ++r) {
    out += (r ? L", " : L" ") + kit::Widen(s.results[r].result) + L" " +
           std::to_wstring(s.results[r].count);
  }
  if (s.otherResults > 0) out += L", others " + std::to_wstring(s.otherResults);
  out += L"\n  longest waits:";
  for (const loglines::Wait& w : s.longest) {
    if (w.seconds == 0) break;
    out += (&w == s.longest ? L" " : L"; ") + std::to_wstring(w.seconds) + L" s at line " +
           std::to_wstring(w.line) + L" (" + kit::Widen(w.reason) + L")";
  }
  if (s.longest[0].seconds == 0) out += L" none";
  out += L"\n";
  if (s.unplaced > 0 && s.looksLike != loglines::Encoding::kGbk) {
    out += std::wstring(L"  hint: ") + kLooksLike[static_cast<int>(s.looksLike)] + L"\n";
  }
  return out;
}

std::wstring SummaryJson(const loglines::Summary& s) {
  const long long* e = s.editionLines;
  std::wstring out = L"{\"summary\":{\"lines\":" + std::to_wstring(s.lines) + L",\"notPlaced\":" +
                     std::to_wstring(s.unplaced) + L",\"first\":" +
                     (s.firstStamp[0] ? Quoted(s.firstStamp) : L"null") + L",\"last\":" +
                     (s.firstStamp[0] ? Quoted(s.lastStamp) : L"null") + L",\"spanSeconds\":" +
                     std::to_wstring(s.spanSeconds) + L",\"clockSetBack\":" +
                     std::to_wstring(s.clockSetBack) + L",\"editionLines\":{\"current\":" +
                     std::to_wstring(e[1]) + L",\"earlier\":" + std::to_wstring(e[2]) +
                     L",\"either\":" + std::to_wstring(e[3]) + L"},\"calls\":" +
                     std::to_wstring(s.calls) + L",\"callsByKind\":{";
  for (std::size_t k = 0; k < 3; ++k) {
    out += (k ? L"," : L"") + Quoted(loglines::kCallKinds[k]) + L":" +
           std::to_wstring(s.callsByKind[k]);
  }
  out += L"},\"callsByResult\":{";
  for (std::size_t r = 0; r < s.resultKinds; ++r) {
    out += (r ? L"," : L"") + Quoted(s.results[r].result) + L":" +
           std::to_wstring(s.results[r].count);
  }
  out += L"},\"otherResults\":" + std::to_wstring(s.otherResults) + L",\"longestWaits\":[";
  for (const loglines::Wait& w : s.longest) {
    if (w.seconds == 0) break;
    out += (&w == s.longest ? L"" : L",") + std::wstring(L"{\"line\":") +
           std::to_wstring(w.line) + L",\"seconds\":" + std::to_wstring(w.seconds) +
           L",\"reason\":" + Quoted(w.reason) + L"}";
  }
  static const wchar_t* const kNames[] = {L"GBK", L"UTF-8", L"UTF-16"};
  return out + L"],\"looksLike\":\"" + kNames[static_cast<int>(s.looksLike)] + L"\"}}\n";
}

// Prints each line and call as the reader hands them out, in chunks, from
// the call numbered from (1-based; lines before it are left out), then the
// summary.
class Printer : public loglines::Sink {
 public:
  Printer(bool json, long long from) : json_(json), from_(from) {}
  ~Printer() override { Flush(); }
  void Flush() {
    Out(out_);
    out_.clear();
  }
  void OnLine(const loglines::Line& line) override {
    begun_ += line.callBegins;
    if (begun_ < from_) return;
    const char* at = line.bytes + kTimeAt;
    char time[kTimeLength + 1] = {}, gap[32] = {};
    if (line.stamped) std::memcpy(time, at, kTimeLength);
    if (line.gapKnown) std::snprintf(gap, sizeof gap, "%+llds", line.gapSeconds);
    if (json_) {
      std::wstring name = kit::Widen(line.name);
      out_ += L"{\"line\":" + std::to_wstring(line.number) + L",\"time\":\"" + kit::Widen(time) +
              L"\",\"point\":\"" + name + L"\",\"edition\":\"" + EditionMark(line.edition) +
              L"\",\"continuation\":" + Bool(line.continuation) + L",\"gapSeconds\":" +
              (line.gapKnown ? std::to_wstring(line.gapSeconds) : L"null") + L",\"wait\":" +
              (line.waitReason ? Quoted(line.waitReason) : L"null") +
              L",\"callBegins\":" + Bool(line.callBegins) +
              L",\"bytes\":" + std::to_wstring(line.fullLength) + L",\"text\":\"";
      AppendGbk(&out_, line.bytes, line.length, true);
      out_ += L"\"}\n";
    } else {
      char number[24];
      std::snprintf(number, sizeof number, "%lld", line.number);
      AppendPadded(&out_, number, 6, true);
      AppendPadded(&out_, time, 8);
      AppendPadded(&out_, gap, 6);
      AppendPadded(&out_, kEditionMarks[static_cast<int>(line.edition)], 7);
      AppendPadded(&out_, line.continuation ? "  ..." : line.name[0] ? line.name : "?", 30);
      std::size_t stamp = line.stamped ? kStampedHead : 0;
      AppendGbk(&out_, line.bytes + stamp, line.length - stamp, false);
      if (line.fullLength > line.length) {
        out_ += L" [cut: " + std::to_wstring(line.fullLength) + L" bytes]";
      }
      if (line.waitReason) {
        out_ += L"\n" + std::wstring(22, L' ') + L"^ " + std::to_wstring(line.gapSeconds) +
                L" s: " + kit::Widen(line.waitReason);
      }
      out_ += L"\n";
    }
    if (out_.size() > kOutputChunk) Flush();
  }
  void OnCall(const loglines::Call& call) override {
    if (begun_ < from_) return;
    std::wstring target;
    AppendGbk(&target, call.target, std::strlen(call.target), json_);
    if (json_) {
      out_ += L"{\"call\":\"" + kit::Widen(call.kind) + L"\",\"lines\":[" +
              std::to_wstring(call.firstLine) + L"," + std::to_wstring(call.lastLine) +
              L"],\"fetches\":" + std::to_wstring(call.fetches) + L",\"status\":\"" +
              kit::Widen(call.status) + L"\",\"target\":\"" + target + L"\",\"rule\":\"" +
              kit::Widen(call.rule) + L"\",\"result\":\"" + kit::Widen(call.result) +
              L"\",\"timeLimitEnded\":" + Bool(call.timeLimitEnded) + L"}\n";
    } else {
      out_ += L"       = " + kit::Widen(call.kind) + L" (lines " + std::to_wstring(call.firstLine) +
              L"-" + std::to_wstring(call.lastLine) + L"): fetches " +
              std::to_wstring(call.fetches) + L", status " + kit::Widen(call.status) +
              L", target " + (target.empty() ? L"none" : target) + L", rule " +
              (call.rule[0] ? kit::Widen(call.rule) : L"none") + L", result " +
              kit::Widen(call.result) +
              (call.timeLimitEnded ? L" (the time limit ended it)" : L"") + L"\n";
    }
  }
  void OnSummary(const loglines::Summary& summary) override {
    out_ += json_ ? SummaryJson(summary) : SummaryText(summary);
  }

 private:
  bool json_;
  long long from_;
  long long begun_ = 0;  // calls begun so far
  std::wstring out_;
};

// Counts the calls of a first pass.
class CallCounter : public loglines::Sink {
 public:
  long long calls = 0;
  void OnLine(const loglines::Line&) override {}
  void OnCall(const loglines::Call&) override { ++calls; }
};

// Hands the file's bytes, at most limit of them, to take chunk by chunk;
// false, said on stderr, when it cannot be read. *count: the bytes read.
template <typename Take>
bool ReadChunks(const std::wstring& path, Take take, unsigned long long limit = ~0ULL,
                unsigned long long* count = nullptr) {
  FILE* in = _wfopen(path.c_str(), L"rb");
  if (in == nullptr) {
    textout::Write(GetStdHandle(STD_ERROR_HANDLE), L"quarvel-check: cannot read " + path + L"\n");
    return false;
  }
  static char chunk[kReadChunk];
  unsigned long long read = 0;
  for (std::size_t n; read < limit && (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;) {
    if (n > limit - read) n = static_cast<std::size_t>(limit - read);
    take(chunk, n);
    read += n;
  }
  std::fclose(in);
  if (count != nullptr) *count = read;
  return true;
}

}  // namespace

int Rules(const std::wstring& path, const quarvel::Edition& edition, const std::wstring& province,
          bool json) {
  lint::Deployment deployment = lint::InstallationProvince(edition);
  if (!province.empty()) deployment = {lint::ProvinceNamed(edition, province), "--province"};
  std::wstring file = FullPath(path.empty() ? lint::InstallationRules() : path), why;
  std::string bytes;
  if (!lint::ReadWholeFile(file, &bytes, &why)) {
    Err(file + L": " + why);
    if (json) {
      Out(L"{\"command\":\"rules\",\"file\":" + JsonWide(file) + L",\"error\":" +
          JsonWide(why) + L"}\n");
    }
    return kExitUnreadable;
  }
  lint::Report report = lint::Lint(edition, bytes, deployment);
  Out(json ? RulesJson(file, edition, deployment, report)
           : RulesText(file, edition, deployment, report));
  return report.sound ? kExitSound : kExitProblem;
}

int Log(const std::wstring& path, const quarvel::Edition* edition, const LogOptions& options) {
  const loglines::EditionTables current = {&quarvel::kCurrentLogPoints,
                                           &quarvel::kCurrentProvinces};
  const loglines::EditionTables earlier = {&quarvel::kEarlierLogPoints,
                                           &quarvel::kEarlierProvinces};
  const loglines::EditionTables* fromCurrent =
      edition == &quarvel::kEarlierEdition ? nullptr : &current;
  const loglines::EditionTables* fromEarlier =
      edition == &quarvel::kCurrentEdition ? nullptr : &earlier;
  // --last: a first pass counts the calls, the second prints the last ones,
  // reading no further than the first did (the host may write on meanwhile).
  long long from = 1;
  unsigned long long bytes = ~0ULL;
  if (options.last > 0) {
    CallCounter counter;
    loglines::Reader first(fromCurrent, fromEarlier, &counter, options.setWaitMs);
    auto feed = [&](const char* chunk, std::size_t n) { first.Feed(chunk, n); };
    if (!ReadChunks(path, feed, bytes, &bytes)) return kExitProblem;
    first.Finish();
    from = counter.calls - options.last + 1;
  }
  Printer printer(options.json, from);
  loglines::Reader reader(fromCurrent, fromEarlier, &printer, options.setWaitMs);
  if (!ReadChunks(path, [&](const char* chunk, std::size_t n) { reader.Feed(chunk, n); }, bytes)) {
    return kExitProblem;
  }
  reader.Finish();
  return kExitSound;
}

}  // namespace commands
