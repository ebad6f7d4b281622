// quarvel-bench: figures for both editions of Quarvel.dll on loopback, each
// call beside a plain Winsock fetch of the same page and beside the least a
// conforming call must do: load times (empty log folder, 10,000 unrelated
// files, 1,000 old logs to purge), Gets of closing and kept-alive pages, the
// process's figures over many Gets on one object, a CheckNetDisconType that
// ends in a found rule, one check on each kind of dead line without and with
// [Probe] TimeLimitMs, and the figures around look-ups that outlive their
// calls and the library's unload (memory, handles and look-up threads at
// once, for one host answered late and for a host each never answered).
// Runs inside the private network namespace (./quarvel bench): the built-in
// hosts reach 127.0.0.1:80, and 127.0.0.1 is the only name server.
//   quarvel-bench.exe [--dll PATH]... [--gets COUNT] [--faults] [--log-reading]
//   [--baseline PATH]
// (--dll: these DLLs only, the current edition first; COUNT: the long run of
// Gets, 100000, measured also at a tenth of it; --faults: dead lines only;
// --log-reading: quarvel-check log on a 100 MB log only;
// --baseline: single-threaded Gets and checks of the first DLL beside
// another build of the same edition, say the one before a change)
#include <winsock2.h>
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "http/Lookup.h"
#include "include/Quarvel.h"
#include "support/Settings.h"
#include "tools/bench/LogReading.h"
#include "tools/kit/Kit.h"
#include "tools/kit/ProcessFigures.h"
#include "tools/kit/Replies.h"
#include "tools/scenario/NetworkFaults.h"
#include "tools/scenario/ScenarioServer.h"

namespace {

using kit::Library;
using kit::MeasureProcess;
using kit::NowMs;
using kit::ProcessFigures;
using kit::ReadFile;
using kit::ReadLog;
using kit::RemoveTree;
using kit::SavedSetupValue;
using kit::WriteFile;

constexpr int kWarmUpRounds = 10;
constexpr int kTimingRounds = 100;
constexpr int kCheckRounds = 60;
constexpr int kLeakRounds = 100000;
// The earlier edition's run stops at the first checkpoint.
constexpr int kLeakCheckpoints = 10;
constexpr int kLoadRounds = 15;
constexpr int kPurgeRounds = 5;
constexpr int kUnrelatedFiles = 10000;
constexpr int kOldLogs = 1000;
constexpr long long kOldLogAgeHours = 5 * 24;
constexpr long long kTicksPerHour = 36000000000LL;
constexpr int kKeptAliveHoldMs = 10000;
constexpr int kTimeOutMs = 2000;
constexpr unsigned short kHttpPort = 80;
constexpr int kReadChunk = 4096;
constexpr unsigned int kPageCount = 1024;
// Growth over the many Gets that counts as a leak.
constexpr SIZE_T kPrivateBytesSlack = 512 * 1024;
constexpr SIZE_T kHeapSlack = 64 * 1024;
constexpr DWORD kHandleSlack = 16;

// A line that has just stopped working: the host's wait time, the limit the
// rules file may set, and the calls that time out in the look-up.
constexpr int kFaultTimeOutMs = 3000;
constexpr int kFaultTimeLimitMs = 2500;
constexpr int kLookUpRounds = 100;
constexpr int kLookUpLimitMs = 50;
constexpr int kLateAnswerMs = 1000;
constexpr int kLookUpEndMs = 10000;
constexpr int kSilentLookUpEndMs = 30000;

const char kPortalTarget[] = "http://portal/arrears";
const char kRulesText[] = "[ShanXi]\r\nAccountExpirePage=arrears\r\n";
// The private network's hosts file, as Wine's drive Z: shows it.
const char kHostsFile[] = "Z:\\etc\\hosts";
const wchar_t kExpectedPage[] = L"arrears";

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  std::size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}


// ---- The plain Winsock fetch: connect, send, 4 KiB reads until close ----

// 127.0.0.1:port.
sockaddr_in LoopbackPeer(unsigned short port) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return peer;
}

// A socket connected to 127.0.0.1:port, or INVALID_SOCKET.
SOCKET ConnectLoopback(unsigned short port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return s;
  sockaddr_in peer = LoopbackPeer(port);
  if (connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0) return s;
  closesocket(s);
  return INVALID_SOCKET;
}

bool PlainFetch(unsigned short port, const std::string& request) {
  SOCKET s = ConnectLoopback(port);
  if (s == INVALID_SOCKET) return false;
  bool ok = send(s, request.data(), static_cast<int>(request.size()), 0) ==
                static_cast<int>(request.size());
  long total = 0;
  char chunk[kReadChunk];
  for (int n; ok && (n = recv(s, chunk, sizeof chunk, 0)) > 0;) total += n;
  closesocket(s);
  return ok && total > 0;
}

// ---- The least a conforming call must do for the same page ----

// What a call must do whatever its code: the plain fetch, plus the look-ups
// of the computer's own name and of the page's host (none for a dotted
// address), the connection's bind, its wait until writable after the
// connect, its switch to blocking mode and, where the edition sets one, its
// receive time-out; the wait before sending and the one before reading, the
// header taken by a peek and then a take, and one open-append-close of the
// log file for each line the call writes. A check also reads the install path once,
// tests that the rules file is there and reads its province's keys up to
// the one that hits.
struct LeastCall {
  std::string host;     // the page's host, looked up unless dotted
  std::string logPath;  // where the lines go
  int logLines;         // lines one call writes
  int receiveTimeOutMs;  // set on the connection; 0: none
  std::string rulesPath;  // the rules file a check reads; "" for a Get
  std::vector<std::pair<std::string, std::string>> ruleKeys;  // section, key
};

// The setup key, the rules file and the keys a check cannot do without.
bool ReadRules(const LeastCall& call) {
  if (call.rulesPath.empty()) return true;
  if (kit::ReadSetupString(L"InstallPath").empty()) return false;
  if (GetFileAttributesA(call.rulesPath.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  char value[kReadChunk];
  for (const auto& key : call.ruleKeys) {
    if (GetPrivateProfileStringA(key.first.c_str(), key.second.c_str(), "", value, sizeof value,
                                 call.rulesPath.c_str()) == 0) {
      return false;
    }
  }
  return true;
}

bool Waited(SOCKET s, bool forReading) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval limit = {kTimeOutMs / 1000, 0};
  return select(0, forReading ? &set : nullptr, forReading ? nullptr : &set, nullptr, &limit) > 0;
}

// A socket connected to 127.0.0.1:port as the library must connect it: bound
// to any local port, waited on until writable, in blocking mode, with the
// edition's receive time-out; INVALID_SOCKET on failure.
SOCKET ConnectAsTheLibraryMust(unsigned short port, int receiveTimeOutMs) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return s;
  sockaddr_in any{};
  any.sin_family = AF_INET;
  sockaddr_in peer = LoopbackPeer(port);
  fd_set writable;
  FD_ZERO(&writable);
  FD_SET(s, &writable);
  u_long blocking = 0;
  const DWORD timeOut = static_cast<DWORD>(receiveTimeOutMs);
  if (bind(s, reinterpret_cast<sockaddr*>(&any), sizeof any) == 0 &&
      connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0 &&
      select(0, nullptr, &writable, nullptr, nullptr) > 0 &&
      ioctlsocket(s, FIONBIO, &blocking) == 0 &&
      (receiveTimeOutMs == 0 || setsockopt(s, SOL_SOCKET, SO_RCVTIMEO,
                                           reinterpret_cast<const char*>(&timeOut),
                                           sizeof timeOut) == 0)) {
    return s;
  }
  closesocket(s);
  return INVALID_SOCKET;
}

bool LeastConformingFetch(unsigned short port, const std::string& request, const LeastCall& call) {
  char localName[256];
  if (gethostname(localName, sizeof localName) != 0 || gethostbyname(localName) == nullptr) {
    return false;
  }
  if (inet_addr(call.host.c_str()) == INADDR_NONE && gethostbyname(call.host.c_str()) == nullptr) {
    return false;
  }
  SOCKET s = ConnectAsTheLibraryMust(port, call.receiveTimeOutMs);
  if (s == INVALID_SOCKET) return false;
  char chunk[kReadChunk];
  bool ok = Waited(s, false) &&
            send(s, request.data(), static_cast<int>(request.size()), 0) ==
                static_cast<int>(request.size()) &&
            Waited(s, true);
  // The header's bytes as far as its empty line, never more than were seen.
  int peeked = ok ? recv(s, chunk, sizeof chunk, MSG_PEEK) : 0;
  const char* seen = chunk + (peeked > 0 ? peeked : 0);
  const char kEmptyLine[] = "\r\n\r\n";
  const char* end = std::search(static_cast<const char*>(chunk), seen, kEmptyLine, kEmptyLine + 4);
  const int take = static_cast<int>(end == seen ? seen - chunk : end + 4 - chunk);
  ok = peeked > 0 && recv(s, chunk, take, 0) > 0;
  for (int n; ok && (n = recv(s, chunk, sizeof chunk, 0)) > 0;) {
  }
  closesocket(s);
  ok = ok && ReadRules(call);
  for (int i = 0; ok && i < call.logLines; ++i) {
    FILE* log = std::fopen(call.logPath.c_str(), "a+");
    if (log == nullptr) return false;
    std::fputs("2026-01-01 00:00:00 -> a line of the least call -> 0\n", log);
    std::fclose(log);
  }
  return ok;
}

// ---- The figures ----

void PrintComparison(const char* what, const std::vector<double>& library,
                     const std::vector<double>& plain, const std::vector<double>& least) {
  double lib = Median(library), raw = Median(plain), must = Median(least);
  std::printf("%-44s %8.3f ms   plain Winsock %8.3f ms   ratio %5.2f   least conforming call "
              "%8.3f ms   ratio %5.2f   (%u rounds)\n",
              what, lib, raw, raw > 0 ? lib / raw : 0.0, must, must > 0 ? lib / must : 0.0,
              static_cast<unsigned>(library.size()));
}

// Times call against a plain fetch of request and the least conforming call,
// round by round in turn so that all three see the same conditions, after
// warm-up rounds. False when any of them fails.
bool Compare(const char* what, const std::function<bool()>& call, unsigned short port,
             const std::string& request, const LeastCall& least, int rounds) {
  std::vector<double> library, plain, must;
  for (int i = -kWarmUpRounds; i < rounds; ++i) {
    double start = NowMs();
    const bool called = call();
    const double callMs = NowMs() - start;
    start = NowMs();
    bool fetched = PlainFetch(port, request);
    const double plainMs = NowMs() - start;
    start = NowMs();
    fetched = LeastConformingFetch(port, request, least) && fetched;
    if (!called || !fetched) {
      std::printf("%s: round %d failed (call %d, plain fetches %d)\n", what, i, called, fetched);
      return false;
    }
    if (i < 0) continue;
    library.push_back(callMs);
    plain.push_back(plainMs);
    must.push_back(NowMs() - start);
  }
  PrintComparison(what, library, plain, must);
  return true;
}

// Least calls to the page of url that write as many log lines as one call,
// on connections with the edition's receive time-out.
LeastCall LeastFor(const std::string& url, const std::string& installDir, int receiveTimeOutMs,
                   const std::function<bool()>& call, bool* called) {
  std::size_t before = kit::LogRecords(installDir).size();
  *called = call();
  return {kit::HostOf(url), kit::LogPath(installDir),
          static_cast<int>(kit::LogRecords(installDir).size() - before), receiveTimeOutMs, "", {}};
}

// The receive time-out an edition sets on its connections: the current
// edition's (the one with unit Common) 1 s, the earlier edition's none.
int ReceiveTimeOutOf(const Library& library) {
  return GetProcAddress(library.module(), "@@Common@Initialize") != nullptr ? 1000 : 0;
}

// Get of url; the plain fetch asks for plainPath instead of path when one
// is given.
bool CompareGet(IZHttp* component, const std::string& installDir, int receiveTimeOutMs,
                const std::string& url, unsigned short port, const char* what,
                const std::string& path = "", const std::string& plainPath = "") {
  auto get = [&] { return component->Get(url.c_str()) == 1; };
  bool got = false;
  const LeastCall least = LeastFor(url, installDir, receiveTimeOutMs, get, &got);
  if (!got) {
    std::printf("%s: Get failed\n", what);
    return false;
  }
  std::string request = kit::RequestText(component);
  if (!plainPath.empty()) request.replace(request.find(" " + path + " ") + 1, path.size(), plainPath);
  return Compare(what, get, port, request, least, kTimingRounds);
}

bool BenchGet(IZHttp* component, const std::string& installDir, int receiveTimeOutMs) {
  const std::string page = "<html><body>small page</body></html>";
  const std::string sized = scenario::HttpResponse(
      "HTTP/1.1 200 OK",
      {"Content-Type: text/html", "Content-Length: " + std::to_string(page.size())}, page);
  scenario::Server server;
  server.Route("", "/302",
               scenario::Respond(scenario::HttpResponse(
                   "HTTP/1.1 302 Moved Temporarily",
                   {"Location: " + std::string(kPortalTarget), "Content-Length: 0",
                    "Connection: close"},
                   "")));
  server.Route("", "/200",
               scenario::Respond(scenario::HttpResponse(
                   "HTTP/1.1 200 OK", {"Content-Type: text/html", "Connection: close"}, page)));
  server.Route("", "/kept", scenario::RespondKeepAlive(sized, kKeptAliveHoldMs));
  server.Route("", "/sized", scenario::Respond(sized));
  const std::string chunked = scenario::HttpResponse(
      "HTTP/1.1 200 OK", {"Content-Type: text/html", "Transfer-Encoding: chunked"},
      "10\r\n<html><body>smal\r\n14\r\nl page</body></html>\r\n0\r\n\r\n");
  server.Route("", "/kept-chunked", scenario::RespondKeepAlive(chunked, kKeptAliveHoldMs));
  server.Route("", "/chunked", scenario::Respond(chunked));
  if (!server.Start(0)) {
    std::printf("cannot start the scenario server\n");
    return false;
  }
  std::string base = "http://127.0.0.1:" + std::to_string(server.Port());
  bool ok = CompareGet(component, installDir, receiveTimeOutMs, base + "/302", server.Port(),
                       "Get of a closing \"302\" page");
  ok = CompareGet(component, installDir, receiveTimeOutMs, base + "/200", server.Port(),
                  "Get of a closing \"200\" page") && ok;
  ok = CompareGet(component, installDir, receiveTimeOutMs, base + "/kept", server.Port(),
                  "Get of a kept-alive \"200\" with Content-Length", "/kept", "/sized") &&
       ok;
  ok = CompareGet(component, installDir, receiveTimeOutMs, base + "/kept-chunked", server.Port(),
                  "Get of a kept-alive chunked \"200\"", "/kept-chunked", "/chunked") &&
       ok;
  return ok;
}

void PrintFigures(const char* label, const ProcessFigures& before, const ProcessFigures& after) {
  std::printf("  %-13s private bytes %10lu (%+ld)   heap in use %8lu (%+ld)   handles %4lu (%+ld)\n",
              label, static_cast<unsigned long>(after.privateBytes),
              static_cast<long>(after.privateBytes) - static_cast<long>(before.privateBytes),
              static_cast<unsigned long>(after.heapInUse),
              static_cast<long>(after.heapInUse) - static_cast<long>(before.heapInUse),
              static_cast<unsigned long>(after.handles),
              static_cast<long>(after.handles) - static_cast<long>(before.handles));
}

bool Flat(const ProcessFigures& before, const ProcessFigures& after) {
  return after.privateBytes <= before.privateBytes + kPrivateBytesSlack &&
         after.heapInUse <= before.heapInUse + kHeapSlack &&
         after.handles <= before.handles + kHandleSlack;
}

// Many Gets on one object, with the process's figures before, at a tenth of
// the rounds and at the end (when long); flat means no growth past the slack
// from the first checkpoint on, and none beyond it over the whole run.
bool BenchManyGets(IZHttp* component, int rounds, bool longRun) {
  // A short header keeps the loop short.
  scenario::Server server;
  server.RecordNothing();
  server.SetDefault(scenario::Respond("HTTP/1.1 302 Found\r\n\r\n"));
  if (!server.Start(0)) {
    std::printf("cannot start the scenario server\n");
    return false;
  }
  std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/302";
  for (int i = 0; i < kWarmUpRounds; ++i) component->Get(url.c_str());

  const int checkpoint = rounds / kLeakCheckpoints;
  const int last = longRun ? rounds : checkpoint;
  ProcessFigures before = MeasureProcess();
  ProcessFigures atCheckpoint = before;
  std::printf("Many Gets on one object   [%s, %s]\n", before.privateSource, before.handleSource);
  PrintFigures("before", before, before);
  double start = NowMs();
  int failed = 0;
  for (int i = 1; i <= last; ++i) {
    if (component->Get(url.c_str()) != 1) ++failed;
    if (i == checkpoint || i == last) {
      ProcessFigures now = MeasureProcess();
      char label[32];
      std::snprintf(label, sizeof label, "after %d", i);
      PrintFigures(label, before, now);
      if (i == checkpoint) atCheckpoint = now;
      if (i == last) {
        bool flat = Flat(before, now) && Flat(atCheckpoint, now);
        std::printf("  %s over %d Gets (%.1f s, %.2f ms each, %d failed)\n",
                    flat ? "flat" : "GROWING", last, (NowMs() - start) / 1000,
                    (NowMs() - start) / last, failed);
        return flat && failed == 0;
      }
    }
  }
  return false;
}

// The last lines of the library's log, to tell why a check went astray.
void PrintLogTail(const std::string& installDir) {
  const std::string text = ReadLog(installDir);
  constexpr std::size_t kTail = 600;
  std::printf("log tail:\n%s\n", text.substr(text.size() > kTail ? text.size() - kTail : 0).c_str());
}

bool BenchCheck(IZHttp* component, const std::string& installDir, int receiveTimeOutMs) {
  // The current edition asks the IP-location page first, the earlier edition
  // the probe page.
  const scenario::Reply redirect = scenario::Respond(scenario::HttpResponse(
      "HTTP/1.1 302 Moved Temporarily",
      {"Location: " + std::string(kPortalTarget), "Connection: close"}, ""));
  scenario::Server portal;
  portal.Route(kit::HostOf(quarvel::kIpLocationUrl), "", redirect);
  portal.Route(kit::HostOf(quarvel::kProbeUrl), "", redirect);
  if (!portal.Start(kHttpPort)) {
    std::printf("cannot listen on port 80 (run it with ./quarvel bench)\n");
    return false;
  }
  std::vector<wchar_t> page(kPageCount);
  auto check = [&] {
    std::fill(page.begin(), page.end(), L'\0');
    int type = component->CheckNetDisconType(page.data(), kPageCount);
    if (type == AccountExpire && std::wcscmp(page.data(), kExpectedPage) == 0) return true;
    std::printf("CheckNetDisconType gave %d, page \"%ls\" (expected %d, \"%ls\")\n", type,
                page.data(), AccountExpire, kExpectedPage);
    PrintLogTail(installDir);
    return false;
  };
  bool checked = false;
  LeastCall least =
      LeastFor(quarvel::kIpLocationUrl, installDir, receiveTimeOutMs, check, &checked);
  least.rulesPath = installDir + "Data\\Quarvel.ini";
  least.ruleKeys = {{"ShanXi", "AccountExpirePage"}};
  return checked && Compare("CheckNetDisconType ending in AccountExpire", check, kHttpPort,
                            kit::RequestText(component), least, kCheckRounds);
}

// ---- Loading: the log folder's purge ----

// Files prefix00000..prefix(count-1) in dir; old ones are given creation and
// write times kOldLogAgeHours ago (Wine reports the write time as creation
// time and does not change the creation time).
bool MakeFiles(const std::string& dir, const std::string& prefix, int count, bool old) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER t;
  t.LowPart = now.dwLowDateTime;
  t.HighPart = now.dwHighDateTime;
  t.QuadPart -= static_cast<ULONGLONG>(kOldLogAgeHours * kTicksPerHour);
  const FILETIME then = {t.LowPart, t.HighPart};
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "%05d", i);
    HANDLE file = CreateFileA((dir + prefix + name).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    if (old) SetFileTime(file, &then, nullptr, &then);
    CloseHandle(file);
  }
  return true;
}

int CountFiles(const std::string& pattern) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++count;
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return count;
}

// One load and unload; the time of the load alone, -1 when it fails.
double TimeLoad(const std::string& dll) {
  double start = NowMs();
  HMODULE module = LoadLibraryA(dll.c_str());
  double elapsed = NowMs() - start;
  if (module == nullptr) return -1;
  FreeLibrary(module);
  return elapsed;
}

// A fresh, empty log folder under the install folder.
std::string FreshLogDir(const std::string& installDir) { return kit::FreshFolder(installDir + "Log"); }

// Load times with the install path at an empty log folder and at the bench's
// own, round by round in turn so that both see the same conditions; the
// bench's log folder holds unrelated files, then old logs made afresh before
// each of its loads.
bool BenchLoad(const std::string& dll, const std::string& installDir, SavedSetupValue* installPath) {
  const std::string emptyDir = kit::FreshFolder(installDir + "empty");
  FreshLogDir(emptyDir);
  std::string logDir = FreshLogDir(installDir);
  if (!MakeFiles(logDir, "unrelated-", kUnrelatedFiles, true)) {
    std::printf("cannot make the unrelated files\n");
    return false;
  }
  auto load = [&](const std::string& dir) {
    installPath->Set(kit::Widen(dir));
    return TimeLoad(dll);
  };
  // The first loads map the file; later ones find it cached.
  load(emptyDir);
  load(installDir);
  std::vector<double> empty, crowded, purging;
  for (int i = 0; i < kLoadRounds; ++i) {
    empty.push_back(load(emptyDir));
    crowded.push_back(load(installDir));
  }
  logDir = FreshLogDir(installDir);
  int purged = 0;
  for (int i = 0; i < kPurgeRounds; ++i) {
    if (!MakeFiles(logDir, "Quarvel_log.", kOldLogs, true)) {
      std::printf("cannot make the old logs\n");
      return false;
    }
    empty.push_back(load(emptyDir));
    purging.push_back(load(installDir));
    purged += kOldLogs - CountFiles(logDir + "Quarvel_log.*");
    FreshLogDir(installDir);
  }
  installPath->Set(kit::Widen(installDir));

  const double base = Median(empty);
  std::printf("%-44s %8.3f ms   (%u rounds)\n", "Load with an empty log folder", base,
              static_cast<unsigned>(empty.size()));
  char what[64];
  std::snprintf(what, sizeof what, "Load with %d unrelated files", kUnrelatedFiles);
  std::printf("%-44s %8.3f ms   ratio to empty %5.2f   (%d rounds)\n", what, Median(crowded),
              base > 0 ? Median(crowded) / base : 0.0, kLoadRounds);
  std::snprintf(what, sizeof what, "Load with %d old logs to purge", kOldLogs);
  std::printf("%-44s %8.3f ms   ratio to empty %5.2f   (%d rounds, %d of %d deleted)\n", what,
              Median(purging), base > 0 ? Median(purging) / base : 0.0, kPurgeRounds, purged,
              kPurgeRounds * kOldLogs);
  return true;
}

// ---- A line that has just stopped working ----

void WriteRules(const std::string& installDir, int timeLimitMs,
                const std::string& probeKeys = "") {
  std::string text = kRulesText;
  if (timeLimitMs > 0 || !probeKeys.empty()) text += "[Probe]\r\n" + probeKeys;
  if (timeLimitMs > 0) text += "TimeLimitMs=" + std::to_string(timeLimitMs) + "\r\n";
  kit::WriteRules(installDir, text);
}

// While it lives, the library's built-in host names are missing from the
// private network's hosts file, so that their look-ups ask the name server.
class HiddenBuiltInHosts {
 public:
  HiddenBuiltInHosts() : original_(ReadFile(kHostsFile)) {
    std::string kept, line;
    for (std::istringstream lines(original_); std::getline(lines, line);) {
      if (line.find(kit::HostOf(quarvel::kIpLocationUrl)) == std::string::npos &&
          line.find(kit::HostOf(quarvel::kProbeUrl)) == std::string::npos) {
        kept += line + "\n";
      }
    }
    hidden_ = !original_.empty() && WriteFile(kHostsFile, kept);
  }
  ~HiddenBuiltInHosts() {
    if (hidden_) WriteFile(kHostsFile, original_);
  }
  HiddenBuiltInHosts(const HiddenBuiltInHosts&) = delete;
  HiddenBuiltInHosts& operator=(const HiddenBuiltInHosts&) = delete;
  bool ok() const { return hidden_; }

 private:
  std::string original_;
  bool hidden_ = false;
};

// One fault of the line, played for as long as the object lives: on port 80,
// or at the name server with the built-in host names hidden.
struct DeadLine {
  enum Kind { kSilentNames, kDroppedConnects, kSilentServer, kNoSuchName, kReset, kFirstProbesDead };
  // A name that does not exist is answered after noSuchNameAfterMs.
  explicit DeadLine(Kind kind, int noSuchNameAfterMs = 0)
      : names(kind == kSilentNames ? -1 : noSuchNameAfterMs),
        hosts(kind == kSilentNames || kind == kNoSuchName ? new HiddenBuiltInHosts : nullptr) {
    if (hosts != nullptr) ok = hosts->ok() && names.Start();
    if (kind == kDroppedConnects) ok = dropping.Start(kHttpPort);
    if (kind == kSilentServer) server.SetDefault(scenario::Silent(kLookUpEndMs * 3));
    if (kind == kReset) server.SetDefault(scenario::ResetAtOnce());
    if (kind == kSilentServer || kind == kReset) ok = server.Start(kHttpPort);
    if (kind == kFirstProbesDead) PlayProbeAddresses();
  }
  // No IP-location page; of three connectivity-check addresses the first
  // never answers, the second drops the connection attempts, the third
  // answers "204".
  void PlayProbeAddresses() {
    server.SetDefault(scenario::Respond(kit::NotFound404()));
    server.Route("", "/generate_204",
                 scenario::Respond("HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n"));
    silent.SetDefault(scenario::Silent(kLookUpEndMs * 3));
    ok = server.Start(kHttpPort) && silent.Start(0) && dropping.Start(0);
    probeKeys = "Expect=204\r\nUrl=http://127.0.0.1:" + std::to_string(silent.Port()) +
                "/ http://127.0.0.1:" + std::to_string(dropping.Port()) +
                "/ http://127.0.0.1/generate_204\r\n";
  }
  ~DeadLine() { delete hosts; }
  scenario::SlowNameServer names;
  scenario::DroppingListener dropping;
  scenario::Server server;
  scenario::Server silent;
  HiddenBuiltInHosts* hosts;
  bool ok = false;
  std::string probeKeys;  // the [Probe] keys the fault needs
};

// One CheckNetDisconType of a new object of dll with the host's wait time
// of a dead line: its time in milliseconds, and its result.
double TimeCheck(const std::string& dll, int* result) {
  Library library(dll);
  IZHttp* component = library.Create(kTimeOutMs);
  if (component == nullptr) return -1;
  component->SetTimeOut(kFaultTimeOutMs);
  std::vector<wchar_t> page(kPageCount);
  double start = NowMs();
  *result = component->CheckNetDisconType(page.data(), kPageCount);
  double elapsed = NowMs() - start;
  component->Release();
  return elapsed;
}

// Every fault against every DLL, without and with the time limit: one call
// each, as a host asks once when its line has stopped working.
bool BenchDeadLine(const std::vector<std::string>& dlls, const std::string& installDir) {
  const struct {
    DeadLine::Kind kind;
    const char* name;
  } faults[] = {
      {DeadLine::kSilentNames, "name server that never answers"},
      {DeadLine::kDroppedConnects, "connection attempts dropped"},
      {DeadLine::kSilentServer, "server accepts, never answers"},
      {DeadLine::kNoSuchName, "no such name"},
      {DeadLine::kReset, "connection reset"},
      {DeadLine::kFirstProbesDead, "first probe addresses dead"},
  };
  std::printf("\nA line that has stopped working: one CheckNetDisconType, SetTimeOut(%d), "
              "in ms (result)\n%-32s", kFaultTimeOutMs, "fault");
  for (const std::string& dll : dlls) {
    std::string edition = dll.substr(0, dll.find_last_of('\\'));
    edition = edition.substr(edition.find_last_of('\\') + 1);
    std::printf("  %-16s %-22s", edition.c_str(), ("with TimeLimitMs=" + std::to_string(kFaultTimeLimitMs)).c_str());
  }
  std::printf("\n");
  bool ok = true;
  for (const auto& fault : faults) {
    DeadLine line(fault.kind);
    if (!line.ok) {
      std::printf("%s: cannot play the fault\n", fault.name);
      ok = false;
      continue;
    }
    std::printf("%-32s", fault.name);
    for (const std::string& dll : dlls) {
      for (int limit : {0, kFaultTimeLimitMs}) {
        WriteRules(installDir, limit, line.probeKeys);
        int result = -1;
        double ms = TimeCheck(dll, &result);
        std::printf("  %8.0f (%d)%*s", ms, result, limit > 0 ? 10 : 4, "");
        std::fflush(stdout);
      }
    }
    std::printf("\n");
  }
  WriteRules(installDir, 0);
  return ok;
}

// Waits up to endMs until no look-up holds dll any more and it is gone from
// the process.
bool WaitForUnload(const std::string& dll, int endMs) {
  for (double start = NowMs(); GetModuleHandleA(dll.c_str()) != nullptr;) {
    if (NowMs() - start > endMs) return false;
    Sleep(20);
  }
  return true;
}

// The process's threads, from a snapshot of the system's threads.
int CountThreads() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  THREADENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

// One way calls time out in the look-up: the fault of the name server, and
// whether each call asks for a host of its own or all for the default page's.
struct LookUpFault {
  DeadLine::Kind kind;
  int answerAfterMs;
  bool hostEach;
  int endMs;  // how long the system takes to give up on the look-ups
  const char* what;
};

// Calls that time out in the look-up, the library unloaded meanwhile: the
// process's figures after a first round of such calls and its unload (the
// system's own first-use costs), the most threads and the most private
// bytes during a second round, its figures after that round, once the
// unloaded library's look-ups have ended, and after a reload, one more call
// and an unload.
bool BenchTimedOutLookUps(const std::string& dll, const std::string& installDir,
                          const LookUpFault& fault) {
  DeadLine line(fault.kind, fault.answerAfterMs);
  if (!line.ok) {
    std::printf("cannot play the %s\n", fault.what);
    return false;
  }
  WriteRules(installDir, kLookUpLimitMs);
  int answered = 0;
  bool unloaded = true;
  ProcessFigures figures[4];
  ProcessFigures peak;
  int threadsBefore = 0, mostThreads = 0;
  const int calls[] = {kLookUpRounds, kLookUpRounds, 1};
  for (int pass = 0; pass < 3; ++pass) {
    {
      Library library(dll);
      IZHttp* component = library.Create(kTimeOutMs);
      if (component == nullptr) return false;
      if (pass == 1) threadsBefore = mostThreads = CountThreads();
      for (int i = 0; i < calls[pass]; ++i) {
        const std::string url = "http://unlisted-" + std::to_string(pass) + "-" +
                                std::to_string(i) + ".example/";
        answered += component->Get(fault.hostEach ? url.c_str() : "");
        if (pass != 1) continue;
        mostThreads = std::max(mostThreads, CountThreads());
        const ProcessFigures now = MeasureProcess();
        if (now.privateBytes > peak.privateBytes) peak = now;
      }
      if (pass == 1) figures[1] = MeasureProcess();
      component->Release();
    }
    unloaded = WaitForUnload(dll, fault.endMs) && unloaded;
    figures[pass == 0 ? 0 : pass + 1] = MeasureProcess();
  }
  WriteRules(installDir, 0);
  std::printf("\n%d Gets that time out in the look-up (TimeLimitMs=%d), %s; unload, reload,"
              " one more   [%s, %s]\n", kLookUpRounds, kLookUpLimitMs, fault.what,
              figures[0].privateSource, figures[0].handleSource);
  const char* labels[] = {"before", "after calls", "unloaded", "reloaded"};
  for (int i = 0; i < 4; ++i) PrintFigures(labels[i], figures[0], figures[i]);
  PrintFigures("at the peak", figures[0], peak);
  const int mostLookUps = mostThreads - threadsBefore;
  const bool capped = mostLookUps <= quarvel::kMostLookUps;
  std::printf("  %s: at most %d look-up threads at once (the cap: %d)\n",
              capped ? "capped" : "OVER THE CAP", mostLookUps, quarvel::kMostLookUps);
  bool flat = Flat(figures[0], figures[2]) && Flat(figures[0], figures[3]) && unloaded &&
              answered == 0;
  std::printf("  %s: the library %s each time its look-ups ended; %d of %d calls answered\n",
              flat ? "flat" : "GROWING", unloaded ? "left the process" : "STAYED LOADED",
              answered, 2 * kLookUpRounds + 1);
  return flat && capped;
}

bool BenchTimedOutLookUps(const std::string& dll, const std::string& installDir) {
  const LookUpFault faults[] = {
      {DeadLine::kNoSuchName, kLateAnswerMs, false, kLookUpEndMs,
       "the default page's host, answered late"},
      {DeadLine::kSilentNames, 0, true, kSilentLookUpEndMs,
       "a host of its own each, never answered"},
  };
  bool ok = true;
  for (const LookUpFault& fault : faults) ok = BenchTimedOutLookUps(dll, installDir, fault) && ok;
  return ok;
}

// ---- This build beside a baseline build of the same edition ----

// Times each call of this build's object and of the baseline's, in turn
// round by round so that both see the same conditions.
bool CompareBuilds(const char* what, const std::function<bool(IZHttp*)>& call, IZHttp* now,
                   IZHttp* before) {
  std::vector<double> nowMs, beforeMs;
  for (int i = -kWarmUpRounds; i < kTimingRounds; ++i) {
    double start = NowMs();
    bool ok = call(now);
    const double callMs = NowMs() - start;
    start = NowMs();
    ok = call(before) && ok;
    if (!ok) {
      std::printf("%s: round %d failed\n", what, i);
      return false;
    }
    if (i < 0) continue;
    nowMs.push_back(callMs);
    beforeMs.push_back(NowMs() - start);
  }
  const double a = Median(nowMs), b = Median(beforeMs);
  std::printf("%-44s this build %8.3f ms   baseline %8.3f ms   ratio %5.2f   (%d rounds)\n", what,
              a, b, b > 0 ? a / b : 0.0, kTimingRounds);
  return true;
}

// One thread's Gets and checks on this build and on a baseline build (say,
// the one before a change) of the same edition, loaded side by side.
bool BenchAgainstBaseline(const std::string& dll, const std::string& baseline) {
  Library nowLibrary(dll), beforeLibrary(baseline);
  IZHttp* now = nowLibrary.Create(kTimeOutMs);
  IZHttp* before = beforeLibrary.Create(kTimeOutMs);
  scenario::Server server;
  server.RecordNothing();
  server.Route("", "/302", scenario::Respond(kit::Found302(kPortalTarget, {"Connection: close"})));
  server.Route("", "/200", scenario::Respond(kit::Ok200("<html><body>small page</body></html>")));
  scenario::Server portal;
  portal.RecordNothing();
  portal.SetDefault(scenario::Respond(kit::Found302(kPortalTarget, {"Connection: close"})));
  bool ok = now != nullptr && before != nullptr && server.Start(0) && portal.Start(kHttpPort);
  std::printf("\nThis build beside the baseline %s\n", baseline.c_str());
  const std::string base = "http://127.0.0.1:" + std::to_string(server.Port());
  auto get = [](const std::string& url) {
    return [url](IZHttp* component) { return component->Get(url.c_str()) == 1; };
  };
  auto check = [](IZHttp* component) {
    std::vector<wchar_t> page(kPageCount);
    return component->CheckNetDisconType(page.data(), kPageCount) == AccountExpire;
  };
  ok = ok && CompareBuilds("Get of a closing \"302\" page", get(base + "/302"), now, before);
  ok = ok && CompareBuilds("Get of a closing \"200\" page", get(base + "/200"), now, before);
  // Fresh objects: a check starts from the default page, as a host's does.
  if (now != nullptr) now->Release();
  if (before != nullptr) before->Release();
  now = nowLibrary.Create(kTimeOutMs);
  before = beforeLibrary.Create(kTimeOutMs);
  ok = ok && now != nullptr && before != nullptr &&
       CompareBuilds("CheckNetDisconType ending in AccountExpire", check, now, before);
  if (now != nullptr) now->Release();
  if (before != nullptr) before->Release();
  if (!ok) std::printf("cannot compare with the baseline\n");
  return ok;
}

// ---- One edition ----

bool BenchEdition(const std::string& dll, const std::string& installDir, SavedSetupValue* installPath,
                  int gets, bool longRun) {
  std::printf("\nQuarvel bench: %s\n", dll.c_str());
  bool ok = BenchLoad(dll, installDir, installPath);
  Library library(dll);
  IZHttp* component = library.Create(kTimeOutMs);
  if (component == nullptr) {
    std::printf("cannot load %s\n", dll.c_str());
    return false;
  }
  ok = BenchGet(component, installDir, ReceiveTimeOutOf(library)) && ok;
  ok = BenchManyGets(component, gets, longRun) && ok;
  component->Release();
  // A new object, whose first check starts from the default page as a host's
  // does (the old one would fetch its last URL first).
  IZHttp* checker = library.Create(kTimeOutMs);
  ok = checker != nullptr && BenchCheck(checker, installDir, ReceiveTimeOutOf(library)) && ok;
  if (checker != nullptr) checker->Release();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> dlls;
  int gets = kLeakRounds;
  bool faultsOnly = false, logReadingOnly = false;
  std::string baseline;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--dll") == 0 && i + 1 < argc) {
      dlls.push_back(argv[++i]);
    } else if (std::strcmp(argv[i], "--gets") == 0 && i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
      gets = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--faults") == 0) {
      faultsOnly = true;
    } else if (std::strcmp(argv[i], "--log-reading") == 0) {
      logReadingOnly = true;
    } else if (std::strcmp(argv[i], "--baseline") == 0 && i + 1 < argc) {
      baseline = argv[++i];
    } else {
      std::printf("usage: quarvel-bench.exe [--dll PATH]... [--gets COUNT] [--faults] "
                  "[--log-reading] [--baseline PATH]\n");
      return 2;
    }
  }
  if (dlls.empty()) dlls = {QUARVEL_CURRENT_DLL, QUARVEL_EARLIER_DLL};

  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
    std::printf("no Winsock\n");
    return 1;
  }
  char temp[MAX_PATH];
  DWORD tempLen = GetTempPathA(sizeof temp, temp);
  std::string installDir =
      tempLen > 0 && tempLen < sizeof temp ? kit::FreshFolder(std::string(temp) + "quarvel-bench") : "";
  if (installDir.empty() || !kit::WriteRules(installDir, kRulesText)) {
    std::printf("cannot make the install folder\n");
    return 1;
  }

  bool ok = true;
  {
    // The log path and the province code are taken at load and construction.
    SavedSetupValue installPath(L"InstallPath", kit::Widen(installDir));
    SavedSetupValue channel(L"channel", L"x-27");
    if (!installPath.ok() || !channel.ok()) {
      std::printf("cannot write the setup key\n");
      ok = false;
    } else if (logReadingOnly) {
      ok = bench::BenchLogReading(dlls, installDir);
    } else {
      if (!baseline.empty()) ok = BenchAgainstBaseline(dlls[0], baseline) && ok;
      // The long run of Gets only for the first DLL (the current edition).
      for (std::size_t i = 0; i < dlls.size() && !faultsOnly; ++i) {
        ok = BenchEdition(dlls[i], installDir, &installPath, gets, i == 0) && ok;
      }
      ok = BenchDeadLine(dlls, installDir) && ok;
      ok = BenchTimedOutLookUps(dlls[0], installDir) && ok;
      ok = bench::BenchLogReading(dlls, installDir) && ok;
    }
  }
  RemoveTree(installDir);
  WSACleanup();
  return ok ? 0 : 1;
}
