// The scenario server seen from a plain Winsock client on loopback: routing,
// how connections end, holding a connection open, and start/stop behaviour.
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

TEST_F(ScenarioServerTest, RoutesByHostAndPathInOrder) {
  Server server;
  server.Route("alpha.test", "/a", scenario::Respond("A"));
  server.Route("", "/b", scenario::Respond("B"));
  server.Route("BETA.test", "", scenario::Respond("C"));
  ASSERT_TRUE(server.Start(0));
  const unsigned short port = server.Port();

  EXPECT_EQ("A", Fetch(port, "alpha.test:8080", "/a").text);
  EXPECT_EQ("B", Fetch(port, "ALPHA.TEST", "/b").text);
  EXPECT_EQ("C", Fetch(port, "beta.test", "/anything").text);
  // The query is part of the path; unmatched requests get a 404 until a default is set.
  EXPECT_EQ(0u, Fetch(port, "alpha.test", "/a?x=1").text.find("HTTP/1.1 404 Not Found\r\n"));
  server.SetDefault(scenario::Respond("D"));
  EXPECT_EQ("D", Fetch(port, "alpha.test", "/a?x=1").text);

  std::vector<std::string> seen;  // host, path and connection number as recorded
  for (const scenario::Exchange& e : server.Exchanges()) {
    seen.push_back(e.host + " " + e.path + " " + std::to_string(e.connection));
  }
  EXPECT_EQ((std::vector<std::string>{"alpha.test /a 0", "ALPHA.TEST /b 1", "beta.test /anything 2",
                                      "alpha.test /a?x=1 3", "alpha.test /a?x=1 4"}),
            seen);
}

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

TEST_F(ScenarioServerTest, HeldConnectionDoesNotBlockOthersAndStopIsPrompt) {
  Server server;
  server.Route("", "/hold", scenario::Silent(10000));
  server.Route("", "/pause", Reply{{Step::Pause(10000), Step::Send("late")}});
  server.SetDefault(scenario::Respond("next"));
  ASSERT_TRUE(server.Start(0));

  SOCKET held = Connect(server.Port());
  SendRequest(held, "h.test", "/hold");
  SOCKET paused = Connect(server.Port());
  SendRequest(paused, "h.test", "/pause");
  ASSERT_TRUE(server.WaitForExchanges(2, 1000));
  EXPECT_EQ("next", Fetch(server.Port(), "h.test", "/other").text);
  SOCKET mute = Connect(server.Port());  // connected, never sends a byte
  ASSERT_NE(INVALID_SOCKET, mute);
  Sleep(30);
  EXPECT_EQ(4, server.ConnectionCount());

  const double t0 = bench::NowMs();
  server.Stop();
  EXPECT_LT(bench::NowMs() - t0, 500);
  for (SOCKET s : {held, paused, mute}) {
    EXPECT_NE(WSAETIMEDOUT, ReadToEnd(s).end) << "the client learns at once";
    closesocket(s);
  }
  EXPECT_EQ(INVALID_SOCKET, Connect(server.Port()));
}

TEST_F(ScenarioServerTest, StartFailsCleanlyOnATakenPort) {
  Server server, rival;
  ASSERT_TRUE(server.Start(0));
  EXPECT_FALSE(server.Start(0));  // already running
  const unsigned short port = server.Port();
  EXPECT_FALSE(rival.Start(port));
  server.Stop();  // releases the port
  // The failed attempt left nothing behind: the same object starts anew.
  EXPECT_TRUE(rival.Start(port));
}

}  // namespace
