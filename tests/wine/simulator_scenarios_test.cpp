// Every scenario of the provider simulator against both editions, loaded in
// this process as the dial-up client loads them: each must give the codes
// and the page address that the scenario table expects (the demo's rows).
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "tests/wine/TestBench.h"
#include "tools/check/CodeNames.h"
#include "tools/scenario/ScenarioServer.h"
#include "tools/simulator/Scenarios.h"

namespace {

using bench::EditionId;

constexpr int kTimeOutMs = 2000;
constexpr int kTargetSize = 528;
constexpr unsigned kPageUnits = 260;

std::vector<std::string> ScenarioNames() {
  std::vector<std::string> names;
  for (const sim::Scenario& s : sim::Scenarios()) names.push_back(s.name);
  return names;
}

std::string Narrow(const wchar_t* text) {
  int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(bytes > 0 ? bytes - 1 : 0, '\0');
  if (bytes > 1) WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], bytes, nullptr, nullptr);
  return out;
}

class SimulatorScenario : public ::testing::TestWithParam<std::tuple<std::string, EditionId>> {
 protected:
  void SetUp() override {
    scenario_ = sim::FindScenario(std::get<0>(GetParam()));
    ASSERT_NE(scenario_, nullptr);
    bench::ResetSetupKey();
    installDir_ = bench::FreshInstallDir("simulator-" + scenario_->name);
    bench::WriteRules(installDir_, sim::RulesFor(*scenario_));
    bench::SetProvince(scenario_->code);
    sim::Install(*scenario_, &server_);
    ASSERT_TRUE(server_.Start(sim::kHttpPort));
  }
  const sim::Expected& Wanted() const {
    return std::get<1>(GetParam()) == EditionId::kCurrent ? scenario_->current : scenario_->earlier;
  }

  const sim::Scenario* scenario_ = nullptr;
  std::string installDir_;
  scenario::Server server_;
};

// Each call on a fresh component, as quarvel-check makes it.
TEST_P(SimulatorScenario, GivesTheCodesOfTheTable) {
  bench::Library library(std::get<1>(GetParam()));
  const sim::Expected& want = Wanted();

  IZHttp* component = library.Create(kTimeOutMs);
  ASSERT_NE(component, nullptr);
  char target[kTargetSize + 1] = {};
  const int capacity = kTargetSize;
  int redirection = component->CheckRedirction(target, &capacity);
  component->Release();
  EXPECT_EQ(redirection, want.redirection)
      << codes::RedirectionName(redirection) << ", target \"" << target << "\"";
  if (redirection == TargetFound && !want.page.empty() && scenario_->province != "GuangXi") {
    EXPECT_NE(std::string(target).find(want.page), std::string::npos) << target;
  }

  component = library.Create(kTimeOutMs);
  ASSERT_NE(component, nullptr);
  wchar_t page[kPageUnits + 1] = {};
  int discon = component->CheckNetDisconType(page, kPageUnits);
  component->Release();
  EXPECT_EQ(discon, want.discon) << codes::DisconName(discon);
  EXPECT_EQ(Narrow(page), want.page);
}

INSTANTIATE_TEST_SUITE_P(
    Demo, SimulatorScenario,
    ::testing::Combine(::testing::ValuesIn(ScenarioNames()),
                       ::testing::Values(EditionId::kCurrent, EditionId::kEarlier)),
    [](const ::testing::TestParamInfo<std::tuple<std::string, EditionId>>& info) {
      std::string name =
          std::get<0>(info.param) + "_" + bench::EditionName(std::get<1>(info.param));
      for (char& c : name) {
        if (c == '-') c = '_';
      }
      return name;
    });

}  // namespace
