// quarvel-check: loads an edition of Quarvel.dll as the dial-up client does,
// asks its component one question and prints the answer.
//   quarvel-check [--dll PATH] [--timeout MS] [--json] classify | redirect | get URL
//   quarvel-check rules [FILE] [--edition current|earlier] [--province NAME] [--json]
//   quarvel-check log FILE [--edition current|earlier] [--last N] [--timeout MS] [--json]
//   quarvel-check report [--dll PATH] [--json]
// Exit status: 0 the call ran (rules: the file is sound; log: it was read;
// report: it was made), 2 usage error, 3 the library or its factory could not
// be loaded, or the rules file cannot be read (reason on stderr), 1 anything
// else (rules: something will not work as written; log: the file cannot be
// read).
#include <windows.h>

#include <shellapi.h>

#include <cstring>
#include <cwchar>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "classify/Markers.h"
#include "classify/ProbeSettings.h"
#include "component/ProvinceCode.h"
#include "current/Edition.h"
#include "earlier/Edition.h"
#include "http/HttpBytes.h"
#include "include/Quarvel.h"
#include "tools/check/CodeNames.h"
#include "tools/check/Commands.h"
#include "tools/check/Report.h"
#include "tools/check/RulesLint.h"
#include "tools/check/TextOut.h"
#include "tools/kit/Kit.h"

namespace {

constexpr int kExitRan = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoLibrary = 3;

constexpr int kDefaultTimeOutMs = 3000;
constexpr long kMaxTimeOutMs = 10 * 60 * 1000;
constexpr std::size_t kTimeOutDigits = 7;
constexpr long kMaxLastCalls = 1000000;
constexpr int kTargetSize = 528;      // the size the library's own dispatch uses
constexpr unsigned kPageUnits = 260;  // the dial-up client's page buffer

const wchar_t kDllName[] = L"Quarvel.dll";
const wchar_t kUsage[] =
    L"usage: quarvel-check [--dll PATH] [--timeout MS] [--json] classify | redirect | get URL\n"
    L"       quarvel-check rules [FILE] [--edition current|earlier] [--province NAME] [--json]\n"
    L"       quarvel-check log FILE [--edition current|earlier] [--last N] [--timeout MS]\n"
    L"                         [--json]\n"
    L"       quarvel-check report [--dll PATH] [--json]\n"
    L"  classify   CheckNetDisconType: disconnect type and the page address to show\n"
    L"  redirect   CheckRedirction: redirection result and the redirect target\n"
    L"  get URL    Get: the request, response header and body texts (\"\" = default page)\n"
    L"  --dll      the library to load (default: Quarvel.dll beside this program)\n"
    L"  --timeout  the component's wait time-out in milliseconds (default 3000)\n"
    L"  rules      lint a rules file as the edition reads it (default: the installation's)\n"
    L"  log        read a log file: each line's log point, waits, one summary per call, and\n"
    L"             one for the file; --last N: the last N calls only; --timeout: the host's\n"
    L"             SetTimeOut, to tell its waits\n"
    L"  report     for a support ticket, without the network: the DLL, the setup key, the\n"
    L"             rules file's lint and the log's last 5 calls\n"
    L"  --edition  the edition whose tables to use (rules: default current; log: both)\n"
    L"  --province rules: the province (name or code) whose missing keys are problems\n"
    L"             (default: the one the setup key's channel names)\n"
    L"  --json     JSON (UTF-8) instead of text: one object, for log one per line and call,\n"
    L"             for report one per part\n";

enum class Command { kClassify, kRedirect, kGet, kRules, kLog, kReport };
enum class Operand { kNone, kRequired, kOptional };  // the word after the command

const struct {
  const wchar_t* word;
  Command command;
  Operand operand;
} kCommands[] = {{L"classify", Command::kClassify, Operand::kNone},
                 {L"redirect", Command::kRedirect, Operand::kNone},
                 {L"get", Command::kGet, Operand::kRequired},
                 {L"rules", Command::kRules, Operand::kOptional},
                 {L"log", Command::kLog, Operand::kRequired},
                 {L"report", Command::kReport, Operand::kNone}};

struct Options {
  std::wstring dll;
  int timeOutMs = kDefaultTimeOutMs;
  bool timeOutGiven = false;
  long last = 0;  // log --last
  bool json = false;
  bool help = false;
  Command command = Command::kClassify;
  std::wstring operand;                       // get: the URL; rules, log: the file
  std::wstring province;                      // --province
  const quarvel::Edition* edition = nullptr;  // --edition
};

// One item of the answer: a line of text output and its JSON members.
struct Field {
  std::wstring line;
  std::wstring json;
};

struct UsageError {
  std::wstring why;
};

void WriteOut(const std::wstring& text) { textout::Write(GetStdHandle(STD_OUTPUT_HANDLE), text); }
void WriteErr(const std::wstring& text) {
  textout::Write(GetStdHandle(STD_ERROR_HANDLE), L"quarvel-check: " + text + L"\n");
}

std::vector<std::wstring> Arguments() {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr || count < 1) return {};
  std::vector<std::wstring> args(argv + 1, argv + count);
  LocalFree(argv);
  return args;
}

// A whole number from 0 to most.
bool ParseNumber(const std::wstring& text, long most, long* out) {
  if (text.empty() || text.size() > kTimeOutDigits) return false;
  long value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    value = value * 10 + (c - L'0');
  }
  *out = value;
  return value <= most;
}

bool ParseTimeOut(const std::wstring& text, int* out) {
  long value = 0;
  bool ok = ParseNumber(text, kMaxTimeOutMs, &value);
  *out = static_cast<int>(value);
  return ok;
}

const std::wstring& ValueOf(const std::vector<std::wstring>& args, std::size_t* i) {
  if (*i + 1 >= args.size()) throw UsageError{args[*i] + L" needs a value"};
  return args[++*i];
}

void ParseCommand(const std::vector<std::wstring>& args, std::size_t* i, Options* options) {
  for (const auto& c : kCommands) {
    if (args[*i] != c.word) continue;
    options->command = c.command;
    bool fileFollows = *i + 1 < args.size() && !args[*i + 1].empty() && args[*i + 1][0] != L'-';
    if (c.operand == Operand::kRequired) options->operand = ValueOf(args, i);
    if (c.operand == Operand::kOptional && fileFollows) options->operand = args[++*i];
    return;
  }
  throw UsageError{L"unknown command \"" + args[*i] + L"\""};
}

Options ParseOptions(const std::vector<std::wstring>& args) {
  Options options;
  bool commandSeen = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    if (arg == L"--help" || arg == L"-h") {
      options.help = true;
    } else if (arg == L"--json") {
      options.json = true;
    } else if (arg == L"--dll") {
      options.dll = ValueOf(args, &i);
      if (options.dll.empty()) throw UsageError{L"--dll needs a path"};
    } else if (arg == L"--edition") {
      const std::wstring& name = ValueOf(args, &i);
      if (name != L"current" && name != L"earlier") {
        throw UsageError{L"--edition takes current or earlier"};
      }
      options.edition = name == L"current" ? &quarvel::kCurrentEdition : &quarvel::kEarlierEdition;
    } else if (arg == L"--province") {
      options.province = ValueOf(args, &i);
    } else if (arg == L"--timeout") {
      if (!ParseTimeOut(ValueOf(args, &i), &options.timeOutMs)) {
        throw UsageError{L"--timeout takes milliseconds, 0 to 600000"};
      }
      options.timeOutGiven = true;
    } else if (arg == L"--last") {
      if (!ParseNumber(ValueOf(args, &i), kMaxLastCalls, &options.last) || options.last == 0) {
        throw UsageError{L"--last takes a number of calls, 1 to 1000000"};
      }
    } else if (!arg.empty() && arg[0] == L'-') {
      throw UsageError{L"unknown option " + arg};
    } else if (commandSeen && options.command == Command::kRules && options.operand.empty()) {
      options.operand = arg;  // the file may follow the options too
    } else if (commandSeen) {
      throw UsageError{L"one command only"};
    } else {
      ParseCommand(args, &i, &options);
      commandSeen = true;
    }
  }
  if (!commandSeen && !options.help) throw UsageError{L"no command given"};
  if (!options.province.empty() && options.command != Command::kRules) {
    throw UsageError{L"--province goes with rules"};
  }
  bool readsFile = options.command == Command::kRules || options.command == Command::kLog;
  if (options.edition != nullptr && !readsFile) {
    throw UsageError{L"--edition goes with rules or log"};
  }
  const quarvel::Edition& edition = options.edition ? *options.edition : quarvel::kCurrentEdition;
  if (!options.province.empty() && lint::ProvinceNamed(edition, options.province) == nullptr) {
    throw UsageError{L"--province: the edition has no province \"" + options.province + L"\""};
  }
  if (options.last != 0 && options.command != Command::kLog) {
    throw UsageError{L"--last goes with log"};
  }
  return options;
}

// path made full; the default: Quarvel.dll beside this program.
std::wstring DllPath(const std::wstring& path) {
  std::vector<wchar_t> own(MAX_PATH);
  while (GetModuleFileNameW(nullptr, own.data(), static_cast<DWORD>(own.size())) >= own.size()) {
    own.resize(own.size() * 2);
  }
  std::wstring dll(own.data());
  dll = path.empty() ? dll.substr(0, dll.find_last_of(L"\\/") + 1) + kDllName : path;
  DWORD units = GetFullPathNameW(dll.c_str(), 0, nullptr, nullptr);
  std::vector<wchar_t> full(units + 1);
  return units != 0 && GetFullPathNameW(dll.c_str(), units, full.data(), nullptr) != 0
             ? std::wstring(full.data())
             : dll;
}

struct Release {
  void operator()(IZHttp* component) const { component->Release(); }
};
using Component = std::unique_ptr<IZHttp, Release>;

// The component of the library at path, or null with the reason.
Component Load(const kit::Library& library, const std::wstring& path, int timeOutMs,
               std::wstring* why) {
  HRESULT status = S_OK;
  Component component(library.Create(timeOutMs, &status));
  wchar_t hex[16];
  std::swprintf(hex, sizeof hex / sizeof hex[0], L"0x%08lX", static_cast<unsigned long>(status));
  if (library.module() == nullptr) {
    *why = L"cannot load " + path + L" (error " + std::to_wstring(library.loadError()) + L")";
  } else if (library.factory() == nullptr) {
    *why = path + L" exports no CreateComponent";
  } else if (component == nullptr) {
    *why = L"CreateComponent of " + path + L" failed with " + hex;
  }
  return component;
}

std::wstring Key(const wchar_t* name) { return std::wstring(L"\"") + name + L"\":"; }

Field NumberField(const wchar_t* label, const wchar_t* key, long long value, const wchar_t* unit) {
  std::wstring number = std::to_wstring(value);
  return Field{std::wstring(label) + L": " + number + unit, Key(key) + number};
}

Field CodeField(const wchar_t* label, const wchar_t* key, const wchar_t* nameKey, int code,
                const char* name) {
  std::wstring number = std::to_wstring(code), wideName = kit::Widen(name);
  return Field{std::wstring(label) + L": " + number + L" " + wideName,
               Key(key) + number + L"," + Key(nameKey) + L"\"" + wideName + L"\""};
}

// A narrow text of the library on one line, in quotes or (quoted false) as
// it is.
Field TextField(const wchar_t* key, const std::string& text, bool quoted = true) {
  std::wstring shown = textout::VisibleNarrow(text.data(), text.size());
  return Field{std::wstring(key) + (quoted ? L": \"" + shown + L"\"" : L": " + shown),
               Key(key) + textout::JsonNarrow(text.data(), text.size())};
}

// A longer narrow text as an indented block, one line of it per line.
Field BlockField(const wchar_t* key, const std::string& text) {
  std::wstring line = std::wstring(key) + L" (" + std::to_wstring(text.size()) + L" bytes)";
  if (!text.empty()) line += L":\n  ";
  for (wchar_t c : textout::VisibleNarrow(text.data(), text.size(), true)) {
    line.push_back(c);
    if (c == L'\n') line.append(L"  ");
  }
  return Field{line, Key(key) + textout::JsonNarrow(text.data(), text.size())};
}

// What a check went by is told from what a host can see after the call: the
// last request and answer the component keeps, the installation's setup
// values and rules file, and the edition's own record and province table. A
// support engineer reads the answer without the log.

// The record of the edition loaded, the library's own: the editions tell
// apart by unit Common, which only the current one has.
const quarvel::Edition& EditionOf(HMODULE module) {
  return GetProcAddress(module, "@@Common@Initialize") != nullptr ? quarvel::kCurrentEdition
                                                                   : quarvel::kEarlierEdition;
}

// "GET path HTTP/1.1\r\nHost: host\r\n..." gives "http://host" + path.
std::string RequestedUrl(const std::string& request) {
  const std::string get = "GET ", version = " HTTP/1.1\r\nHost: ";
  std::size_t pathEnd = request.find(version);
  if (request.compare(0, get.size(), get) != 0 || pathEnd == std::string::npos) return "";
  std::size_t hostBegin = pathEnd + version.size();
  std::size_t hostEnd = request.find("\r\n", hostBegin);
  return "http://" + request.substr(hostBegin, hostEnd - hostBegin) +
         request.substr(get.size(), pathEnd - get.size());
}

std::string StatusOf(const std::string& header) {
  std::size_t lineLen = header.size();
  if (header.empty()) return "no answer";
  quarvel::FindStatusLine(header.data(), header.size(), &lineLen);
  switch (quarvel::ClassifyStatusLine(header.data(), lineLen)) {
    case quarvel::kStatusOk: return "200 OK";
    case quarvel::kStatusRedirect: return "redirect (" + header.substr(0, lineLen) + ")";
    default: return "other (" + header.substr(0, lineLen) + ")";
  }
}

std::string MarkerOf(const std::string& body, const quarvel::ProbeSettings& settings) {
  const char* which = nullptr;
  if (quarvel::FindNetworkUpMarker(body.c_str(), settings, &which)) {
    if (std::strcmp(which, quarvel::kIpLocationMarker) == 0) return "built-in IP-location marker";
    if (std::strcmp(which, quarvel::kProbePageMarker) == 0) return "built-in probe page marker";
    return "configured marker ([Probe] Marker)";
  }
  if (settings.marker != nullptr) {
    return "none: the page holds neither the built-in markers nor [Probe] Marker";
  }
  return settings.ipLocationMarker != nullptr
             ? "none: the page holds neither built-in marker (GBK), and the rules file sets "
               "no [Probe] Marker"
             : "none: the page holds no probe page marker (GBK), the only one this edition counts";
}

std::string RuleOf(const quarvel::Edition& edition, int discon) {
  if (discon == NetworkUpType) return "none needed: the network is up";
  std::wstring channel = kit::ReadSetupString(L"channel");
  std::size_t begin = 0, len = 0;
  const quarvel::Province* province =
      quarvel::CutProvinceCode(reinterpret_cast<const char16_t*>(channel.c_str()),
                               channel.size(), &begin, &len)
          ? quarvel::FindProvince(*edition.provinces, channel.substr(begin, len).c_str())
          : nullptr;
  if (province == nullptr) return "none: this edition has no rules for the province code";
  for (std::size_t i = 0; i < province->ruleCount; ++i) {
    const quarvel::ProvinceRule& rule = province->rules[i];
    if (rule.code == discon) return "[" + std::string(province->section) + "] " + rule.key;
  }
  return "no rule of [" + std::string(province->section) + "] decided";
}

// What the check went by, one line each: the URL of the last request sent,
// the answer's status, the network-up marker found (or why none was), where
// the redirect target was cut from, the province rule that decided (or why
// none did). Each is left out where it does not apply: redirection < 0 or
// discon < 0 when the call did not tell it.
void Explain(HMODULE module, IZHttp* component, int redirection, int discon,
             std::vector<Field>* fields) {
  const quarvel::Edition& edition = EditionOf(module);
  quarvel::ProbeSettings settings;
  std::string rules;
  std::wstring unread;  // a missing file: the built-in settings hold
  lint::ReadWholeFile(lint::InstallationRules(), &rules, &unread);
  lint::ProbeSettingsOf(edition, rules, &settings);
  const std::string header = kit::HeaderText(component);
  std::string status = StatusOf(header);
  const bool noContentUp = quarvel::NoContentProvesUp(settings, header.c_str());
  const std::pair<const wchar_t*, std::string> items[] = {
      {L"answeredUrl", RequestedUrl(kit::RequestText(component))},
      {L"status", status},
      {L"marker", status == "200 OK" ? MarkerOf(kit::BodyText(component), settings)
                  : noContentUp      ? "none needed: a 204 answer ([Probe] Expect=204)"
                                     : ""},
      {L"targetFrom", redirection != TargetFound ? ""
                      : status == "200 OK"       ? "the provider page's embedded address"
                                                 : "the Location header"},
      {L"rule", discon >= 0 ? RuleOf(edition, discon) : ""}};
  for (const auto& item : items) {
    if (!item.second.empty()) fields->push_back(TextField(item.first, item.second, false));
  }
}

long long MsSince(double start) { return static_cast<long long>(kit::NowMs() - start); }

void Classify(HMODULE module, IZHttp* component, std::vector<Field>* fields) {
  wchar_t page[kPageUnits + 1] = {};
  const double start = kit::NowMs();
  int type = component->CheckNetDisconType(page, kPageUnits);
  const long long ms = MsSince(start);
  std::size_t units = wcsnlen(page, kPageUnits);
  fields->push_back(
      CodeField(L"DisconType", L"disconType", L"disconName", type, codes::DisconName(type)));
  fields->push_back(Field{L"page: \"" + textout::VisibleWide(page, units) + L"\"",
                          Key(L"page") + textout::JsonWide(page, units)});
  fields->push_back(NumberField(L"time", L"elapsedMs", ms, L" ms"));
  // A rule decides only on a target the dispatch's own check found.
  int redirection = type == NetworkUpType ? NetworkUp : type == Unclassified ? -1 : TargetFound;
  Explain(module, component, redirection, type, fields);
}

void Redirect(HMODULE module, IZHttp* component, std::vector<Field>* fields) {
  char target[kTargetSize + 1] = {};
  const int capacity = kTargetSize;
  const double start = kit::NowMs();
  int result = component->CheckRedirction(target, &capacity);
  const long long ms = MsSince(start);
  fields->push_back(CodeField(L"RedirectionResult", L"result", L"resultName", result,
                              codes::RedirectionName(result)));
  fields->push_back(TextField(L"target", std::string(target, strnlen(target, kTargetSize))));
  fields->push_back(NumberField(L"time", L"elapsedMs", ms, L" ms"));
  Explain(module, component, result, -1, fields);
}

void Get(IZHttp* component, const std::wstring& url, std::vector<Field>* fields) {
  std::string narrowUrl = textout::Ansi(url);
  const double start = kit::NowMs();
  int result = component->Get(narrowUrl.c_str());
  const long long ms = MsSince(start);
  fields->push_back(TextField(L"url", narrowUrl));
  fields->push_back(NumberField(L"Get", L"result", result, L""));
  fields->push_back(BlockField(L"request", kit::RequestText(component)));
  fields->push_back(BlockField(L"header", kit::HeaderText(component)));
  fields->push_back(BlockField(L"body", kit::BodyText(component)));
  fields->push_back(NumberField(L"time", L"elapsedMs", ms, L" ms"));
}

std::wstring Render(const std::vector<Field>& fields, bool json) {
  std::wstring out;
  for (const Field& field : fields) {
    out += json ? (out.empty() ? L"{" : L",") + field.json : field.line + L"\n";
  }
  return json ? out + L"}\n" : out;
}

// classify, redirect or get on the library's component.
int AskLibrary(const Options& options) {
  std::wstring dll = DllPath(options.dll), why;
  kit::Library library(dll);
  Component component = Load(library, dll, options.timeOutMs, &why);
  if (component == nullptr) {
    WriteErr(why);
    return kExitNoLibrary;
  }
  std::vector<Field> fields;
  const wchar_t* name = options.command == Command::kGet        ? L"get"
                        : options.command == Command::kRedirect ? L"redirect"
                                                                : L"classify";
  if (options.json) fields.push_back(Field{L"", Key(L"command") + L"\"" + name + L"\""});
  fields.push_back(Field{L"dll: " + dll, Key(L"dll") + textout::JsonWide(dll.c_str(), dll.size())});
  fields.push_back(NumberField(L"timeout", L"timeoutMs", options.timeOutMs, L" ms"));
  if (options.command == Command::kClassify) Classify(library.module(), component.get(), &fields);
  if (options.command == Command::kRedirect) Redirect(library.module(), component.get(), &fields);
  if (options.command == Command::kGet) Get(component.get(), options.operand, &fields);
  WriteOut(Render(fields, options.json));
  return kExitRan;
}

int Run() {
  Options options;
  try {
    options = ParseOptions(Arguments());
  } catch (const UsageError& error) {
    WriteErr(error.why);
    textout::Write(GetStdHandle(STD_ERROR_HANDLE), kUsage);
    return kExitUsage;
  }
  if (options.help) {
    WriteOut(kUsage);
    return kExitRan;
  }
  if (options.command == Command::kRules) {
    return commands::Rules(options.operand,
                           options.edition ? *options.edition : quarvel::kCurrentEdition,
                           options.province, options.json);
  }
  if (options.command == Command::kLog) {
    commands::LogOptions log;
    log.json = options.json;
    log.last = options.last;
    log.setWaitMs = options.timeOutGiven ? options.timeOutMs : -1;
    return commands::Log(options.operand, options.edition, log);
  }
  if (options.command == Command::kReport) {
    return report::Report(DllPath(options.dll), options.json);
  }
  return AskLibrary(options);
}

}  // namespace

int main() {
  try {
    return Run();
  } catch (const std::exception& e) {
    WriteErr(kit::Widen(e.what()));
  } catch (...) {
    WriteErr(L"unexpected failure");
  }
  return kExitFailed;
}
