// CheckNetDisconType: one table with a column per edition (the dispatch
// lines, results and pages, the earlier edition looking for the rules file
// first), then the current edition's rules file under the install path,
// the bounded page copy and the time limit. Which rule of a province decides
// is province_rules_test's table.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "support/Settings.h"
#include "tests/wine/TestBench.h"
#include "tools/scenario/NetworkFaults.h"

namespace {

using scenario::HttpResponse;
using scenario::Respond;

const std::string kIpHost = bench::HostOf(quarvel::kIpLocationUrl);
const std::string kProbeHost = bench::HostOf(quarvel::kProbeUrl);

std::string Redirect(const std::string& location) {
  return "HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nConnection: close\r\n\r\n";
}

std::string Ok(const std::string& body) { return kit::Ok200(body); }

class Dispatch : public ::testing::Test {
 protected:
  // The IP-location page answers with reply; the probe URL with nothing useful.
  void Serve(const std::string& reply) {
    server_.Route(kIpHost, "", Respond(reply));
    server_.Route(kProbeHost, "", Respond(Ok("<p>portal</p>")));
    ASSERT_TRUE(server_.Start(80));
  }
  // One call with a page of pageCount units, prefilled, with sentinels after.
  int Classify(const std::string& province, unsigned pageCount, std::wstring* page) {
    bench::SetProvince(province);
    bench::Library library(bench::EditionId::kCurrent);
    IZHttp* component = library.Create();
    std::vector<wchar_t> buffer(pageCount + 16, L'#');
    int result = component->CheckNetDisconType(buffer.data(), pageCount);
    component->Release();
    for (std::size_t i = pageCount; i < buffer.size(); ++i) {
      EXPECT_EQ(buffer[i], L'#') << "page written past pageCount at " << i;
    }
    page->assign(buffer.data(), std::find(buffer.data(), buffer.data() + pageCount, L'\0'));
    return result;
  }
  std::vector<std::string> Log() { return bench::LogMessages(dir_); }
  std::string dir_ = bench::FreshTestInstall();
  scenario::Server server_;
};

// What one edition answers: the type, the page ("untouched" when no unit
// of the buffer changed) and the log's shape (see bench::Shape).
struct Answer {
  int type;
  std::wstring page;
  std::string shape;
};

struct Row {
  const char* what;
  const char* province;
  std::string rules;  // "": no rules file
  std::string answer;
  Answer current, earlier;
  std::vector<std::string> earlierRecords = {};  // texts the earlier edition's log must hold
};

std::string RulesText(const std::string& section, const std::vector<std::string>& keys) {
  std::string text = "[" + section + "]\r\n";
  for (const std::string& key : keys) text += key + "\r\n";
  return text;
}

class Editions : public ::testing::TestWithParam<bench::EditionId> {
 protected:
  // The log path is fixed at load: the install folder comes first.
  std::string dir_ = bench::FreshTestInstall();
  bench::Library library_{GetParam()};
};

TEST_P(Editions, LinesResultsAndPages) {
  constexpr unsigned kPageUnits = 600;
  constexpr std::size_t kTargetSize = 528;  // the dispatch's own target buffer
  const std::string get200 = "535 575 581 593 605 614 631", get302 = "535 575 581 593 605 623 631";
  const std::string get404 = "535 575 581 593 605 631";
  const std::string probe = "<title>百度一下，你就知道 </title>\n";
  const std::string value = "http://portal.isp.example/欠费";
  const std::string odd = "http://portal.isp.example/\xFF";
  const std::string expire = "http://portal.isp.example/expire";
  const std::string longAddress = "http://portal.isp.example/" + std::string(600, 'a') + "/expire";
  const std::string shanXi = RulesText("ShanXi", {"AccountExpirePage=/expire"});
  const std::string shanXiFull = RulesText("ShanXi", {"AccountExpirePage=" + expire});
  const std::string redirected = "755 659 " + get302 + " 669 713 732 748 1 txt";
  const std::wstring none = L"untouched", page = L"http://portal.isp.example/expire";
  const Row rows[] = {
      {"no rules file, network up", "27", "", Ok(probe), {NetworkUpType, none, "exit up"}, {Unclassified, none, "755"}},
      {"network up", "27", shanXi, Ok(probe), {NetworkUpType, none, "exit up"},
       {NetworkUpType, none, "755 659 " + get200 + " 669 674 body 3"}},
      {"IP-location marker", "27", shanXiFull, Ok("<p>您的IP地址是：[127.0.0.1]</p>\n"), {NetworkUpType, none, "exit up"},
       {Unclassified, none, "755 659 " + get200 + " 669 674 body body 2"}},
      {"unparsed page", "27", shanXi, Ok("<p>no tag</p>\n"), {Unclassified, none, "exit 778"},
       {Unclassified, none, "755 659 " + get200 + " 669 674 body body 2"}},
      {"27 portal page, url=http://", "27", shanXiFull,
       Ok("<a href=\"http://portal.isp.example/go?url=" + expire + "\">pay</a>\n"),
       {AccountExpire, page, "exit 758 842"}, {Unclassified, none, "755 659 " + get200 + " 669 674 body body 2"}},
      {"27 portal page, meta refresh", "27", shanXiFull,
       Ok("<meta http-equiv=\"Refresh\" content=\"0;url=" + expire + "\">\n"),
       {AccountExpire, page, "exit 758 842"}, {AccountExpire, page, "755 659 " + get200 + " 669 674 body body 748 1 txt 786"}},
      {"404, no target", "27", shanXi, kit::NotFound404(), {Unclassified, none, "exit exit 778"},
       {Unclassified, none, "755 659 " + get404 + " 669 748 0"}},
      {"302, Location elsewhere", "27", shanXiFull, kit::Found302("http://portal.isp.example/notice"),
       {Unclassified, none, "exit 713 758"}, {Unclassified, none, redirected + " 786"}},
      {"302, no Location", "27", shanXiFull, HttpResponse("HTTP/1.1 302 Found", {"Content-Length: 0"}, ""),
       {Unclassified, none, "exit 723 778"}, {Unclassified, none, "755 659 " + get302 + " 669 713 743 748 0"}},
      {"ShanXi AccountExpirePage", "27", RulesText("ShanXi", {"AccountExpirePage=" + value}),
       kit::Found302(value + "?user=1"), {AccountExpire, L"http://portal.isp.example/欠费", "exit 713 758 842"},
       {AccountExpire, L"http://portal.isp.example/欠费", redirected + " 786"},
       {kit::OnDisk(" " + value + "?user=1\r\n\r\n")}},
      {"ShanXi AccountExpirePage holding a byte that is no character of code page 936", "27",
       RulesText("ShanXi", {"AccountExpirePage=" + odd}), kit::Found302(odd + "?user=1"),
       {AccountExpire, kit::Widen(odd), "exit 713 758 842"}, {AccountExpire, kit::Widen(odd), redirected + " 786"}},
      {"same 302, rules file missing", "27", "", kit::Found302(value + "?user=1"),
       {Unclassified, none, "exit 713 751"}, {Unclassified, none, "755"}},
      {"ShanXi PPPoEErrPwPage (the earlier edition reads no other key)", "27", RulesText("ShanXi", {"PPPoEErrPwPage=" + value}),
       kit::Found302(value + "?user=1"), {ErrPassword, L"http://portal.isp.example/欠费", "exit 713 758 854"},
       {Unclassified, none, redirected + " 786"}},
      {"meta refresh target cut to 527 bytes", "27", shanXi,
       Ok("<meta http-equiv=\"Refresh\" content=\"0;url=" + longAddress + "\">\n"), {Unclassified, none, "exit 758"},
       {Unclassified, none, "755 659 " + get200 + " 669 674 body body 748 1 txt 786"},
       {longAddress.substr(0, kTargetSize - 1)}},
      {"AnHui, both values: arrears first", "13",
       RulesText("AnHui", {"AccountExpirePage=/expire", "ErrPasswordPage=/badpw"}),
       kit::Found302("http://portal.isp.example/expire/badpw"), {AccountExpire, L"/expire", "exit 713 758 913"},
       {AccountExpire, L"/expire", redirected + " 818 828 833"}, {"获取到的地址信息： -> 828,/expire,/badpw\r\n"}},
      {"AnHui, only ErrPasswordPage", "13", RulesText("AnHui", {"ErrPasswordPage=/badpw"}),
       kit::Found302("http://portal.isp.example/expire/badpw"), {ErrPassword, L"/badpw", "exit 713 758 922"},
       {ErrPassword, L"/badpw", redirected + " 818 828 848"}, {"获取到的地址信息： -> 828,,/badpw\r\n"}},
      {"AnHui values of 527 bytes each, line 828 cut", "13",
       RulesText("AnHui", {"AccountExpirePage=" + std::string(kTargetSize - 1, 'e'),
                       "ErrPasswordPage=" + std::string(kTargetSize - 1, 'p')}),
       kit::Found302("http://portal.isp.example/other"), {Unclassified, none, "exit 713 758"},
       {Unclassified, none, redirected + " 818 828"}},
      {"GuangXi hung (the earlier edition has no rules)", "21",
       RulesText("GuangXi", {"AccountHangDead=1", "ErrPasswordPage=1", "AccountExpirePage=1"}),
       kit::Found302("https://portal.isp.example/kbs/product?nodeid=138485"),
       {AccountHangDead, kit::Widen(quarvel::kProbeUrl), "exit 713 758 799"}, {Unclassified, none, redirected},
       {kit::OnDisk(" https://portal.isp.example/kbs/product?nodeid=138485\r\n\r\n")}},
  };
  const bool earlier = GetParam() == bench::EditionId::kEarlier;
  scenario::Server server;
  ASSERT_TRUE(server.Start(80));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const Answer& want = earlier ? row.earlier : row.current;
    DeleteFileA((dir_ + "Data\\Quarvel.ini").c_str());
    if (!row.rules.empty()) bench::WriteRules(dir_, row.rules);
    bench::SetProvince(row.province);
    server.SetDefault(Respond(row.answer));
    DeleteFileA(kit::LogPath(dir_).c_str());
    const int connections = server.ConnectionCount();
    IZHttp* component = library_.Create();
    ASSERT_NE(component, nullptr);
    std::vector<wchar_t> page(kPageUnits, L'#');
    EXPECT_EQ(component->CheckNetDisconType(page.data(), kPageUnits), want.type);
    component->Release();
    const bool untouched = std::all_of(page.begin(), page.end(), [](wchar_t u) { return u == L'#'; });
    EXPECT_EQ(untouched ? none : std::wstring(page.data()), want.page);
    const std::size_t body = row.answer.find("\r\n\r\n");
    EXPECT_EQ(bench::Shape(dir_, body == std::string::npos ? "" : row.answer.substr(body + 4)), want.shape);
    // The earlier edition looks for the rules file before any fetch.
    if (earlier) EXPECT_EQ(server.ConnectionCount() - connections, row.rules.empty() ? 0 : 1);
    const std::vector<std::string> records = kit::LogRecords(dir_);
    for (const std::string& text : earlier ? row.earlierRecords : std::vector<std::string>{}) {
      EXPECT_NE(std::find(records.begin(), records.end(), text), records.end()) << text;
    }
  }
}

QUARVEL_BOTH_EDITIONS(Editions);

TEST_F(Dispatch, TargetLineThenRuleOfTheProvince) {
  Serve(Redirect("http://portal/arrears.html"));
  bench::WriteRules(dir_, "[AnHui]\r\nAccountExpirePage=arrears\r\n");
  std::wstring page;
  EXPECT_EQ(Classify("13", 260, &page), AccountExpire);
  EXPECT_EQ(page, L"arrears");
  // The target keeps its blank and line ends (CR LF in the message, CR CR LF
  // on disk), so its line spans several lines of the file.
  std::string log = bench::ReadLog(dir_);
  EXPECT_NE(log.find(" -> 获取到的重定向地址为：  http://portal/arrears.html\r\r\n"
                     "Connection: close\r\r\n\r\r\n-> 758\r\n"),
            std::string::npos);
  EXPECT_EQ(Log().back(), "AhDistinctOffLineType 用户欠费！ -> 913");
}

// The answer of utf8_host (its manifest makes UTF-8 the ANSI code page): one
// Get of url, then one check of the edition. acp stays 0 when it did not run.
struct Utf8HostAnswer {
  unsigned acp = 0;
  int type = -1;
  std::wstring page;
};

Utf8HostAnswer RunUtf8Host(bench::EditionId edition, const std::string& url) {
  Utf8HostAnswer answer;
  std::string outPath = bench::FreshInstallDir("utf8-host-output", false) + "out.txt";
  std::wstring line = L"\"" + kit::Widen(QUARVEL_UTF8_HOST) + L"\" \"" +
                      kit::Widen(bench::DllPath(edition)) + L"\" \"" + kit::Widen(outPath) +
                      L"\" \"" + kit::Widen(url) + L"\"";
  STARTUPINFOW startup = {sizeof startup};
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    ADD_FAILURE() << "cannot start " << QUARVEL_UTF8_HOST;
    return answer;
  }
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::istringstream out(bench::ReadFile(outPath));
  out >> answer.acp >> answer.type >> std::hex;
  for (unsigned unit = 0; out >> unit;) answer.page += static_cast<wchar_t>(unit);
  return answer;
}

// Install paths as installers write them: the rules file and the log are
// found under each, the path joined as it is. A host whose ANSI code page is
// UTF-8 (three bytes to a Chinese character) gets the answer a host gets
// under code page 936, with its log in the same place, also where the
// folder's Chinese characters outnumber the rest of the rules file's path
// and the URL fetched again is mostly Chinese.
TEST_F(Dispatch, InstallPathsFindRulesFileAndLog) {
  Serve(Redirect("http://portal/arrears.html"));
  std::string chinese;
  for (int i = 0; i < 15; ++i) chinese += "安装目录";
  const std::string bare = dir_.substr(0, dir_.size() - 1);
  const std::string url = "http://" + kIpHost + "/" + chinese;
  struct Row {
    std::string path;
    bool utf8;  // run by utf8_host, else in this process (code page 936)
    bench::EditionId edition;
    const char* hit;  // the edition's hit line for AnHui's rule
  };
  const std::string named = bench::FreshInstallDir("安装目录", false);
  const std::string long936 = bench::FreshInstallDir(chinese, false);
  const std::string longUtf8 = bench::FreshInstallDir(chinese + "-utf8", false);
  const Row rows[] = {
      {bare, false, bench::EditionId::kCurrent, "用户欠费"},
      {named, false, bench::EditionId::kCurrent, "用户欠费"},
      {long936, false, bench::EditionId::kCurrent, "用户欠费"},
      {longUtf8, true, bench::EditionId::kCurrent, "用户欠费"},
      {longUtf8, true, bench::EditionId::kEarlier, "帐号欠费"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path + (row.utf8 ? " (UTF-8 host, " : " (") +
                 bench::EditionName(row.edition) + ")");
    bench::SetSetupString(L"InstallPath", kit::Widen(row.path));
    CreateDirectoryA((row.path + "Data").c_str(), nullptr);
    bench::WriteFile(row.path + "Data\\Quarvel.ini", "[AnHui]\r\nAccountExpirePage=arrears\r\n");
    std::wstring page;
    if (row.utf8) {
      bench::SetProvince("13");
      Utf8HostAnswer answer = RunUtf8Host(row.edition, url);
      EXPECT_EQ(answer.acp, 65001u);
      EXPECT_EQ(answer.type, AccountExpire);
      page = answer.page;
    } else {
      EXPECT_EQ(Classify("13", 260, &page), AccountExpire);
    }
    EXPECT_EQ(page, L"arrears");
    EXPECT_NE(bench::ReadFile(row.path + "Log\\Quarvel_log.log").find(row.hit), std::string::npos);
    bench::RemoveTree(row.path + "Data");
    bench::RemoveTree(row.path + "Log");
  }
}

TEST_F(Dispatch, SetupKeyIsReadInThe32BitView) {
  // The 64-bit view holds another install and province: the 64-bit library
  // must still read what the 32-bit client's installer wrote.
  std::string decoy = bench::FreshInstallDir("setup-view-decoy", false);
  bench::WriteRules(decoy, "[AnHui]\r\nAccountExpirePage=decoy\r\n");
  bench::SetSetupString(L"InstallPath", kit::Widen(decoy), REG_SZ, KEY_WOW64_64KEY);
  bench::SetSetupString(L"channel", L"x-13", REG_SZ, KEY_WOW64_64KEY);
  bench::SetSetupString(L"InstallPath", kit::Widen(dir_));
  bench::WriteRules(dir_, "[ShanXi]\r\nAccountExpirePage=arrears\r\n");
  Serve(Redirect("http://portal/arrears.html"));
  std::wstring page;
  int type = Classify("27", 260, &page);
  kit::DeleteSetupKey(KEY_WOW64_64KEY);
  EXPECT_EQ(type, AccountExpire);
  EXPECT_EQ(page, L"arrears");
  EXPECT_FALSE(Log().empty());
  EXPECT_EQ(bench::ReadLog(decoy), "");
}

TEST_F(Dispatch, LongPagesAreCutToPageCount) {
  std::string value = "http://portal/" + std::string(600, 'v');
  Serve(Redirect(value));
  bench::WriteRules(dir_, "[ShanXi]\r\nAccountExpirePage=" + value.substr(0, 520) + "\r\n");
  for (unsigned pageCount : {1u, 8u, 260u}) {
    std::wstring page;
    EXPECT_EQ(Classify("27", pageCount, &page), AccountExpire);
    EXPECT_EQ(page, kit::Widen(value.substr(0, pageCount - 1))) << pageCount;
  }
  // No room at all: the page is left alone, the type still comes back.
  std::wstring page;
  EXPECT_EQ(Classify("27", 0, &page), AccountExpire);
  bench::SetProvince("27");
  bench::Library library(bench::EditionId::kCurrent);
  IZHttp* component = library.Create();
  EXPECT_EQ(component->CheckNetDisconType(nullptr, 260), AccountExpire);
  component->Release();
}

// [Probe] TimeLimitMs bounds a whole call of each slot, whatever the line
// does: a name server that never answers, connection attempts that are
// dropped, a server that never answers or trickles its answer byte by byte
// (each within the receive time-out), or its body alone after a header that
// came at once. The step that runs out fails with
// its usual line, and one more line names the key. A refused connection and
// a portal answer end at once, as without the limit.
TEST_F(Dispatch, TimeLimitEndsEachCallOnADeadLineInTime) {
  constexpr double kLimitMs = 2500, kMarginMs = 300;
  scenario::SlowNameServer silentNames(-1);
  ASSERT_TRUE(silentNames.Start());
  scenario::DroppingListener dropping;
  ASSERT_TRUE(dropping.Start());
  scenario::Server silent;
  silent.SetDefault(scenario::Silent(10000));
  ASSERT_TRUE(silent.Start(0));
  scenario::Server trickling;
  trickling.SetDefault(scenario::RespondInChunks(Ok(std::string(100, 'b')), 1, 400));
  ASSERT_TRUE(trickling.Start(0));
  scenario::Reply bodyTrickle{{scenario::Step::Send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n")}};
  for (int i = 0; i < 20; ++i) {
    bodyTrickle.steps.push_back(scenario::Step::Pause(400));
    bodyTrickle.steps.push_back(scenario::Step::Send("b"));
  }
  scenario::Server tricklingBody;
  tricklingBody.SetDefault(bodyTrickle);
  ASSERT_TRUE(tricklingBody.Start(0));
  Serve(Redirect("http://portal/arrears.html"));
  const std::string kEnded = "Quarvel.ini [Probe] TimeLimitMs ran out: the time limit ended this call.";
  const std::string kUnparsed = "该断网类型位置或者断网转向的方式发生变化以致无法解析出断网的地址。-> 778";
  struct Case {
    const char* name;
    std::string url;  // the IP-location and probe pages
    int slot;         // 4 Get of url, 8 CheckRedirction, 9 CheckNetDisconType
    int result;
    bool runsOut;  // the call lasts its limit
    std::vector<std::string> logTail;
  };
  const Case cases[] = {
      {"name server never answers", "http://unlisted.example/", 9, Unclassified, true,
       {"Get 退出！", "Get 退出！", kUnparsed, kEnded}},
      {"connection attempts dropped", "http://127.0.0.1:" + std::to_string(dropping.Port()) + "/",
       8, NoTarget, true, {"Get 退出！", "Get 退出！", kEnded}},
      {"server never answers", "http://127.0.0.1:" + std::to_string(silent.Port()) + "/", 4, 0,
       true, {"等待读取数据失败！ -> 545", "Get 退出！", kEnded}},
      {"server trickles its answer", "http://127.0.0.1:" + std::to_string(trickling.Port()) + "/",
       4, 0, true, {"SOCKET_ERROR！ -> 10060", "接收响应报头失败！ -> 552", "Get 退出！", kEnded}},
      {"header at once, body trickles",
       "http://127.0.0.1:" + std::to_string(tricklingBody.Port()) + "/", 4, 1, true,
       {"Get 退出！", kEnded}},
      {"connection refused", "http://127.0.0.1:1/", 8, NoTarget, false,
       {"Get 退出！", "Get 退出！"}},
      {"portal answers", quarvel::kIpLocationUrl, 9, AccountExpire, false,
       {"SxDistinctOffLineType 用户欠费！ -> 842"}},
  };
  bench::SetProvince("27");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bench::WriteRules(dir_, "[Probe]\r\nTimeLimitMs=2500\r\nUrl=" + c.url + "\r\nIpLocationUrl=" +
                                c.url + "\r\n[ShanXi]\r\nAccountExpirePage=arrears\r\n");
    bench::Library library(bench::EditionId::kCurrent);
    IZHttp* component = library.Create(3000);
    char target[528];
    int capacity = sizeof target;
    wchar_t page[260];
    const double start = bench::NowMs();
    int result = c.slot == 4   ? component->Get(c.url.c_str())
                 : c.slot == 8 ? component->CheckRedirction(target, &capacity)
                               : component->CheckNetDisconType(page, 260);
    const double elapsedMs = bench::NowMs() - start;
    component->Release();
    EXPECT_EQ(result, c.result);
    EXPECT_LT(elapsedMs, c.runsOut ? kLimitMs + kMarginMs : kLimitMs / 2);
    if (c.runsOut) EXPECT_GT(elapsedMs, kLimitMs - 100);
    std::vector<std::string> log = Log();
    ASSERT_GE(log.size(), c.logTail.size());
    EXPECT_EQ(std::vector<std::string>(log.end() - c.logTail.size(), log.end()), c.logTail);
  }
  EXPECT_GE(silentNames.Queries(), 1);
}

// [Probe] Expect=204 and a list of probe addresses: a "204" proves the
// network up; after a failed first fetch the addresses are tried in order up
// to the first that answers with a 2xx or 3xx status line, whose answer is
// decided as any other; a portal's redirect stays an account problem.
TEST_F(Dispatch, NoContentAndProbeAddressesInOrder) {
  server_.Route("", "/204", Respond("HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n"));
  server_.Route("", "/404", Respond(kit::NotFound404()));
  server_.Route("", "/page", Respond(Ok("<p>a page</p>")));
  server_.Route("", "/closed", scenario::CloseAtOnce());
  server_.Route("", "/portal", Respond(Redirect("http://portal/arrears.html")));
  ASSERT_TRUE(server_.Start(80));
  const std::string local = "http://127.0.0.1", refused = "http://127.0.0.1:1/";
  struct Case {
    const char* name;
    std::string probe;  // the [Probe] section's lines
    int type;
    std::vector<std::string> fetched;  // the paths asked for, in order
  };
  const Case cases[] = {
      {"204 proves the network up", "Expect=204\r\nIpLocationUrl=" + local + "/204", NetworkUpType,
       {"/204"}},
      {"204 without Expect", "IpLocationUrl=" + local + "/204\r\nUrl=" + local + "/204",
       Unclassified, {"/204", "/204"}},
      {"first address dead, the second answers 204",
       "Expect=204\r\nIpLocationUrl=" + local + "/closed\r\nUrl=" + refused + " " + local + "/204",
       NetworkUpType, {"/closed", "/204"}},
      {"first address 404, the second answers 204",
       "Expect=204\r\nIpLocationUrl=" + local + "/closed\r\nUrl=" + local + "/404 " + local +
           "/204",
       NetworkUpType, {"/closed", "/404", "/204"}},
      {"a page stops the list", "Expect=204\r\nIpLocationUrl=" + local + "/closed\r\nUrl=" +
           local + "/page " + local + "/204",
       Unclassified, {"/closed", "/page"}},
      {"every address dead",
       "Expect=204\r\nIpLocationUrl=" + local + "/closed\r\nUrl=" + refused + " " + local +
           "/closed",
       Unclassified, {"/closed", "/closed"}},
      {"a portal's redirect with Expect=204",
       "Expect=204\r\nIpLocationUrl=" + local + "/portal\r\nUrl=" + local + "/204", AccountExpire,
       {"/portal"}},
  };
  for (const Case& c : cases) {
    bench::WriteRules(dir_, "[Probe]\r\n" + c.probe + "\r\n[ShanXi]\r\nAccountExpirePage=arrears\r\n");
    const std::size_t before = server_.Exchanges().size();
    std::wstring page;
    EXPECT_EQ(Classify("27", 260, &page), c.type) << c.name;
    std::vector<std::string> fetched;
    const std::vector<scenario::Exchange> exchanges = server_.Exchanges();
    for (std::size_t i = before; i < exchanges.size(); ++i) fetched.push_back(exchanges[i].path);
    EXPECT_EQ(fetched, c.fetched) << c.name;
  }
}

// A look-up that outlives its call holds the library on a reference of its
// own: the host may release the object, unload the library and load it
// again at once, and the library goes only when the look-up has ended.
TEST_F(Dispatch, LookUpOutlivingItsCallOutlivesTheUnloadToo) {
  scenario::SlowNameServer lateNames(3000);
  ASSERT_TRUE(lateNames.Start());
  Serve(Ok("您的IP地址"));
  const char* dll = bench::DllPath(bench::EditionId::kCurrent);
  for (const char* defaultPage : {"http://unlisted.example/", quarvel::kIpLocationUrl}) {
    bench::WriteRules(dir_, std::string("[Probe]\r\nTimeLimitMs=500\r\nIpLocationUrl=") +
                                defaultPage + "\r\n");
    bench::Library library(bench::EditionId::kCurrent);
    IZHttp* component = library.Create(3000);
    EXPECT_EQ(component->Get(""), defaultPage == quarvel::kIpLocationUrl ? 1 : 0) << defaultPage;
    EXPECT_EQ(component->Release(), 0u);
  }
  EXPECT_NE(GetModuleHandleA(dll), nullptr);  // the look-up still runs
  for (int i = 0; i < 100 && GetModuleHandleA(dll) != nullptr; ++i) Sleep(50);
  EXPECT_EQ(GetModuleHandleA(dll), nullptr);
  EXPECT_GE(lateNames.Queries(), 1);
}

}  // namespace
