// The scenario server seen from a plain Winsock client on loopback: only the
// behaviours the library's tests lean on without noticing if they broke — a
// reset that is really a reset, and a connection held open that stays open.
// Routing, start and stop are exercised by every library test.
#include <gtest/gtest.h>

#include <string>

#include "tests/wine/TestBench.h"
#include "tools/scenario/ScenarioServer.h"

namespace {

using scenario::Reply;
using scenario::Server;
using scenario::Step;

// A loopback client whose receives give up after recvTimeoutMs.
SOCKET Connect(unsigned short port, DWORD recvTimeoutMs = 2000) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&recvTimeoutMs),
             sizeof recvTimeoutMs);
  return s;
}

void SendRequest(SOCKET s, const std::string& host, const std::string& path) {
  const std::string text = "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
  send(s, text.data(), static_cast<int>(text.size()), 0);
}

// Everything received, and how reading ended: 0 for an orderly close, else
// the receive's error code.
struct Received {
  std::string text;
  int end = 0;
};

Received ReadToEnd(SOCKET s) {
  Received r;
  char buf[4096];
  int n;
  while ((n = recv(s, buf, sizeof buf, 0)) > 0) r.text.append(buf, n);
  if (n == SOCKET_ERROR) r.end = WSAGetLastError();
  return r;
}

// One request on a fresh connection, closed by the client afterwards.
Received Fetch(unsigned short port, const std::string& host, const std::string& path) {
  SOCKET s = Connect(port);
  SendRequest(s, host, path);
  Received r = ReadToEnd(s);
  closesocket(s);
  return r;
}

class ScenarioServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA wsa;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &wsa));
  }
  void TearDown() override { WSACleanup(); }
};

TEST_F(ScenarioServerTest, CloseIsSeenAsEndResetAsConnectionReset) {
  Server server;
  server.Route("", "/close", Reply{{Step::Send("x"), Step::Close()}});
  server.Route("", "/reset", Reply{{Step::Reset()}});
  ASSERT_TRUE(server.Start(0));

  const Received closed = Fetch(server.Port(), "r.test", "/close");
  EXPECT_EQ("x", closed.text);
  EXPECT_EQ(0, closed.end);
  const Received reset = Fetch(server.Port(), "r.test", "/reset");
  EXPECT_EQ("", reset.text);
  EXPECT_EQ(WSAECONNRESET, reset.end);
}

TEST_F(ScenarioServerTest, HoldOpenLastsUntilTheClientClosesOrItsTimeIsUp) {
  const std::string response = scenario::HttpResponse("HTTP/1.1 200 OK", {}, "hello");
  Server server;
  server.Route("", "/keep", scenario::RespondKeepAlive(response, 5000));
  server.Route("", "/silent", scenario::Silent(150));
  ASSERT_TRUE(server.Start(0));

  SOCKET s = Connect(server.Port(), 300);
  SendRequest(s, "k.test", "/keep");
  const Received kept = ReadToEnd(s);
  EXPECT_EQ(response, kept.text);
  EXPECT_EQ(WSAETIMEDOUT, kept.end);  // still open: no close, no reset
  closesocket(s);
  ASSERT_TRUE(server.WaitForFinished(1, 1000));
  const scenario::Exchange ex = server.Exchanges().at(0);
  EXPECT_LE(0, ex.peerClosedMs);
  EXPECT_LE(ex.peerClosedMs, ex.closedMs);  // the client's close came first
  EXPECT_LT(ex.closedMs - ex.requestEndMs, 2000);

  const double t0 = bench::NowMs();
  const Received silent = Fetch(server.Port(), "k.test", "/silent");
  const double waited = bench::NowMs() - t0;
  EXPECT_EQ(0, silent.end);
  EXPECT_EQ("", silent.text);
  EXPECT_GE(waited, 140);
  EXPECT_LT(waited, 1000);
}

}  // namespace
