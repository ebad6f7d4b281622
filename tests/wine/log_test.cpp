// The log unit as a host sees it: where the log file lands, the layout of
// its lines, the old-log purge at load (current edition only), the exported
// log object and message buffer, and failures that only lose lines.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>

#include "tests/wine/TestBench.h"

namespace {

using bench::EditionId;

constexpr const char* kExitLine = "Get 退出！\n";
constexpr long long kTicksPerHour = 36000000000LL;

// Writes one line through a component: a Get that fails at once logs only
// its exit line (current edition) or its start and finish lines (earlier).
void WriteOneLine(EditionId edition) {
  bench::Library library(edition);
  IZHttp* component = library.Create();
  ASSERT_NE(component, nullptr);
  component->Get("https://nowhere/");
  component->Release();
}

// Makes a file look created hoursAgo hours ago. Wine reports a file's
// modification time as its creation time, so both are set.
void Age(const std::string& path, long long hoursAgo) {
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER t = {{now.dwLowDateTime, now.dwHighDateTime}};
  t.QuadPart -= static_cast<ULONGLONG>(hoursAgo * kTicksPerHour);
  FILETIME then = {t.LowPart, t.HighPart};
  ASSERT_TRUE(SetFileTime(file, &then, &then, &then));
  CloseHandle(file);
}

// The log path of the exported _LOG object: a stream pointer, then the path.
std::string LogFileName(const bench::Library& library) {
  auto* log = reinterpret_cast<const char*>(GetProcAddress(library.module(), "_LOG"));
  return log == nullptr ? "<no _LOG>" : std::string(log + sizeof(void*));
}

class LogFile : public ::testing::TestWithParam<EditionId> {
 protected:
  void SetUp() override { bench::ResetSetupKey(); }
  // The test's folder name: stem and edition.
  std::string Name(const char* stem) { return stem + std::string(bench::EditionName(GetParam())); }
};

TEST_P(LogFile, LinesCarryTimeStampAndLandUnderTheInstallPath) {
  std::string dir = bench::FreshInstallDir(Name("log-layout-"));
  WriteOneLine(GetParam());
  WriteOneLine(GetParam());  // a second load appends to the same file
  std::string log = bench::ReadLog(dir);
  ASSERT_FALSE(log.empty());
  const std::regex stamped("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} -> .+$");
  for (std::size_t at = 0, end; (end = log.find("\r\n", at)) != std::string::npos; at = end + 2) {
    EXPECT_TRUE(std::regex_match(log.substr(at, end - at), stamped)) << log.substr(at, end - at);
  }
  // Every "\n" a message carries is CR LF on disk: no bare LF anywhere.
  EXPECT_EQ(log.find("\n"), log.find("\r\n") + 1);
  if (GetParam() == EditionId::kCurrent) {
    EXPECT_EQ(bench::LogMessages(dir), (std::vector<std::string>{"Get 退出！", "Get 退出！"}));
  } else {
    EXPECT_EQ(bench::LogShape(dir), (std::vector<std::string>{"535", "631", "535", "631"}));
  }
}

TEST_P(LogFile, MissingInstallPathLogsBesideTheCurrentDirectory) {
  std::string cwd = bench::FreshInstallDir(Name("log-cwd-"), false);
  bench::DeleteSetupValue(L"InstallPath");
  ASSERT_TRUE(SetCurrentDirectoryA(cwd.c_str()));
  WriteOneLine(GetParam());
  EXPECT_TRUE(bench::FileExists(cwd + "Log\\Quarvel_log.log"));
}

TEST_P(LogFile, ExportedLogObjectHoldsThePathAndSharedBuffer) {
  std::string dir = bench::FreshInstallDir(Name("log-export-"));
  bench::Library library(GetParam());
  auto* sError = reinterpret_cast<char*>(GetProcAddress(library.module(), "_sError"));
  ASSERT_NE(sError, nullptr);
  EXPECT_EQ(LogFileName(library), dir + "Log\\Quarvel_log.log");

  // Running the unit start-up again changes nothing: the path is fixed once.
  auto initialize = reinterpret_cast<void (*)()>(GetProcAddress(library.module(), "@@Log@Initialize"));
  auto finalize = reinterpret_cast<void (*)()>(GetProcAddress(library.module(), "@@Log@Finalize"));
  ASSERT_NE(initialize, nullptr);
  bench::SetSetupString(L"InstallPath", L"C:\\elsewhere\\");
  initialize();
  finalize();
  EXPECT_EQ(LogFileName(library), dir + "Log\\Quarvel_log.log");

  // A formatted log point leaves its text in the shared buffer.
  scenario::Server server;
  server.SetDefault(scenario::CloseAtOnce());
  ASSERT_TRUE(server.Start(0));
  IZHttp* component = library.Create();
  std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/";
  component->Get(url.c_str());
  component->Release();
  std::string expected = GetParam() == EditionId::kCurrent ? "接收响应报头失败！ -> 552\n"
                                                           : "TZHttp::Get finish！ -> 631\n";
  EXPECT_EQ(std::string(sError), expected);
  // Its stream, at the record's start, is closed and forgotten after each line.
  auto* stream = reinterpret_cast<FILE* const*>(GetProcAddress(library.module(), "_LOG"));
  EXPECT_EQ(*stream, nullptr);
}

TEST_P(LogFile, PurgeAtLoadDeletesOnlyOldLogsOfTheCurrentEdition) {
  std::string dir = bench::FreshInstallDir(Name("log-purge-"));
  std::string logDir = dir + "Log\\";
  CreateDirectoryA(logDir.c_str(), nullptr);
  struct Aged {
    const char* name;
    long long hours;
    bool purged;  // by the current edition
  };
  const Aged files[] = {
      {"Quarvel_log.log", 4 * 24 - 1, false},       // 3 days 23 hours: stays
      {"Quarvel_log.1.log", 4 * 24 + 1, true},      // just past 4 days
      {"old-Quarvel_log.txt", 10 * 24, true},       // substring anywhere, any extension
      {"quarvel_log-lower.log", 10 * 24, false},    // the test is case-sensitive
      {"unrelated.log", 10 * 24, false},
  };
  for (const Aged& f : files) {
    bench::WriteFile(logDir + f.name, "old\r\n");
    Age(logDir + f.name, f.hours);
  }
  std::string subdir = logDir + "Quarvel_log.d";
  CreateDirectoryA(subdir.c_str(), nullptr);
  bench::WriteFile(subdir + "\\Quarvel_log.log", "inner\r\n");
  Age(subdir + "\\Quarvel_log.log", 10 * 24);
  Age(subdir, 10 * 24);

  { bench::Library library(GetParam()); }

  bool current = GetParam() == EditionId::kCurrent;
  for (const Aged& f : files) {
    EXPECT_EQ(bench::FileExists(logDir + f.name), !(current && f.purged)) << f.name;
  }
  EXPECT_TRUE(bench::FileExists(subdir + "\\Quarvel_log.log"));
}

TEST_P(LogFile, MissingLogDirectoryIsCreatedAtLoad) {
  std::string dir = bench::FreshInstallDir(Name("log-mkdir-"));
  { bench::Library library(GetParam()); }
  const DWORD attributes = GetFileAttributesA((dir + "Log").c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_FALSE(bench::FileExists(dir + "Log\\Quarvel_log.log"));  // no write yet
}

TEST_P(LogFile, LockedLogLosesLinesAndNothingElse) {
  std::string dir = bench::FreshInstallDir(Name("log-locked-"));
  scenario::Server server;
  server.SetDefault(scenario::Respond("HTTP/1.1 302 Found\r\nLocation: http://a/b\r\n\r\n"));
  ASSERT_TRUE(server.Start(0));
  std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/";
  CreateDirectoryA((dir + "Log").c_str(), nullptr);
  std::string path = dir + "Log\\Quarvel_log.log";

  bench::Library library(GetParam());
  IZHttp* component = library.Create();
  // Locked: another handle holds the file without sharing.
  HANDLE lock = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  EXPECT_EQ(component->Get(url.c_str()), 1);
  CloseHandle(lock);
  EXPECT_EQ(bench::ReadLog(dir), "");
  // Free again: the next line lands.
  EXPECT_EQ(component->Get(url.c_str()), 1);
  EXPECT_FALSE(bench::ReadLog(dir).empty());
  component->Release();
}

TEST_P(LogFile, OverlongInstallPathIsRefusedNotOverrun) {
  bench::FreshInstallDir(Name("log-long-"), false);
  std::wstring longPath = L"C:\\quarvel-tests\\" + std::wstring(600, L'x') + L"\\";
  bench::SetSetupString(L"InstallPath", longPath);
  bench::Library library(GetParam());
  EXPECT_EQ(LogFileName(library), "");
  IZHttp* component = library.Create();
  ASSERT_NE(component, nullptr);
  EXPECT_EQ(component->Get("https://nowhere/"), 0);  // logs nowhere, still answers
  component->Release();
}

QUARVEL_BOTH_EDITIONS(LogFile);

}  // namespace
