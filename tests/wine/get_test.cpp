// Get (slot 4) of the current edition as a host sees it: the request bytes,
// URL parsing, status classes, header and body reading, the waits, the
// receive time-out, the connection's life and the log lines, against
// scenario servers on loopback.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "support/Settings.h"
#include "tests/ExpectedRequest.h"
#include "tests/wine/TestBench.h"
#include "tools/scenario/ScenarioServer.h"

namespace {

using scenario::Exchange;
using scenario::Reply;
using scenario::Server;
using scenario::Step;
using Lines = std::vector<std::string>;

constexpr unsigned short kHttpPort = 80;
// The receive time-out the library sets on every connection, and the
// scheduling slack allowed under Wine.
constexpr double kReceiveTimeOutMs = 1000;
constexpr double kSlackMs = 500;
constexpr std::size_t kBodyChunk = 1024;
constexpr std::size_t kHeaderLimit = QUARVEL_RESPONSE_HEADER_SIZE - 1;


// Log messages without time stamp and line end.
const char kExitLine[] = "Get 退出！";
const char kWaitReadLine[] = "等待读取数据失败！ -> 545";
const char kHeaderFailedLine[] = "接收响应报头失败！ -> 552";

using testdata::ExpectedRequest;

const std::string kIpHost = bench::HostOf(quarvel::kIpLocationUrl);

std::string Found302() { return kit::Found302("http://portal/x", {"Connection: close"}); }
std::string Ok200(const std::string& body) { return kit::Ok200(body, {"Connection: close"}); }

class GetTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(component_, nullptr); }
  void TearDown() override {
    if (component_ != nullptr) component_->Release();
  }

  // Starts a server on port (0: any free port) or fails the test.
  static void Start(Server* server, unsigned short port = 0) {
    ASSERT_TRUE(server->Start(port)) << "cannot listen on port " << port
                                     << " (run inside the private network namespace)";
  }

  static std::string Url(const Server& server, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(server.Port()) + path;
  }

  int Get(const std::string& url) { return component_->Get(url.c_str()); }

  // Runs Get; the time it took lands in elapsedMs.
  int TimedGet(const std::string& url, double* elapsedMs) {
    double start = bench::NowMs();
    int result = Get(url);
    *elapsedMs = bench::NowMs() - start;
    return result;
  }

  std::string RequestText() { return kit::RequestText(component_); }
  std::string HeaderText() { return kit::HeaderText(component_); }
  std::string BodyText() { return kit::BodyText(component_); }

  // Each URL fails before a request is sent: 0, empty buffers, only the exit line.
  void ExpectRefused(const std::vector<std::string>& urls) {
    for (const std::string& url : urls) {
      SCOPED_TRACE(url.substr(0, 60));
      EXPECT_EQ(Get(url), 0);
      EXPECT_EQ(RequestText(), "");
      EXPECT_EQ(HeaderText(), "");
      EXPECT_EQ(BodyText(), "");
      EXPECT_EQ(Log(), Lines(++exitLines_, kExitLine));
    }
  }

  Lines Log() { return bench::LogMessages(installDir_); }

  std::string installDir_ = bench::FreshTestInstall();
  bench::Library library_{bench::EditionId::kCurrent};
  IZHttp* component_ = library_.Create(2000);
  std::size_t exitLines_ = 0;
};

// Capitals pass the scheme test and the host keeps them; the query is kept; a
// missing path asks for "/"; an empty or non-numeric port text means port 80.
// A redirect's body is never read. The refused URLs fail before connecting
// and clear what the Gets before them left in the buffers.
TEST_F(GetTest, UrlsAndTheRequestsTheySend) {
  const std::string redirect =
      scenario::HttpResponse("HTTP/1.1 302 Found", {"Location: http://portal/x"}, "");
  Server anyPort, port80;
  anyPort.SetDefault(scenario::Respond(redirect + "not read"));
  port80.SetDefault(scenario::Respond(redirect + "not read"));
  Start(&anyPort);
  Start(&port80, kHttpPort);
  std::string port = std::to_string(anyPort.Port());

  struct Case {
    std::string url;
    Server* server;
    std::string host, path;
  };
  const Case cases[] = {
      {"http://localhost:" + port + "/dir/page.asp?a=1&b=two%20words", &anyPort, "localhost",
       "/dir/page.asp?a=1&b=two%20words"},
      {"HTTP://LOCALHOST:" + port + "/x", &anyPort, "LOCALHOST", "/x"},
      {"http://localhost:" + port, &anyPort, "localhost", "/"},
      {"http://localhost:abc/a", &port80, "localhost", "/a"},
      {"http://localhost:/b", &port80, "localhost", "/b"},
      // GBK text goes on the wire byte for byte, and so does a byte that is
      // no character of code page 936.
      {"http://localhost:" + port + "/中文/页.asp?名=值", &anyPort, "localhost", "/中文/页.asp?名=值"},
      {"http://localhost:" + port + "/\xFFpage", &anyPort, "localhost", "/\xFFpage"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    std::size_t before = c.server->Exchanges().size();
    EXPECT_EQ(Get(c.url), 1);
    ASSERT_TRUE(c.server->WaitForExchanges(before + 1, 2000));
    std::string expected = ExpectedRequest(c.host, c.path);
    EXPECT_EQ(c.server->Exchanges().back().request, expected);
    EXPECT_EQ(RequestText(), expected);
    EXPECT_EQ(HeaderText(), redirect);
    EXPECT_EQ(BodyText(), "");
  }
  exitLines_ = std::size(cases);
  EXPECT_EQ(Log(), Lines(exitLines_, kExitLine));

  int connections = anyPort.ConnectionCount() + port80.ConnectionCount();
  ExpectRefused({
      "https://127.0.0.1:" + port + "/",  // not plain http
      "https://localhost/",
      "http:/127.0.0.1/",
      "http://999.1/",  // numeric, taken without lookup, no address
      "http://999.1:" + port + "/",
      "http://",  // empty host: no address either
      "http:///path",
      "http://no-such-host.invalid/",  // lookup fails
  });
  EXPECT_EQ(anyPort.ConnectionCount() + port80.ConnectionCount(), connections);
}

// A request longer than its 1023 bytes, or a path that would add header
// lines of its own, is never sent, not even in part.
TEST_F(GetTest, RequestThatCannotBeComposedIsNotSent) {
  Server server;
  server.SetDefault(scenario::Respond(Found302()));
  Start(&server);

  ExpectRefused({Url(server, "/" + std::string(2000, 'p')),
                 Url(server, "/a HTTP/1.1\r\nX-Injected: 1\r\n\r\nGET /b")});
  component_->Release();
  component_ = nullptr;
  ASSERT_TRUE(server.WaitForExchanges(server.ConnectionCount(), 3000));
  for (const Exchange& ex : server.Exchanges()) EXPECT_EQ(ex.request, "");
}

// Only "200 OK", "302 Moved" and "302 Found" in the status line give a
// result; a redirect's body is never read; a "200 OK" without a body gives 0;
// the header is kept whole. The current edition logs only its exit line, the
// earlier one its steps (a line for a "200 OK" with a body or a redirect).
class GetEditions : public ::testing::TestWithParam<bench::EditionId> {
 protected:
  void SetUp() override { ASSERT_NE(component_, nullptr); }
  void TearDown() override {
    if (component_ != nullptr) component_->Release();
  }
  Lines Log() const { return bench::LogMessages(dir_); }
  // The log path is fixed at load: the install folder comes first.
  std::string dir_ = bench::FreshTestInstall();
  bench::Library library_{GetParam()};
  IZHttp* component_ = library_.Create(2000);
};

TEST_P(GetEditions, StatusLineDecidesTheResult) {
  struct Case {
    std::string statusLine;
    const char* body;
    int result;
    const char* bodyKept;
    int earlierResult = -1;  // -1: as result
  };
  const Case cases[] = {
      {"HTTP/1.1 302 Moved Temporarily", "moved body", 1, ""},
      {"HTTP/1.1 302 Found", "found body", 1, ""},
      {"HTTP/1.0 200 OK", "old server", 1, "old server"},
      {"HTTP/1.1 200 OK", "hello\n", 1, "hello\n"},
      {"HTTP/1.1 200 OK", "", 0, ""},  // closed after its header
      {"HTTP/1.1 200 Ok", "wrong case", 0, ""},
      {"HTTP/1.1 404 Not Found", "<html>missing</html>", 0, ""},
      // A NUL before the first CR LF ends the header's text: the current
      // edition classifies that text whole, the earlier finds no status line.
      {std::string("HTTP/1.1 200 OK\0 cut", 20), "cut body", 1, "cut body", 0},
  };
  const std::string fields =
      "\r\nLocation: http://portal/arrears\r\nX-Upstream: 200 OK\r\nConnection: close\r\n\r\n";
  Server server;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    server.Route("", "/" + std::to_string(i),
                 scenario::Respond(cases[i].statusLine + fields + cases[i].body));
  }
  ASSERT_TRUE(server.Start(0));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.statusLine + std::string(" ") + c.body);
    const bool earlier = GetParam() == bench::EditionId::kEarlier;
    const bool cut = c.statusLine.find('\0') != std::string::npos;
    const int result = earlier && c.earlierResult >= 0 ? c.earlierResult : c.result;
    DeleteFileA(kit::LogPath(dir_).c_str());
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/" + std::to_string(i);
    EXPECT_EQ(component_->Get(url.c_str()), result);
    EXPECT_EQ(kit::HeaderText(component_), (c.statusLine + fields).c_str());
    EXPECT_EQ(kit::BodyText(component_), result == 1 ? c.bodyKept : "");
    const bool redirect = result == 1 && *c.bodyKept == '\0';
    const std::string shape = std::string("535 575 581 593 ") + (earlier && cut ? "" : "605 ") +
                              (result == 0 ? "" : redirect ? "623 " : "614 ") + "631";
    if (!earlier) {
      EXPECT_EQ(Log(), Lines{kExitLine});
    } else {
      const Lines numbers = bench::LogShape(dir_);
      std::string joined;
      for (const std::string& n : numbers) joined += (joined.empty() ? "" : " ") + n;
      EXPECT_EQ(joined, shape);
    }
  }
}

// Get of empty text fetches the edition's default page: the IP-location
// page (current) or the probe page (earlier), with the request it shows.
TEST_P(GetEditions, EmptyTextFetchesTheDefaultPage) {
  const std::string url = GetParam() == bench::EditionId::kCurrent ? quarvel::kIpLocationUrl
                                                                   : quarvel::kProbeUrl;
  const std::string host = kit::HostOf(url), path = kit::PathOf(url);
  Server server;
  server.Route(host, path, scenario::Respond(Ok200("您的IP地址是：[127.0.0.1]")));
  server.SetDefault(scenario::Respond(kit::NotFound404()));
  ASSERT_TRUE(server.Start(kHttpPort));
  EXPECT_EQ(component_->Get(""), 1);
  ASSERT_TRUE(server.WaitForExchanges(1, 2000));
  EXPECT_EQ(server.Exchanges()[0].request, ExpectedRequest(host, path));
  EXPECT_EQ(kit::RequestText(component_), ExpectedRequest(host, path));
  EXPECT_EQ(kit::BodyText(component_), "您的IP地址是：[127.0.0.1]");
}

// The earlier edition's body is its one receive after the header: the rest
// never waits for. Its header read has no receive time-out: only the peer's
// close ends a stalled header.
using EarlierGet = GetEditions;
TEST_P(EarlierGet, TakesOneBodyReceiveAndWaitsForAStalledHeader) {
  const int kPauseMs = 1500, kStallMs = 2500;
  Server server;
  server.Route("", "/parts", Reply{{Step::Send(kit::Ok200("first part;")), Step::Pause(kPauseMs),
                                     Step::Send("second part"), Step::HoldOpen(3000)}});
  server.Route("", "/stalled", Reply{{Step::Send("H"), Step::Pause(kStallMs), Step::Close()}});
  ASSERT_TRUE(server.Start(0));
  component_->SetTimeOut(1000);
  const std::string base = "http://127.0.0.1:" + std::to_string(server.Port());

  double start = bench::NowMs();
  EXPECT_EQ(component_->Get((base + "/parts").c_str()), 1);
  EXPECT_LT(bench::NowMs() - start, kPauseMs - 500) << "Get waited for more than the first receive";
  std::vector<char> body(QUARVEL_RESPONSE_BODY_SIZE, 'Z');
  component_->GetResponseBody(body.data());
  EXPECT_EQ(std::string(body.begin(), std::find(body.begin(), body.end(), 'Z')), "first part;");
  EXPECT_EQ(bench::Shape(dir_), "535 575 581 593 605 614 631");

  DeleteFileA(kit::LogPath(dir_).c_str());
  start = bench::NowMs();
  EXPECT_EQ(component_->Get((base + "/stalled").c_str()), 0);
  const double elapsed = bench::NowMs() - start;
  EXPECT_GE(elapsed, kStallMs - 500);
  EXPECT_LT(elapsed, kStallMs + 5000);
  EXPECT_EQ(bench::Shape(dir_), "535 575 581 317 588 631");
}

QUARVEL_BOTH_EDITIONS(GetEditions);
INSTANTIATE_TEST_SUITE_P(Earlier, EarlierGet, ::testing::Values(bench::EditionId::kEarlier),
                         ::testing::PrintToStringParamName());

// A body of size bytes, each 1024-byte chunk of its own letter.
std::string LetterBody(std::size_t size) {
  std::string body;
  for (char letter = 'a'; body.size() < size; ++letter) body += std::string(kBodyChunk, letter);
  body.resize(size);
  return body;
}

// The 6024-byte buffer keeps at most 6023 bytes and its NUL; a chunk that
// would bring the total to 6024 or more is dropped whole and ends the body.
// A chunk gives its bytes up to its first NUL; the next one follows on.
TEST_F(GetTest, BodyGathersChunks) {
  struct Case {
    std::vector<std::string> chunks;
    std::string kept;
  };
  std::vector<Case> cases = {{{std::string("abc\0def", 7), "ghi"}, "abcghi"}};
  for (std::size_t size : {7000, 6024, 6023}) {
    Case c{{}, LetterBody(size).substr(0, size == 6023 ? 6023 : 5 * kBodyChunk)};
    for (std::size_t at = 0; at < size; at += kBodyChunk) {
      c.chunks.push_back(LetterBody(size).substr(at, kBodyChunk));
    }
    cases.push_back(c);
  }
  Server server;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    std::vector<Step> steps = {Step::Send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n")};
    for (const std::string& chunk : cases[i].chunks) {
      steps.push_back(Step::Pause(30));
      steps.push_back(Step::Send(chunk));
    }
    steps.push_back(Step::Close());
    server.Route("", "/" + std::to_string(i), Reply{steps});
  }
  Start(&server);

  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Get(Url(server, "/" + std::to_string(i))), 1);
    EXPECT_EQ(BodyText(), cases[i].kept);
  }
  EXPECT_EQ(Log(), Lines(cases.size(), kExitLine));
}

// A kept-alive answer ends at its Content-Length or at its last chunk and
// empty line, in one segment or two (bytes that came along are kept; a chunked
// body as it came, up to a NUL in its data). Without either, or malformed, or promising more than
// comes, only the receive time-out ends it; a server that closes, at once.
TEST_F(GetTest, KeptAliveAnswerEndsAtItsLengthOrLastChunkElseAfterOneReceiveTimeOut) {
  auto withLength = [](const std::string& length, const std::string& body) {
    return scenario::HttpResponse("HTTP/1.1 200 OK", {"Content-Length: " + length}, body);
  };
  auto chunked = [](const std::string& body) {
    return scenario::HttpResponse("HTTP/1.1 200 OK", {"Transfer-Encoding: chunked"}, body);
  };
  const std::string chunks = "4\r\nchun\r\n3;x=1\r\nked\r\n0\r\nX-Sum: 7\r\n\r\n";
  const std::size_t cut = chunks.find("=1");
  // Chunk data holding a NUL: the text kept stops there, the framing does not.
  const std::string nulChunks("5\r\nch\0un\r\n0\r\n\r\n", 15);
  struct Case {
    const char* path;
    Reply reply;
    const char* body;
    bool waits;
  };
  const Case cases[] = {
      {"/declared", scenario::RespondKeepAlive(withLength("8", "declared"), 5000), "declared", false},
      {"/split", Reply{{Step::Send(withLength("8", "decl")), Step::Pause(100), Step::Send("ared"),
                         Step::HoldOpen(5000)}},
       "declared", false},
      {"/short", scenario::RespondKeepAlive(withLength("2", "kept"), 5000), "kept", false},
      {"/kept", scenario::RespondKeepAlive(Ok200("kept"), 5000), "kept", true},
      {"/long", scenario::RespondKeepAlive(withLength("100", "short"), 5000), "short", true},
      {"/bad", scenario::RespondKeepAlive(withLength("4x", "kept"), 5000), "kept", true},
      {"/twice", scenario::RespondKeepAlive(withLength("4\r\nContent-Length: 5", "kept"), 5000),
       "kept", true},
      {"/chunked", scenario::RespondKeepAlive(chunked(chunks), 5000), chunks.c_str(), false},
      {"/chunked-split",
       Reply{{Step::Send(chunked(chunks.substr(0, cut))), Step::Pause(100),
               Step::Send(chunks.substr(cut)), Step::HoldOpen(5000)}},
       chunks.c_str(), false},
      {"/chunked-nul", scenario::RespondKeepAlive(chunked(nulChunks), 5000), "5\r\nch", false},
      {"/chunked-bad", scenario::RespondKeepAlive(chunked("4\r\nchunk\r\n0\r\n\r\n"), 5000),
       "4\r\nchunk\r\n0\r\n\r\n", true},
      {"/closed", scenario::Respond(Ok200("closed")), "closed", false},
  };
  Server server;
  for (const Case& c : cases) server.Route("", c.path, c.reply);
  Start(&server);

  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    double elapsedMs = 0;
    EXPECT_EQ(TimedGet(Url(server, c.path), &elapsedMs), 1);
    EXPECT_EQ(BodyText(), c.body);
    if (c.waits) {
      EXPECT_GE(elapsedMs, kReceiveTimeOutMs - 100);
      EXPECT_LT(elapsedMs, kReceiveTimeOutMs + kSlackMs + 500);
    } else {
      EXPECT_LT(elapsedMs, kReceiveTimeOutMs - 100);
    }
  }
  EXPECT_EQ(Log(), Lines(std::size(cases), kExitLine));
}

// The header is read to 1023 bytes at most: an empty line ending at byte 1023
// succeeds; 1023 bytes without it, or one ending at 1024, fail (no receive
// line). A close, reset or silence half-way fails with its own line; silence
// lasts one receive time-out (a timeval would make it 1 ms).
TEST_F(GetTest, HeaderReading) {
  std::string ended = scenario::HeaderOfSize("HTTP/1.1 200 OK", kHeaderLimit, true);
  std::string unended = scenario::HeaderOfSize("HTTP/1.1 200 OK", kHeaderLimit, false);
  std::string tooLong = scenario::HeaderOfSize("HTTP/1.1 200 OK", kHeaderLimit + 1, true);
  ASSERT_EQ(ended.size(), kHeaderLimit);
  ASSERT_EQ(unended.size(), kHeaderLimit);
  ASSERT_EQ(tooLong.size(), kHeaderLimit + 1);
  struct Case {
    const char* path;
    Reply reply;
    int result;
    std::string header;
    const char* body;
    const char* receiveLine;  // null: none
    bool timesOut;
  };
  const Case cases[] = {
      {"/ended", scenario::Respond(ended + "body"), 1, ended, "body", nullptr, false},
      {"/unended", scenario::Respond(unended + "\r\n\r\nbody"), 0, unended, "", nullptr, false},
      {"/long", scenario::Respond(tooLong + "body"), 0, tooLong.substr(0, kHeaderLimit), "",
       nullptr, false},
      {"/closed", scenario::CloseAtOnce(), 0, "", "", "连接已断开！ -> 285", false},
      {"/reset", Reply{{Step::Send("HTTP/1.1 200 OK\r\n"), Step::Pause(200), Step::Reset()}}, 0,
       "HTTP/1.1 200 OK\r\n", "", "SOCKET_ERROR！ -> 10054", false},
      {"/silent", Reply{{Step::Send("HTTP/1.1 200 OK\r\nServer: slow\r\n"), Step::HoldOpen(5000)}},
       0, "HTTP/1.1 200 OK\r\nServer: slow\r\n", "", "SOCKET_ERROR！ -> 10060", true},
  };
  Server server;
  for (const Case& c : cases) server.Route("", c.path, c.reply);
  Start(&server);

  Lines expectedLog;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    double elapsedMs = 0;
    EXPECT_EQ(TimedGet(Url(server, c.path), &elapsedMs), c.result);
    EXPECT_EQ(RequestText(), ExpectedRequest("127.0.0.1", c.path));
    EXPECT_EQ(HeaderText(), c.header);
    EXPECT_EQ(BodyText(), c.body);
    if (c.timesOut) {
      EXPECT_GE(elapsedMs, kReceiveTimeOutMs - 100);
      EXPECT_LT(elapsedMs, kReceiveTimeOutMs + kSlackMs + 500);
    } else {
      EXPECT_LT(elapsedMs, kReceiveTimeOutMs - 100);
    }
    if (c.receiveLine != nullptr) expectedLog.push_back(c.receiveLine);
    if (c.result == 0) expectedLog.push_back(kHeaderFailedLine);
    expectedLog.push_back(kExitLine);
    EXPECT_EQ(Log(), expectedLog);
  }
}

// 0 only polls: the wait fails before any receive, so no receive time-out
// adds to it. 500 waits half a second.
TEST_F(GetTest, WaitForTheAnswerLastsTheTimeOut) {
  Server server;
  server.SetDefault(scenario::Silent(5000));
  Start(&server);

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

// A host that never calls SetTimeOut still waits long enough for a slow link.
TEST_F(GetTest, WithoutSetTimeOutASlowAnswerStillArrives) {
  Server server;
  server.SetDefault(Reply{{Step::Pause(300), Step::Send(Found302()), Step::Close()}});
  Start(&server);
  IZHttp* unset = nullptr;
  ASSERT_EQ(library_.factory()(IID_IZHttp, reinterpret_cast<void**>(&unset)), S_OK);
  EXPECT_EQ(unset->Get(Url(server, "/").c_str()), 1);
  unset->Release();
}

// The first connection stays open after its Get and is closed by the next.
TEST_F(GetTest, NextGetClosesThePreviousConnection) {
  Server server;
  server.SetDefault(scenario::RespondKeepAlive(Found302(), 5000));
  Start(&server);

  EXPECT_EQ(Get(Url(server, "/one")), 1);
  ASSERT_TRUE(server.WaitForExchanges(1, 2000));
  EXPECT_FALSE(server.WaitForFinished(1, 300)) << "the first connection closed on its own";

  EXPECT_EQ(Get(Url(server, "/two")), 1);
  ASSERT_TRUE(server.WaitForExchanges(2, 2000));
  ASSERT_TRUE(server.WaitForFinished(1, 2000));
  std::vector<Exchange> seen = server.Exchanges();
  ASSERT_GE(seen[0].peerClosedMs, 0);
  EXPECT_GE(seen[0].peerClosedMs, seen[0].requestEndMs + 300);
  // Closed as the second Get connected (the server notices within a slice).
  EXPECT_LE(seen[0].peerClosedMs, seen[1].acceptedMs + 100);
  EXPECT_EQ(seen[1].peerClosedMs, -1);
}

// The answer cut after every byte of its header into two sends, and whole in
// one segment: each edition takes the header exactly to its empty line and
// finds the body, which begins like another empty line, after it.
TEST_P(GetEditions, HeaderEndsAtTheEmptyLineWhereverItIsCut) {
  const std::string header = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n";
  const std::string body = "\r\n\r\nbody";
  const std::string answer = header + body;
  Server server;
  server.Route("", "/whole", scenario::Respond(answer));
  for (std::size_t cut = 1; cut <= header.size(); ++cut) {
    server.Route("", "/" + std::to_string(cut),
                 Reply{{Step::Send(answer.substr(0, cut)), Step::Pause(20),
                         Step::Send(answer.substr(cut)), Step::Close()}});
  }
  ASSERT_TRUE(server.Start(0));

  for (std::size_t cut = 1; cut <= header.size() + 1; ++cut) {
    const std::string path = cut > header.size() ? "/whole" : "/" + std::to_string(cut);
    SCOPED_TRACE(path);
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + path;
    EXPECT_EQ(component_->Get(url.c_str()), 1);
    EXPECT_EQ(kit::HeaderText(component_), header);
    EXPECT_EQ(kit::BodyText(component_), body);
  }
}

}  // namespace
