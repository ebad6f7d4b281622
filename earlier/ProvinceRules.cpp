// The earlier edition's provinces: ShanXi with one rule and the meta refresh
// target of its portal pages, AnHui with two rules whose values are logged
// before they are tried. Each names itself in the log first; GuangXi has no
// rules here.
#include "earlier/Edition.h"

namespace quarvel {

namespace {

constexpr LogLine kNoLine = {nullptr, 0};

constexpr ProvinceRule kShanXiRules[] = {
    {"AccountExpirePage", nullptr, PageSource::kRuleValue, kAccountExpireCode, kNoLine},
};

constexpr ProvinceRule kAnHuiRules[] = {
    {"AccountExpirePage", nullptr, PageSource::kRuleValue, kAccountExpireCode, {"帐号欠费", 833}},
    {"ErrPasswordPage", nullptr, PageSource::kRuleValue, kErrPasswordCode, {"拨号密码错误", 848}},
};

constexpr Province kProvinceList[] = {
    {L"27", "ShanXi", PageCutter::kMetaRefresh, false, {"CheckNetDisconType 陕西 27！", 786},
     kNoLine, kShanXiRules, sizeof kShanXiRules / sizeof kShanXiRules[0]},
    {L"13", "AnHui", PageCutter::kNone, true, {"CheckNetDisconType 安徽 13！", 818},
     {"获取到的地址信息：", 828}, kAnHuiRules, sizeof kAnHuiRules / sizeof kAnHuiRules[0]},
};

}  // namespace

const ProvinceTable kEarlierProvinces = {kProvinceList,
                                         sizeof kProvinceList / sizeof kProvinceList[0]};

}  // namespace quarvel
