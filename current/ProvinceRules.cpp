// The current edition's provinces and their rule sets. ShanXi and AnHui take
// needle and page from the rules file; GuangXi keeps its page identifiers
// here, its keys only switch the rules on, and its page is the probe page.
#include "current/Edition.h"

namespace quarvel {

namespace {

constexpr ProvinceRule GxDistinctOffLineType[] = {
    {"AccountHangDead", "nodeid=138485", PageSource::kProbeUrl, kAccountHangDeadCode,
     {"GxDistinctOffLineType 账号挂死！", 799}},
    {"ErrPasswordPage", "nodeid=138428", PageSource::kProbeUrl, kErrPasswordCode,
     {"GxDistinctOffLineType 用户密码错！", 811}},
    {"AccountExpirePage", "nodeid=138483", PageSource::kProbeUrl, kAccountExpireCode,
     {"GxDistinctOffLineType 用户欠费！", 823}},
};

constexpr ProvinceRule SxDistinctOffLineType[] = {
    {"AccountExpirePage", nullptr, PageSource::kRuleValue, kAccountExpireCode,
     {"SxDistinctOffLineType 用户欠费！", 842}},
    {"PPPoEErrPwPage", nullptr, PageSource::kRuleValue, kErrPasswordCode,
     {"SxDistinctOffLineType 用户PPPOE密码错！", 854}},
    {"AccountHaltPage", nullptr, PageSource::kRuleValue, kAccountHaltCode,
     {"SxDistinctOffLineType 用户账户停！", 866}},
    {"BindCheckErrPage", nullptr, PageSource::kRuleValue, kBindCheckErrCode,
     {"SxDistinctOffLineType 用户绑定错误！", 878}},
    {"LimitUserCountPage", nullptr, PageSource::kRuleValue, kLimitUserCountCode,
     {"SxDistinctOffLineType 用户数量限制！", 891}},
};

constexpr ProvinceRule AhDistinctOffLineType[] = {
    {"AccountExpirePage", nullptr, PageSource::kRuleValue, kAccountExpireCode,
     {"AhDistinctOffLineType 用户欠费！", 913}},
    {"ErrPasswordPage", nullptr, PageSource::kRuleValue, kErrPasswordCode,
     {"AhDistinctOffLineType 用户密码错！", 922}},
};

constexpr LogLine kNoLine = {nullptr, 0};

constexpr Province kProvinceList[] = {
    {L"27", "ShanXi", PageCutter::kEmbeddedUrl, false, kNoLine, kNoLine, SxDistinctOffLineType,
     sizeof SxDistinctOffLineType / sizeof SxDistinctOffLineType[0]},
    {L"13", "AnHui", PageCutter::kNone, true, kNoLine, kNoLine, AhDistinctOffLineType,
     sizeof AhDistinctOffLineType / sizeof AhDistinctOffLineType[0]},
    {L"21", "GuangXi", PageCutter::kPortalLink, false, kNoLine, kNoLine, GxDistinctOffLineType,
     sizeof GxDistinctOffLineType / sizeof GxDistinctOffLineType[0]},
};

}  // namespace

const ProvinceTable kCurrentProvinces = {kProvinceList,
                                         sizeof kProvinceList / sizeof kProvinceList[0]};

}  // namespace quarvel
