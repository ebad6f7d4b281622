// Both editions' province tables run against rules held in memory: which rule
// decides, which keys are read and in what order, where the page comes from
// and which line a hit writes.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "current/Edition.h"
#include "earlier/Edition.h"
#include "tests/native/MemoryRules.h"

namespace quarvel {
namespace {

struct RuleCase {
  const char* name;
  const ProvinceTable* table;
  const wchar_t* province;
  std::map<std::string, std::string> rules;
  const char* target;
  int code;               // 0: no rule hits
  const char* page;       // the hit's page text; "probe": the probe page
  const char* keysRead;
  int line = 0;           // the hit's log line number
};

// The numbers of the lines a decision writes, in order.
void RecordLine(void* context, const LogLine& line, const char*, const char*) {
  static_cast<std::vector<int>*>(context)->push_back(line.n);
}

void PrintTo(const RuleCase& c, std::ostream* out) { *out << c.name; }

class ProvinceRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(ProvinceRules, FirstHitDecides) {
  const RuleCase& c = GetParam();
  const Province* province = FindProvince(*c.table, c.province);
  ASSERT_NE(province, nullptr);
  MemoryRules rules{c.rules, ""};
  RuleValues values = {};
  std::vector<int> lines;
  const ProvinceDecision decision = DecideProvinceRule(*province, rules.Source(), c.target,
                                                       "probe", &values, {RecordLine, &lines});
  EXPECT_EQ(rules.keysRead, c.keysRead);
  EXPECT_EQ(decision.code, c.code);
  if (c.code == 0) {
    EXPECT_EQ(decision.pageText, nullptr);
    return;
  }
  ASSERT_NE(decision.pageText, nullptr);
  EXPECT_STREQ(decision.pageText, c.page);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), c.line);
}

const std::string kHalt = "http://sx/halt";
const std::string kBind = "http://sx/bind";

INSTANTIATE_TEST_SUITE_P(
    Editions, ProvinceRules,
    ::testing::Values(
        RuleCase{"ShanXiHaltBeforeBinding", &kCurrentProvinces, L"27",
                 {{"ShanXi.AccountHaltPage", kHalt}, {"ShanXi.BindCheckErrPage", kBind}},
                 "302 to http://sx/halt and http://sx/bind", kAccountHaltCode, "http://sx/halt",
                 "AccountExpirePage,PPPoEErrPwPage,AccountHaltPage", 866},
        RuleCase{"ShanXiLastRuleAndCase", &kCurrentProvinces, L"27",
                 {{"ShanXi.AccountExpirePage", "HTTP://SX/"}, {"ShanXi.LimitUserCountPage", "/limit"}},
                 "http://sx/limit", kLimitUserCountCode, "/limit",
                 "AccountExpirePage,PPPoEErrPwPage,AccountHaltPage,BindCheckErrPage,"
                 "LimitUserCountPage", 891},
        RuleCase{"ShanXiBindingBeforeLimit", &kCurrentProvinces, L"27",
                 {{"ShanXi.BindCheckErrPage", "/b"}, {"ShanXi.LimitUserCountPage", "/b"}},
                 "http://sx/b", kBindCheckErrCode, "/b",
                 "AccountExpirePage,PPPoEErrPwPage,AccountHaltPage,BindCheckErrPage", 878},
        RuleCase{"ShanXiEmptyValueNeverHits", &kCurrentProvinces, L"27",
                 {{"ShanXi.AccountExpirePage", ""}}, "http://sx/", 0, "",
                 "AccountExpirePage,PPPoEErrPwPage,AccountHaltPage,BindCheckErrPage,"
                 "LimitUserCountPage"},
        RuleCase{"GuangXiHungFirstAndProbePage", &kCurrentProvinces, L"21",
                 {{"GuangXi.AccountHangDead", "1"}, {"GuangXi.ErrPasswordPage", "1"}},
                 "p?nodeid=138428&nodeid=138485", kAccountHangDeadCode, "probe", "AccountHangDead",
                 799},
        // Each identifier is matched whole: the arrears page is no hung account.
        RuleCase{"GuangXiArrearsIsNoHungAccount", &kCurrentProvinces, L"21",
                 {{"GuangXi.AccountHangDead", "1"}, {"GuangXi.AccountExpirePage", "1"}},
                 "p?nodeid=138483", kAccountExpireCode, "probe",
                 "AccountHangDead,ErrPasswordPage,AccountExpirePage", 823},
        RuleCase{"GuangXiPassword", &kCurrentProvinces, L"21", {{"GuangXi.ErrPasswordPage", "1"}},
                 "p?nodeid=138428", kErrPasswordCode, "probe", "AccountHangDead,ErrPasswordPage",
                 811},
        RuleCase{"GuangXiKeySwitchesItsRule", &kCurrentProvinces, L"21",
                 {{"GuangXi.ErrPasswordPage", "1"}, {"GuangXi.AccountExpirePage", "1"}},
                 "p?nodeid=138485", 0, "",
                 "AccountHangDead,ErrPasswordPage,AccountExpirePage"},
        RuleCase{"AnHuiReadsBothThenArrearsFirst", &kCurrentProvinces, L"13",
                 {{"AnHui.AccountExpirePage", "/a"}, {"AnHui.ErrPasswordPage", "/p"}},
                 "http://ah/p/a", kAccountExpireCode, "/a", "AccountExpirePage,ErrPasswordPage",
                 913},
        RuleCase{"EarlierShanXiArrearsOnly", &kEarlierProvinces, L"27",
                 {{"ShanXi.PPPoEErrPwPage", "/pw"}}, "http://sx/pw", 0, "", "AccountExpirePage"},
        RuleCase{"EarlierAnHuiPassword", &kEarlierProvinces, L"13",
                 {{"AnHui.ErrPasswordPage", "/p"}}, "http://ah/p", kErrPasswordCode, "/p",
                 "AccountExpirePage,ErrPasswordPage", 848}),
    [](const ::testing::TestParamInfo<RuleCase>& info) { return std::string(info.param.name); });

TEST(Provinces, CodesAreComparedWhole) {
  EXPECT_NE(FindProvince(kCurrentProvinces, L"21"), nullptr);
  EXPECT_EQ(FindProvince(kCurrentProvinces, L"2"), nullptr);
  EXPECT_EQ(FindProvince(kCurrentProvinces, L"210"), nullptr);
  EXPECT_EQ(FindProvince(kCurrentProvinces, L"0"), nullptr);
  EXPECT_EQ(FindProvince(kEarlierProvinces, L"21"), nullptr);  // no GuangXi rules
}

}  // namespace
}  // namespace quarvel
