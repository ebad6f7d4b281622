// CheckRedirction against a provider played on port 80. One table with a
// column per edition: network-up pages, Location targets, each province's
// portal pages, and a check after a fetch of another class on the same
// object. Then the current edition's probe fallback and [Probe] section, the
// province code, and targets cut to the caller's capacity in both editions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "support/Settings.h"
#include "tests/wine/TestBench.h"

namespace {

using bench::EditionId;
using scenario::HttpResponse;
using scenario::Reply;
using scenario::Respond;

constexpr int kTargetSize = 528;            // the dispatch's own target buffer

const std::string kIpHost = bench::HostOf(quarvel::kIpLocationUrl);
const std::string kProbeHost = bench::HostOf(quarvel::kProbeUrl);

std::string Ok(const std::string& body) { return kit::Ok200(body); }

// One check into a buffer of capacity bytes with sentinels behind it; the
// target text lands in *target.
int CheckInto(IZHttp* component, int capacity, std::string* target) {
  std::vector<char> buffer(std::max(capacity, 0) + 64, '#');
  int result = component->CheckRedirction(buffer.data(), &capacity);
  for (std::size_t i = std::max(capacity, 0); i < buffer.size(); ++i) {
    EXPECT_EQ(buffer[i], '#') << "written past capacity at " << i;
  }
  if (capacity > 0) {
    EXPECT_NE(std::memchr(buffer.data(), 0, capacity), nullptr) << "unterminated";
    *target = std::string(buffer.data());
  }
  return result;
}

// What one edition answers: the result, the target and the log's shape.
struct Answer {
  int result;
  std::string target;
  std::string shape;
};

struct Row {
  const char* what;
  const char* province;
  std::string page;  // the body of a "200 OK" answer, or "" when answer is set
  std::string answer = "";  // a whole answer ("close": the server closes at once)
  Answer current = {};
  Answer earlier = {};
  std::string first = "";  // an answer fetched by Get on the same object before the check
};

class Editions : public ::testing::TestWithParam<EditionId> {
 protected:
  std::string dir_ = bench::FreshTestInstall();
};

// ShanXi's earlier edition logs a page's body twice; a network-up or
// unparsed page gets no finish line there.
TEST_P(Editions, AnswerByProvinceAndPage) {
  const std::string refresh = "<meta http-equiv=\"Refresh\" content=";
  const std::string probe = "<title>百度一下，你就知道 </title>\n";
  const std::string portal = quarvel::kPortalProductUrl;
  const std::string get200 = "535 575 581 593 605 614 631", get302 = "535 575 581 593 605 623 631";
  const std::string get404 = "535 575 581 593 605 631";
  const std::string found = "659 " + get200 + " 669 674 body body 748";
  const std::string unparsed = "659 " + get200 + " 669 674 body body";
  const std::string up = "659 " + get200 + " 669 674 body";
  const std::string kept = "659 " + get200 + " 669 674 body 748";
  const Row rows[] = {
      {"probe marker", "27", probe, "", {NetworkUp, "", "exit up"}, {NetworkUp, "", up}},
      {"probe marker", "0", probe, "", {NetworkUp, "", "exit up"}, {NetworkUp, "", up}},
      {"IP-location marker before a target", "27", "您的IP地址 <meta content=\"0;url=http://p/arrears\">",
       "", {NetworkUp, "", "exit up"}, {TargetUnparsed, "", unparsed}},
      {"lower-case tag, upper-case URL=", "27", refresh + "\"0;URL=http://Portal.isp.example/Pay?A=1\">\n",
       "", {TargetFound, "http://Portal.isp.example/Pay?A=1", "exit"},
       {TargetFound, "http://Portal.isp.example/Pay?A=1", found}},
      {"every double quote removed", "27", refresh + "\"0;url=http://p.example/\"a\"b\" />\n", "",
       {TargetFound, "http://p.example/\"a\"b\" ", "exit"}, {TargetFound, "http://p.example/ab /", found}},
      {"ShanXi page, target", "27", "<html><meta http-equiv=\"refresh\" content=\"0;URL=http://x.y/z?a=1\"></html>",
       "", {TargetFound, "http://x.y/z?a=1", "exit"}, {TargetUnparsed, "", unparsed}},
      {"ShanXi page, link never closed", "27", "<a url=http://x.y/never-closed", "",
       {TargetUnparsed, "", "exit unparsed"}, {TargetUnparsed, "", unparsed}},
      {"GuangXi portal link", "21", "<a href=\"" + portal + "?nodeid=138485\">hung</a>", "",
       {TargetFound, portal + "?nodeid=138485\"", "exit"}, {NoTarget, "", kept}},
      {"empty bodies", "0", "", Ok(""), {NoTarget, "", "exit exit empty"}, {NoTarget, "", "659 " + get404 + " 669 674 748"}},
      {"Location: found", "27", "", kit::Found302("http://p.example/pay?x=1"),
       {TargetFound, " http://p.example/pay?x=1\r\n\r\n", "exit 713"},
       {TargetFound, " http://p.example/pay?x=1\r\n\r\n", "659 " + get302 + " 669 713 732 748"}},
      {"lower-case location:", "27", "", "HTTP/1.1 302 Moved Temporarily\r\nlocation: http://p.example/p\r\n\r\n",
       {NoTarget, "", "exit 723"}, {NoTarget, "", "659 " + get302 + " 669 713 743 748"}},
      // A header whose first byte is zero is empty text without a status line,
      // so iRsType never becomes 2 with it: 723 cannot come from the network.
      {"header text empty", "27", "", std::string(1, '\0') + kit::Found302("/x"),
       {NoTarget, "", "exit exit"}, {NoTarget, "", "659 535 575 581 593 631 669 748"}},
      // The class of an earlier answer on the same object does not carry over
      // to a fetch that fails or answers otherwise.
      {"a 404 with Location after a 302", "27", "", kit::NotFound404({"Location: http://p.example/stale"}),
       {NoTarget, "", "exit exit"}, {NoTarget, "", "659 " + get404 + " 669 748"}, kit::Found302("http://p.example/old")},
      {"a closed connection after a 200 page with a target", "27", "", "close",
       {NoTarget, "", "285 552 exit 285 552 exit"}, {NoTarget, "", "659 535 575 581 317 588 631 669 748"},
       Ok(refresh + "\"0;url=http://p.example/old\">\n")},
  };
  scenario::Server server;
  ASSERT_TRUE(server.Start(80));
  bench::Library library(GetParam());
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.what) + ", province " + row.province);
    bench::SetProvince(row.province);
    IZHttp* component = library.Create();
    ASSERT_NE(component, nullptr);
    if (!row.first.empty()) {
      server.SetDefault(Respond(row.first));
      EXPECT_EQ(component->Get("http://127.0.0.1/first"), 1);
    }
    server.SetDefault(row.answer == "close" ? scenario::CloseAtOnce()
                                            : Respond(row.answer.empty() ? Ok(row.page) : row.answer));
    DeleteFileA(kit::LogPath(dir_).c_str());
    const Answer& want = GetParam() == EditionId::kCurrent ? row.current : row.earlier;
    std::string target;
    EXPECT_EQ(CheckInto(component, kTargetSize, &target), want.result);
    EXPECT_EQ(target, want.target);
    EXPECT_EQ(bench::Shape(dir_, row.page), want.shape);
    component->Release();
  }
}

// Targets of a ShanXi page and of a Location header, cut to each capacity;
// a negative capacity writes nothing at all.
TEST_P(Editions, LongTargetsAreCutToCapacity) {
  const std::string address = "http://portal.isp.example/" + std::string(700, 'a');
  scenario::Server server;
  server.Route("", "/meta", Respond(Ok("<meta http-equiv=\"Refresh\" content=\"0;url=" + address + "\">\n")));
  server.Route("", "/found", Respond(kit::Found302(address)));
  ASSERT_TRUE(server.Start(80));
  bench::SetProvince("27");
  bench::Library library(GetParam());
  IZHttp* component = library.Create();
  for (const std::string path : {"/meta", "/found"}) {
    component->Get(("http://127.0.0.1" + path).c_str());  // the URL the check fetches again
    const std::string whole = path == "/meta" ? address : " " + address + "\r\n\r\n";
    for (int capacity : {0, 1, 16, 528, 4096}) {
      std::string target;
      EXPECT_EQ(CheckInto(component, capacity, &target), TargetFound) << path << " " << capacity;
      if (capacity > 0) EXPECT_EQ(target, whole.substr(0, capacity - 1)) << path << " " << capacity;
    }
    char untouched[4] = {'#', '#', '#', '#'};
    int negative = -5;
    EXPECT_EQ(component->CheckRedirction(untouched, &negative), TargetFound) << path;
    EXPECT_EQ(std::string(untouched, 4), "####") << path;
  }
  component->Release();
}

QUARVEL_BOTH_EDITIONS(Editions);

class Redirect : public ::testing::Test {
 protected:
  // The provider's answers to the IP-location page and to the probe URL.
  void Serve(const scenario::Reply& ipPage, const scenario::Reply& probePage) {
    server_.Route(kIpHost, "", ipPage);
    server_.Route(kProbeHost, "", probePage);
    ASSERT_TRUE(server_.Start(80));
  }
  int Check(std::string* target) { return CheckInto(Component(), 528, target); }
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
  std::string dir_ = bench::FreshTestInstall();
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
  bench::WriteRules(dir_, "[Probe]\r\nUrl=https://localhost/\r\nIpLocationUrl=https://localhost/where\r\nMarker=" +
                              std::string(6024, 'm') + "\r\nTimeLimitMs=-1\r\nExpect=200\r\n");
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
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log[0].find("Quarvel.ini [Probe] Url is"), 0u) << log[0];
  EXPECT_EQ(log[1].find("Quarvel.ini [Probe] IpLocationUrl is"), 0u) << log[1];
  EXPECT_EQ(log[2].find("Quarvel.ini [Probe] Marker is"), 0u) << log[2];
  EXPECT_EQ(log[3].find("Quarvel.ini [Probe] TimeLimitMs is"), 0u) << log[3];
  EXPECT_EQ(log[4].find("Quarvel.ini [Probe] Expect is"), 0u) << log[4];
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& line) { return line.find("[Probe]") != std::string::npos; }),
            5);
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
      {L"宽带-27", TargetUnparsed},  // Chinese text before the "-": "27"
      {L"xx-27", TargetUnparsed},
      {L"xx-", NoTarget},            // empty
  };
  for (const Case& c : cases) {
    bench::SetSetupString(L"channel", c.channel);
    IZHttp* component = library.Create();
    std::string target;
    EXPECT_EQ(CheckInto(component, 528, &target), c.expected) << "channel " << c.channel[0];
    component->Release();
  }
  // Objects share the code of the last construction.
  bench::SetSetupString(L"channel", L"x-27");
  IZHttp* first = library.Create();
  bench::SetSetupString(L"channel", L"x-13");
  IZHttp* second = library.Create();
  std::string target;
  EXPECT_EQ(CheckInto(first, 528, &target), NoTarget);
  EXPECT_EQ(CheckInto(second, 528, &target), NoTarget);
  first->Release();
  second->Release();
}

}  // namespace
