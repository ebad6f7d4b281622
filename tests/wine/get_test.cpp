// Get (slot 4) of the current edition as a host sees it: the request bytes on
// the wire, URL parsing, status classes, header and body reading, the waits
// and the receive time-out, the connection's life and the log lines, against
// scenario servers on loopback.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/Settings.h"
#include "tests/wine/TestBench.h"
#include "tools/scenario/ScenarioServer.h"

namespace {

using scenario::Exchange;
using scenario::Reply;
using scenario::Server;
using scenario::Step;

constexpr int kTimeOutMs = 2000;
constexpr unsigned short kHttpPort = 80;
// The receive time-out the library sets on every connection.
constexpr double kReceiveTimeOutMs = 1000;
// Scheduling slack under Wine for the timed cases.
constexpr double kSlackMs = 500;
constexpr std::size_t kBodyChunk = 1024;
constexpr std::size_t kHeaderLimit = QUARVEL_RESPONSE_HEADER_SIZE - 1;

const char kUserAgent[] =
    "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0; SLCC2; .NET CLR "
    "2.0.50727; .NET CLR 3.5.30729; .NET CLR 3.0.30729; Media Center PC 6.0; InfoPath.3; "
    ".NET4.0C; Tablet PC 2.0)";

// Log messages, as LogMessages gives them (time stamp and line end gone).
const char kExitLine[] = "Get 退出！";
const char kWaitReadLine[] = "等待读取数据失败！ -> 545";
const char kHeaderFailedLine[] = "接收响应报头失败！ -> 552";
const char kPeerClosedLine[] = "连接已断开！ -> 285";
const char kResetLine[] = "SOCKET_ERROR！ -> 10054";
const char kTimedOutLine[] = "SOCKET_ERROR！ -> 10060";

using Lines = std::vector<std::string>;

std::string ExpectedRequest(const std::string& host, const std::string& path) {
  return "GET " + path + " HTTP/1.1\r\n" + "Host: " + host + "\r\n" + "Accept: */*\r\n" +
         "Accept-Language: zh-cn\r\n" + "User-Agent: " + kUserAgent + "\r\n" +
         "Connection: Keep-Alive\r\n" + "\r\n";
}

std::size_t CountCrLf(const std::string& text) {
  std::size_t count = 0;
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) {
    ++count;
  }
  return count;
}

// The host of the built-in IP-location URL.
std::string IpLocationHost() {
  std::string url = quarvel::kIpLocationUrl;
  std::size_t begin = url.find("://") + 3;
  return url.substr(begin, url.find_first_of(":/", begin) - begin);
}

std::string Found302(const std::string& location) {
  return scenario::HttpResponse("HTTP/1.1 302 Found",
                                {"Location: " + location, "Connection: close"}, "");
}

std::string Ok200(const std::string& body) {
  return scenario::HttpResponse("HTTP/1.1 200 OK", {"Connection: close"}, body);
}

Reply Script(const std::vector<Step>& steps) {
  Reply reply;
  reply.steps = steps;
  return reply;
}

class GetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bench::ResetSetupKey();
    installDir_ = bench::FreshInstallDir(
        std::string("get-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    library_.reset(new bench::Library(bench::EditionId::kCurrent));
    component_ = library_->Create(kTimeOutMs);
    ASSERT_NE(component_, nullptr);
  }

  void TearDown() override {
    if (component_ != nullptr) component_->Release();
    library_.reset();
  }

  // Starts a server on port (0: any free port) or fails the test.
  void StartServer(Server* server, unsigned short port = 0) {
    ASSERT_TRUE(server->Start(port)) << "cannot listen on port " << port
                                     << " (run inside the private network namespace)";
  }

  static std::string Url(const Server& server, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(server.Port()) + path;
  }

  // The accessors' texts: each copied into a cleared buffer.
  std::string RequestText() { return Copy(&IZHttp::GetRequestHeader, QUARVEL_REQUEST_HEADER_SIZE); }
  std::string HeaderText() { return Copy(&IZHttp::GetResponseHeader, QUARVEL_RESPONSE_HEADER_SIZE); }
  std::string BodyText() { return Copy(&IZHttp::GetResponseBody, QUARVEL_RESPONSE_BODY_SIZE); }

  void ExpectBuffersEmpty() {
    EXPECT_EQ(RequestText(), "");
    EXPECT_EQ(HeaderText(), "");
    EXPECT_EQ(BodyText(), "");
  }

  // Runs Get and returns its result; the time it took lands in elapsedMs.
  int TimedGet(const std::string& url, double* elapsedMs) {
    double start = bench::NowMs();
    int result = component_->Get(url.c_str());
    *elapsedMs = bench::NowMs() - start;
    return result;
  }

  Lines Log() { return bench::LogMessages(installDir_); }

  std::string installDir_;
  std::unique_ptr<bench::Library> library_;
  IZHttp* component_ = nullptr;

 private:
  template <typename Accessor>
  std::string Copy(Accessor accessor, std::size_t size) {
    std::vector<char> buffer(size + 1, '\0');
    EXPECT_EQ((component_->*accessor)(buffer.data()), 1);
    return std::string(buffer.data());
  }
};

// ---- The request on the wire and the URLs that Get accepts ----

TEST_F(GetTest, RequestIsSixLinesAndTheEmptyLine) {
  Server server;
  // A body after the redirect header: Get must not read it.
  server.SetDefault(scenario::Respond(
      scenario::HttpResponse("HTTP/1.1 302 Found", {"Location: http://portal/x"}, "not read")));
  StartServer(&server);

  std::string path = "/dir/page.asp?a=1&b=two%20words";
  std::string url = "http://localhost:" + std::to_string(server.Port()) + path;
  EXPECT_EQ(component_->Get(url.c_str()), 1);
  ASSERT_TRUE(server.WaitForExchanges(1, 2000));

  Exchange ex = server.Exchanges()[0];
  std::string expected = ExpectedRequest("localhost", path);
  EXPECT_EQ(ex.request, expected);
  EXPECT_TRUE(ex.headerComplete);
  EXPECT_EQ(ex.host, "localhost");
  EXPECT_EQ(ex.path, path);
  EXPECT_EQ(CountCrLf(ex.request), 7u);
  EXPECT_EQ(RequestText(), expected);
  EXPECT_EQ(HeaderText(), "HTTP/1.1 302 Found\r\nLocation: http://portal/x\r\n\r\n");
  EXPECT_EQ(BodyText(), "");
  EXPECT_EQ(Log(), Lines({kExitLine}));
}

TEST_F(GetTest, EmptyTextFetchesTheIpLocationPage) {
  Server server;
  server.Route(IpLocationHost(), "/city.asp", scenario::Respond(Ok200("您的IP地址是：[127.0.0.1]")));
  server.SetDefault(scenario::Respond(scenario::HttpResponse("HTTP/1.1 404 Not Found", {}, "")));
  StartServer(&server, kHttpPort);

  EXPECT_EQ(component_->Get(""), 1);
  ASSERT_TRUE(server.WaitForExchanges(1, 2000));
  Exchange ex = server.Exchanges()[0];
  EXPECT_EQ(ex.request.substr(0, ex.request.find("\r\n")), "GET /city.asp HTTP/1.1");
  EXPECT_EQ(ex.host, IpLocationHost());
  EXPECT_EQ(ex.request, ExpectedRequest(IpLocationHost(), "/city.asp"));
  EXPECT_EQ(BodyText(), "您的IP地址是：[127.0.0.1]");
}

TEST_F(GetTest, SchemeCaseHostCasePortAndPath) {
  Server server;
  server.SetDefault(scenario::Respond(Found302("http://portal/x")));
  StartServer(&server);
  std::string port = std::to_string(server.Port());

  // Capitals pass the scheme test; the host keeps them; :PORT/x is the path.
  EXPECT_EQ(component_->Get(("HTTP://LOCALHOST:" + port + "/x").c_str()), 1);
  // No path at all asks for "/".
  EXPECT_EQ(component_->Get(("http://localhost:" + port).c_str()), 1);
  ASSERT_TRUE(server.WaitForExchanges(2, 2000));

  std::vector<Exchange> seen = server.Exchanges();
  EXPECT_EQ(seen[0].request, ExpectedRequest("LOCALHOST", "/x"));
  EXPECT_EQ(seen[1].request, ExpectedRequest("localhost", "/"));
  EXPECT_EQ(Log(), Lines({kExitLine, kExitLine}));
}

TEST_F(GetTest, PortTextThatIsNoNumberMeansPort80) {
  Server server;
  server.SetDefault(scenario::Respond(Found302("http://portal/x")));
  StartServer(&server, kHttpPort);

  EXPECT_EQ(component_->Get("http://localhost:abc/a"), 1);
  EXPECT_EQ(component_->Get("http://localhost:/b"), 1);
  ASSERT_TRUE(server.WaitForExchanges(2, 2000));
  std::vector<Exchange> seen = server.Exchanges();
  EXPECT_EQ(seen[0].path, "/a");
  EXPECT_EQ(seen[1].path, "/b");
  EXPECT_EQ(seen[1].host, "localhost");
}

// Each of these fails before anything is sent: the only log line is the exit
// line, and the buffers stay empty.
TEST_F(GetTest, RefusedUrlsSendNothing) {
  Server anyPort, port80;
  anyPort.SetDefault(scenario::Respond(Found302("http://portal/x")));
  port80.SetDefault(scenario::Respond(Found302("http://portal/x")));
  StartServer(&anyPort);
  StartServer(&port80, kHttpPort);
  std::string port = std::to_string(anyPort.Port());

  const std::string refused[] = {
      "https://127.0.0.1:" + port + "/",  // not plain http
      "https://localhost/",
      "ftp://127.0.0.1:" + port + "/",
      "http:/127.0.0.1/",
      "http://999.1/",                    // numeric, taken without lookup, no address
      "http://999.1:" + port + "/",
      "http://",                          // empty host: no address either
      "http:///path",
      "http://no-such-host.invalid/",     // lookup fails
  };
  Lines expectedLog;
  for (const std::string& url : refused) {
    SCOPED_TRACE(url);
    EXPECT_EQ(component_->Get(url.c_str()), 0);
    ExpectBuffersEmpty();
    expectedLog.push_back(kExitLine);
    EXPECT_EQ(Log(), expectedLog);
  }
  EXPECT_EQ(anyPort.ConnectionCount(), 0);
  EXPECT_EQ(port80.ConnectionCount(), 0);
}

// A request that would not fit in its 1023 bytes, or whose path would break
// the request line (and so add header lines of its own), is never sent.
TEST_F(GetTest, RequestThatCannotBeComposedIsNotSent) {
  Server server;
  server.SetDefault(scenario::Respond(Found302("http://portal/x")));
  StartServer(&server);

  const std::string refused[] = {
      Url(server, "/" + std::string(2000, 'p')),
      Url(server, "/a HTTP/1.1\r\nX-Injected: 1\r\n\r\nGET /b"),
  };
  Lines expectedLog;
  for (const std::string& url : refused) {
    SCOPED_TRACE(url.substr(0, 60));
    EXPECT_EQ(component_->Get(url.c_str()), 0);
    ExpectBuffersEmpty();
    expectedLog.push_back(kExitLine);
    EXPECT_EQ(Log(), expectedLog);
  }

  // Whatever connections were made carried no request byte.
  component_->Release();
  component_ = nullptr;
  int connections = server.ConnectionCount();
  ASSERT_TRUE(server.WaitForExchanges(connections, 3000));
  for (const Exchange& ex : server.Exchanges()) EXPECT_EQ(ex.request, "");
}

// ---- Status classes ----

struct StatusCase {
  const char* statusLine;
  const char* body;
  int result;
  const char* bodyKept;
};

// The reason phrase counts: only "200 OK", "302 Moved" and "302 Found" in the
// status line give a result (the same words in a later line do not); a class-2
// answer's body is never read.
TEST_F(GetTest, StatusLineDecidesTheResult) {
  const StatusCase cases[] = {
      {"HTTP/1.1 302 Moved Temporarily", "moved body", 1, ""},
      {"HTTP/1.1 302 Found", "found body", 1, ""},
      {"HTTP/1.1 301 Moved Permanently", "gone", 0, ""},
      {"HTTP/1.0 200 OK", "old server", 1, "old server"},
      {"HTTP/1.1 302 Redirect", "elsewhere", 0, ""},
      {"HTTP/1.1 200 Ok", "wrong case", 0, ""},
      {"HTTP/1.1 404 Not Found", "<html>missing</html>", 0, ""},
  };
  Server server;
  for (std::size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    server.Route("", "/" + std::to_string(i),
                 scenario::Respond(scenario::HttpResponse(
                     cases[i].statusLine,
                     {"Location: http://portal/arrears", "X-Upstream: 200 OK",
                      "Connection: close"},
                     cases[i].body)));
  }
  StartServer(&server);

  for (std::size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    SCOPED_TRACE(cases[i].statusLine);
    EXPECT_EQ(component_->Get(Url(server, "/" + std::to_string(i)).c_str()), cases[i].result);
    // The header block is kept whole, through the empty line, whatever the class.
    EXPECT_EQ(HeaderText(), std::string(cases[i].statusLine) +
                                "\r\nLocation: http://portal/arrears\r\n"
                                "X-Upstream: 200 OK\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(BodyText(), cases[i].bodyKept);
  }
  EXPECT_EQ(Log(), Lines(sizeof cases / sizeof cases[0], kExitLine));
}

TEST_F(GetTest, OkClosedRightAfterTheHeaderIsNoResult) {
  Server server;
  server.SetDefault(scenario::Respond(Ok200("")));
  StartServer(&server);

  EXPECT_EQ(component_->Get(Url(server, "/").c_str()), 0);
  EXPECT_EQ(HeaderText(), "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(BodyText(), "");
  EXPECT_EQ(Log(), Lines({kExitLine}));
}

// ---- The body ----

// A body of size bytes, each 1024-byte chunk of its own letter, sent one
// chunk per send after the header.
std::string LetterBody(std::size_t size) {
  std::string body;
  for (char letter = 'a'; body.size() < size; ++letter) body += std::string(kBodyChunk, letter);
  body.resize(size);
  return body;
}

Reply BodyInChunks(const std::string& body) {
  std::vector<Step> steps = {Step::Send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n")};
  for (std::size_t at = 0; at < body.size(); at += kBodyChunk) {
    steps.push_back(Step::Pause(30));
    steps.push_back(Step::Send(body.substr(at, kBodyChunk)));
  }
  steps.push_back(Step::Close());
  return Script(steps);
}

// The 6024-byte buffer keeps at most 6023 bytes and its NUL. A chunk that
// would bring the total to 6024 or more is dropped whole and ends the body:
// 7000 bytes in 1024-byte sends keep five chunks (5120 bytes), the sixth
// making 6144.
TEST_F(GetTest, BodyKeepsWholeChunksBelowTheBuffer) {
  const std::size_t sizes[] = {7000, 6024, 6023};
  const std::size_t kept[] = {5 * kBodyChunk, 5 * kBodyChunk, 6023};
  Server server;
  for (std::size_t size : sizes) {
    server.Route("", "/" + std::to_string(size), BodyInChunks(LetterBody(size)));
  }
  StartServer(&server);

  for (std::size_t i = 0; i < sizeof sizes / sizeof sizes[0]; ++i) {
    SCOPED_TRACE(sizes[i]);
    EXPECT_EQ(component_->Get(Url(server, "/" + std::to_string(sizes[i])).c_str()), 1);
    EXPECT_EQ(BodyText(), LetterBody(sizes[i]).substr(0, kept[i]));
  }
  EXPECT_EQ(Log(), Lines(3, kExitLine));
}

// A chunk gives its bytes up to its first NUL; the next chunk follows on.
TEST_F(GetTest, NulInsideAChunkCutsThatChunk) {
  Server server;
  server.SetDefault(Script({Step::Send("HTTP/1.1 200 OK\r\n\r\n"), Step::Pause(50),
                            Step::Send(std::string("abc\0def", 7)), Step::Pause(50),
                            Step::Send("ghi"), Step::Close()}));
  StartServer(&server);

  EXPECT_EQ(component_->Get(Url(server, "/").c_str()), 1);
  EXPECT_EQ(BodyText(), "abcghi");
}

// The request asks for a kept-alive connection: a server that keeps it open
// ends the body only by the receive time-out; one that closes ends it at once.
TEST_F(GetTest, KeptAliveAnswerLastsOneReceiveTimeOut) {
  Server server;
  server.Route("", "/kept", scenario::RespondKeepAlive(Ok200("kept"), 5000));
  server.Route("", "/closed", scenario::Respond(Ok200("closed")));
  StartServer(&server);

  double keptMs = 0, closedMs = 0;
  EXPECT_EQ(TimedGet(Url(server, "/kept"), &keptMs), 1);
  EXPECT_EQ(BodyText(), "kept");
  EXPECT_EQ(TimedGet(Url(server, "/closed"), &closedMs), 1);
  EXPECT_EQ(BodyText(), "closed");

  EXPECT_GE(keptMs, 900);
  EXPECT_LT(keptMs, kReceiveTimeOutMs + kSlackMs + 500);
  EXPECT_LT(closedMs, 900);
  EXPECT_EQ(Log(), Lines({kExitLine, kExitLine}));
}

// ---- The header ----

// The header is read to 1023 bytes at most. 1023 bytes without the empty line
// fail although the empty line follows at once, and so does a header whose
// empty line ends at byte 1024; no receive failed, so there is no receive line.
TEST_F(GetTest, HeaderLongerThan1023BytesFailsQuietly) {
  std::string unended = scenario::HeaderOfSize("HTTP/1.1 200 OK", kHeaderLimit, false);
  std::string tooLong = scenario::HeaderOfSize("HTTP/1.1 200 OK", kHeaderLimit + 1, true);
  ASSERT_EQ(unended.size(), kHeaderLimit);
  ASSERT_EQ(tooLong.size(), kHeaderLimit + 1);
  Server server;
  server.Route("", "/unended", scenario::Respond(unended + "\r\n\r\nbody"));
  server.Route("", "/long", scenario::Respond(tooLong + "body"));
  StartServer(&server);

  EXPECT_EQ(component_->Get(Url(server, "/unended").c_str()), 0);
  EXPECT_EQ(HeaderText(), unended);
  EXPECT_EQ(BodyText(), "");
  EXPECT_EQ(component_->Get(Url(server, "/long").c_str()), 0);
  EXPECT_EQ(HeaderText(), tooLong.substr(0, kHeaderLimit));
  EXPECT_EQ(BodyText(), "");
  EXPECT_EQ(Log(), Lines({kHeaderFailedLine, kExitLine, kHeaderFailedLine, kExitLine}));
}

TEST_F(GetTest, HeaderWhoseEmptyLineEndsAtByte1023Succeeds) {
  std::string header = scenario::HeaderOfSize("HTTP/1.1 200 OK", kHeaderLimit, true);
  ASSERT_EQ(header.size(), kHeaderLimit);
  Server server;
  server.SetDefault(scenario::Respond(header + "body"));
  StartServer(&server);

  EXPECT_EQ(component_->Get(Url(server, "/").c_str()), 1);
  EXPECT_EQ(HeaderText(), header);
  EXPECT_EQ(BodyText(), "body");
  EXPECT_EQ(Log(), Lines({kExitLine}));
}

TEST_F(GetTest, ServerClosingAtOnceIsLogged) {
  Server server;
  server.SetDefault(scenario::CloseAtOnce());
  StartServer(&server);

  EXPECT_EQ(component_->Get(Url(server, "/").c_str()), 0);
  EXPECT_EQ(RequestText(), ExpectedRequest("127.0.0.1", "/"));
  EXPECT_EQ(HeaderText(), "");
  EXPECT_EQ(Log(), Lines({kPeerClosedLine, kHeaderFailedLine, kExitLine}));
}

TEST_F(GetTest, ResetWhileReadingTheHeaderIsLoggedWithItsCode) {
  Server server;
  server.SetDefault(
      Script({Step::Send("HTTP/1.1 200 OK\r\n"), Step::Pause(200), Step::Reset()}));
  StartServer(&server);

  EXPECT_EQ(component_->Get(Url(server, "/").c_str()), 0);
  EXPECT_EQ(HeaderText(), "HTTP/1.1 200 OK\r\n");
  EXPECT_EQ(Log(), Lines({kResetLine, kHeaderFailedLine, kExitLine}));
}

// The receive time-out is 1000 milliseconds: a header that stops half-way
// fails with WSAETIMEDOUT about a second later, long before the server would
// close. (A time-out set as a timeval would be read as 1 millisecond.)
TEST_F(GetTest, SilenceInsideTheHeaderEndsAtTheReceiveTimeOut) {
  Server server;
  server.SetDefault(
      Script({Step::Send("HTTP/1.1 200 OK\r\nServer: slow\r\n"), Step::HoldOpen(5000)}));
  StartServer(&server);

  double elapsedMs = 0;
  EXPECT_EQ(TimedGet(Url(server, "/"), &elapsedMs), 0);
  EXPECT_GE(elapsedMs, 900);
  EXPECT_LT(elapsedMs, kReceiveTimeOutMs + kSlackMs + 500);
  EXPECT_EQ(HeaderText(), "HTTP/1.1 200 OK\r\nServer: slow\r\n");
  EXPECT_EQ(Log(), Lines({kTimedOutLine, kHeaderFailedLine, kExitLine}));
}

// ---- The wait for the answer ----

TEST_F(GetTest, WaitForTheAnswerLastsTheTimeOut) {
  Server server;
  server.SetDefault(scenario::Silent(5000));
  StartServer(&server);

  // 0 only polls. The wait fails before any receive, so no receive time-out
  // adds to it.
  component_->SetTimeOut(0);
  double pollMs = 0;
  EXPECT_EQ(TimedGet(Url(server, "/"), &pollMs), 0);
  EXPECT_LT(pollMs, kSlackMs);
  EXPECT_EQ(RequestText(), ExpectedRequest("127.0.0.1", "/"));
  EXPECT_EQ(HeaderText(), "");

  component_->SetTimeOut(500);
  double waitMs = 0;
  EXPECT_EQ(TimedGet(Url(server, "/"), &waitMs), 0);
  EXPECT_GE(waitMs, 450);
  EXPECT_LT(waitMs, 500 + kSlackMs);

  EXPECT_EQ(Log(), Lines({kWaitReadLine, kExitLine, kWaitReadLine, kExitLine}));
}

// ---- One Get after another ----

// The first connection stays open after its Get and is closed by the next.
TEST_F(GetTest, NextGetClosesThePreviousConnection) {
  Server server;
  server.SetDefault(scenario::RespondKeepAlive(Found302("http://portal/x"), 5000));
  StartServer(&server);

  EXPECT_EQ(component_->Get(Url(server, "/one").c_str()), 1);
  ASSERT_TRUE(server.WaitForExchanges(1, 2000));
  EXPECT_FALSE(server.WaitForFinished(1, 300)) << "the first connection closed on its own";

  EXPECT_EQ(component_->Get(Url(server, "/two").c_str()), 1);
  ASSERT_TRUE(server.WaitForExchanges(2, 2000));
  ASSERT_TRUE(server.WaitForFinished(1, 2000));
  std::vector<Exchange> seen = server.Exchanges();
  ASSERT_GE(seen[0].peerClosedMs, 0);
  EXPECT_GE(seen[0].peerClosedMs, seen[0].requestEndMs + 300);
  // Closed as the second Get connected (the server notices within a slice).
  EXPECT_LE(seen[0].peerClosedMs, seen[1].acceptedMs + 100);
  EXPECT_EQ(seen[1].peerClosedMs, -1);
}

TEST_F(GetTest, FailedParseAfterSuccessLeavesEmptyBuffers) {
  Server server;
  server.SetDefault(scenario::Respond(Ok200("first page")));
  StartServer(&server);

  EXPECT_EQ(component_->Get(Url(server, "/").c_str()), 1);
  ASSERT_EQ(BodyText(), "first page");
  EXPECT_EQ(component_->Get("https://127.0.0.1/"), 0);
  ExpectBuffersEmpty();
  EXPECT_EQ(Log(), Lines({kExitLine, kExitLine}));
}

}  // namespace
