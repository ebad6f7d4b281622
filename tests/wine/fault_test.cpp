// A broken installation and careless hosts: null pointers everywhere, a log
// folder that cannot exist, a missing or junk rules file, an overlong channel
// value. Every call answers with its defined result.
#include <gtest/gtest.h>

#include <memory>

#include "support/Settings.h"
#include "tests/wine/TestBench.h"

namespace {

using bench::EditionId;

// Each test: a fresh install, a provider on port 80 answering a redirect to
// http://p/arrears, and objects of one load made after the test's setup.
class Faults : public ::testing::TestWithParam<EditionId> {
 protected:
  void SetUp() override {
    dir_ = bench::FreshTestInstall();
    server_.SetDefault(scenario::Respond("HTTP/1.1 302 Found\r\nLocation: http://p/arrears\r\n\r\n"));
    ASSERT_TRUE(server_.Start(80));
  }
  IZHttp* Create() {
    if (library_ == nullptr) library_.reset(new bench::Library(GetParam()));
    return library_->Create(500);
  }
  // CheckNetDisconType into a prefilled page: the type, the page left untouched.
  int Classify() {
    IZHttp* component = Create();
    std::vector<wchar_t> page(260, L'#');
    const int type = component->CheckNetDisconType(page.data(), 260);
    EXPECT_EQ(page, std::vector<wchar_t>(260, L'#'));
    component->Release();
    return type;
  }
  std::string dir_;
  scenario::Server server_;
  std::unique_ptr<bench::Library> library_;
};

// A null URL is taken as empty text: the default page is fetched.
TEST_P(Faults, NullUrlOrPageGiveDefinedResults) {
  IZHttp* component = Create();
  ASSERT_NE(component, nullptr);
  EXPECT_EQ(component->Get(nullptr), 1);
  EXPECT_EQ(server_.ConnectionCount(), 1);
  bench::WriteRules(dir_, "[ShanXi]\r\n");
  EXPECT_EQ(component->CheckNetDisconType(nullptr, 0), Unclassified);
  EXPECT_EQ(component->Release(), 0u);
}

TEST_P(Faults, LogFolderThatCannotExistLosesLinesOnly) {
  bench::SetSetupString(L"InstallPath", L"C:\\quarvel-tests\\no\\such\\folder\\");
  IZHttp* component = Create();
  EXPECT_EQ(component->Get(""), 1);
  component->Release();
  EXPECT_EQ(Classify(), Unclassified);  // no rules file
  EXPECT_FALSE(bench::FileExists("C:\\quarvel-tests\\no"));
}

TEST_P(Faults, JunkRulesFileMatchesNothing) {
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919) & 0xFF);
  bench::WriteRules(dir_, junk);
  for (const char* province : {"27", "13", "21"}) {
    bench::SetProvince(province);
    library_.reset();
    EXPECT_EQ(Classify(), Unclassified) << province;
  }
}

TEST_P(Faults, RulesFolderInPlaceOfTheFileCountsAsMissing) {
  CreateDirectoryA((dir_ + "Data").c_str(), nullptr);
  ASSERT_TRUE(CreateDirectoryA((dir_ + "Data\\Quarvel.ini").c_str(), nullptr));
  bench::SetProvince("27");
  EXPECT_EQ(Classify(), Unclassified);
  if (GetParam() == EditionId::kCurrent) {
    EXPECT_EQ(bench::LogMessages(dir_).back(), "Quarvel.ini is not exists! -> 751");
  }
}

// ShanXi's answer to a page without a target shows the code was cut to "27".
TEST_P(Faults, LongChannelValueStillGivesTwoCharacters) {
  server_.SetDefault(scenario::Respond("HTTP/1.1 200 OK\r\n\r\n<p>no target</p>"));
  bench::SetSetupString(L"channel", L"x-27" + std::wstring(296, L'9'));
  IZHttp* component = Create();
  char target[64];
  int capacity = sizeof target;
  EXPECT_EQ(component->CheckRedirction(target, &capacity), TargetUnparsed);
  component->Release();
}

QUARVEL_BOTH_EDITIONS(Faults);

}  // namespace
