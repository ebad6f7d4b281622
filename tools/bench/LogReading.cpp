#include "tools/bench/LogReading.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>

#include "tools/kit/Kit.h"

namespace bench {
namespace {

constexpr std::size_t kLogBytes = 100u << 20;
constexpr std::size_t kSeedLimit = 1u << 20;  // of the library's own log, at most
constexpr int kCallsPerDll = 3;
constexpr DWORD kRunLimitMs = 120000;
constexpr DWORD kPollMs = 20;

// A seed of whole lines of the library's own log, with its mix of editions.
std::string Seed(const std::vector<std::string>& dlls, const std::string& installDir) {
  for (const std::string& dll : dlls) {
    kit::Library library(dll);
    for (int i = 0; i < kCallsPerDll; ++i) {
      IZHttp* component = library.Create(500);
      if (component == nullptr) break;
      wchar_t page[260] = {};
      component->CheckNetDisconType(page, 260);
      component->Release();
    }
  }
  std::string log = kit::ReadLog(installDir);
  if (log.size() > kSeedLimit) log.resize(log.rfind('\n', kSeedLimit) + 1);
  return log;
}

bool WriteRepeated(const std::string& path, const std::string& seed) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  for (std::size_t written = 0; ok && written < kLogBytes; written += seed.size()) {
    DWORD n = 0;
    ok = WriteFile(file, seed.data(), static_cast<DWORD>(seed.size()), &n, nullptr) &&
         n == seed.size();
  }
  CloseHandle(file);
  return ok;
}

}  // namespace

bool BenchLogReading(const std::vector<std::string>& dlls, const std::string& installDir) {
  std::string seed = Seed(dlls, installDir);
  std::string path = installDir + "bench-100MB.log";
  if (seed.empty() || !WriteRepeated(path, seed)) {
    std::printf("quarvel-check log: cannot make the 100 MB log\n");
    return false;
  }
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                           nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = nul;
  PROCESS_INFORMATION process = {};
  std::string line = std::string("\"") + QUARVEL_CHECK_EXE + "\" log \"" + path + "\"";
  double start = kit::NowMs();
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    CloseHandle(nul);
    std::printf("quarvel-check log: cannot start %s\n", QUARVEL_CHECK_EXE);
    return false;
  }
  // The peak while it runs: the counters of a process that has ended are gone under Wine.
  SIZE_T peak = 0;
  PROCESS_MEMORY_COUNTERS counters = {};
  while (WaitForSingleObject(process.hProcess, kPollMs) == WAIT_TIMEOUT) {
    if (GetProcessMemoryInfo(process.hProcess, &counters, sizeof counters)) {
      peak = std::max({peak, counters.PeakWorkingSetSize, counters.WorkingSetSize});
    }
    if (kit::NowMs() - start > kRunLimitMs) TerminateProcess(process.hProcess, 1);
  }
  double ms = kit::NowMs() - start;
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(nul);
  DeleteFileA(path.c_str());
  std::printf("quarvel-check log on a %zu MB log (%zu-byte seed of the library's lines): %.1f s, "
              "peak working set %llu KB%s\n",
              kLogBytes >> 20, seed.size(), ms / 1000,
              static_cast<unsigned long long>(peak >> 10),
              status == 0 ? "" : " (it failed)");
  return status == 0;
}

}  // namespace bench
