// System calls that fail on demand, through the library's table of OS calls:
// the failure table of the connection, the socket library start-up, and the
// registry reads. The current edition's units are linked in directly.
#include <gtest/gtest.h>

#include <cstring>

#include "component/TZHttp.h"
#include "component/Edition.h"
#include "http/Lookup.h"
#include "support/Log.h"
#include "support/OsCalls.h"
#include "support/SetupRegistry.h"
#include "tests/wine/TestBench.h"

namespace {

using quarvel::gOs;

int gClosed = 0;
int gCleanups = 0;

int WSAAPI FailStartup(WORD, LPWSADATA) { return WSASYSNOTREADY; }
int WSAAPI CountCleanup() {
  ++gCleanups;
  return quarvel::kSystemOsCalls.wsaCleanup();
}
SOCKET WSAAPI FailSocket(int, int, int) { return INVALID_SOCKET; }
int WSAAPI FailBind(SOCKET, const sockaddr*, int) { return SOCKET_ERROR; }
int WSAAPI FailConnect(SOCKET, const sockaddr*, int) { return SOCKET_ERROR; }
int WSAAPI FailSelect(int, fd_set*, fd_set*, fd_set*, timeval*) { return SOCKET_ERROR; }
// The select calls of one Get are counted; the one numbered gFailingSelect fails.
int gSelects = 0;
int gFailingSelect = 0;
int WSAAPI FailOneSelect(int n, fd_set* r, fd_set* w, fd_set* e, timeval* limit) {
  if (++gSelects == gFailingSelect) return SOCKET_ERROR;
  return quarvel::kSystemOsCalls.select(n, r, w, e, limit);
}
int WSAAPI FailIoctl(SOCKET, long, u_long*) { return SOCKET_ERROR; }
int WSAAPI FailGetHostName(char*, int) { return SOCKET_ERROR; }
int WSAAPI FailSend(SOCKET, const char*, int, int) { return SOCKET_ERROR; }
int WSAAPI CountClose(SOCKET s) {
  ++gClosed;
  return quarvel::kSystemOsCalls.closesocket(s);
}
LSTATUS WINAPI FailOpen(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY) { return ERROR_ACCESS_DENIED; }
int gQueries = 0;
// The size query succeeds; the read itself fails.
LSTATUS WINAPI FailSecondQuery(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                               LPDWORD size) {
  if (++gQueries == 2) return ERROR_MORE_DATA;
  return quarvel::kSystemOsCalls.regQueryValueExW(key, name, reserved, type, data, size);
}

class OsFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = bench::FreshTestInstall();
    quarvel::StartUnits();
    gOs = quarvel::kSystemOsCalls;
    gOs.closesocket = CountClose;
    gClosed = gCleanups = gQueries = 0;
    server_.SetDefault(scenario::Respond("HTTP/1.1 302 Found\r\nLocation: http://p/x\r\n\r\n"));
    ASSERT_TRUE(server_.Start(0));
    url_ = "http://127.0.0.1:" + std::to_string(server_.Port()) + "/";
  }
  void TearDown() override {
    gOs = quarvel::kSystemOsCalls;
    quarvel::StopUnits();
  }
  TZHttp* Create() {
    void* out = nullptr;
    EXPECT_EQ(CreateComponent(IID_IZHttp, &out), S_OK);
    auto* component = static_cast<TZHttp*>(static_cast<IZHttp*>(out));
    component->SetTimeOut(500);
    return component;
  }
  std::string dir_;
  std::string url_;
  scenario::Server server_;
};

TEST_F(OsFaults, FailedStartupStillMakesAnObjectThatNeverConnects) {
  gOs.wsaStartup = FailStartup;
  gOs.wsaCleanup = CountCleanup;
  TZHttp* component = Create();
  ASSERT_NE(component, nullptr);
  EXPECT_FALSE(component->bWsaStarted);
  EXPECT_EQ(component->Get(url_.c_str()), 0);
  EXPECT_EQ(component->hSocket, INVALID_SOCKET);
  EXPECT_EQ(bench::LogMessages(dir_), (std::vector<std::string>{"Get 退出！"}));
  EXPECT_EQ(component->Release(), 0u);
  EXPECT_EQ(gCleanups, 0);  // no stop for a library that never started
}

// Each failing step of a Get: the socket it made is closed, not merely
// forgotten, and none is left open. A step before the request is composed
// sends nothing; one after it logs its own line.
TEST_F(OsFaults, FailedStepLeavesNoSocketOpen) {
  struct Step {
    const char* name;
    void (*inject)();
    int closes;        // sockets closed by the failure
    const char* line;  // null: the request is not composed yet
  };
  const Step steps[] = {
      {"socket", [] { gOs.socket = FailSocket; }, 0, nullptr},
      {"bind", [] { gOs.bind = FailBind; }, 1, nullptr},
      {"connect", [] { gOs.connect = FailConnect; }, 1, nullptr},
      {"select", [] { gOs.select = FailSelect; }, 1, nullptr},
      {"ioctlsocket", [] { gOs.ioctlsocket = FailIoctl; }, 1, nullptr},
      {"write wait", [] { gFailingSelect = 2; }, 1, "等待寫数据失败！ -> 528"},  // after the connect's
      {"send", [] { gOs.send = FailSend; }, 1, "发送失败！ -> 538"},
      {"read wait", [] { gFailingSelect = 3; }, 1, "等待读取数据失败！ -> 545"},
  };
  for (const Step& step : steps) {
    gOs = quarvel::kSystemOsCalls;
    gOs.closesocket = CountClose;
    gOs.select = FailOneSelect;
    gSelects = gFailingSelect = 0;
    step.inject();
    DeleteFileA((dir_ + "Log\\Quarvel_log.log").c_str());
    TZHttp* component = Create();
    gClosed = 0;
    EXPECT_EQ(component->Get(url_.c_str()), 0) << step.name;
    EXPECT_EQ(component->hSocket, INVALID_SOCKET) << step.name;
    EXPECT_EQ(gClosed, step.closes) << step.name;
    EXPECT_EQ(component->szRequestHeader[0] != '\0', step.line != nullptr) << step.name;
    if (step.line != nullptr) {
      EXPECT_EQ(bench::LogMessages(dir_), (std::vector<std::string>{step.line, "Get 退出！"}));
    }
    gOs = quarvel::kSystemOsCalls;
    component->Release();
    if (step.line == nullptr) {  // closed without a request
      server_.WaitForFinished(server_.ConnectionCount(), 1000);
      for (const scenario::Exchange& exchange : server_.Exchanges()) EXPECT_EQ(exchange.request, "");
    }
  }
}

TEST_F(OsFaults, LocalNameFailureLeavesThePreviousSocketAlone) {
  TZHttp* component = Create();
  EXPECT_EQ(component->Get(url_.c_str()), 1);
  SOCKET open = component->hSocket;
  ASSERT_NE(open, INVALID_SOCKET);
  gOs.gethostname = FailGetHostName;
  EXPECT_EQ(component->Get(url_.c_str()), 0);
  EXPECT_EQ(component->hSocket, open);
  gOs.gethostname = quarvel::kSystemOsCalls.gethostname;
  component->Release();
}

// A name look-up answers with the address of the row; nothing is connected
// to (the connect fails), only its dotted text is looked at.
unsigned char gFixedAddress[4] = {};
hostent* WSAAPI LookUpFixedAddress(const char*) {
  static char* list[2] = {reinterpret_cast<char*>(gFixedAddress), nullptr};
  static hostent entry = {const_cast<char*>("fixed"), nullptr, AF_INET, 4, list};
  return &entry;
}

TEST_F(OsFaults, LookedUpAddressIsKeptAsDottedText) {
  struct Row {
    unsigned char address[4];
    const wchar_t* dotted;
  };
  const Row rows[] = {
      {{127, 45, 6, 210}, L"127.45.6.210"},
      {{10, 0, 100, 1}, L"10.0.100.1"},
      {{100, 10, 110, 9}, L"100.10.110.9"},
      {{100, 100, 200, 255}, L"100.100.200.255"},
  };
  gOs.gethostbyname = LookUpFixedAddress;
  gOs.connect = FailConnect;
  for (const Row& row : rows) {
    std::memcpy(gFixedAddress, row.address, sizeof gFixedAddress);
    TZHttp* component = Create();
    component->Get("http://fixed.example/");
    EXPECT_STREQ(component->sHostAddr.c_str(), row.dotted);
    component->Release();
  }
}

// The system's look-up of a name beginning "held" takes until gAnswer is
// set or gHeldMs have passed; every name gets the fixed address. Each call
// is counted.
LONG gLookUps = 0;
HANDLE gAnswer = nullptr;
DWORD gHeldMs = 0;
hostent* WSAAPI LookUpHeld(const char* name) {
  InterlockedIncrement(&gLookUps);
  if (std::strncmp(name, "held", 4) == 0) WaitForSingleObject(gAnswer, gHeldMs);
  return LookUpFixedAddress(name);
}

class LookUps : public OsFaults {
 protected:
  void SetUp() override {
    OsFaults::SetUp();
    const unsigned char address[4] = {10, 0, 0, 7};
    std::memcpy(gFixedAddress, address, sizeof gFixedAddress);
    gLookUps = 0;
    if (gAnswer == nullptr) gAnswer = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(gAnswer);
    gOs.gethostbyname = LookUpHeld;
  }
  void TearDown() override {
    SetEvent(gAnswer);  // no look-up of this test is left waiting
    OsFaults::TearDown();
  }
  static quarvel::LookupResult LookUp(const char* name, DWORD waitMs, char* dotted = nullptr) {
    char unused[quarvel::kDottedAddressSize];
    return quarvel::LookUpWithin(name, waitMs, dotted != nullptr ? dotted : unused);
  }
};

// A call for a name whose look-up still runs, after an earlier call for it
// gave up, waits for that look-up's answer instead of asking again.
TEST_F(LookUps, CallsForOneNameShareOneLookUp) {
  gHeldMs = 300;
  EXPECT_EQ(LookUp("held.example", 50), quarvel::kLookupTimedOut);
  char dotted[quarvel::kDottedAddressSize] = "";
  EXPECT_EQ(LookUp("held.example", 5000, dotted), quarvel::kLookupFound);
  EXPECT_STREQ(dotted, "10.0.0.7");
  EXPECT_EQ(gLookUps, 1);
}

// With four look-ups held on other names, a call of a name the system would
// answer at once gets no look-up within its limit; once they end it gets
// one, and a name whose look-up has ended is asked afresh.
TEST_F(LookUps, AtMostFourRunAndAnEndedOneIsAskedAgain) {
  static_assert(quarvel::kMostLookUps == 4, "the names below fill every look-up");
  gHeldMs = 10000;
  for (const char* name : {"held-0.example", "held-1.example", "held-2.example", "held-3.example"}) {
    EXPECT_EQ(LookUp(name, 1), quarvel::kLookupTimedOut) << name;
  }
  for (int i = 0; i < 200 && gLookUps < 4; ++i) Sleep(10);
  ASSERT_EQ(gLookUps, 4);
  EXPECT_EQ(LookUp("quick.example", 100), quarvel::kLookupTimedOut);
  SetEvent(gAnswer);
  EXPECT_EQ(LookUp("quick.example", 5000), quarvel::kLookupFound);
  EXPECT_EQ(LookUp("quick.example", 5000), quarvel::kLookupFound);
  EXPECT_EQ(gLookUps, 6);
}

TEST_F(OsFaults, RegistryFailuresReadAsEmpty) {
  bench::SetSetupString(L"channel", L"x-27");
  gOs.regOpenKeyExW = FailOpen;
  EXPECT_STREQ(quarvel::ReadSetupString(L"channel").c_str(), L"");
  gOs = quarvel::kSystemOsCalls;
  gOs.regQueryValueExW = FailSecondQuery;
  EXPECT_STREQ(quarvel::ReadSetupStringA(L"channel").c_str(), "");
  EXPECT_EQ(gQueries, 2);
  gOs = quarvel::kSystemOsCalls;
  EXPECT_STREQ(quarvel::ReadSetupStringA(L"channel").c_str(), "x-27");
}

// File, folder, rules-file and code-page calls that fail, or an object made
// meanwhile: one CheckNetDisconType on a ShanXi redirect whose rule hits,
// after a Get of the same page. Each has its defined outcome; none crashes.
FILE* __cdecl FailOpenFile(const char*, const char*) { return nullptr; }
DWORD WINAPI FailAttributes(LPCWSTR) { return INVALID_FILE_ATTRIBUTES; }
DWORD WINAPI FailProfile(LPCSTR, LPCSTR, LPCSTR, LPSTR value, DWORD size, LPCSTR) {
  if (size > 0) value[0] = '\0';
  return 0;
}
int WINAPI FailPageConversion(UINT page, DWORD flags, LPCCH text, int bytes, LPWSTR wide,
                              int units) {
  if (std::strcmp(text, "http://p/x") == 0) return 0;
  return quarvel::kSystemOsCalls.multiByteToWideChar(page, flags, text, bytes, wide, units);
}
// Another thread's new object, made while the check runs: it takes the
// province code of a "channel" changed meanwhile.
DWORD WINAPI MakeObjectOfAnotherProvince(LPCWSTR path) {
  bench::SetProvince("13");
  void* other = nullptr;
  if (CreateComponent(IID_IZHttp, &other) == S_OK) static_cast<IZHttp*>(other)->Release();
  bench::SetProvince("27");
  return quarvel::kSystemOsCalls.getFileAttributesW(path);
}
int gConversions = 0;
int WINAPI CountToWide(UINT page, DWORD flags, LPCCH text, int bytes, LPWSTR wide, int units) {
  ++gConversions;
  return quarvel::kSystemOsCalls.multiByteToWideChar(page, flags, text, bytes, wide, units);
}
int WINAPI CountToNarrow(UINT page, DWORD flags, LPCWCH text, int units, LPSTR narrow, int bytes,
                         LPCCH fallback, LPBOOL used) {
  ++gConversions;
  return quarvel::kSystemOsCalls.wideCharToMultiByte(page, flags, text, units, narrow, bytes,
                                                     fallback, used);
}

TEST_F(OsFaults, FileAndCodePageFailuresOfOneCheck) {
  struct Row {
    const char* name;
    void (*inject)();
    int result;
    const wchar_t* page;
    const char* lastLine;  // "": no line is written
  };
  const Row rows[] = {
      {"none", [] {}, 2, L"http://p/x", "SxDistinctOffLineType 用户欠费！ -> 842"},
      {"log file", [] { gOs.fopen = FailOpenFile; }, 2, L"http://p/x", ""},
      {"rules file", [] { gOs.getFileAttributesW = FailAttributes; }, 0, L"before",
       "Quarvel.ini is not exists! -> 751"},
      {"profile", [] { gOs.getPrivateProfileStringA = FailProfile; }, 0, L"before", "-> 758"},
      {"page text", [] { gOs.multiByteToWideChar = FailPageConversion; }, 2, L"before",
       "SxDistinctOffLineType 用户欠费！ -> 842"},
      // The check goes on with the code it copied at its start.
      {"object made meanwhile", [] { gOs.getFileAttributesW = MakeObjectOfAnotherProvince; }, 2,
       L"http://p/x", "SxDistinctOffLineType 用户欠费！ -> 842"},
  };
  bench::SetProvince("27");
  bench::WriteRules(dir_, "[ShanXi]\r\nAccountExpirePage=http://p/x\r\n");
  for (const Row& row : rows) {
    TZHttp* component = Create();
    ASSERT_EQ(component->Get(url_.c_str()), 1) << row.name;
    bench::RemoveTree(dir_ + "Log");
    CreateDirectoryA((dir_ + "Log").c_str(), nullptr);
    row.inject();
    wchar_t page[16] = L"before";
    EXPECT_EQ(component->CheckNetDisconType(page, 16), row.result) << row.name;
    gOs = quarvel::kSystemOsCalls;
    EXPECT_STREQ(page, row.page) << row.name;
    std::vector<std::string> lines = bench::LogMessages(dir_);
    EXPECT_EQ(lines.empty() ? "" : lines.back().substr(0, std::strlen(row.lastLine)),
              row.lastLine) << row.name;
    component->Release();
  }
}

// One check reads the install path once (its wide-narrow round trip), narrows
// the rules path once and the URL of the page fetched again, and widens the
// page address of the hit: eight calls of the code-page conversions.
TEST_F(OsFaults, OneCheckConvertsEightTimes) {
  bench::SetProvince("27");
  bench::WriteRules(dir_, "[ShanXi]\r\nAccountExpirePage=http://p/x\r\n");
  TZHttp* component = Create();
  ASSERT_EQ(component->Get(url_.c_str()), 1);
  gOs.multiByteToWideChar = CountToWide;
  gOs.wideCharToMultiByte = CountToNarrow;
  wchar_t page[16] = L"";
  EXPECT_EQ(component->CheckNetDisconType(page, 16), 2);
  EXPECT_EQ(gConversions, 8);
  component->Release();
}

// The setup key and the rules file: Gets use what the object read when it
// was made, a check reads them again.
int gSetupReads = 0;
int gProfileReads = 0;
LSTATUS WINAPI CountOpen(HKEY root, LPCWSTR subkey, DWORD options, REGSAM access, PHKEY key) {
  ++gSetupReads;
  return quarvel::kSystemOsCalls.regOpenKeyExW(root, subkey, options, access, key);
}
DWORD WINAPI CountProfile(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR value, DWORD size,
                          LPCSTR path) {
  ++gProfileReads;
  return quarvel::kSystemOsCalls.getPrivateProfileStringA(section, key, fallback, value, size,
                                                          path);
}

TEST_F(OsFaults, GetsReadNeitherSetupKeyNorRulesFile) {
  struct Row {
    const char* what;
    int (*call)(TZHttp* component, const std::string& url);
    int setupReads, profileReads;
  };
  const Row rows[] = {
      {"Get of a URL", [](TZHttp* c, const std::string& url) { return c->Get(url.c_str()); }, 0, 0},
      {"Get of the default page", [](TZHttp* c, const std::string&) { return c->Get(""); }, 0, 0},
      // The install path; the [Probe] section's names, its five keys and the
      // province's key that hits.
      {"check", [](TZHttp* c, const std::string&) {
         wchar_t page[16] = L"";
         return c->CheckNetDisconType(page, 16);
       }, 1, 7},
  };
  bench::SetProvince("27");
  bench::WriteRules(dir_, "[Probe]\r\nIpLocationUrl=" + url_ + "\r\n[ShanXi]\r\nAccountExpirePage=" +
                              "http://p/x\r\n");
  TZHttp* component = Create();
  gOs.regOpenKeyExW = CountOpen;
  gOs.getPrivateProfileStringA = CountProfile;
  for (const Row& row : rows) {
    gSetupReads = gProfileReads = 0;
    EXPECT_NE(row.call(component, url_), 0) << row.what;
    EXPECT_EQ(gSetupReads, row.setupReads) << row.what;
    EXPECT_EQ(gProfileReads, row.profileReads) << row.what;
  }
  component->Release();
}

// The tick count shifted so that a call can start where a row says.
DWORD gTickShift = 0;
DWORD WINAPI ShiftedTickCount() { return quarvel::kSystemOsCalls.getTickCount() + gTickShift; }

// A Get with a time limit from a server that never answers: with the tick
// count far from its wrap, and just below 2^32 so that it wraps half-way,
// the wait is cut to the limit and the line naming the key closes the call.
TEST_F(OsFaults, TimeLimitHoldsAcrossTheTickCountsWrap) {
  constexpr double kLimitMs = 600;
  scenario::Server silent;
  silent.SetDefault(scenario::Silent(5000));
  ASSERT_TRUE(silent.Start(0));
  const std::string url = "http://127.0.0.1:" + std::to_string(silent.Port()) + "/";
  bench::WriteRules(dir_, "[Probe]\r\nTimeLimitMs=600\r\n");
  for (DWORD startAt : {DWORD{1000000}, DWORD{0xFFFFFFFFu - 200}}) {
    SCOPED_TRACE(startAt);
    TZHttp* component = Create();
    component->SetTimeOut(3000);
    gTickShift = startAt - quarvel::kSystemOsCalls.getTickCount();
    gOs.getTickCount = ShiftedTickCount;
    const double start = bench::NowMs();
    EXPECT_EQ(component->Get(url.c_str()), 0);
    const double elapsedMs = bench::NowMs() - start;
    gOs.getTickCount = quarvel::kSystemOsCalls.getTickCount;
    EXPECT_GT(elapsedMs, kLimitMs - 100);
    EXPECT_LT(elapsedMs, kLimitMs + 1000);
    EXPECT_EQ(bench::LogMessages(dir_).back(),
              "Quarvel.ini [Probe] TimeLimitMs ran out: the time limit ended this call.");
    component->Release();
  }
}

// The purge of old logs when the folder cannot be searched.
HANDLE WINAPI FailSearch(LPCWSTR, LPWIN32_FIND_DATAW) {
  SetLastError(ERROR_ACCESS_DENIED);
  return INVALID_HANDLE_VALUE;
}

TEST_F(OsFaults, PurgeOfAnUnsearchableLogFolderFails) {
  EXPECT_TRUE(quarvel::DeleteOldLogs("Quarvel_log"));
  gOs.findFirstFileW = FailSearch;
  EXPECT_FALSE(quarvel::DeleteOldLogs("Quarvel_log"));
}

}  // namespace
