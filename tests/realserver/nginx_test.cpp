// Both editions against a real web server: Debian's nginx, which
// with-nginx.sh starts around this program with the deployment's server block
// for the shipped probe page on port 80, and on 127.0.0.1:8080 a provider
// portal's "302 Moved Temporarily", a page sent in chunks and a "204".
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/wine/TestBench.h"

namespace {

using bench::EditionId;

// What with-nginx.sh serves.
const char kShippedPageUrl[] = "http://localhost/quarvel-probe.html";
const char kPortalUrl[] = "http://127.0.0.1:8080/portal";
const char kPortalTarget[] = "http://portal.sx.example/arrears.html";
const char kChunkedUrl[] = "http://127.0.0.1:8080/chunked.html";
const char kNoContentUrl[] = "http://127.0.0.1:8080/generate_204";

constexpr double kBeforeReceiveTimeOutMs = 900;  // a Get that waited 1 s for more took longer
constexpr int kTargetCapacity = 528;
constexpr unsigned kPageCount = 260;

class Nginx : public ::testing::TestWithParam<EditionId> {
 protected:
  // A component of a fresh load, made after the province and rules are set.
  IZHttp* Create(EditionId edition) {
    library_.reset(new bench::Library(edition));
    component_ = library_->Create();
    return component_;
  }
  void TearDown() override {
    if (component_ != nullptr) component_->Release();
  }
  std::string Header() { return kit::HeaderText(component_); }
  std::string Body() { return kit::BodyText(component_); }

  std::string dir_ = bench::FreshTestInstall();
  std::unique_ptr<bench::Library> library_;
  IZHttp* component_ = nullptr;
};

// The current edition reaches the page through the rules file's [Probe] Url
// (the IP-location page is a 404 there); the earlier edition asks its
// built-in probe page, whose host the namespace maps to 127.0.0.1. A time
// limit leaves a healthy answer as it is.
TEST_P(Nginx, ShippedProbePageMeansNetworkUp) {
  bench::SetProvince("13");
  bench::WriteRules(dir_, std::string("[Probe]\r\nTimeLimitMs=2500\r\nUrl=") + kShippedPageUrl +
                              "\r\n");
  IZHttp* http = Create(GetParam());
  ASSERT_NE(http, nullptr);
  char target[kTargetCapacity];
  int capacity = kTargetCapacity;
  EXPECT_EQ(http->CheckRedirction(target, &capacity), NetworkUp);
  EXPECT_EQ(Body(), bench::ReadFile(QUARVEL_PROBE_PAGE));
  EXPECT_NE(Header().find("\r\nContent-Type: text/html; charset=gb2312\r\n"), std::string::npos)
      << Header();
  wchar_t page[kPageCount] = L"";
  EXPECT_EQ(http->CheckNetDisconType(page, kPageCount), NetworkUpType);
}

// A host's Get of the portal, then the check, which asks the same address,
// within a time limit.
TEST_P(Nginx, PortalRedirectIsAccountExpire) {
  bench::SetProvince("27");
  bench::WriteRules(dir_, std::string("[Probe]\r\nTimeLimitMs=2500\r\n[ShanXi]\r\nAccountExpirePage=") +
                              kPortalTarget + "\r\n");
  IZHttp* http = Create(GetParam());
  ASSERT_NE(http, nullptr);
  ASSERT_EQ(http->Get(kPortalUrl), 1);
  EXPECT_EQ(Header().rfind("HTTP/1.1 302 Moved Temporarily\r\n", 0), 0u) << Header();
  wchar_t page[kPageCount] = L"";
  EXPECT_EQ(http->CheckNetDisconType(page, kPageCount), AccountExpire);
  EXPECT_EQ(std::wstring(page), L"http://portal.sx.example/arrears.html");
}

QUARVEL_BOTH_EDITIONS(Nginx);

using NginxCurrent = Nginx;

// A connectivity-check address that answers "204 No Content": the network
// is up where the rules file expects a 204, and, as ever, only a marker
// proves it where it does not (the list's other address is never reached).
TEST_F(NginxCurrent, NoContentAddressInBothModes) {
  for (const char* expect : {"Expect=204\r\n", ""}) {
    bench::WriteRules(dir_, std::string("[Probe]\r\n") + expect + "IpLocationUrl=" + kNoContentUrl +
                                "\r\nUrl=" + kNoContentUrl + " " + kShippedPageUrl + "\r\n");
    IZHttp* http = Create(EditionId::kCurrent);
    ASSERT_NE(http, nullptr);
    char target[kTargetCapacity];
    int capacity = kTargetCapacity;
    EXPECT_EQ(http->CheckRedirction(target, &capacity), *expect != '\0' ? NetworkUp : NoTarget)
        << expect;
    EXPECT_EQ(Header().rfind("HTTP/1.1 204 No Content\r\n", 0), 0u) << Header();
    http->Release();
    component_ = nullptr;
  }
}

// nginx sends an SSI page in chunks and keeps the connection open: the
// current edition stops at the last chunk instead of waiting out its
// receive time-out.
TEST_F(NginxCurrent, ChunkedPageEndsAtItsLastChunk) {
  IZHttp* http = Create(EditionId::kCurrent);
  ASSERT_NE(http, nullptr);
  double start = bench::NowMs();
  EXPECT_EQ(http->Get(kChunkedUrl), 1);
  double elapsedMs = bench::NowMs() - start;
  EXPECT_NE(Header().find("\r\nTransfer-Encoding: chunked\r\n"), std::string::npos) << Header();
  std::string body = Body();
  EXPECT_NE(body.find("<p>page head "), std::string::npos) << body;
  EXPECT_NE(body.find("included part"), std::string::npos) << body;
  EXPECT_NE(body.find(" page end</p>"), std::string::npos) << body;
  EXPECT_LT(elapsedMs, kBeforeReceiveTimeOutMs) << "Get waited for the receive time-out";
}

}  // namespace
