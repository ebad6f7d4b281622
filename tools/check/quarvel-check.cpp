// quarvel-check: loads an edition of Quarvel.dll as the dial-up client does,
// asks its component one question and prints the answer.
//   quarvel-check [--dll PATH] [--timeout MS] [--json] [classify | redirect | get URL]
//   quarvel-check rules [FILE] [--edition current|earlier] [--json]
//   quarvel-check log FILE [--edition current|earlier] [--json]
// Exit status: 0 the call ran (rules: the file is sound; log: it was read),
// 2 usage error, 3 the library or its factory could not be loaded (reason on
// stderr), 1 anything else (rules: something will not work as written; log:
// the file cannot be read).
#include <windows.h>

#include <shellapi.h>

#include <cstring>
#include <cwchar>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "current/Edition.h"
#include "earlier/Edition.h"
#include "include/Quarvel.h"
#include "tools/check/CodeNames.h"
#include "tools/check/Commands.h"
#include "tools/check/Explain.h"
#include "tools/check/TextOut.h"
#include "tools/kit/Kit.h"

namespace {

constexpr int kExitRan = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoLibrary = 3;

constexpr int kDefaultTimeOutMs = 3000;
constexpr long kMaxTimeOutMs = 10 * 60 * 1000;
constexpr int kTargetSize = 528;      // the size the library's own dispatch uses
constexpr unsigned kPageUnits = 260;  // the dial-up client's page buffer

const wchar_t kDllName[] = L"Quarvel.dll";
const wchar_t kUsage[] =
    L"usage: quarvel-check [--dll PATH] [--timeout MS] [--json] [classify | redirect | get URL]\n"
    L"       quarvel-check rules [FILE] [--edition current|earlier] [--json]\n"
    L"       quarvel-check log FILE [--edition current|earlier] [--json]\n"
    L"  classify   CheckNetDisconType: disconnect type and the page address to show (default)\n"
    L"  redirect   CheckRedirction: redirection result and the redirect target\n"
    L"  get URL    Get: the request, response header and body texts (\"\" = default page)\n"
    L"  --dll      the library to load (default: Quarvel.dll beside this program)\n"
    L"  --timeout  the component's wait time-out in milliseconds (default 3000)\n"
    L"  rules      lint a rules file as the edition reads it (default: the installation's)\n"
    L"  log        read a log file: each line's log point, waits, one summary per call\n"
    L"  --edition  the edition whose tables to use (rules: default current; log: both)\n"
    L"  --json     JSON (UTF-8) instead of text: one object, for log one per line and call\n";

enum class Command { kClassify, kRedirect, kGet, kRules, kLog };

struct Options {
  std::wstring dll;
  int timeOutMs = kDefaultTimeOutMs;
  bool json = false;
  bool help = false;
  Command command = Command::kClassify;
  std::wstring url;
  std::wstring file;                          // rules, log
  const quarvel::Edition* edition = nullptr;  // --edition
};

// One item of the answer: a line of text output and its JSON members.
struct Field {
  std::wstring line;
  std::wstring json;
};

class UsageError {
 public:
  explicit UsageError(std::wstring why) : why_(std::move(why)) {}
  const std::wstring& why() const { return why_; }

 private:
  std::wstring why_;
};

void WriteOut(const std::wstring& text) { textout::Write(GetStdHandle(STD_OUTPUT_HANDLE), text); }
void WriteErr(const std::wstring& text) {
  textout::Write(GetStdHandle(STD_ERROR_HANDLE), L"quarvel-check: " + text + L"\n");
}

std::vector<std::wstring> Arguments() {
  std::vector<std::wstring> args;
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) return args;
  for (int i = 1; i < count; ++i) args.emplace_back(argv[i]);
  LocalFree(argv);
  return args;
}

bool ParseTimeOut(const std::wstring& text, int* out) {
  if (text.empty() || text.size() > 7) return false;
  long value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    value = value * 10 + (c - L'0');
  }
  if (value > kMaxTimeOutMs) return false;
  *out = static_cast<int>(value);
  return true;
}

const std::wstring& ValueOf(const std::vector<std::wstring>& args, std::size_t* i) {
  if (*i + 1 >= args.size()) throw UsageError(args[*i] + L" needs a value");
  return args[++*i];
}

void ParseCommand(const std::vector<std::wstring>& args, std::size_t* i, Options* options) {
  const std::wstring& word = args[*i];
  if (word == L"classify") {
    options->command = Command::kClassify;
  } else if (word == L"redirect") {
    options->command = Command::kRedirect;
  } else if (word == L"get") {
    options->command = Command::kGet;
    options->url = ValueOf(args, i);
  } else if (word == L"rules") {
    options->command = Command::kRules;
    bool fileFollows = *i + 1 < args.size() && !args[*i + 1].empty() && args[*i + 1][0] != L'-';
    if (fileFollows) options->file = args[++*i];
  } else if (word == L"log") {
    options->command = Command::kLog;
    options->file = ValueOf(args, i);
  } else {
    throw UsageError(L"unknown command \"" + word + L"\"");
  }
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
      if (options.dll.empty()) throw UsageError(L"--dll needs a path");
    } else if (arg == L"--edition") {
      const std::wstring& name = ValueOf(args, &i);
      if (name != L"current" && name != L"earlier") {
        throw UsageError(L"--edition takes current or earlier");
      }
      options.edition = name == L"current" ? &quarvel::kCurrentEdition : &quarvel::kEarlierEdition;
    } else if (arg == L"--timeout") {
      if (!ParseTimeOut(ValueOf(args, &i), &options.timeOutMs)) {
        throw UsageError(L"--timeout takes milliseconds, 0 to 600000");
      }
    } else if (!arg.empty() && arg[0] == L'-') {
      throw UsageError(L"unknown option " + arg);
    } else if (commandSeen) {
      throw UsageError(L"one command only");
    } else {
      ParseCommand(args, &i, &options);
      commandSeen = true;
    }
  }
  bool readsFile = options.command == Command::kRules || options.command == Command::kLog;
  if (options.edition != nullptr && !readsFile) {
    throw UsageError(L"--edition goes with rules or log");
  }
  return options;
}

std::wstring ModuleDirectory() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) break;
    path.resize(path.size() * 2);
  }
  std::wstring full(path.data());
  std::size_t slash = full.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : full.substr(0, slash + 1);
}

std::wstring FullPath(const std::wstring& path) {
  DWORD units = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (units == 0) return path;
  std::vector<wchar_t> full(units);
  if (GetFullPathNameW(path.c_str(), units, full.data(), nullptr) == 0) return path;
  return full.data();
}

// The library and its component, released before the library goes.
class Host {
 public:
  explicit Host(const std::wstring& path) : library_(path) {}
  ~Host() {
    if (component_ != nullptr) component_->Release();
  }
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // False with the reason when the library, its factory or the component
  // cannot be had.
  bool Load(const std::wstring& path, int timeOutMs, std::wstring* why) {
    if (library_.module() == nullptr) {
      *why = L"cannot load " + path + L" (error " + std::to_wstring(library_.loadError()) + L")";
      return false;
    }
    if (library_.factory() == nullptr) {
      *why = path + L" exports no CreateComponent";
      return false;
    }
    HRESULT status = S_OK;
    component_ = library_.Create(timeOutMs, &status);
    if (component_ == nullptr) {
      wchar_t hex[16];
      std::swprintf(hex, sizeof hex / sizeof hex[0], L"0x%08lX",
                    static_cast<unsigned long>(status));
      *why = L"CreateComponent of " + path + L" failed with " + hex;
      return false;
    }
    return true;
  }

  IZHttp* component() const { return component_; }
  HMODULE module() const { return library_.module(); }

 private:
  kit::Library library_;
  IZHttp* component_ = nullptr;
};

std::wstring Key(const wchar_t* name) { return std::wstring(L"\"") + name + L"\":"; }

Field NumberField(const wchar_t* label, const wchar_t* key, long long value, const wchar_t* unit) {
  std::wstring number = std::to_wstring(value);
  return Field{std::wstring(label) + L": " + number + unit, Key(key) + number};
}

Field CodeField(const wchar_t* label, const wchar_t* key, const wchar_t* nameKey, int code,
                const char* name) {
  std::wstring number = std::to_wstring(code);
  std::wstring wideName = kit::Widen(name);
  return Field{std::wstring(label) + L": " + number + L" " + wideName,
               Key(key) + number + L"," + Key(nameKey) + L"\"" + wideName + L"\""};
}

// A narrow text of the library on one line, in quotes.
Field QuotedField(const wchar_t* key, const char* bytes, std::size_t length) {
  return Field{std::wstring(key) + L": \"" + textout::VisibleNarrow(bytes, length) + L"\"",
               Key(key) + textout::JsonNarrow(bytes, length)};
}

// A longer narrow text as an indented block, one line of it per line.
Field BlockField(const wchar_t* key, const char* bytes, std::size_t length) {
  std::wstring line = std::wstring(key) + L" (" + std::to_wstring(length) + L" bytes)";
  if (length > 0) {
    line += L":\n  ";
    for (wchar_t c : textout::VisibleNarrow(bytes, length, true)) {
      line.push_back(c);
      if (c == L'\n') line.append(L"  ");
    }
  }
  return Field{line, Key(key) + textout::JsonNarrow(bytes, length)};
}

// Paths are shown as they are: their backslashes are no escapes.
Field PathField(const wchar_t* key, const std::wstring& path) {
  return Field{std::wstring(key) + L": " + path,
               Key(key) + textout::JsonWide(path.c_str(), path.size())};
}

// What the check went by: one line each, left out where it does not apply.
void Explain(const explain::Facts& facts, std::vector<Field>* fields) {
  const struct {
    const wchar_t* key;
    const std::string& text;
  } items[] = {{L"answeredUrl", facts.answeredUrl}, {L"status", facts.status},
               {L"marker", facts.marker},           {L"targetFrom", facts.targetFrom},
               {L"rule", facts.rule}};
  for (const auto& item : items) {
    if (item.text.empty()) continue;
    fields->push_back(Field{std::wstring(item.key) + L": " +
                                textout::VisibleNarrow(item.text.data(), item.text.size()),
                            Key(item.key) + textout::JsonNarrow(item.text.data(), item.text.size())});
  }
}

void Classify(const Host& host, std::vector<Field>* fields) {
  wchar_t page[kPageUnits + 1] = {};
  const double start = kit::NowMs();
  int type = host.component()->CheckNetDisconType(page, kPageUnits);
  const long long ms = static_cast<long long>(kit::NowMs() - start);
  std::size_t units = wcsnlen(page, kPageUnits);
  fields->push_back(
      CodeField(L"DisconType", L"disconType", L"disconName", type, codes::DisconName(type)));
  fields->push_back(Field{L"page: \"" + textout::VisibleWide(page, units) + L"\"",
                          Key(L"page") + textout::JsonWide(page, units)});
  fields->push_back(NumberField(L"time", L"elapsedMs", ms, L" ms"));
  // A rule decides only on a target the dispatch's own check found.
  int redirection = type == NetworkUpType ? NetworkUp : type == Unclassified ? -1 : TargetFound;
  Explain(explain::AfterCheck(host.module(), host.component(), redirection, type), fields);
}

void Redirect(const Host& host, std::vector<Field>* fields) {
  char target[kTargetSize + 1] = {};
  const int capacity = kTargetSize;
  const double start = kit::NowMs();
  int result = host.component()->CheckRedirction(target, &capacity);
  const long long ms = static_cast<long long>(kit::NowMs() - start);
  fields->push_back(CodeField(L"RedirectionResult", L"result", L"resultName", result,
                              codes::RedirectionName(result)));
  fields->push_back(QuotedField(L"target", target, strnlen(target, kTargetSize)));
  fields->push_back(NumberField(L"time", L"elapsedMs", ms, L" ms"));
  Explain(explain::AfterCheck(host.module(), host.component(), result, -1), fields);
}

void Get(IZHttp* component, const std::wstring& url, std::vector<Field>* fields) {
  std::string narrowUrl = textout::Ansi(url);
  const double start = kit::NowMs();
  int result = component->Get(narrowUrl.c_str());
  const long long ms = static_cast<long long>(kit::NowMs() - start);
  fields->push_back(QuotedField(L"url", narrowUrl.c_str(), narrowUrl.size()));
  fields->push_back(NumberField(L"Get", L"result", result, L""));
  const std::pair<const wchar_t*, std::string> texts[] = {{L"request", kit::RequestText(component)},
                                                          {L"header", kit::HeaderText(component)},
                                                          {L"body", kit::BodyText(component)}};
  for (const auto& text : texts) {
    fields->push_back(BlockField(text.first, text.second.data(), text.second.size()));
  }
  fields->push_back(NumberField(L"time", L"elapsedMs", ms, L" ms"));
}

const wchar_t* CommandName(Command command) {
  switch (command) {
    case Command::kRedirect: return L"redirect";
    case Command::kGet: return L"get";
    case Command::kClassify: case Command::kRules: case Command::kLog: break;
  }
  return L"classify";
}

std::wstring Render(const std::vector<Field>& fields, bool json) {
  std::wstring out = json ? L"{" : L"";
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (json) {
      if (i > 0) out += L",";
      out += fields[i].json;
    } else {
      out += fields[i].line + L"\n";
    }
  }
  return json ? out + L"}\n" : out;
}

int Run() {
  Options options;
  try {
    options = ParseOptions(Arguments());
  } catch (const UsageError& error) {
    WriteErr(error.why());
    textout::Write(GetStdHandle(STD_ERROR_HANDLE), kUsage);
    return kExitUsage;
  }
  if (options.help) {
    WriteOut(kUsage);
    return kExitRan;
  }
  if (options.command == Command::kRules) {
    return commands::Rules(
        options.file, options.edition ? *options.edition : quarvel::kCurrentEdition, options.json);
  }
  if (options.command == Command::kLog) {
    return commands::Log(options.file, options.edition, options.json);
  }
  std::wstring dll = FullPath(options.dll.empty() ? ModuleDirectory() + kDllName : options.dll);
  Host host(dll);
  std::wstring why;
  if (!host.Load(dll, options.timeOutMs, &why)) {
    WriteErr(why);
    return kExitNoLibrary;
  }

  std::vector<Field> fields;
  if (options.json) {
    fields.push_back(Field{L"", Key(L"command") + L"\"" + CommandName(options.command) + L"\""});
  }
  fields.push_back(PathField(L"dll", dll));
  fields.push_back(NumberField(L"timeout", L"timeoutMs", options.timeOutMs, L" ms"));
  switch (options.command) {
    case Command::kClassify: Classify(host, &fields); break;
    case Command::kRedirect: Redirect(host, &fields); break;
    case Command::kGet: Get(host.component(), options.url, &fields); break;
    case Command::kRules: case Command::kLog: break;  // answered above
  }
  WriteOut(Render(fields, options.json));
  return kExitRan;
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
