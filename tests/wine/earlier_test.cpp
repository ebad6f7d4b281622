// The earlier edition of Quarvel.dll as a host sees it, against scenario
// servers on loopback: Get's step lines and single body receive, the
// redirection check with its meta refresh targets, the dispatch that looks
// for the rules file first and holds its few province rules itself, and the
// log unit that keeps old files. SideBySide.PrintTable plays shared scenarios
// against both editions and prints their results and log numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/Settings.h"
#include "tests/wine/TestBench.h"
#include "tools/scenario/ScenarioServer.h"

namespace {

using bench::EditionId;
using scenario::HttpResponse;
using scenario::Reply;
using scenario::Server;
using scenario::Step;

constexpr int kTargetSize = 528;          // the dispatch's own target buffer
constexpr unsigned int kPageUnits = 600;  // the host's page buffer
constexpr wchar_t kPageFill = L'#';
constexpr unsigned short kHttpPort = 80;  // the built-in URLs' port
constexpr std::size_t kStampLen = 23;     // "yyyy-MM-dd hh:mm:ss -> "

// The Get lines of a 404, a "200 OK" with a body and a "302 Found".
const std::string kGet404 = "535 575 581 593 605 631";
const std::string kGet200 = "535 575 581 593 605 614 631";
const std::string kGet302 = "535 575 581 593 605 623 631";

const char* kOkStatus = "HTTP/1.1 200 OK";
const char* kFoundStatus = "HTTP/1.1 302 Found";
const char* kProbeBody = "<title>百度一下，你就知道 </title>\n";

// Host and path of a built-in "http://host/path" URL.
struct HostPath {
  std::string host;
  std::string path;
};

HostPath SplitUrl(const std::string& url) {
  const std::string scheme = "http://";
  std::string rest = url.substr(url.find(scheme) == 0 ? scheme.size() : 0);
  std::size_t slash = rest.find('/');
  HostPath parts;
  parts.host = rest.substr(0, std::min(slash, rest.find(':')));
  parts.path = slash == std::string::npos ? "/" : rest.substr(slash);
  return parts;
}

Reply Page(const std::string& body) { return scenario::Respond(HttpResponse(kOkStatus, {}, body)); }

Reply Found(const std::string& location) {
  return scenario::Respond(HttpResponse(kFoundStatus, {"Location: " + location}, ""));
}

bool IsStampAt(const std::string& log, std::size_t at) {
  static const char kShape[] = "dddd-dd-dd dd:dd:dd -> ";
  if (at + kStampLen > log.size()) return false;
  for (std::size_t i = 0; i < kStampLen; ++i) {
    char c = log[at + i];
    bool ok = kShape[i] == 'd' ? (c >= '0' && c <= '9') : c == kShape[i];
    if (!ok) return false;
  }
  return true;
}

// The log's records, each the text written by one WriteLog call (after its
// time stamp, line ends as in the file). A text written without "\n" runs
// into the next line, so records are split at time stamps, not at line ends.
std::vector<std::string> Records(const std::string& installDir) {
  std::string log = bench::ReadLog(installDir);
  std::vector<std::size_t> starts;
  for (std::size_t at = 0; at < log.size(); ++at) {
    if (IsStampAt(log, at)) starts.push_back(at);
  }
  std::vector<std::string> records;
  for (std::size_t i = 0; i < starts.size(); ++i) {
    std::size_t from = starts[i] + kStampLen;
    std::size_t to = i + 1 < starts.size() ? starts[i + 1] : log.size();
    records.push_back(log.substr(from, to - from));
  }
  return records;
}

// The number of a numbered record ("... -> N" or "...-> N", optionally
// followed by ",values"), or "-" for a text written as it is.
std::string NumberOf(std::string record) {
  while (!record.empty() && (record.back() == '\n' || record.back() == '\r')) record.pop_back();
  std::size_t arrow = record.rfind("-> ");
  if (arrow == std::string::npos) return "-";
  std::size_t from = arrow + 3;
  std::size_t end = record.find_first_not_of("-0123456789", from);
  if (end == from) return "-";
  if (end != std::string::npos && record[end] != ',') return "-";
  return record.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

// The numbers of the log's records joined by blanks, "-" for direct texts.
std::string Shape(const std::string& installDir) {
  std::string shape;
  for (const std::string& record : Records(installDir)) {
    if (!shape.empty()) shape += ' ';
    shape += NumberOf(record);
  }
  return shape;
}

// A text as the log file holds it: each "\n" written as CR LF.
std::string OnDisk(const std::string& text) {
  std::string disk;
  for (char c : text) disk += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return disk;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string Rules(const std::string& section, const std::vector<std::string>& keys) {
  std::string text = "[" + section + "]\r\n";
  for (const std::string& key : keys) text += key + "\r\n";
  return text;
}

// Releases a component at scope end, before the server and the library go.
class Component {
 public:
  explicit Component(IZHttp* component) : component_(component) {}
  ~Component() {
    if (component_ != nullptr) component_->Release();
  }
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;
  IZHttp* operator->() const { return component_; }
  IZHttp* get() const { return component_; }

 private:
  IZHttp* component_;
};

// The host's page buffer, prefilled so that an untouched buffer shows.
struct PageBuffer {
  wchar_t units[kPageUnits];
  PageBuffer() { std::fill(units, units + kPageUnits, kPageFill); }
  bool Untouched() const {
    for (wchar_t u : units) {
      if (u != kPageFill) return false;
    }
    return true;
  }
  std::wstring Text() const { return std::wstring(units); }
};

class Earlier : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    bench::ResetSetupKey();
    dir_ = bench::FreshInstallDir(std::string("earlier-") + info->test_suite_name() + "-" +
                                  info->name());
    bench::SetProvince("0");
  }

  // Loads the earlier edition; the registry must be set first, since the log
  // path is fixed at load.
  bool Load() {
    library_.reset(new bench::Library(EditionId::kEarlier));
    return library_->factory() != nullptr;
  }

  // A new component: it takes the province code from the registry now.
  IZHttp* Create(int timeOutMs = 2000) { return library_->Create(timeOutMs); }

  void ClearLog() { DeleteFileA((dir_ + "Log\\Quarvel_log.log").c_str()); }

  // Starts a server on port 80, where the built-in URLs lead.
  bool StartOnHttpPort(Server* server) { return server->Start(kHttpPort); }

  // CheckRedirction into a 528-byte buffer; the target text lands in *target.
  int Check(IZHttp* component, std::string* target) {
    char buffer[kTargetSize];
    std::memset(buffer, 'Z', sizeof buffer);
    int capacity = kTargetSize;
    int result = component->CheckRedirction(buffer, &capacity);
    EXPECT_EQ(buffer[kTargetSize - 1], '\0');
    target->assign(buffer, std::find(buffer, buffer + sizeof buffer, '\0') - buffer);
    return result;
  }

  std::string dir_;
  std::unique_ptr<bench::Library> library_;
};

std::string LocalUrl(const Server& server, const std::string& path) {
  return "http://127.0.0.1:" + std::to_string(server.Port()) + path;
}

// --- Get ---------------------------------------------------------------------

TEST_F(Earlier, GetLogsEveryStepOfA404) {
  ASSERT_TRUE(Load());
  Server server;
  ASSERT_TRUE(server.Start(0));
  Component component(Create());
  EXPECT_EQ(component->Get(LocalUrl(server, "/missing").c_str()), 0);
  EXPECT_EQ(Shape(dir_), kGet404);

  std::vector<std::string> records = Records(dir_);
  ASSERT_EQ(records.size(), 6u);
  EXPECT_EQ(records[0], "TZHttp::Get start！ -> 535\r\n");
  EXPECT_EQ(records[1], "发送成功！ -> 575\r\n");
  EXPECT_EQ(records[2], "等待读取数据成功！ -> 581\r\n");
  EXPECT_EQ(records[3], "接收响应报头成功！ -> 593\r\n");
  EXPECT_EQ(records[4], "判断响应报头成功！ -> 605\r\n");
  EXPECT_EQ(records[5], "TZHttp::Get finish！ -> 631\r\n");

  // A 404 leaves no body: the accessor copies nothing over the fill.
  std::vector<char> body(QUARVEL_RESPONSE_BODY_SIZE, 'Z');
  EXPECT_EQ(component->GetResponseBody(body.data()), 1);
  EXPECT_EQ(body[0], 'Z');
}

TEST_F(Earlier, GetLogsTheOkAndRedirectPaths) {
  ASSERT_TRUE(Load());
  Server server;
  server.Route("", "/ok", Page("hello\n"));
  server.Route("", "/found", Found("http://portal.isp.example/x"));
  server.Route("", "/moved",
               scenario::Respond(HttpResponse("HTTP/1.1 302 Moved", {"Location: /y"}, "")));
  ASSERT_TRUE(server.Start(0));
  Component component(Create());

  EXPECT_EQ(component->Get(LocalUrl(server, "/ok").c_str()), 1);
  EXPECT_EQ(Shape(dir_), kGet200);
  EXPECT_EQ(Records(dir_).at(5), "接收200响应包体成功！ -> 614\r\n");
  std::vector<char> body(QUARVEL_RESPONSE_BODY_SIZE, '\0');
  component->GetResponseBody(body.data());
  EXPECT_STREQ(body.data(), "hello\n");

  for (const char* path : {"/found", "/moved"}) {
    ClearLog();
    EXPECT_EQ(component->Get(LocalUrl(server, path).c_str()), 1) << path;
    EXPECT_EQ(Shape(dir_), kGet302) << path;
    EXPECT_EQ(Records(dir_).at(5), "接收302响应成功！ -> 623\r\n") << path;
  }
}

TEST_F(Earlier, GetOfEmptyTextFetchesTheProbeUrl) {
  ASSERT_TRUE(Load());
  HostPath probe = SplitUrl(quarvel::kProbeUrl);
  Server server;
  server.Route(probe.host, probe.path, Page(kProbeBody));
  ASSERT_TRUE(StartOnHttpPort(&server));
  Component component(Create());

  EXPECT_EQ(component->Get(""), 1);
  std::vector<scenario::Exchange> exchanges = server.Exchanges();
  ASSERT_EQ(exchanges.size(), 1u);
  EXPECT_EQ(exchanges[0].host, probe.host);
  EXPECT_EQ(exchanges[0].request.find("GET " + probe.path + " HTTP/1.1\r\n"), 0u);
  // What went out is the request text the component keeps.
  std::vector<char> request(QUARVEL_REQUEST_HEADER_SIZE + 1, '\0');
  component->GetRequestHeader(request.data());
  EXPECT_EQ(std::string(request.data()), exchanges[0].request);
}

TEST_F(Earlier, OneBodyReceiveKeepsTheFirstPartAndDoesNotWaitForTheClose) {
  const int kPauseMs = 1500;
  ASSERT_TRUE(Load());
  Server server;
  Reply reply;
  reply.steps = {Step::Send(HttpResponse(kOkStatus, {}, "first part;")), Step::Pause(kPauseMs),
                 Step::Send("second part"), Step::HoldOpen(3000)};
  server.SetDefault(reply);
  ASSERT_TRUE(server.Start(0));
  Component component(Create());

  double start = bench::NowMs();
  EXPECT_EQ(component->Get(LocalUrl(server, "/").c_str()), 1);
  double elapsed = bench::NowMs() - start;
  EXPECT_LT(elapsed, kPauseMs - 500) << "Get waited for more than the first receive";

  std::vector<char> body(QUARVEL_RESPONSE_BODY_SIZE, '\0');
  component->GetResponseBody(body.data());
  EXPECT_STREQ(body.data(), "first part;");
  EXPECT_EQ(Shape(dir_), kGet200);
}

TEST_F(Earlier, HeaderReadWaitsForAStalledServerUntilItCloses) {
  const int kStallMs = 2500;
  ASSERT_TRUE(Load());
  Server server;
  Reply reply;
  reply.steps = {Step::Send("H"), Step::Pause(kStallMs), Step::Close()};
  server.SetDefault(reply);
  ASSERT_TRUE(server.Start(0));
  Component component(Create(1000));

  double start = bench::NowMs();
  EXPECT_EQ(component->Get(LocalUrl(server, "/").c_str()), 0);
  double elapsed = bench::NowMs() - start;
  // No receive time-out: only the peer's close ends the wait.
  EXPECT_GE(elapsed, kStallMs - 500);
  EXPECT_LT(elapsed, kStallMs + 5000);
  EXPECT_EQ(Shape(dir_), "535 575 581 317 588 631");
  std::vector<std::string> records = Records(dir_);
  ASSERT_EQ(records.size(), 6u);
  EXPECT_EQ(records[3], "连接已断开！ -> 317\r\n");
  EXPECT_EQ(records[4], "接收响应报头失败！ -> 588\r\n");
}

// --- CheckRedirction ----------------------------------------------------------

TEST_F(Earlier, ProbeMarkerMeansNetworkUpInEveryProvince) {
  ASSERT_TRUE(Load());
  Server server;
  server.SetDefault(Page(kProbeBody));
  ASSERT_TRUE(StartOnHttpPort(&server));
  const std::string loggedBody(kProbeBody, std::strlen(kProbeBody) - 1);

  for (const char* province : {"27", "13", "21", "0"}) {
    bench::SetProvince(province);
    ClearLog();
    Component component(Create());
    std::string target;
    EXPECT_EQ(Check(component.get(), &target), NetworkUp) << province;
    EXPECT_EQ(target, "") << province;
    // The body once, and no finish line after a network-up page.
    EXPECT_EQ(Shape(dir_), "659 " + kGet200 + " 669 674 -") << province;
    EXPECT_EQ(Count(bench::ReadLog(dir_), loggedBody), 1u) << province;
  }
}

TEST_F(Earlier, ShanXiTakesTheTargetFromTheMetaRefreshTag) {
  struct Case {
    const char* what;
    std::string body;
    int result;
    std::string target;
  };
  const std::vector<Case> cases = {
      {"lower-case tag, upper-case URL=",
       "<meta http-equiv=\"Refresh\" content=\"0;URL=http://Portal.isp.example/Pay?A=1\">\n",
       TargetFound, "http://Portal.isp.example/Pay?A=1"},
      {"tag in capitals", "<META HTTP-EQUIV=\"Refresh\" CONTENT=\"0;URL=http://portal.isp.example/\">\n",
       TargetUnparsed, ""},
      {"refresh in lower case", "<meta http-equiv=\"refresh\" content=\"0;url=http://portal.isp.example/\">\n",
       TargetUnparsed, ""},
      {"delay only, url= after the tag",
       "<meta http-equiv=\"Refresh\" content=\"30\"><a href=\"/go?url=http://portal.isp.example/\">\n",
       TargetUnparsed, ""},
      {"single quotes stay",
       "<meta http-equiv=\"Refresh\" content=\"0;url='http://portal.isp.example/sq'\">\n", TargetFound,
       "'http://portal.isp.example/sq'"},
      {"every double quote removed",
       "<meta http-equiv=\"Refresh\" content=\"0;url=http://portal.isp.example/\"a\"b\" />\n", TargetFound,
       "http://portal.isp.example/ab /"},
      {"no > after the tag", "<meta http-equiv=\"Refresh\" content=\"0;url=http://portal.isp.example/\n",
       TargetUnparsed, ""},
  };
  bench::SetProvince("27");
  ASSERT_TRUE(Load());
  Server server;
  ASSERT_TRUE(StartOnHttpPort(&server));

  for (const Case& c : cases) {
    server.SetDefault(Page(c.body));
    ClearLog();
    Component component(Create());
    std::string target;
    EXPECT_EQ(Check(component.get(), &target), c.result) << c.what;
    EXPECT_EQ(target, c.target) << c.what;
    // The body is logged twice in ShanXi; only a found target gets the
    // finish line.
    std::string tail = c.result == TargetFound ? " 669 674 - - 748" : " 669 674 - -";
    EXPECT_EQ(Shape(dir_), "659 " + kGet200 + tail) << c.what;
    std::string body = c.body.substr(0, c.body.size() - 1);
    EXPECT_EQ(Count(bench::ReadLog(dir_), body), 2u) << c.what;
  }
}

TEST_F(Earlier, OtherProvincesIgnoreTheMetaRefreshTag) {
  bench::SetProvince("13");
  ASSERT_TRUE(Load());
  Server server;
  const std::string body = "<meta http-equiv=\"Refresh\" content=\"0;url=http://portal.isp.example/\">\n";
  server.SetDefault(Page(body));
  ASSERT_TRUE(StartOnHttpPort(&server));
  Component component(Create());
  std::string target;
  EXPECT_EQ(Check(component.get(), &target), NoTarget);
  EXPECT_EQ(target, "");
  EXPECT_EQ(Shape(dir_), "659 " + kGet200 + " 669 674 - 748");
}

TEST_F(Earlier, LocationHeaderLinesAndTarget) {
  ASSERT_TRUE(Load());
  Server server;
  ASSERT_TRUE(StartOnHttpPort(&server));

  server.SetDefault(Found("http://portal.isp.example/pay?x=1"));
  {
    Component component(Create());
    std::string target;
    EXPECT_EQ(Check(component.get(), &target), TargetFound);
    EXPECT_EQ(target, " http://portal.isp.example/pay?x=1\r\n\r\n");
    EXPECT_EQ(Shape(dir_), "659 " + kGet302 + " 669 713 732 748");
    EXPECT_EQ(Records(dir_).at(9), "CheckRedirction iRsType Is 2！ -> 713\r\n");
    EXPECT_EQ(Records(dir_).at(10), "CheckRedirction Pos Location Is succeed！ -> 732\r\n");
  }

  ClearLog();
  server.SetDefault(scenario::Respond(
      HttpResponse(kFoundStatus, {"location: http://portal.isp.example/pay"}, "")));
  {
    Component component(Create());
    std::string target;
    EXPECT_EQ(Check(component.get(), &target), NoTarget);
    EXPECT_EQ(target, "");
    EXPECT_EQ(Shape(dir_), "659 " + kGet302 + " 669 713 743 748");
    EXPECT_EQ(Records(dir_).at(10), "CheckRedirction 定位 Location失败！ -> 743\r\n");
  }

  // A header block whose text is empty (its first byte is zero) has no
  // status line, so iRsType never becomes 2 with an empty header and the
  // line 723 cannot be reached from the network.
  ClearLog();
  server.SetDefault(scenario::Respond(std::string(1, '\0') + HttpResponse(kFoundStatus,
                                                                          {"Location: /x"}, "")));
  {
    Component component(Create());
    std::string target;
    EXPECT_EQ(Check(component.get(), &target), NoTarget);
    EXPECT_EQ(Shape(dir_), "659 535 575 581 593 631 669 748");
  }
}

TEST_F(Earlier, NullTargetFetchesAndLogsNothing) {
  ASSERT_TRUE(Load());
  Server server;
  server.SetDefault(Page(kProbeBody));
  ASSERT_TRUE(StartOnHttpPort(&server));
  Component component(Create());
  int capacity = kTargetSize;
  EXPECT_EQ(component->CheckRedirction(nullptr, &capacity), NoTarget);
  char buffer[kTargetSize];
  EXPECT_EQ(component->CheckRedirction(buffer, nullptr), NoTarget);
  EXPECT_EQ(server.ConnectionCount(), 0);
  EXPECT_EQ(bench::ReadLog(dir_), "");
}

TEST_F(Earlier, LongTargetsAreCutToTheCallersCapacity) {
  const std::string address = "http://portal.isp.example/" + std::string(700, 'a');
  bench::SetProvince("27");
  ASSERT_TRUE(Load());
  Server server;
  server.Route("", "/meta",
               Page("<meta http-equiv=\"Refresh\" content=\"0;url=" + address + "\">\n"));
  server.Route("", "/found", Found(address));
  ASSERT_TRUE(StartOnHttpPort(&server));
  Component component(Create());

  for (const char* path : {"/meta", "/found"}) {
    component->Get(LocalUrl(server, path).c_str());  // sets sUrl for the check
    for (int capacity : {16, 1}) {
      std::vector<char> area(64, '\xAB');
      EXPECT_EQ(component->CheckRedirction(area.data(), &capacity), TargetFound) << path;
      std::string expected = std::string(path) == "/meta" ? address : " " + address;
      EXPECT_EQ(std::string(area.data()), expected.substr(0, capacity - 1)) << path;
      for (std::size_t i = static_cast<std::size_t>(capacity); i < area.size(); ++i) {
        ASSERT_EQ(area[i], '\xAB') << path << " capacity " << capacity << " byte " << i;
      }
    }
  }
}

// --- CheckNetDisconType ------------------------------------------------------

TEST_F(Earlier, WithoutRulesFileNothingIsFetched) {
  ASSERT_TRUE(Load());
  Server server;
  server.SetDefault(Page(kProbeBody));
  ASSERT_TRUE(StartOnHttpPort(&server));
  Component component(Create());
  PageBuffer page;
  EXPECT_EQ(component->CheckNetDisconType(page.units, kPageUnits), Unclassified);
  EXPECT_EQ(Records(dir_), std::vector<std::string>{"CheckNetDisconType begin！ -> 755\r\n"});
  EXPECT_EQ(server.ConnectionCount(), 0);
  EXPECT_TRUE(page.Untouched());
}

TEST_F(Earlier, NetworkUpWithRulesFile) {
  bench::WriteRules(dir_, Rules("ShanXi", {"AccountExpirePage=/expire"}));
  bench::SetProvince("27");
  ASSERT_TRUE(Load());
  Server server;
  server.SetDefault(Page(kProbeBody));
  ASSERT_TRUE(StartOnHttpPort(&server));
  Component component(Create());
  PageBuffer page;
  EXPECT_EQ(component->CheckNetDisconType(page.units, kPageUnits), NetworkUpType);
  EXPECT_EQ(Shape(dir_), "755 659 " + kGet200 + " 669 674 - 3");
  EXPECT_EQ(Records(dir_).back(), "CheckRedirction return is！ -> 3\r\n");
  EXPECT_TRUE(page.Untouched());
}

TEST_F(Earlier, UnparsedOrNoTargetEndsWithTheReturnLine) {
  bench::WriteRules(dir_, Rules("ShanXi", {"AccountExpirePage=/expire"}));
  bench::SetProvince("27");
  ASSERT_TRUE(Load());
  Server server;
  ASSERT_TRUE(StartOnHttpPort(&server));

  server.SetDefault(Page("<p>no tag</p>\n"));
  {
    Component component(Create());
    PageBuffer page;
    EXPECT_EQ(component->CheckNetDisconType(page.units, kPageUnits), Unclassified);
    EXPECT_EQ(Shape(dir_), "755 659 " + kGet200 + " 669 674 - - 2");
    EXPECT_TRUE(page.Untouched());
  }
  ClearLog();
  server.SetDefault(scenario::Respond(HttpResponse("HTTP/1.1 404 Not Found", {}, "")));
  {
    Component component(Create());
    PageBuffer page;
    EXPECT_EQ(component->CheckNetDisconType(page.units, kPageUnits), Unclassified);
    EXPECT_EQ(Shape(dir_), "755 659 " + kGet404 + " 669 748 0");
    EXPECT_TRUE(page.Untouched());
  }
}

TEST_F(Earlier, ShanXiAccountExpirePage) {
  const std::string value = "http://portal.isp.example/欠费";
  bench::SetProvince("27");
  ASSERT_TRUE(Load());
  Server server;
  server.SetDefault(Found(value + "?user=1"));
  ASSERT_TRUE(StartOnHttpPort(&server));

  bench::WriteRules(dir_, Rules("ShanXi", {"AccountExpirePage=" + value}));
  {
    Component component(Create());
    PageBuffer page;
    EXPECT_EQ(component->CheckNetDisconType(page.units, kPageUnits), AccountExpire);
    EXPECT_EQ(page.Text(), L"http://portal.isp.example/欠费");
    EXPECT_EQ(Shape(dir_), "755 659 " + kGet302 + " 669 713 732 748 1 - 786");
    std::vector<std::string> records = Records(dir_);
    EXPECT_EQ(records.at(records.size() - 2), OnDisk(" " + value + "?user=1\r\n\r\n"));
    EXPECT_EQ(records.back(), "CheckNetDisconType 陕西 27！ -> 786\r\n");
  }

  // The earlier edition reads no other ShanXi key.
  ClearLog();
  bench::WriteRules(dir_, Rules("ShanXi", {"PPPoEErrPwPage=" + value}));
  {
    Component component(Create());
    PageBuffer page;
    EXPECT_EQ(component->CheckNetDisconType(page.units, kPageUnits), Unclassified);
    EXPECT_TRUE(page.Untouched());
    EXPECT_EQ(Shape(dir_), "755 659 " + kGet302 + " 669 713 732 748 1 - 786");
  }
}

TEST_F(Earlier, AnHuiRules) {
  bench::SetProvince("13");
  ASSERT_TRUE(Load());
  Server server;
  server.SetDefault(Found("http://portal.isp.example/expire/badpw"));
  ASSERT_TRUE(StartOnHttpPort(&server));

  // Both values in the target: the arrears page is tested first.
  bench::WriteRules(dir_, Rules("AnHui", {"AccountExpirePage=/expire", "ErrPasswordPage=/badpw"}));
  {
    Component component(Create());
    PageBuffer page;
    EXPECT_EQ(component->CheckNetDisconType(page.units, kPageUnits), AccountExpire);
    EXPECT_EQ(page.Text(), L"/expire");
    std::vector<std::string> records = Records(dir_);
    ASSERT_GE(records.size(), 3u);
    EXPECT_EQ(records[records.size() - 3], "CheckNetDisconType 安徽 13！ -> 818\r\n");
    EXPECT_EQ(records[records.size() - 2], "获取到的地址信息： -> 828,/expire,/badpw\r\n");
    EXPECT_EQ(records.back(), "帐号欠费 -> 833\r\n");
  }

  // Only the wrong-password page: the first value's place stays empty.
  ClearLog();
  bench::WriteRules(dir_, Rules("AnHui", {"ErrPasswordPage=/badpw"}));
  {
    Component component(Create());
    PageBuffer page;
    EXPECT_EQ(component->CheckNetDisconType(page.units, kPageUnits), ErrPassword);
    EXPECT_EQ(page.Text(), L"/badpw");
    std::vector<std::string> records = Records(dir_);
    ASSERT_GE(records.size(), 2u);
    EXPECT_EQ(records[records.size() - 2], "获取到的地址信息： -> 828,,/badpw\r\n");
    EXPECT_EQ(records.back(), "拨号密码错误 -> 848\r\n");
  }
}

TEST_F(Earlier, GuangXiHasNoRules) {
  bench::WriteRules(dir_, Rules("GuangXi", {"AccountHangDead=1", "ErrPasswordPage=1",
                                            "AccountExpirePage=1"}));
  bench::SetProvince("21");
  ASSERT_TRUE(Load());
  Server server;
  server.SetDefault(Found("https://portal.isp.example/kbs/product?nodeid=138485"));
  ASSERT_TRUE(StartOnHttpPort(&server));
  Component component(Create());
  PageBuffer page;
  EXPECT_EQ(component->CheckNetDisconType(page.units, kPageUnits), Unclassified);
  EXPECT_TRUE(page.Untouched());
  std::vector<std::string> records = Records(dir_);
  ASSERT_GE(records.size(), 2u);
  EXPECT_EQ(records[records.size() - 2], "CheckRedirction return is！ -> 1\r\n");
  EXPECT_EQ(records.back(), OnDisk(" https://portal.isp.example/kbs/product?nodeid=138485\r\n\r\n"));
}

TEST_F(Earlier, DispatchCutsAMetaRefreshTargetTo527Bytes) {
  const std::string address = "http://portal.isp.example/" + std::string(600, 'a') + "/expire";
  bench::WriteRules(dir_, Rules("ShanXi", {"AccountExpirePage=/expire"}));
  bench::SetProvince("27");
  ASSERT_TRUE(Load());
  Server server;
  server.SetDefault(Page("<meta http-equiv=\"Refresh\" content=\"0;url=" + address + "\">\n"));
  ASSERT_TRUE(StartOnHttpPort(&server));
  Component component(Create());
  PageBuffer page;
  // "/expire" lies beyond the 527 bytes kept, so it does not hit.
  EXPECT_EQ(component->CheckNetDisconType(page.units, kPageUnits), Unclassified);
  EXPECT_TRUE(page.Untouched());
  std::vector<std::string> records = Records(dir_);
  ASSERT_GE(records.size(), 2u);
  EXPECT_EQ(records[records.size() - 2], address.substr(0, kTargetSize - 1));
  EXPECT_EQ(records.back(), "CheckNetDisconType 陕西 27！ -> 786\r\n");
}

TEST_F(Earlier, AnHuiValuesLineStaysWithinTheMessageBound) {
  const std::string valueA(kTargetSize - 1, 'e');
  const std::string valueB(kTargetSize - 1, 'p');
  bench::WriteRules(dir_, Rules("AnHui", {"AccountExpirePage=" + valueA, "ErrPasswordPage=" + valueB}));
  bench::SetProvince("13");
  ASSERT_TRUE(Load());
  Server server;
  server.SetDefault(Found("http://portal.isp.example/other"));
  ASSERT_TRUE(StartOnHttpPort(&server));
  Component component(Create());
  PageBuffer page;
  EXPECT_EQ(component->CheckNetDisconType(page.units, kPageUnits), Unclassified);

  const std::string head = "获取到的地址信息： -> 828,";
  std::vector<std::string> records = Records(dir_);
  ASSERT_FALSE(records.empty());
  const std::string& line = records.back();
  ASSERT_EQ(line.compare(0, head.size(), head), 0) << line;
  // 399 bytes and the terminator in the message buffer; "\n" is CR LF on disk.
  EXPECT_LE(line.size() - 1, 399u);
  EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
  EXPECT_NE(line.find(",eee"), std::string::npos);
  EXPECT_NE(line.find(",ppp"), std::string::npos);
}

// --- Log unit ----------------------------------------------------------------

FILETIME DaysAgo(int days) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER t;
  t.LowPart = now.dwLowDateTime;
  t.HighPart = now.dwHighDateTime;
  t.QuadPart -= static_cast<ULONGLONG>(days) * 24 * 3600 * 10000000ULL;
  FILETIME then;
  then.dwLowDateTime = t.LowPart;
  then.dwHighDateTime = t.HighPart;
  return then;
}

void MakeOld(const std::string& path, int days) {
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  FILETIME then = DaysAgo(days);
  EXPECT_TRUE(SetFileTime(file, &then, &then, &then));
  CloseHandle(file);
}

// Age in whole days of the creation time the directory search reports.
long long CreationAgeDays(const std::string& path) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(path.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return -1;
  FindClose(search);
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER a, b;
  a.LowPart = now.dwLowDateTime;
  a.HighPart = now.dwHighDateTime;
  b.LowPart = entry.ftCreationTime.dwLowDateTime;
  b.HighPart = entry.ftCreationTime.dwHighDateTime;
  return static_cast<long long>((a.QuadPart - b.QuadPart) / (24 * 3600 * 10000000ULL));
}

TEST_F(Earlier, LoadKeepsOldLogFiles) {
  const std::string logDir = dir_ + "Log\\";
  CreateDirectoryA(logDir.c_str(), nullptr);
  const std::string log = logDir + "Quarvel_log.log";
  const std::string other = logDir + "old-Quarvel_log.txt";
  bench::WriteFile(log, "old line\r\n");
  bench::WriteFile(other, "old");
  MakeOld(log, 10);
  MakeOld(other, 10);
  ASSERT_GE(CreationAgeDays(log), 9);
  ASSERT_GE(CreationAgeDays(other), 9);

  ASSERT_TRUE(Load());
  EXPECT_TRUE(bench::FileExists(log));
  EXPECT_TRUE(bench::FileExists(other));
  {
    Component component(Create());
    component->Get("http://127.0.0.1:1/");
  }
  EXPECT_EQ(bench::ReadLog(dir_).find("old line\r\n"), 0u);  // appended, not replaced
  EXPECT_EQ(NumberOf(Records(dir_).back()), "631");
  library_.reset();

  // The same files are old enough for the current edition's purge.
  bench::Library current(EditionId::kCurrent);
  EXPECT_FALSE(bench::FileExists(other));
}

// --- Both editions -----------------------------------------------------------

struct SharedScenario {
  const char* name;
  Reply reply;
  bool rulesFile;
  int current;  // expected CheckNetDisconType result of each edition
  int earlier;
};

const char* kExpirePage = "http://portal.isp.example/expire";

std::vector<SharedScenario> SharedScenarios() {
  const std::string expire = kExpirePage;
  return {
      {"404 Not Found", scenario::Respond(HttpResponse("HTTP/1.1 404 Not Found", {}, "")), true,
       Unclassified, Unclassified},
      {"200, probe marker", Page(kProbeBody), true, NetworkUpType, NetworkUpType},
      {"200, IP-location marker", Page("<p>您的IP地址是：[127.0.0.1]</p>\n"), true, NetworkUpType,
       Unclassified},
      {"302 Found, Location elsewhere", Found("http://portal.isp.example/notice"), true,
       Unclassified, Unclassified},
      {"302 Found, no Location",
       scenario::Respond(HttpResponse(kFoundStatus, {"Content-Length: 0"}, "")), true,
       Unclassified, Unclassified},
      {"27 portal page, url=http://",
       Page("<a href=\"http://portal.isp.example/go?url=" + expire + "\">pay</a>\n"), true,
       AccountExpire, Unclassified},
      {"27 portal page, meta refresh",
       Page("<meta http-equiv=\"Refresh\" content=\"0;url=" + expire + "\">\n"), true,
       AccountExpire, AccountExpire},
      {"302 to ShanXi AccountExpirePage", Found(expire + "?user=1"), true, AccountExpire,
       AccountExpire},
      {"same 302, rules file missing", Found(expire + "?user=1"), false, Unclassified,
       Unclassified},
  };
}

struct Outcome {
  int result;
  std::string shape;
};

// The record numbers, with the texts written without a number named: the
// current edition's Get exit line and network-up line, and any other text
// (a body or a target) as "txt".
std::string TableShape(const std::string& installDir) {
  std::string shape;
  for (const std::string& record : Records(installDir)) {
    std::string label = NumberOf(record);
    if (label == "-") {
      label = record == OnDisk("Get 退出！\n") ? "exit" : record == OnDisk("网络通。\n") ? "up" : "txt";
    }
    if (!shape.empty()) shape += ' ';
    shape += label;
  }
  return shape;
}

// Plays every scenario against one edition in province "27", a fresh
// component each time (so the first fetch is the edition's default URL).
std::vector<Outcome> PlayAll(EditionId edition, const std::string& dir, Server* server) {
  const std::string rules = Rules("ShanXi", {std::string("AccountExpirePage=") + kExpirePage});
  bench::Library library(edition);
  std::vector<Outcome> outcomes;
  for (const SharedScenario& s : SharedScenarios()) {
    DeleteFileA((dir + "Data\\Quarvel.ini").c_str());
    if (s.rulesFile) bench::WriteRules(dir, rules);
    DeleteFileA((dir + "Log\\Quarvel_log.log").c_str());
    server->SetDefault(s.reply);
    Component component(library.Create());
    PageBuffer page;
    int result = component.get() ? component->CheckNetDisconType(page.units, kPageUnits) : -1;
    outcomes.push_back({result, TableShape(dir)});
  }
  return outcomes;
}

TEST(SideBySide, PrintTable) {
  bench::ResetSetupKey();
  const std::string dir = bench::FreshInstallDir("earlier-side-by-side");
  bench::SetProvince("27");
  Server server;
  ASSERT_TRUE(server.Start(kHttpPort));

  std::vector<Outcome> current = PlayAll(EditionId::kCurrent, dir, &server);
  std::vector<Outcome> earlier = PlayAll(EditionId::kEarlier, dir, &server);
  std::vector<SharedScenario> scenarios = SharedScenarios();
  ASSERT_EQ(current.size(), scenarios.size());
  ASSERT_EQ(earlier.size(), scenarios.size());

  std::printf("\n| Scenario (province 27) | current | current log | earlier | earlier log |\n");
  std::printf("|---|---|---|---|---|\n");
  for (std::size_t i = 0; i < scenarios.size(); ++i) {
    std::printf("| %s | %d | %s | %d | %s |\n", scenarios[i].name, current[i].result,
                current[i].shape.c_str(), earlier[i].result, earlier[i].shape.c_str());
    EXPECT_EQ(current[i].result, scenarios[i].current) << scenarios[i].name;
    EXPECT_EQ(earlier[i].result, scenarios[i].earlier) << scenarios[i].name;
  }
  std::printf("(exit: \"Get 退出！\", up: \"网络通。\", txt: a body or a target written as it is)\n");
  // Every earlier-edition call opens with its line 755; without the rules
  // file that is all it writes.
  for (const Outcome& o : earlier) EXPECT_EQ(o.shape.compare(0, 3, "755"), 0) << o.shape;
  EXPECT_EQ(earlier.back().shape, "755");
}

}  // namespace
