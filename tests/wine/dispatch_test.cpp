// CheckNetDisconType of the current edition: the dispatch lines, the rules
// file under the install path, each province's rules in order, and the
// bounded page copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "support/Settings.h"
#include "tests/wine/TestBench.h"

namespace {

using scenario::HttpResponse;
using scenario::Respond;

const std::string kIpHost = bench::HostOf(quarvel::kIpLocationUrl);
const std::string kProbeHost = bench::HostOf(quarvel::kProbeUrl);

std::string Redirect(const std::string& location) {
  return "HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nConnection: close\r\n\r\n";
}

std::string Ok(const std::string& body) { return HttpResponse("HTTP/1.1 200 OK", {}, body); }

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    bench::ResetSetupKey();
    dir_ = bench::FreshInstallDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
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
  std::string dir_;
  scenario::Server server_;
};

TEST_F(Dispatch, NetworkUpAnswersAtOnce) {
  Serve(Ok("您的IP地址"));
  std::wstring page;
  EXPECT_EQ(Classify("27", 260, &page), NetworkUpType);
  EXPECT_EQ(page, std::wstring(260, L'#'));
  EXPECT_EQ(Log(), (std::vector<std::string>{"Get 退出！", "网络通。"}));
}

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

TEST_F(Dispatch, InstallPathWithoutBackslashJoinsUnchanged) {
  Serve(Redirect("http://portal/arrears.html"));
  std::string bare = dir_.substr(0, dir_.size() - 1);
  bench::SetSetupString(L"InstallPath", Wide(bare));
  CreateDirectoryA((bare + "Data").c_str(), nullptr);
  bench::WriteFile(bare + "Data\\Quarvel.ini", "[ShanXi]\r\nAccountExpirePage=arrears\r\n");
  std::wstring page;
  EXPECT_EQ(Classify("27", 260, &page), AccountExpire);
  bench::RemoveTree(bare + "Data");
  bench::RemoveTree(bare + "Log");
}

TEST_F(Dispatch, RulesPathThatIsAFolderIsNoRulesFile) {
  Serve(Redirect("http://portal/arrears.html"));
  CreateDirectoryA((dir_ + "Data").c_str(), nullptr);
  ASSERT_TRUE(CreateDirectoryA((dir_ + "Data\\Quarvel.ini").c_str(), nullptr));
  std::wstring page;
  EXPECT_EQ(Classify("27", 260, &page), Unclassified);
  EXPECT_EQ(Log().back(), "Quarvel.ini is not exists! -> 751");
}

TEST_F(Dispatch, SetupKeyIsReadInThe32BitView) {
  // The 64-bit view holds another install and province: the 64-bit library
  // must still read what the 32-bit client's installer wrote.
  std::string decoy = bench::FreshInstallDir("setup-view-decoy", false);
  bench::WriteRules(decoy, "[AnHui]\r\nAccountExpirePage=decoy\r\n");
  bench::SetSetupString64(L"InstallPath", Wide(decoy));
  bench::SetSetupString64(L"channel", L"x-13");
  bench::SetSetupString(L"InstallPath", Wide(dir_));
  bench::WriteRules(dir_, "[ShanXi]\r\nAccountExpirePage=arrears\r\n");
  Serve(Redirect("http://portal/arrears.html"));
  std::wstring page;
  int type = Classify("27", 260, &page);
  bench::DeleteSetupKey64();
  EXPECT_EQ(type, AccountExpire);
  EXPECT_EQ(page, L"arrears");
  EXPECT_FALSE(Log().empty());
  EXPECT_EQ(bench::ReadLog(decoy), "");
}

struct RuleCase {
  const char* province;
  const char* rules;     // null: no rules file
  const char* location;  // null: a portal page without a target
  int expected;
  const char* page;      // null: page untouched
  const char* line;      // last log line
};

void PrintTo(const RuleCase& c, std::ostream* out) {
  *out << "province " << c.province << ", " << (c.location ? c.location : "no target") << " -> "
       << c.expected;
}

class Rules : public Dispatch, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(Rules, DecideTypeAndPage) {
  const RuleCase& c = GetParam();
  Serve(c.location != nullptr ? Redirect(c.location) : Ok("<p>portal without target</p>"));
  if (c.rules != nullptr) bench::WriteRules(dir_, c.rules);
  std::wstring page;
  EXPECT_EQ(Classify(c.province, 260, &page), c.expected);
  if (c.page == nullptr) {
    EXPECT_EQ(page, std::wstring(260, L'#'));
  } else {
    EXPECT_EQ(page, Wide(c.page));
  }
  EXPECT_EQ(Log().back(), c.line);
}

const char kGuangXiAll[] =
    "[GuangXi]\r\nAccountHangDead=1\r\nErrPasswordPage=1\r\nAccountExpirePage=1\r\n";
const char kShanXiAll[] =
    "[ShanXi]\r\nAccountExpirePage=arrears\r\nPPPoEErrPwPage=badpw\r\nAccountHaltPage=halt\r\n"
    "BindCheckErrPage=bind\r\nLimitUserCountPage=limit\r\n";

INSTANTIATE_TEST_SUITE_P(
    Provinces, Rules,
    ::testing::Values(
        // The dispatch lines: no rules file, an unknown province, no target.
        RuleCase{"27", nullptr, "http://portal/arrears.html", Unclassified, nullptr,
                 "Quarvel.ini is not exists! -> 751"},
        RuleCase{"0", kShanXiAll, "http://p/arrears", Unclassified, nullptr, "-> 758"},
        RuleCase{"27", kShanXiAll, nullptr, Unclassified, nullptr,
                 "该断网类型位置或者断网转向的方式发生变化以致无法解析出断网的地址。-> 778"},
        // GuangXi: fixed needles, the probe URL as page, order decides.
        RuleCase{"21", kGuangXiAll, "http://p/?nodeid=138428&nodeid=138485", AccountHangDead,
                 quarvel::kProbeUrl, "GxDistinctOffLineType 账号挂死！ -> 799"},
        RuleCase{"21", kGuangXiAll, "http://p/?nodeid=138483&nodeid=138428", ErrPassword,
                 quarvel::kProbeUrl, "GxDistinctOffLineType 用户密码错！ -> 811"},
        RuleCase{"21", kGuangXiAll, "http://p/?nodeid=138483", AccountExpire, quarvel::kProbeUrl,
                 "GxDistinctOffLineType 用户欠费！ -> 823"},
        RuleCase{"21", "[GuangXi]\r\nErrPasswordPage=1\r\nAccountExpirePage=1\r\n",
                 "http://p/?nodeid=138485", Unclassified, nullptr, "-> 758"},
        // ShanXi: each key in order (a target holding the next key's value too
        // gets the earlier key's type); the value is needle and page.
        RuleCase{"27", kShanXiAll, "http://p/arrears+badpw", AccountExpire, "arrears",
                 "SxDistinctOffLineType 用户欠费！ -> 842"},
        RuleCase{"27", kShanXiAll, "http://p/halt+badpw", ErrPassword, "badpw",
                 "SxDistinctOffLineType 用户PPPOE密码错！ -> 854"},
        RuleCase{"27", kShanXiAll, "http://p/bind+halt", AccountHalt, "halt",
                 "SxDistinctOffLineType 用户账户停！ -> 866"},
        RuleCase{"27", kShanXiAll, "http://p/limit+bind", BindCheckErr, "bind",
                 "SxDistinctOffLineType 用户绑定错误！ -> 878"},
        RuleCase{"27", kShanXiAll, "http://p/limit", LimitUserCount, "limit",
                 "SxDistinctOffLineType 用户数量限制！ -> 891"},
        RuleCase{"27", kShanXiAll, "http://p/ARREARS", Unclassified, nullptr, "-> 758"},
        RuleCase{"27", "[ShanXi]\r\nAccountExpirePage=\r\n", "http://p/arrears", Unclassified,
                 nullptr, "-> 758"},
        // AnHui: both keys read first, arrears tested first.
        RuleCase{"13", "[AnHui]\r\nAccountExpirePage=arrears\r\nErrPasswordPage=http\r\n",
                 "http://p/arrears", AccountExpire, "arrears",
                 "AhDistinctOffLineType 用户欠费！ -> 913"},
        RuleCase{"13", "[AnHui]\r\nAccountExpirePage=arrears\r\nErrPasswordPage=badpw\r\n",
                 "http://p/badpw", ErrPassword, "badpw", "AhDistinctOffLineType 用户密码错！ -> 922"},
        RuleCase{"13", "[AnHui]\r\n", "http://p/badpw", Unclassified, nullptr, "-> 758"}));

TEST_F(Dispatch, LongPagesAreCutToPageCount) {
  std::string value = "http://portal/" + std::string(600, 'v');
  Serve(Redirect(value));
  bench::WriteRules(dir_, "[ShanXi]\r\nAccountExpirePage=" + value.substr(0, 520) + "\r\n");
  for (unsigned pageCount : {1u, 8u, 260u}) {
    std::wstring page;
    EXPECT_EQ(Classify("27", pageCount, &page), AccountExpire);
    EXPECT_EQ(page, Wide(value.substr(0, pageCount - 1))) << pageCount;
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

TEST_F(Dispatch, LongTargetLineStaysWithinTheMessageBuffer) {
  Serve(Redirect("http://portal/" + std::string(700, 't')));
  bench::WriteRules(dir_, "[ShanXi]\r\n");
  std::wstring page;
  EXPECT_EQ(Classify("0", 260, &page), Unclassified);
  std::string log = bench::ReadLog(dir_);
  std::size_t begin = log.find("获取到的重定向地址为：");
  ASSERT_NE(begin, std::string::npos);
  std::size_t end = log.find("-> 758\r\n", begin);
  ASSERT_NE(end, std::string::npos);
  // The formatted text, line end counted once, fits 399 bytes.
  EXPECT_LE(end + std::strlen("-> 758\n") - begin, 399u);
}

}  // namespace
