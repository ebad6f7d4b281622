// The scenario server seen from a plain Winsock client on loopback: routing,
// the default reply, timed chunks, how connections end, what gets recorded,
// and start/stop behaviour.
#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/scenario/ScenarioServer.h"

namespace {

using scenario::Exchange;
using scenario::Reply;
using scenario::Server;
using scenario::Step;
using Clock = std::chrono::steady_clock;

constexpr int kClientTimeoutMs = 2000;  // no test waits this long on purpose

long long MsSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() -
                                                               t)
      .count();
}

void SetRecvTimeout(SOCKET s, int ms) {
  DWORD v = static_cast<DWORD>(ms);
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&v),
             sizeof v);
}

SOCKET Connect(unsigned short port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return s;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  SetRecvTimeout(s, kClientTimeoutMs);
  return s;
}

bool SendText(SOCKET s, const std::string& text) {
  return send(s, text.data(), static_cast<int>(text.size()), 0) ==
         static_cast<int>(text.size());
}

std::string RequestFor(const std::string& host, const std::string& path) {
  std::string text = "GET " + path + " HTTP/1.1\r\n";
  if (!host.empty()) text += "Host: " + host + "\r\n";
  return text + "Connection: Keep-Alive\r\n\r\n";
}

// What the client read, each receive separately, and how reading ended:
// 0 for an orderly close, else the receive's error code.
struct Received {
  std::vector<std::string> pieces;
  int end = 0;
  std::string Text() const {
    std::string all;
    for (const std::string& p : pieces) all += p;
    return all;
  }
};

Received ReadToEnd(SOCKET s) {
  Received r;
  char buf[4096];
  for (;;) {
    int n = recv(s, buf, sizeof buf, 0);
    if (n == 0) return r;
    if (n == SOCKET_ERROR) {
      r.end = WSAGetLastError();
      return r;
    }
    r.pieces.emplace_back(buf, n);
  }
}

// One request on a fresh connection; the whole reply text.
std::string Fetch(unsigned short port, const std::string& host,
                  const std::string& path) {
  SOCKET s = Connect(port);
  if (s == INVALID_SOCKET) return "<no connection>";
  SendText(s, RequestFor(host, path));
  Received r = ReadToEnd(s);
  closesocket(s);
  return r.end == 0 ? r.Text() : "<error " + std::to_string(r.end) + ">";
}

class ScenarioServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA wsa;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &wsa));
  }
  void TearDown() override { WSACleanup(); }
};

TEST(ScenarioHelpers, BuildResponsesAndSizedHeaders) {
  EXPECT_EQ("HTTP/1.1 200 OK\r\nA: 1\r\nB: 2\r\n\r\nbody",
            scenario::HttpResponse("HTTP/1.1 200 OK", {"A: 1", "B: 2"},
                                   "body"));
  EXPECT_EQ("HTTP/1.1 404 Not Found\r\n\r\n",
            scenario::HttpResponse("HTTP/1.1 404 Not Found", {}, ""));

  std::string whole = scenario::HeaderOfSize("HTTP/1.1 200 OK", 1023, true);
  EXPECT_EQ(1023u, whole.size());
  EXPECT_EQ(1019u, whole.find("\r\n\r\n"));
  EXPECT_EQ(0u, whole.find("HTTP/1.1 200 OK\r\n"));

  std::string open = scenario::HeaderOfSize("HTTP/1.1 200 OK", 1023, false);
  EXPECT_EQ(1023u, open.size());
  EXPECT_EQ(std::string::npos, open.find("\r\n\r\n"));

  EXPECT_EQ("HTTP/1.1 200 OK\r\n\r\n",
            scenario::HeaderOfSize("HTTP/1.1 200 OK", 3, true));
}

TEST_F(ScenarioServerTest, RoutesByHostAndPathInOrder) {
  Server server;
  server.Route("alpha.test", "/a", scenario::Respond("A"));
  server.Route("", "/b", scenario::Respond("B"));
  server.Route("BETA.test", "", scenario::Respond("C"));
  ASSERT_TRUE(server.Start(0));
  unsigned short port = server.Port();
  ASSERT_NE(0, port);

  EXPECT_EQ("A", Fetch(port, "alpha.test:8080", "/a"));
  EXPECT_EQ("B", Fetch(port, "ALPHA.TEST", "/b"));
  EXPECT_EQ("C", Fetch(port, "beta.test", "/anything"));
  // The query is part of the path, so "/a?x=1" is not "/a".
  EXPECT_EQ(0u, Fetch(port, "alpha.test", "/a?x=1")
                    .find("HTTP/1.1 404 Not Found\r\n"));
  EXPECT_EQ("B", Fetch(port, "", "/b"));

  std::vector<Exchange> ex = server.Exchanges();
  ASSERT_EQ(5u, ex.size());
  const char* hosts[] = {"alpha.test", "ALPHA.TEST", "beta.test",
                         "alpha.test", ""};
  const char* paths[] = {"/a", "/b", "/anything", "/a?x=1", "/b"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(hosts[i], ex[i].host) << i;
    EXPECT_EQ(paths[i], ex[i].path) << i;
    EXPECT_EQ(i, ex[i].connection) << i;
  }
  EXPECT_EQ(5, server.ConnectionCount());
}

TEST_F(ScenarioServerTest, DefaultReplyIsA404UntilSet) {
  Server server;
  ASSERT_TRUE(server.Start(0));
  std::string reply = Fetch(server.Port(), "x.test", "/");
  EXPECT_EQ(0u, reply.find("HTTP/1.1 404 Not Found\r\n"));
  EXPECT_NE(std::string::npos, reply.find("\r\n\r\n"));

  server.SetDefault(scenario::Respond("D"));
  EXPECT_EQ("D", Fetch(server.Port(), "x.test", "/"));
}

TEST_F(ScenarioServerTest, ChunksArriveInOrderAfterTheirPauses) {
  const int kPauseMs = 80;
  Server server;
  server.SetDefault(scenario::RespondInChunks("abcdefghijklmno", 5, kPauseMs));
  ASSERT_TRUE(server.Start(0));

  SOCKET s = Connect(server.Port());
  ASSERT_NE(INVALID_SOCKET, s);
  ASSERT_TRUE(SendText(s, RequestFor("c.test", "/")));
  Clock::time_point t0 = Clock::now();
  Received r = ReadToEnd(s);
  long long elapsed = MsSince(t0);
  closesocket(s);

  EXPECT_EQ(0, r.end);
  EXPECT_EQ((std::vector<std::string>{"abcde", "fghij", "klmno"}), r.pieces);
  EXPECT_GE(elapsed, 2 * kPauseMs - 10);

  ASSERT_TRUE(server.WaitForFinished(1, 1000));
  Exchange ex = server.Exchanges().at(0);
  EXPECT_EQ(15u, ex.bytesSent);
  EXPECT_EQ(0, ex.shortSends);
  EXPECT_GE(ex.closedMs, ex.requestEndMs + 2 * kPauseMs - 10);
}

TEST_F(ScenarioServerTest, CloseIsSeenAsEndResetAsConnectionReset) {
  Server server;
  Reply sendThenClose;
  sendThenClose.steps = {Step::Send("x"), Step::Close()};
  Reply resetAfterRequest;
  resetAfterRequest.steps = {Step::Reset()};
  server.Route("", "/close", sendThenClose);
  server.Route("", "/reset", resetAfterRequest);
  ASSERT_TRUE(server.Start(0));

  SOCKET s = Connect(server.Port());
  ASSERT_TRUE(SendText(s, RequestFor("r.test", "/close")));
  Received closed = ReadToEnd(s);
  closesocket(s);
  EXPECT_EQ("x", closed.Text());
  EXPECT_EQ(0, closed.end);

  s = Connect(server.Port());
  ASSERT_TRUE(SendText(s, RequestFor("r.test", "/reset")));
  Received reset = ReadToEnd(s);
  closesocket(s);
  EXPECT_EQ("", reset.Text());
  EXPECT_EQ(WSAECONNRESET, reset.end);
}

TEST_F(ScenarioServerTest, AtOnceRepliesDoNotWaitForTheRequest) {
  Server closer;
  closer.SetDefault(scenario::CloseAtOnce());
  ASSERT_TRUE(closer.Start(0));
  SOCKET s = Connect(closer.Port());
  ASSERT_TRUE(SendText(s, RequestFor("a.test", "/")));
  Received closed = ReadToEnd(s);
  closesocket(s);
  EXPECT_EQ(0, closed.end);
  EXPECT_TRUE(closed.pieces.empty());
  ASSERT_TRUE(closer.WaitForExchanges(1, 1000));
  EXPECT_EQ("", closer.Exchanges().at(0).request);

  Server resetter;
  resetter.SetDefault(scenario::ResetAtOnce());
  ASSERT_TRUE(resetter.Start(0));
  s = Connect(resetter.Port());
  Received reset = ReadToEnd(s);  // nothing sent: the reset alone arrives
  closesocket(s);
  EXPECT_EQ(WSAECONNRESET, reset.end);
}

TEST_F(ScenarioServerTest, HoldOpenLastsUntilTheClientCloses) {
  const std::string response =
      scenario::HttpResponse("HTTP/1.1 200 OK", {}, "hello");
  Server server;
  server.Route("", "/keep", scenario::RespondKeepAlive(response, 5000));
  server.Route("", "/silent", scenario::Silent(150));
  ASSERT_TRUE(server.Start(0));

  SOCKET s = Connect(server.Port());
  ASSERT_TRUE(SendText(s, RequestFor("k.test", "/keep")));
  SetRecvTimeout(s, 300);
  Received kept = ReadToEnd(s);
  EXPECT_EQ(response, kept.Text());
  EXPECT_EQ(WSAETIMEDOUT, kept.end);  // still open: no close, no reset
  closesocket(s);
  ASSERT_TRUE(server.WaitForFinished(1, 1000));
  Exchange ex = server.Exchanges().at(0);
  EXPECT_GE(ex.peerClosedMs, 0);
  EXPECT_LE(ex.peerClosedMs, ex.closedMs);  // the client's close came first
  EXPECT_LT(ex.closedMs - ex.requestEndMs, 2000);

  s = Connect(server.Port());
  ASSERT_TRUE(SendText(s, RequestFor("k.test", "/silent")));
  Clock::time_point t0 = Clock::now();
  Received silent = ReadToEnd(s);
  long long waited = MsSince(t0);
  closesocket(s);
  EXPECT_EQ(0, silent.end);
  EXPECT_TRUE(silent.pieces.empty());
  EXPECT_GE(waited, 140);
  EXPECT_LT(waited, 1000);
  ASSERT_TRUE(server.WaitForFinished(2, 1000));
  ex = server.Exchanges().at(1);
  EXPECT_GE(ex.closedMs - ex.requestEndMs, 140);
  if (ex.peerClosedMs >= 0) {
    EXPECT_GE(ex.peerClosedMs, ex.closedMs);
  }
}

TEST_F(ScenarioServerTest, RecordsTheRequestBytesAsReceived) {
  Server server;
  ASSERT_TRUE(server.Start(0));

  const std::string head = "GET /p?q=1 HTTP/1.1\r\nHo";
  const std::string rest = "st:  H.Test:81 \r\nX-A: 1\r\n\r\n";
  SOCKET s = Connect(server.Port());
  ASSERT_TRUE(SendText(s, head));
  Sleep(50);
  ASSERT_TRUE(SendText(s, rest));
  Received r = ReadToEnd(s);
  closesocket(s);
  EXPECT_EQ(0u, r.Text().find("HTTP/1.1 404"));

  // A request cut short by the client's half-close still gets its reply.
  const std::string partial = "GET /q HTTP/1.1\r\nHost: q.test\r\n";
  s = Connect(server.Port());
  ASSERT_TRUE(SendText(s, partial));
  shutdown(s, SD_SEND);
  Received afterHalfClose = ReadToEnd(s);
  closesocket(s);
  EXPECT_EQ(0u, afterHalfClose.Text().find("HTTP/1.1 404"));

  ASSERT_TRUE(server.WaitForFinished(2, 1000));
  std::vector<Exchange> ex = server.Exchanges();
  ASSERT_EQ(2u, ex.size());
  EXPECT_EQ(head + rest, ex[0].request);
  EXPECT_TRUE(ex[0].headerComplete);
  EXPECT_EQ("H.Test", ex[0].host);
  EXPECT_EQ("/p?q=1", ex[0].path);

  EXPECT_EQ(partial, ex[1].request);
  EXPECT_FALSE(ex[1].headerComplete);
  EXPECT_EQ("q.test", ex[1].host);
  EXPECT_EQ("/q", ex[1].path);
  EXPECT_GE(ex[1].peerClosedMs, 0);
  EXPECT_LE(ex[1].peerClosedMs, ex[1].requestEndMs);
}

TEST_F(ScenarioServerTest, HeldConnectionDoesNotBlockOthersAndStopIsPrompt) {
  Server server;
  server.Route("", "/hold", scenario::Silent(10000));
  server.SetDefault(scenario::Respond("next"));
  ASSERT_TRUE(server.Start(0));

  SOCKET held = Connect(server.Port());
  ASSERT_TRUE(SendText(held, RequestFor("h.test", "/hold")));
  ASSERT_TRUE(server.WaitForExchanges(1, 1000));
  EXPECT_EQ("next", Fetch(server.Port(), "h.test", "/other"));
  SOCKET mute = Connect(server.Port());  // connected, never sends a byte
  ASSERT_NE(INVALID_SOCKET, mute);
  Sleep(30);
  EXPECT_EQ(3, server.ConnectionCount());

  Clock::time_point t0 = Clock::now();
  server.Stop();
  EXPECT_LT(MsSince(t0), 500);

  // Both clients learn at once that the server is gone.
  for (SOCKET s : {held, mute}) {
    Received r = ReadToEnd(s);
    EXPECT_NE(WSAETIMEDOUT, r.end);
    closesocket(s);
  }
  EXPECT_EQ(INVALID_SOCKET, Connect(server.Port()));
}

TEST_F(ScenarioServerTest, StartFailsCleanlyOnATakenPort) {
  SOCKET taken = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(0, bind(taken, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
  ASSERT_EQ(0, listen(taken, 1));
  int len = sizeof addr;
  ASSERT_EQ(0, getsockname(taken, reinterpret_cast<sockaddr*>(&addr), &len));
  unsigned short takenPort = ntohs(addr.sin_port);

  Server server;
  EXPECT_FALSE(server.Start(takenPort));
  closesocket(taken);

  // The failed attempt left nothing behind: the same object starts anew.
  ASSERT_TRUE(server.Start(0));
  EXPECT_FALSE(server.Start(0));  // already running
  Server rival;
  EXPECT_FALSE(rival.Start(server.Port()));

  // Stop releases the port.
  unsigned short port = server.Port();
  server.Stop();
  EXPECT_TRUE(rival.Start(port));
  EXPECT_EQ(port, rival.Port());
}

}  // namespace
