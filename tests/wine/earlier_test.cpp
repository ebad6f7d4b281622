// The earlier edition of Quarvel.dll as a host sees it, against scenario
// servers on loopback: Get's step lines and single body receive, the
// redirection check with its meta refresh targets and the dispatch that
// looks for the rules file first (log_test covers its log unit).
// SideBySide.PrintTable plays shared scenarios against both editions and
// prints their results and log numbers.
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
constexpr std::size_t kLogLineBound = 400;  // the message buffer, NUL included

// The Get lines of a 404, a "200 OK" with a body and a "302 Found".
const std::string kGet404 = "535 575 581 593 605 631";
const std::string kGet200 = "535 575 581 593 605 614 631";
const std::string kGet302 = "535 575 581 593 605 623 631";

const char* kOkStatus = "HTTP/1.1 200 OK";
const char* kFoundStatus = "HTTP/1.1 302 Found";
const char* kProbeBody = "<title>百度一下，你就知道 </title>\n";
const char* kExpirePage = "http://portal.isp.example/expire";

Reply Page(const std::string& body) { return scenario::Respond(kit::Ok200(body)); }
Reply Found(const std::string& location) { return scenario::Respond(kit::Found302(location)); }
Reply NotFound() { return scenario::Respond(kit::NotFound404()); }

// The numbers of the log's records joined by blanks, "-" for direct texts.
// A numbered record ends its line within the message buffer's bound.
std::string Shape(const std::string& installDir) {
  std::string shape;
  for (const std::string& record : kit::LogRecords(installDir)) {
    const std::string n = kit::RecordNumber(record);
    if (n != "-") {
      EXPECT_EQ("\r\n", record.substr(record.size() - 2)) << record;
      // At most 399 bytes from the message buffer, its "\n" now CR LF.
      EXPECT_LE(record.size(), kLogLineBound) << record;
    }
    shape += (shape.empty() ? "" : " ") + n;
  }
  return shape;
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
struct Releaser {
  void operator()(IZHttp* component) const { component->Release(); }
};
using Component = std::unique_ptr<IZHttp, Releaser>;

// The host's page buffer, prefilled so that an untouched buffer shows.
struct PageBuffer {
  wchar_t units[kPageUnits];
  PageBuffer() { std::fill(units, units + kPageUnits, kPageFill); }
  // The text written, or "untouched" when no unit changed.
  std::wstring Text() const {
    if (std::all_of(units, units + kPageUnits, [](wchar_t u) { return u == kPageFill; })) {
      return L"untouched";
    }
    return std::wstring(units);
  }
};

// The bytes GetResponseBody copies over a 'Z' fill (it writes no terminator).
std::string Body(IZHttp* component) {
  std::vector<char> body(QUARVEL_RESPONSE_BODY_SIZE, 'Z');
  component->GetResponseBody(body.data());
  return std::string(body.begin(), std::find(body.begin(), body.end(), 'Z'));
}

class Earlier : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    bench::ResetSetupKey();
    dir_ = bench::FreshInstallDir(std::string("earlier-") + info->name());
    bench::SetProvince("0");
  }

  // The log path is fixed at load, so the registry must be set first.
  bool Load() {
    library_.reset(new bench::Library(EditionId::kEarlier));
    return library_->factory() != nullptr;
  }
  // A new component: it takes the province code from the registry now.
  IZHttp* Create(int timeOutMs = 2000) { return library_->Create(timeOutMs); }
  void ClearLog() { DeleteFileA((dir_ + "Log\\Quarvel_log.log").c_str()); }

  // CheckRedirction into a 528-byte buffer; the target text lands in *target.
  int Check(IZHttp* component, std::string* target) {
    char buffer[kTargetSize];
    std::memset(buffer, 'Z', sizeof buffer);
    int capacity = kTargetSize;
    const int result = component->CheckRedirction(buffer, &capacity);
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

TEST_F(Earlier, OneBodyReceiveKeepsTheFirstPartAndDoesNotWaitForTheClose) {
  const int kPauseMs = 1500;
  ASSERT_TRUE(Load());
  Server server;
  server.SetDefault(Reply{{Step::Send(HttpResponse(kOkStatus, {}, "first part;")),
                           Step::Pause(kPauseMs), Step::Send("second part"), Step::HoldOpen(3000)}});
  ASSERT_TRUE(server.Start(0));
  Component component(Create());

  const double start = bench::NowMs();
  EXPECT_EQ(component->Get(LocalUrl(server, "/").c_str()), 1);
  EXPECT_LT(bench::NowMs() - start, kPauseMs - 500) << "Get waited for more than the first receive";
  EXPECT_EQ(Body(component.get()), "first part;");
  EXPECT_EQ(Shape(dir_), kGet200);
}

TEST_F(Earlier, HeaderReadWaitsForAStalledServerUntilItCloses) {
  const int kStallMs = 2500;
  ASSERT_TRUE(Load());
  Server server;
  server.SetDefault(Reply{{Step::Send("H"), Step::Pause(kStallMs), Step::Close()}});
  ASSERT_TRUE(server.Start(0));
  Component component(Create(1000));

  const double start = bench::NowMs();
  EXPECT_EQ(component->Get(LocalUrl(server, "/").c_str()), 0);
  const double elapsed = bench::NowMs() - start;
  // No receive time-out: only the peer's close ends the wait.
  EXPECT_GE(elapsed, kStallMs - 500);
  EXPECT_LT(elapsed, kStallMs + 5000);
  EXPECT_EQ(Shape(dir_), "535 575 581 317 588 631");
}

// --- CheckNetDisconType ------------------------------------------------------

TEST_F(Earlier, DispatchLinesResultsAndPages) {
  struct Case {
    const char* what;
    const char* province;
    std::string rules;  // "": no rules file
    Reply reply;
    int result;
    std::wstring page;
    std::string shape;
    std::vector<std::string> records;  // texts the log must hold besides the shape's
  };
  const std::string value = "http://portal.isp.example/欠费";
  const std::string longAddress = "http://portal.isp.example/" + std::string(600, 'a') + "/expire";
  const std::string shanXi = Rules("ShanXi", {"AccountExpirePage=/expire"});
  const std::string redirected = "755 659 " + kGet302 + " 669 713 732 748 1 -";
  const Case cases[] = {
      {"no rules file, network up", "27", "", Page(kProbeBody), Unclassified, L"untouched", "755",
       {}},
      {"network up", "27", shanXi, Page(kProbeBody), NetworkUpType, L"untouched",
       "755 659 " + kGet200 + " 669 674 - 3", {}},
      {"unparsed page", "27", shanXi, Page("<p>no tag</p>\n"), Unclassified, L"untouched",
       "755 659 " + kGet200 + " 669 674 - - 2", {}},
      {"404, no target", "27", shanXi, NotFound(), Unclassified, L"untouched",
       "755 659 " + kGet404 + " 669 748 0", {}},
      {"ShanXi AccountExpirePage", "27", Rules("ShanXi", {"AccountExpirePage=" + value}),
       Found(value + "?user=1"), AccountExpire, L"http://portal.isp.example/欠费", redirected + " 786",
       {kit::OnDisk(" " + value + "?user=1\r\n\r\n")}},
      {"ShanXi reads no other key", "27", Rules("ShanXi", {"PPPoEErrPwPage=" + value}),
       Found(value + "?user=1"), Unclassified, L"untouched", redirected + " 786", {}},
      {"meta refresh target cut to 527 bytes", "27", shanXi,
       Page("<meta http-equiv=\"Refresh\" content=\"0;url=" + longAddress + "\">\n"), Unclassified,
       L"untouched", "755 659 " + kGet200 + " 669 674 - - 748 1 - 786",
       {longAddress.substr(0, kTargetSize - 1)}},
      {"AnHui, both values: arrears first", "13",
       Rules("AnHui", {"AccountExpirePage=/expire", "ErrPasswordPage=/badpw"}),
       Found("http://portal.isp.example/expire/badpw"), AccountExpire, L"/expire",
       redirected + " 818 828 833", {"获取到的地址信息： -> 828,/expire,/badpw\r\n"}},
      {"AnHui, only ErrPasswordPage", "13", Rules("AnHui", {"ErrPasswordPage=/badpw"}),
       Found("http://portal.isp.example/expire/badpw"), ErrPassword, L"/badpw",
       redirected + " 818 828 848", {"获取到的地址信息： -> 828,,/badpw\r\n"}},
      {"AnHui values of 527 bytes each, line 828 cut", "13",
       Rules("AnHui", {"AccountExpirePage=" + std::string(kTargetSize - 1, 'e'),
                       "ErrPasswordPage=" + std::string(kTargetSize - 1, 'p')}),
       Found("http://portal.isp.example/other"), Unclassified, L"untouched", redirected + " 818 828",
       {}},
      {"GuangXi has no rules", "21",
       Rules("GuangXi", {"AccountHangDead=1", "ErrPasswordPage=1", "AccountExpirePage=1"}),
       Found("https://portal.isp.example/kbs/product?nodeid=138485"), Unclassified, L"untouched",
       redirected, {kit::OnDisk(" https://portal.isp.example/kbs/product?nodeid=138485\r\n\r\n")}},
  };
  ASSERT_TRUE(Load());
  Server server;
  ASSERT_TRUE(server.Start(kHttpPort));
  for (const Case& c : cases) {
    DeleteFileA((dir_ + "Data\\Quarvel.ini").c_str());
    if (!c.rules.empty()) bench::WriteRules(dir_, c.rules);
    bench::SetProvince(c.province);
    server.SetDefault(c.reply);
    ClearLog();
    const int connections = server.ConnectionCount();
    Component component(Create());
    PageBuffer page;
    EXPECT_EQ(component->CheckNetDisconType(page.units, kPageUnits), c.result) << c.what;
    EXPECT_EQ(page.Text(), c.page) << c.what;
    EXPECT_EQ(Shape(dir_), c.shape) << c.what;
    EXPECT_EQ(server.ConnectionCount() - connections, c.rules.empty() ? 0 : 1) << c.what;
    const std::vector<std::string> records = kit::LogRecords(dir_);
    for (const std::string& want : c.records) {
      EXPECT_NE(std::find(records.begin(), records.end(), want), records.end()) << c.what << ": " << want;
    }
  }
}

// --- Both editions -----------------------------------------------------------

struct SharedScenario {
  const char* name;
  Reply reply;
  bool rulesFile;
  int current;  // expected CheckNetDisconType result of each edition
  int earlier;
};

std::vector<SharedScenario> SharedScenarios() {
  const std::string expire = kExpirePage;
  return {
      {"404 Not Found", NotFound(), true, Unclassified, Unclassified},
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

using Outcome = std::pair<int, std::string>;  // result, table shape

// The record numbers, with the texts written without a number named: the
// current edition's Get exit line and network-up line, and any other text
// (a body or a target) as "txt".
std::string TableShape(const std::string& installDir) {
  std::string shape;
  for (const std::string& record : kit::LogRecords(installDir)) {
    std::string label = kit::RecordNumber(record);
    if (label == "-") {
      label = record == kit::OnDisk("Get 退出！\n") ? "exit" : record == kit::OnDisk("网络通。\n") ? "up" : "txt";
    }
    shape += (shape.empty() ? "" : " ") + label;
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
    const int result = component.get() ? component->CheckNetDisconType(page.units, kPageUnits) : -1;
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

  const std::vector<Outcome> current = PlayAll(EditionId::kCurrent, dir, &server);
  const std::vector<Outcome> earlier = PlayAll(EditionId::kEarlier, dir, &server);
  const std::vector<SharedScenario> scenarios = SharedScenarios();
  ASSERT_EQ(current.size(), scenarios.size());
  ASSERT_EQ(earlier.size(), scenarios.size());

  std::printf("\n| Scenario (province 27) | current | current log | earlier | earlier log |\n");
  std::printf("|---|---|---|---|---|\n");
  for (std::size_t i = 0; i < scenarios.size(); ++i) {
    std::printf("| %s | %d | %s | %d | %s |\n", scenarios[i].name, current[i].first,
                current[i].second.c_str(), earlier[i].first, earlier[i].second.c_str());
    EXPECT_EQ(current[i].first, scenarios[i].current) << scenarios[i].name;
    EXPECT_EQ(earlier[i].first, scenarios[i].earlier) << scenarios[i].name;
  }
  std::printf("(exit: \"Get 退出！\", up: \"网络通。\", txt: a body or a target written as it is)\n");
  // Every earlier-edition call opens with its line 755; without the rules
  // file that is all it writes.
  for (const Outcome& o : earlier) EXPECT_EQ(o.second.compare(0, 3, "755"), 0) << o.second;
  EXPECT_EQ(earlier.back().second, "755");
}

}  // namespace
