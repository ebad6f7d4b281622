// A broken installation and careless hosts: null pointers everywhere, a log
// folder that cannot exist, a missing or junk rules file, an overlong URL or
// channel value. Every call answers with its defined result.
#include <gtest/gtest.h>

#include "support/Settings.h"
#include "tests/wine/TestBench.h"

namespace {

using bench::EditionId;

const std::string kIpHost = bench::HostOf(quarvel::kIpLocationUrl);

class Faults : public ::testing::TestWithParam<EditionId> {
 protected:
  void SetUp() override {
    bench::ResetSetupKey();
    dir_ = bench::FreshInstallDir(std::string("faults-") + bench::EditionName(GetParam()));
  }
  std::string dir_;
};

TEST_P(Faults, NullPointersGiveDefinedResults) {
  scenario::Server server;
  server.SetDefault(scenario::Respond("HTTP/1.1 302 Found\r\nLocation: http://p/x\r\n\r\n"));
  ASSERT_TRUE(server.Start(80));
  bench::Library library(GetParam());
  void* out = reinterpret_cast<void*>(0x99);
  EXPECT_EQ(library.factory()(*static_cast<const GUID*>(nullptr), &out),
            static_cast<HRESULT>(0x80004005));
  EXPECT_EQ(out, reinterpret_cast<void*>(0x99));

  IZHttp* component = library.Create(500);
  ASSERT_NE(component, nullptr);
  EXPECT_EQ(component->QueryInterface(*static_cast<const GUID*>(nullptr), &out),
            static_cast<HRESULT>(0x80004005));
  int capacity = 16;
  char target[16];
  EXPECT_EQ(component->CheckRedirction(nullptr, &capacity), NoTarget);
  EXPECT_EQ(component->CheckRedirction(target, nullptr), NoTarget);
  EXPECT_EQ(server.ConnectionCount(), 0);
  // A null URL is taken as empty text: the default page is fetched.
  EXPECT_EQ(component->Get(nullptr), 1);
  EXPECT_EQ(server.ConnectionCount(), 1);
  bench::WriteRules(dir_, "[ShanXi]\r\n");
  EXPECT_EQ(component->CheckNetDisconType(nullptr, 0), Unclassified);
  EXPECT_EQ(component->Release(), 0u);
}

TEST_P(Faults, LogFolderThatCannotExistLosesLinesOnly) {
  bench::SetSetupString(L"InstallPath", L"C:\\quarvel-tests\\no\\such\\folder\\");
  scenario::Server server;
  server.SetDefault(scenario::Respond("HTTP/1.1 302 Found\r\nLocation: http://p/x\r\n\r\n"));
  ASSERT_TRUE(server.Start(80));
  bench::Library library(GetParam());
  IZHttp* component = library.Create(500);
  EXPECT_EQ(component->Get(""), 1);
  std::vector<wchar_t> page(260, L'#');
  EXPECT_EQ(component->CheckNetDisconType(page.data(), 260), Unclassified);  // no rules file
  EXPECT_FALSE(bench::FileExists("C:\\quarvel-tests\\no"));
  component->Release();
}

TEST_P(Faults, JunkRulesFileMatchesNothing) {
  scenario::Server server;
  server.SetDefault(scenario::Respond("HTTP/1.1 302 Found\r\nLocation: http://p/arrears\r\n\r\n"));
  ASSERT_TRUE(server.Start(80));
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919) & 0xFF);
  bench::WriteRules(dir_, junk);
  for (const char* province : {"27", "13", "21"}) {
    bench::SetProvince(province);
    bench::Library library(GetParam());
    IZHttp* component = library.Create(500);
    std::vector<wchar_t> page(260, L'#');
    EXPECT_EQ(component->CheckNetDisconType(page.data(), 260), Unclassified) << province;
    EXPECT_EQ(page, std::vector<wchar_t>(260, L'#'));
    component->Release();
  }
}

TEST_P(Faults, RulesFolderInPlaceOfTheFileCountsAsMissing) {
  scenario::Server server;
  server.SetDefault(scenario::Respond("HTTP/1.1 302 Found\r\nLocation: http://p/arrears\r\n\r\n"));
  ASSERT_TRUE(server.Start(80));
  CreateDirectoryA((dir_ + "Data").c_str(), nullptr);
  CreateDirectoryA((dir_ + "Data\\Quarvel.ini").c_str(), nullptr);
  bench::SetProvince("27");
  bench::Library library(GetParam());
  IZHttp* component = library.Create(500);
  std::vector<wchar_t> page(260, L'#');
  EXPECT_EQ(component->CheckNetDisconType(page.data(), 260), Unclassified);
  component->Release();
}

TEST_P(Faults, OverlongUrlIsRefusedAndNothingSent) {
  scenario::Server server;
  server.SetDefault(scenario::Respond("HTTP/1.1 302 Found\r\nLocation: http://p/x\r\n\r\n"));
  ASSERT_TRUE(server.Start(80));
  bench::Library library(GetParam());
  IZHttp* component = library.Create(500);
  std::string url = "http://" + kIpHost + "/" + std::string(5000, 'u');
  EXPECT_EQ(component->Get(url.c_str()), 0);
  std::vector<char> request(QUARVEL_REQUEST_HEADER_SIZE + 8, '\0');
  component->GetRequestHeader(request.data());
  EXPECT_EQ(std::string(request.data()), "");
  // Connected, then refused to compose: no request reaches the server.
  EXPECT_FALSE(server.WaitForExchanges(1, 300));
  component->Release();
}

TEST_P(Faults, LongChannelValueStillGivesTwoCharacters) {
  scenario::Server server;
  server.SetDefault(scenario::Respond(
      "HTTP/1.1 200 OK\r\n\r\n<p>no target</p>"));
  ASSERT_TRUE(server.Start(80));
  std::wstring channel = L"x-27" + std::wstring(296, L'9');
  bench::SetSetupString(L"channel", channel);
  bench::Library library(GetParam());
  IZHttp* component = library.Create(500);
  char target[64];
  int capacity = sizeof target;
  // ShanXi's answer to a page without a target shows the code was cut to "27".
  EXPECT_EQ(component->CheckRedirction(target, &capacity), TargetUnparsed);
  component->Release();
}

INSTANTIATE_TEST_SUITE_P(Editions, Faults,
                         ::testing::Values(EditionId::kCurrent, EditionId::kEarlier),
                         [](const ::testing::TestParamInfo<EditionId>& info) {
                           return std::string(bench::EditionName(info.param));
                         });

}  // namespace
