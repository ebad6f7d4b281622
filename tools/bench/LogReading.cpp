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
constexpr unsigned kPageUnits = 260;  // the dial-up client's page buffer

// A seed of whole lines of the library's own log, with its mix of editions.
std::string Seed(const std::vector<std::string>& dlls, const std::string& installDir) {
  for (const std::string& dll : dlls) {
    kit::Library library(dll);
    for (int i = 0; i < kCallsPerDll; ++i) {
      IZHttp* component = library.Create(500);
      if (component == nullptr) break;
      wchar_t page[kPageUnits] = {};
      component->CheckNetDisconType(page, kPageUnits);
      component->Release();
    }
  }
  std::string log = kit::ReadLog(installDir);
  if (log.size() > kSeedLimit) log.resize(log.rfind('\n', kSeedLimit) + 1);
  return log;
}

bool WriteRepeated(const std::string& path, const std::string& seed, std::size_t bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = true;
  for (std::size_t written = 0; ok && written < bytes; written += seed.size()) {
    ok = std::fwrite(seed.data(), 1, seed.size(), file) == seed.size();
  }
  return std::fclose(file) == 0 && ok;
}

struct Run {
  double seconds = 0;
  SIZE_T peak = 0;  // working set, bytes
  bool ok = false;
};

// quarvel-check log on a log of about bytes, its output thrown away.
Run ReadLogOf(const std::string& path, const std::string& seed, std::size_t bytes) {
  Run run;
  if (!WriteRepeated(path, seed, bytes)) return run;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE nul =
      CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = nul;
  PROCESS_INFORMATION process = {};
  std::string line = std::string("\"") + QUARVEL_CHECK_EXE + "\" log \"" + path + "\"";
  double start = kit::NowMs();
  if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &process)) {
    // The peak while it runs: under Wine an ended process's counters are gone.
    PROCESS_MEMORY_COUNTERS counters = {};
    while (WaitForSingleObject(process.hProcess, kPollMs) == WAIT_TIMEOUT) {
      if (GetProcessMemoryInfo(process.hProcess, &counters, sizeof counters)) {
        run.peak = std::max({run.peak, counters.PeakWorkingSetSize, counters.WorkingSetSize});
      }
      if (kit::NowMs() - start > kRunLimitMs) TerminateProcess(process.hProcess, 1);
    }
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    run.ok = status == 0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  run.seconds = (kit::NowMs() - start) / 1000;
  CloseHandle(nul);
  DeleteFileA(path.c_str());
  return run;
}

}  // namespace

bool BenchLogReading(const std::vector<std::string>& dlls, const std::string& installDir) {
  std::string seed = Seed(dlls, installDir);
  if (seed.empty()) {
    std::printf("quarvel-check log: no log lines to repeat\n");
    return false;
  }
  // A tenth of the size first: the same peak shows that memory stays constant.
  Run small = ReadLogOf(installDir + "bench.log", seed, kLogBytes / 10);
  Run full = ReadLogOf(installDir + "bench.log", seed, kLogBytes);
  std::printf("quarvel-check log (a %zu-byte seed of the library's lines, repeated): "
              "%zu MB %.1f s, peak working set %llu KB; %zu MB %.1f s, %llu KB%s\n",
              seed.size(), kLogBytes >> 20, full.seconds,
              static_cast<unsigned long long>(full.peak >> 10), kLogBytes / 10 >> 20,
              small.seconds, static_cast<unsigned long long>(small.peak >> 10),
              small.ok && full.ok ? "" : " (it failed)");
  return small.ok && full.ok;
}

}  // namespace bench
