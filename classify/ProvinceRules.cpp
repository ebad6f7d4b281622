// The current edition's province rule sets: a redirect target in, a
// disconnect type and the page address to show out.
#include <cstring>

#include "classify/RulesFile.h"
#include "component/TZHttp.h"
#include "support/Log.h"
#include "support/Settings.h"

namespace {

// GuangXi keeps its page identifiers here; the rules file's keys only switch
// the rules on, and the page shown is always the probe URL.
struct GuangXiRule {
  const char* key;
  const char* needle;
  int code;
  const char* message;
  int n;
};
constexpr GuangXiRule kGuangXiRules[] = {
    {"AccountHangDead", "nodeid=138485", AccountHangDead, "GxDistinctOffLineType 账号挂死！", 799},
    {"ErrPasswordPage", "nodeid=138428", ErrPassword, "GxDistinctOffLineType 用户密码错！", 811},
    {"AccountExpirePage", "nodeid=138483", AccountExpire, "GxDistinctOffLineType 用户欠费！", 823},
};

// ShanXi's and AnHui's rules: the key's value is both the needle and the page.
struct ValueRule {
  const char* key;
  int code;
  const char* message;
  int n;
};
constexpr ValueRule kShanXiRules[] = {
    {"AccountExpirePage", AccountExpire, "SxDistinctOffLineType 用户欠费！", 842},
    {"PPPoEErrPwPage", ErrPassword, "SxDistinctOffLineType 用户PPPOE密码错！", 854},
    {"AccountHaltPage", AccountHalt, "SxDistinctOffLineType 用户账户停！", 866},
    {"BindCheckErrPage", BindCheckErr, "SxDistinctOffLineType 用户绑定错误！", 878},
    {"LimitUserCountPage", LimitUserCount, "SxDistinctOffLineType 用户数量限制！", 891},
};
constexpr ValueRule kAnHuiRules[] = {
    {"AccountExpirePage", AccountExpire, "AhDistinctOffLineType 用户欠费！", 913},
    {"ErrPasswordPage", ErrPassword, "AhDistinctOffLineType 用户密码错！", 922},
};
constexpr std::size_t kAnHuiRuleCount = sizeof kAnHuiRules / sizeof kAnHuiRules[0];

int Hit(wchar_t* page, unsigned int pageCount, const char* pageText, const char* message,
        int n, int code) {
  quarvel::WritePage(page, pageCount, pageText);
  quarvel::LogNumbered(message, n);
  return code;
}

}  // namespace

int TZHttp::GxDistinctOffLineType(const char* rulesPath, const char* target, wchar_t* page,
                                  unsigned int pageCount) {
  char value[quarvel::kRuleValueSize];
  for (const GuangXiRule& rule : kGuangXiRules) {
    if (quarvel::ReadRuleValue(rulesPath, "GuangXi", rule.key, value) &&
        quarvel::RuleHits(rule.needle, target)) {
      return Hit(page, pageCount, quarvel::kProbeUrl, rule.message, rule.n, rule.code);
    }
  }
  return Unclassified;
}

int TZHttp::SxDistinctOffLineType(const char* rulesPath, const char* target, wchar_t* page,
                                  unsigned int pageCount) {
  char value[quarvel::kRuleValueSize];
  for (const ValueRule& rule : kShanXiRules) {
    if (quarvel::ReadRuleValue(rulesPath, "ShanXi", rule.key, value) &&
        quarvel::RuleHits(value, target)) {
      return Hit(page, pageCount, value, rule.message, rule.n, rule.code);
    }
  }
  return Unclassified;
}

int TZHttp::AhDistinctOffLineType(const char* rulesPath, const char* target, wchar_t* page,
                                  unsigned int pageCount) {
  // Both keys are read before either is tested.
  char values[kAnHuiRuleCount][quarvel::kRuleValueSize];
  for (std::size_t i = 0; i < kAnHuiRuleCount; ++i) {
    quarvel::ReadRuleValue(rulesPath, "AnHui", kAnHuiRules[i].key, values[i]);
  }
  for (std::size_t i = 0; i < kAnHuiRuleCount; ++i) {
    const ValueRule& rule = kAnHuiRules[i];
    if (quarvel::RuleHits(values[i], target)) {
      return Hit(page, pageCount, values[i], rule.message, rule.n, rule.code);
    }
  }
  return Unclassified;
}
