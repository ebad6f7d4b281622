// quarvel-bench: figures for the current edition of Quarvel.dll on loopback.
//   - the median time of one Get of a small closing "302" page and of a small
//     closing "200" page, beside a plain Winsock fetch of the same page;
//   - private bytes, heap bytes in use and the handle count before and after
//     many Gets on one object;
//   - the median time of one CheckNetDisconType that ends in a found rule,
//     beside a plain Winsock fetch of the page it reads.
// Run inside the private network namespace (./quarvel bench): the library's
// IP-location host must reach a server on 127.0.0.1:80.
//   quarvel-bench.exe [--dll PATH] [--gets COUNT]   (COUNT: the many Gets, 10000)
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "include/Quarvel.h"
#include "support/Settings.h"
#include "tools/scenario/ScenarioServer.h"

namespace {

constexpr int kWarmUpRounds = 10;
constexpr int kTimingRounds = 100;
constexpr int kCheckRounds = 60;
constexpr int kLeakRounds = 10000;
constexpr int kTimeOutMs = 2000;
constexpr unsigned short kHttpPort = 80;
constexpr int kReadChunk = 4096;
constexpr unsigned int kPageCount = 1024;
// Growth over the many Gets that counts as a leak.
constexpr SIZE_T kPrivateBytesSlack = 512 * 1024;
constexpr SIZE_T kHeapSlack = 64 * 1024;
constexpr DWORD kHandleSlack = 16;

const wchar_t kSetupKey[] = L"SOFTWARE\\Korvanta\\Setup";
const char kPortalTarget[] = "http://portal/arrears";
const char kRulesText[] = "[ShanXi]\r\nAccountExpirePage=arrears\r\n";
const wchar_t kExpectedPage[] = L"arrears";

double NowMs() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  std::size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// ---- The setup key: values set for the run, the old ones put back after ----

class SetupValue {
 public:
  SetupValue(const wchar_t* name, const std::wstring& value) : name_(name) {
    HKEY key = Open();
    if (key == nullptr) return;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name_, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      old_.resize(size);
      if (RegQueryValueExW(key, name_, nullptr, &type, old_.data(), &size) == ERROR_SUCCESS) {
        hadOld_ = true;
        oldType_ = type;
        old_.resize(size);
      }
    }
    ok_ = RegSetValueExW(key, name_, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
          ERROR_SUCCESS;
    RegCloseKey(key);
  }
  ~SetupValue() {
    HKEY key = Open();
    if (key == nullptr) return;
    if (hadOld_) {
      RegSetValueExW(key, name_, 0, oldType_, old_.data(), static_cast<DWORD>(old_.size()));
    } else {
      RegDeleteValueW(key, name_);
    }
    RegCloseKey(key);
  }
  SetupValue(const SetupValue&) = delete;
  SetupValue& operator=(const SetupValue&) = delete;
  bool ok() const { return ok_; }

 private:
  static HKEY Open() {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSetupKey, 0, nullptr, 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
      return nullptr;
    }
    return key;
  }
  const wchar_t* name_;
  bool ok_ = false;
  bool hadOld_ = false;
  DWORD oldType_ = REG_SZ;
  std::vector<BYTE> old_;
};

// ---- The install folder: the rules file, and the log the library writes ----

void RemoveTree(const std::string& dir) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((dir + "*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(dir + name + "\\");
      } else {
        DeleteFileA((dir + name).c_str());
      }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(dir.c_str());
}

// A fresh folder under the temporary directory, with a trailing backslash.
std::string MakeInstallDir() {
  char temp[MAX_PATH];
  DWORD len = GetTempPathA(sizeof temp, temp);
  if (len == 0 || len >= sizeof temp) return "";
  std::string dir = std::string(temp) + "quarvel-bench\\";
  RemoveTree(dir);
  if (!CreateDirectoryA(dir.c_str(), nullptr)) return "";
  if (!CreateDirectoryA((dir + "Data").c_str(), nullptr)) return "";
  FILE* rules = std::fopen((dir + "Data\\Quarvel.ini").c_str(), "wb");
  if (rules == nullptr) return "";
  std::fwrite(kRulesText, 1, sizeof kRulesText - 1, rules);
  std::fclose(rules);
  return dir;
}

std::wstring Widen(const std::string& text) {
  int units = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (units <= 1) return L"";
  std::wstring wide(static_cast<std::size_t>(units - 1), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], units);
  return wide;
}

// ---- The library ----

class Library {
 public:
  explicit Library(const std::string& path) : module_(LoadLibraryA(path.c_str())) {}
  ~Library() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // A new component with the wait time-out set; null on failure.
  IZHttp* Create() const {
    if (module_ == nullptr) return nullptr;
    // Through void* since FARPROC's type differs from the factory's.
    auto factory = reinterpret_cast<CreateComponentProc>(
        reinterpret_cast<void*>(GetProcAddress(module_, "CreateComponent")));
    void* out = nullptr;
    if (factory == nullptr || factory(IID_IZHttp, &out) != S_OK) return nullptr;
    IZHttp* component = static_cast<IZHttp*>(out);
    component->SetTimeOut(kTimeOutMs);
    return component;
  }

 private:
  HMODULE module_;
};

std::string RequestText(IZHttp* component) {
  std::vector<char> buffer(QUARVEL_REQUEST_HEADER_SIZE + 1, '\0');
  component->GetRequestHeader(buffer.data());
  return buffer.data();
}

// ---- The plain Winsock fetch: connect, send, 4 KiB reads until close ----

bool PlainFetch(unsigned short port, const std::string& request) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return false;
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0 &&
            send(s, request.data(), static_cast<int>(request.size()), 0) ==
                static_cast<int>(request.size());
  long total = 0;
  char chunk[kReadChunk];
  for (int n; ok && (n = recv(s, chunk, sizeof chunk, 0)) > 0;) total += n;
  closesocket(s);
  return ok && total > 0;
}

// ---- A sequential responder for the many Gets ----

// Answers one connection after another with the same bytes, recording
// nothing, so that the process's figures around the Gets hold only what the
// library and Winsock keep.
class Responder {
 public:
  explicit Responder(const std::string& reply) : reply_(reply) {}
  ~Responder() { Stop(); }
  Responder(const Responder&) = delete;
  Responder& operator=(const Responder&) = delete;

  bool Start() {
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener_ == INVALID_SOCKET) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof addr;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener_, SOMAXCONN) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      return false;
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread(&Responder::Serve, this);
    return true;
  }

  void Stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    listener_ = INVALID_SOCKET;
  }

  unsigned short Port() const { return port_; }

 private:
  // True when s becomes readable within ms.
  static bool Readable(SOCKET s, int ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval limit{ms / 1000, (ms % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &limit) > 0;
  }

  void Serve() {
    char chunk[kReadChunk];
    while (!stopping_) {
      if (!Readable(listener_, 50)) continue;
      SOCKET s = accept(listener_, nullptr, nullptr);
      if (s == INVALID_SOCKET) continue;
      // The request ends with its empty line; a quiet second ends it too.
      std::string request;
      while (request.find("\r\n\r\n") == std::string::npos && Readable(s, 1000)) {
        int n = recv(s, chunk, sizeof chunk, 0);
        if (n <= 0) break;
        request.append(chunk, static_cast<std::size_t>(n));
      }
      send(s, reply_.data(), static_cast<int>(reply_.size()), 0);
      shutdown(s, SD_SEND);
      closesocket(s);
    }
  }

  std::string reply_;
  SOCKET listener_ = INVALID_SOCKET;
  unsigned short port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

// ---- The figures ----

// System handle table entry (NtQuerySystemInformation class 16).
struct SystemHandleEntry {
  ULONG processId;
  UCHAR objectType;
  UCHAR flags;
  USHORT handle;
  PVOID object;
  ACCESS_MASK access;
};
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
using QuerySystemInformationProc = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

// The process's handles as the system handle table lists them; 0 when the
// table cannot be read.
DWORD CountHandlesInSystemTable() {
  auto query = reinterpret_cast<QuerySystemInformationProc>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  if (query == nullptr) return 0;
  std::vector<char> table(64 * 1024);
  LONG status;
  while ((status = query(kSystemHandleInformation, table.data(),
                         static_cast<ULONG>(table.size()), nullptr)) == kInfoLengthMismatch &&
         table.size() < (64u << 20)) {
    table.resize(table.size() * 2);
  }
  if (status != 0) return 0;
  ULONG count = *reinterpret_cast<const ULONG*>(table.data());
  const SystemHandleEntry* entries =
      reinterpret_cast<const SystemHandleEntry*>(table.data() + sizeof(ULONG_PTR));
  DWORD mine = 0;
  for (ULONG i = 0; i < count; ++i) {
    if (entries[i].processId == GetCurrentProcessId()) ++mine;
  }
  return mine;
}

// Committed private memory, region by region.
SIZE_T SumPrivateRegions() {
  SIZE_T total = 0;
  MEMORY_BASIC_INFORMATION region;
  const char* at = nullptr;
  while (VirtualQuery(at, &region, sizeof region) == sizeof region) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    if (next <= at) break;
    at = next;
  }
  return total;
}

// Bytes in busy blocks of every heap of the process: a leak too small to
// commit new pages still shows here.
SIZE_T HeapBytesInUse() {
  std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
  DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
  if (count > heaps.size()) return 0;
  SIZE_T total = 0;
  for (DWORD i = 0; i < count; ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
    }
    HeapUnlock(heaps[i]);
  }
  return total;
}

struct ProcessFigures {
  SIZE_T privateBytes = 0;
  SIZE_T heapInUse = 0;
  DWORD handles = 0;
  const char* privateSource = "";
  const char* handleSource = "";
};

// Private bytes and handle count from psapi and kernel32; where those give 0
// (Wine leaves both unset), from the address space and the handle table.
ProcessFigures MeasureProcess() {
  ProcessFigures figures;
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(GetCurrentProcess(),
                           reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof counters) &&
      counters.PrivateUsage > 0) {
    figures.privateBytes = counters.PrivateUsage;
    figures.privateSource = "GetProcessMemoryInfo";
  } else {
    figures.privateBytes = SumPrivateRegions();
    figures.privateSource = "committed private regions";
  }
  if (GetProcessHandleCount(GetCurrentProcess(), &figures.handles) && figures.handles > 0) {
    figures.handleSource = "GetProcessHandleCount";
  } else {
    figures.handles = CountHandlesInSystemTable();
    figures.handleSource = "system handle table";
  }
  figures.heapInUse = HeapBytesInUse();
  return figures;
}

void PrintComparison(const char* what, const std::vector<double>& library,
                     const std::vector<double>& plain) {
  double lib = Median(library), raw = Median(plain);
  std::printf("%-44s %8.3f ms   plain Winsock %8.3f ms   ratio %5.2f   (%u rounds)\n", what,
              lib, raw, raw > 0 ? lib / raw : 0.0, static_cast<unsigned>(library.size()));
}

// Times Get of url against a plain fetch of the same request, round by round
// in turn so that both see the same conditions. False when a Get fails.
bool CompareGet(IZHttp* component, const std::string& url, unsigned short port,
                const char* what) {
  if (component->Get(url.c_str()) != 1) {
    std::printf("%s: Get failed\n", what);
    return false;
  }
  std::string request = RequestText(component);
  for (int i = 0; i < kWarmUpRounds; ++i) {
    component->Get(url.c_str());
    PlainFetch(port, request);
  }
  std::vector<double> library, plain;
  for (int i = 0; i < kTimingRounds; ++i) {
    double start = NowMs();
    int result = component->Get(url.c_str());
    library.push_back(NowMs() - start);
    start = NowMs();
    bool fetched = PlainFetch(port, request);
    plain.push_back(NowMs() - start);
    if (result != 1 || !fetched) {
      std::printf("%s: round %d failed (Get %d, plain fetch %d)\n", what, i, result, fetched);
      return false;
    }
  }
  PrintComparison(what, library, plain);
  return true;
}

bool BenchGet(IZHttp* component) {
  scenario::Server server;
  server.Route("", "/302",
               scenario::Respond(scenario::HttpResponse(
                   "HTTP/1.1 302 Moved Temporarily",
                   {"Location: " + std::string(kPortalTarget), "Content-Length: 0",
                    "Connection: close"},
                   "")));
  server.Route("", "/200",
               scenario::Respond(scenario::HttpResponse(
                   "HTTP/1.1 200 OK", {"Content-Type: text/html", "Connection: close"},
                   "<html><body>small page</body></html>")));
  if (!server.Start(0)) {
    std::printf("cannot start the scenario server\n");
    return false;
  }
  std::string base = "http://127.0.0.1:" + std::to_string(server.Port());
  return CompareGet(component, base + "/302", server.Port(), "Get of a closing \"302\" page") &&
         CompareGet(component, base + "/200", server.Port(), "Get of a closing \"200\" page");
}

bool BenchManyGets(IZHttp* component, int rounds) {
  // The header is read one byte per receive: a short one keeps the loop short.
  Responder responder("HTTP/1.1 302 Found\r\n\r\n");
  if (!responder.Start()) {
    std::printf("cannot start the responder\n");
    return false;
  }
  std::string url = "http://127.0.0.1:" + std::to_string(responder.Port()) + "/302";
  for (int i = 0; i < kWarmUpRounds; ++i) component->Get(url.c_str());

  ProcessFigures before = MeasureProcess();
  double start = NowMs();
  int failed = 0;
  for (int i = 0; i < rounds; ++i) {
    if (component->Get(url.c_str()) != 1) ++failed;
  }
  double elapsed = NowMs() - start;
  ProcessFigures after = MeasureProcess();

  bool flat = after.privateBytes <= before.privateBytes + kPrivateBytesSlack &&
              after.heapInUse <= before.heapInUse + kHeapSlack &&
              after.handles <= before.handles + kHandleSlack;
  std::printf("%d Gets on one object (%.1f s, %d failed):\n", rounds, elapsed / 1000, failed);
  std::printf("  private bytes %10lu before, %10lu after (%+ld)   [%s]\n",
              static_cast<unsigned long>(before.privateBytes),
              static_cast<unsigned long>(after.privateBytes),
              static_cast<long>(after.privateBytes) - static_cast<long>(before.privateBytes),
              after.privateSource);
  std::printf("  heap in use   %10lu before, %10lu after (%+ld)   [busy heap blocks]\n",
              static_cast<unsigned long>(before.heapInUse),
              static_cast<unsigned long>(after.heapInUse),
              static_cast<long>(after.heapInUse) - static_cast<long>(before.heapInUse));
  std::printf("  handles       %10lu before, %10lu after (%+ld)   [%s]\n",
              static_cast<unsigned long>(before.handles), static_cast<unsigned long>(after.handles),
              static_cast<long>(after.handles) - static_cast<long>(before.handles),
              after.handleSource);
  std::printf("  %s\n", flat ? "flat" : "GROWING");
  return flat && failed == 0;
}

// The host of the built-in IP-location URL, which the check fetches first.
std::string IpLocationHost() {
  std::string url = quarvel::kIpLocationUrl;
  std::size_t begin = url.find("://");
  begin = begin == std::string::npos ? 0 : begin + 3;
  return url.substr(begin, url.find_first_of(":/", begin) - begin);
}

// The last lines of the library's log, to tell why a check went astray.
void PrintLogTail(const std::string& installDir) {
  FILE* log = std::fopen((installDir + "Log\\Quarvel_log.log").c_str(), "rb");
  if (log == nullptr) return;
  std::string text;
  char chunk[kReadChunk];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, log)) > 0;) text.append(chunk, n);
  std::fclose(log);
  constexpr std::size_t kTail = 600;
  std::printf("log tail:\n%s\n", text.substr(text.size() > kTail ? text.size() - kTail : 0).c_str());
}

bool BenchCheck(IZHttp* component, const std::string& installDir) {
  scenario::Server portal;
  portal.Route(IpLocationHost(), "",
               scenario::Respond(scenario::HttpResponse(
                   "HTTP/1.1 302 Moved Temporarily",
                   {"Location: " + std::string(kPortalTarget), "Connection: close"}, "")));
  if (!portal.Start(kHttpPort)) {
    std::printf("cannot listen on port 80 (run it with ./quarvel bench)\n");
    return false;
  }
  std::vector<wchar_t> page(kPageCount);
  std::vector<double> library, plain;
  std::string request;
  for (int i = 0; i < kWarmUpRounds + kCheckRounds; ++i) {
    std::fill(page.begin(), page.end(), L'\0');
    double start = NowMs();
    int type = component->CheckNetDisconType(page.data(), kPageCount);
    double checkMs = NowMs() - start;
    if (type != AccountExpire || std::wcscmp(page.data(), kExpectedPage) != 0) {
      std::printf("CheckNetDisconType gave %d, page \"%ls\" (expected %d, \"%ls\")\n", type,
                  page.data(), AccountExpire, kExpectedPage);
      PrintLogTail(installDir);
      return false;
    }
    if (request.empty()) request = RequestText(component);
    start = NowMs();
    bool fetched = PlainFetch(kHttpPort, request);
    double plainMs = NowMs() - start;
    if (!fetched) {
      std::printf("plain fetch of the IP-location page failed\n");
      return false;
    }
    if (i >= kWarmUpRounds) {
      library.push_back(checkMs);
      plain.push_back(plainMs);
    }
  }
  PrintComparison("CheckNetDisconType ending in AccountExpire", library, plain);
  return true;
}

std::string DefaultDll() { return QUARVEL_CURRENT_DLL; }

}  // namespace

int main(int argc, char** argv) {
  std::string dll = DefaultDll();
  int gets = kLeakRounds;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--dll") == 0 && i + 1 < argc) {
      dll = argv[++i];
    } else if (std::strcmp(argv[i], "--gets") == 0 && i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
      gets = std::atoi(argv[++i]);
    } else {
      std::printf("usage: quarvel-bench.exe [--dll PATH] [--gets COUNT]\n");
      return 2;
    }
  }

  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
    std::printf("no Winsock\n");
    return 1;
  }
  std::string installDir = MakeInstallDir();
  if (installDir.empty()) {
    std::printf("cannot make the install folder\n");
    return 1;
  }

  bool ok = false;
  {
    // The log path and the province code are taken at load and construction.
    SetupValue installPath(L"InstallPath", Widen(installDir));
    SetupValue channel(L"channel", L"x-27");
    if (!installPath.ok() || !channel.ok()) {
      std::printf("cannot write the setup key\n");
    } else {
      Library library(dll);
      IZHttp* component = library.Create();
      if (component == nullptr) {
        std::printf("cannot load %s\n", dll.c_str());
      } else {
        std::printf("Quarvel bench: %s\n", dll.c_str());
        ok = BenchGet(component);
        ok = BenchManyGets(component, gets) && ok;
        component->Release();
        // A new object, whose first check starts from the IP-location page as
        // a host's does (the old one would fetch its last URL first).
        IZHttp* checker = library.Create();
        ok = checker != nullptr && BenchCheck(checker, installDir) && ok;
        if (checker != nullptr) checker->Release();
      }
    }
  }
  RemoveTree(installDir);
  WSACleanup();
  return ok ? 0 : 1;
}
