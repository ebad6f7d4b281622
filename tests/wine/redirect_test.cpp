// CheckRedirction of the current edition against a provider played on
// port 80: network-up pages, Location targets, ShanXi and GuangXi portal
// pages, the probe fallback, the province code, and bounded targets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "support/Settings.h"
#include "tests/wine/TestBench.h"

namespace {

using scenario::HttpResponse;
using scenario::Respond;

const std::string kIpHost = bench::HostOf(quarvel::kIpLocationUrl);
const std::string kProbeHost = bench::HostOf(quarvel::kProbeUrl);

std::string Ok(const std::string& body) { return HttpResponse("HTTP/1.1 200 OK", {}, body); }

class Redirect : public ::testing::Test {
 protected:
  void SetUp() override {
    bench::ResetSetupKey();
    dir_ = bench::FreshInstallDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  // The provider's answers to the IP-location page and to the probe URL.
  void Serve(const scenario::Reply& ipPage, const scenario::Reply& probePage) {
    server_.Route(kIpHost, "", ipPage);
    server_.Route(kProbeHost, "", probePage);
    ASSERT_TRUE(server_.Start(80));
  }
  // One check with a zeroed buffer of capacity bytes and sentinels behind it.
  int Check(IZHttp* component, int capacity, std::string* target) {
    std::vector<char> buffer(capacity + 64, '#');
    int result = component->CheckRedirction(buffer.data(), &capacity);
    for (std::size_t i = capacity; i < buffer.size(); ++i) {
      EXPECT_EQ(buffer[i], '#') << "written past capacity at " << i;
    }
    if (capacity > 0) {
      EXPECT_NE(std::memchr(buffer.data(), 0, capacity), nullptr) << "unterminated";
      *target = std::string(buffer.data());
    }
    return result;
  }
  int Check(std::string* target) { return Check(Component(), 528, target); }
  // The component of a load made on first use, after the test set the province.
  IZHttp* Component() {
    if (component_ == nullptr) {
      library_.reset(new bench::Library(bench::EditionId::kCurrent));
      component_ = library_->Create();
    }
    return component_;
  }
  void TearDown() override {
    if (component_ != nullptr) component_->Release();
  }
  std::string dir_;
  scenario::Server server_;
  std::unique_ptr<bench::Library> library_;
  IZHttp* component_ = nullptr;
};

TEST_F(Redirect, NetworkUpPages) {
  Serve(Respond(Ok("<p>您的IP地址是：[10.0.0.138]</p>")), Respond(Ok("")));
  bench::SetProvince("27");
  std::string target;
  EXPECT_EQ(Check(&target), NetworkUp);
  EXPECT_EQ(target, "");
  EXPECT_EQ(bench::LogMessages(dir_), (std::vector<std::string>{"Get 退出！", "网络通。"}));
  auto exchanges = server_.Exchanges();
  ASSERT_EQ(exchanges.size(), 1u);
  EXPECT_EQ(exchanges[0].path, "/city.asp");
}

TEST_F(Redirect, MarkersComeBeforeEmbeddedTargets) {
  Serve(Respond(Ok("您的IP地址 <meta content=\"0;url=http://p/arrears\">")), Respond(Ok("")));
  bench::SetProvince("27");
  std::string target;
  EXPECT_EQ(Check(&target), NetworkUp);
}

TEST_F(Redirect, ProbeUrlAnswersWhenTheFirstFetchFailsAndSticks) {
  Serve(scenario::CloseAtOnce(), Respond(Ok("<title>百度一下，你就知道 </title>")));
  std::string target;
  EXPECT_EQ(Check(&target), NetworkUp);
  EXPECT_EQ(Check(&target), NetworkUp);
  auto exchanges = server_.Exchanges();
  ASSERT_GE(exchanges.size(), 3u);
  EXPECT_EQ(exchanges[1].host, kProbeHost);
  EXPECT_EQ(exchanges[2].host, kProbeHost);  // the next check starts with the probe URL
}

// The rules file's [Probe] section: another probe page, IP-location page or
// marker, and values that cannot be used.
TEST_F(Redirect, ShippedProbePageAtTheConfiguredUrl) {
  server_.Route("localhost", "/probe", Respond(Ok(bench::ReadFile(QUARVEL_PROBE_PAGE))));
  Serve(scenario::CloseAtOnce(), Respond(Ok("")));
  bench::WriteRules(dir_, "[Probe]\r\nUrl=http://localhost/probe\r\n");
  std::string target;
  EXPECT_EQ(Check(&target), NetworkUp);
  auto exchanges = server_.Exchanges();
  ASSERT_EQ(exchanges.size(), 2u);
  EXPECT_EQ(exchanges[1].host, "localhost");
  EXPECT_EQ(bench::LogMessages(dir_).back(), "网络通。");
}

TEST_F(Redirect, ConfiguredMarkerKeepsTheFileBytes) {
  // Today's probe page: UTF-8, no blank after the title text.
  const std::string utf8Title = u8"百度一下，你就知道";
  Serve(scenario::CloseAtOnce(), Respond(Ok("<title>" + utf8Title + "</title>")));
  bench::SetProvince("13");
  std::string target;
  EXPECT_EQ(Check(&target), NoTarget);
  bench::WriteRules(dir_, "[Probe]\r\nMarker=" + utf8Title + "\r\n");
  EXPECT_EQ(Check(&target), NetworkUp);
}

TEST_F(Redirect, ConfiguredIpLocationPageIsTheDefault) {
  server_.Route("localhost", "/where", Respond(Ok("<p>您的IP地址</p>")));
  Serve(Respond(Ok("")), Respond(Ok("")));
  bench::WriteRules(dir_, "[Probe]\r\nIpLocationUrl=http://localhost/where\r\n");
  std::string target;
  EXPECT_EQ(Check(&target), NetworkUp);
  EXPECT_EQ(Component()->Get(""), 1);
  auto exchanges = server_.Exchanges();
  ASSERT_EQ(exchanges.size(), 2u);
  for (const auto& exchange : exchanges) EXPECT_EQ(exchange.path, "/where");
}

TEST_F(Redirect, UnusableProbeValuesAreNamedInTheLogAndIgnored) {
  Serve(scenario::CloseAtOnce(), Respond(Ok("<title>百度一下，你就知道 </title>")));
  bench::WriteRules(dir_, "[Probe]\r\nUrl=https://localhost/\r\nIpLocationUrl=\r\nMarker=" +
                              std::string(6024, 'm') + "\r\nTimeLimitMs=-1\r\n");
  bench::SetProvince("13");
  bench::Library library(bench::EditionId::kCurrent);
  IZHttp* component = library.Create();
  wchar_t buffer[260] = L"";
  EXPECT_EQ(component->CheckNetDisconType(buffer, 260), NetworkUpType);
  component->Release();
  auto exchanges = server_.Exchanges();
  ASSERT_EQ(exchanges.size(), 2u);
  EXPECT_EQ(exchanges[0].path, "/city.asp");
  EXPECT_EQ(exchanges[1].host, kProbeHost);
  std::vector<std::string> log = bench::LogMessages(dir_);
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0].find("Quarvel.ini [Probe] Url is"), 0u) << log[0];
  EXPECT_EQ(log[1].find("Quarvel.ini [Probe] Marker is"), 0u) << log[1];
  EXPECT_EQ(log[2].find("Quarvel.ini [Probe] TimeLimitMs is"), 0u) << log[2];
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& line) { return line.find("[Probe]") != std::string::npos; }),
            3);
}

TEST_F(Redirect, EmptyBodiesGiveNoTarget) {
  Serve(Respond(Ok("")), Respond(Ok("")));
  std::string target;
  EXPECT_EQ(Check(&target), NoTarget);
  EXPECT_EQ(bench::LogMessages(dir_).back(), "获取到的包体为空。");
}

TEST_F(Redirect, LocationTargetKeepsItsBlankAndLineEnds) {
  Serve(Respond("HTTP/1.1 302 Found\r\nLocation: http://a/b\r\n\r\n"), Respond(Ok("")));
  std::string target;
  EXPECT_EQ(Check(&target), TargetFound);
  EXPECT_EQ(target, " http://a/b\r\n\r\n");
  EXPECT_EQ(bench::LogShape(dir_), (std::vector<std::string>{"-", "713"}));
}

TEST_F(Redirect, LowerCaseLocationIsNotFound) {
  Serve(Respond("HTTP/1.1 302 Moved Temporarily\r\nlocation: http://a/b\r\n\r\n"), Respond(Ok("")));
  std::string target;
  EXPECT_EQ(Check(&target), NoTarget);
  EXPECT_EQ(target, "");
  EXPECT_EQ(bench::LogMessages(dir_).back(), "CheckRedirction 定位 Location失败！ -> 723");
}

TEST_F(Redirect, ShanXiPortalPages) {
  const std::string withTarget =
      "<html><meta http-equiv=\"refresh\" content=\"0;URL=http://x.y/z?a=1\"></html>";
  server_.Route("", "/with", Respond(Ok(withTarget)));
  server_.Route("", "/open", Respond(Ok("<a url=http://x.y/never-closed")));
  server_.Route("", "/plain", Respond(Ok("<html>nothing here</html>")));
  ASSERT_TRUE(server_.Start(80));
  bench::SetProvince("27");
  std::string target;

  Component()->Get(("http://" + kIpHost + "/with").c_str());
  EXPECT_EQ(Check(&target), TargetFound);
  EXPECT_EQ(target, "http://x.y/z?a=1");

  Component()->Get(("http://" + kIpHost + "/open").c_str());
  EXPECT_EQ(Check(&target), TargetUnparsed);
  EXPECT_EQ(bench::LogMessages(dir_).back(), "解析失败。");

  Component()->Get(("http://" + kIpHost + "/plain").c_str());
  EXPECT_EQ(Check(&target), TargetUnparsed);
  EXPECT_EQ(bench::LogMessages(dir_).back(), "Get 退出！");
}

TEST_F(Redirect, GuangXiPortalPages) {
  const std::string portal = quarvel::kPortalProductUrl;
  server_.Route("", "/hung", Respond(Ok("<a href=\"" + portal + "?nodeid=138485\">hung</a>")));
  server_.Route("", "/open", Respond(Ok("<a href=\"" + portal + "?nodeid=138485")));
  server_.Route("", "/other", Respond(Ok("<a href=\"https://elsewhere/\">x</a>")));
  ASSERT_TRUE(server_.Start(80));
  bench::SetProvince("21");
  std::string target;

  Component()->Get(("http://" + kIpHost + "/hung").c_str());
  EXPECT_EQ(Check(&target), TargetFound);
  EXPECT_EQ(target, portal + "?nodeid=138485\"");

  // A link that never ends names no page.
  Component()->Get(("http://" + kIpHost + "/open").c_str());
  EXPECT_EQ(Check(&target), TargetUnparsed);
  EXPECT_EQ(target, "");

  Component()->Get(("http://" + kIpHost + "/other").c_str());
  EXPECT_EQ(Check(&target), NoTarget);
}

TEST_F(Redirect, OtherProvincesIgnorePortalPages) {
  Serve(Respond(Ok("<meta content=\"0;url=http://p/arrears\">")), Respond(Ok("<p>x</p>")));
  bench::SetProvince("13");
  std::string target = "?";
  EXPECT_EQ(Check(&target), NoTarget);
  EXPECT_EQ(target, "");
}

// The province code is the two characters after the first "-" of "channel":
// it shows in whether a ShanXi page without a target gives TargetUnparsed.
TEST_F(Redirect, ProvinceCodeFromChannel) {
  Serve(Respond(Ok("<p>no target</p>")), Respond(Ok("<p>no target</p>")));
  bench::Library library(bench::EditionId::kCurrent);
  struct Case {
    const wchar_t* channel;
    int expected;
  };
  const Case cases[] = {
      {L"27", NoTarget},             // no "-" at the first object of a load: "0"
      {L"xx-2712", TargetUnparsed},  // "27"
      {L"27", TargetUnparsed},       // no "-": the previous code stays
      {L"a-b-c", NoTarget},          // "b-"
      {L"xx-27", TargetUnparsed},
      {L"xx-", NoTarget},            // empty
  };
  for (const Case& c : cases) {
    bench::SetSetupString(L"channel", c.channel);
    IZHttp* component = library.Create();
    std::string target;
    EXPECT_EQ(Check(component, 528, &target), c.expected) << "channel " << c.channel[0];
    component->Release();
  }
  // Objects share the code of the last construction.
  bench::SetSetupString(L"channel", L"x-27");
  IZHttp* first = library.Create();
  bench::SetSetupString(L"channel", L"x-13");
  IZHttp* second = library.Create();
  std::string target;
  EXPECT_EQ(Check(first, 528, &target), NoTarget);
  EXPECT_EQ(Check(second, 528, &target), NoTarget);
  first->Release();
  second->Release();
}

TEST_F(Redirect, LongTargetsAreCutToCapacity) {
  std::string location = "http://portal/" + std::string(900, 'p');
  Serve(Respond("HTTP/1.1 302 Found\r\nLocation: " + location + "\r\n\r\n"), Respond(Ok("")));
  for (int capacity : {0, 1, 16, 528, 4096}) {
    std::string target;
    EXPECT_EQ(Check(Component(), capacity, &target), TargetFound) << capacity;
    std::string whole = " " + location + "\r\n\r\n";
    if (capacity > 0) {
      EXPECT_EQ(target, whole.substr(0, capacity - 1)) << capacity;
    }
  }
  // A negative capacity writes nothing at all.
  char untouched[4] = {'#', '#', '#', '#'};
  int negative = -5;
  EXPECT_EQ(Component()->CheckRedirction(untouched, &negative), TargetFound);
  EXPECT_EQ(std::string(untouched, 4), "####");
}

}  // namespace
