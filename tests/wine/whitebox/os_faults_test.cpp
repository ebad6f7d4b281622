// System calls that fail on demand, through the library's table of OS calls:
// the failure table of the connection, the socket library start-up, and the
// registry reads. The current edition's units are linked in directly.
#include <gtest/gtest.h>

#include "component/TZHttp.h"
#include "component/Edition.h"
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
    bench::ResetSetupKey();
    dir_ = bench::FreshInstallDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
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

// Each failing step of the connection: the socket it leaves, and whether the
// socket it made was closed.
TEST_F(OsFaults, ConnectionFailuresLeaveNoSocketOpen) {
  struct Step {
    const char* name;
    void (*inject)();
    int closes;  // sockets closed by the failure
  };
  const Step steps[] = {
      {"socket", [] { gOs.socket = FailSocket; }, 0},
      {"bind", [] { gOs.bind = FailBind; }, 1},
      {"connect", [] { gOs.connect = FailConnect; }, 1},
      {"select", [] { gOs.select = FailSelect; }, 1},
      {"ioctlsocket", [] { gOs.ioctlsocket = FailIoctl; }, 1},
  };
  for (const Step& step : steps) {
    gOs = quarvel::kSystemOsCalls;
    gOs.closesocket = CountClose;
    TZHttp* component = Create();
    step.inject();
    gClosed = 0;
    EXPECT_EQ(component->Get(url_.c_str()), 0) << step.name;
    EXPECT_EQ(component->hSocket, INVALID_SOCKET) << step.name;
    EXPECT_EQ(gClosed, step.closes) << step.name;
    EXPECT_EQ(component->szRequestHeader[0], '\0') << step.name;
    gOs = quarvel::kSystemOsCalls;
    component->Release();
  }
  // Connections that got as far as the connect were closed without a request.
  server_.WaitForFinished(2, 1000);
  for (const scenario::Exchange& exchange : server_.Exchanges()) EXPECT_EQ(exchange.request, "");
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

// A wait whose select fails, or a failed send, closes the socket and logs
// its own line.
TEST_F(OsFaults, FailedWaitOrSendClosesTheSocketAndLogsIt) {
  struct Case {
    const char* line;
    void (*inject)();
  };
  const Case cases[] = {
      {"等待寫数据失败！ -> 528", [] { gFailingSelect = 2; }},  // after the connect's
      {"发送失败！ -> 538", [] { gOs.send = FailSend; }},
      {"等待读取数据失败！ -> 545", [] { gFailingSelect = 3; }},
  };
  for (const Case& c : cases) {
    gOs.select = FailOneSelect;
    gSelects = gFailingSelect = 0;
    c.inject();
    DeleteFileA((dir_ + "Log\\Quarvel_log.log").c_str());
    TZHttp* component = Create();
    gClosed = 0;
    EXPECT_EQ(component->Get(url_.c_str()), 0) << c.line;
    EXPECT_EQ(component->hSocket, INVALID_SOCKET) << c.line;
    EXPECT_EQ(gClosed, 1) << c.line;  // closed, not merely forgotten
    EXPECT_NE(component->szRequestHeader[0], '\0');  // composed, then not sent or not answered
    EXPECT_EQ(bench::LogMessages(dir_), (std::vector<std::string>{c.line, "Get 退出！"}));
    component->Release();
    gOs = quarvel::kSystemOsCalls;
    gOs.closesocket = CountClose;
  }
}

// A name look-up answers with an address of one-, two- and three-digit
// parts; nothing listens there, so only its dotted text is looked at.
hostent* WSAAPI LookUpFixedAddress(const char*) {
  static char address[4] = {127, 45, 6, static_cast<char>(210)};
  static char* list[2] = {address, nullptr};
  static hostent entry = {const_cast<char*>("fixed"), nullptr, AF_INET, 4, list};
  return &entry;
}

TEST_F(OsFaults, LookedUpAddressIsKeptAsDottedText) {
  gOs.gethostbyname = LookUpFixedAddress;
  TZHttp* component = Create();
  component->Get("http://fixed.example/");
  EXPECT_STREQ(component->sHostAddr.c_str(), L"127.45.6.210");
  component->Release();
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

}  // namespace
