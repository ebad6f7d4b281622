// CheckNetDisconType (slot 9) of the earlier edition: the rules file first,
// then the redirection check, then its few province rules held here.
#include <cstring>

#include "classify/Markers.h"
#include "classify/RulesFile.h"
#include "component/TZHttp.h"
#include "support/CodePage.h"
#include "support/Log.h"

namespace {

constexpr const char* kBegin = "CheckNetDisconType begin！";
constexpr const char* kCheckReturned = "CheckRedirction return is！";
constexpr const char* kShanXi = "CheckNetDisconType 陕西 27！";
constexpr const char* kAnHui = "CheckNetDisconType 安徽 13！";
constexpr const char* kAnHuiValues = "获取到的地址信息：";
constexpr const char* kAccountExpire = "帐号欠费";
constexpr const char* kErrPassword = "拨号密码错误";

// A hit logs its line first, then writes the page.
int Hit(const char* message, int n, wchar_t* page, unsigned int pageCount,
        const char* pageText, int code) {
  quarvel::LogNumbered(message, n);
  quarvel::WritePage(page, pageCount, pageText);
  return code;
}

}  // namespace

int STDMETHODCALLTYPE TZHttp::CheckNetDisconType(wchar_t* page, unsigned int pageCount) {
  quarvel::LogNumbered(kBegin, 755);
  quarvel::WideText rulesPath;
  quarvel::RulesFilePath(&rulesPath);
  if (!quarvel::RulesFileExists(rulesPath.c_str())) return Unclassified;
  quarvel::NarrowText narrowPath(rulesPath.c_str());
  if (narrowPath.get() == nullptr) return Unclassified;

  char target[quarvel::kTargetBufferSize];
  char valueA[quarvel::kRuleValueSize];
  char valueB[quarvel::kRuleValueSize];
  std::memset(target, 0, sizeof target);
  std::memset(valueA, 0, sizeof valueA);
  std::memset(valueB, 0, sizeof valueB);
  int capacity = quarvel::kTargetBufferSize;
  int found = CheckRedirction(target, &capacity);
  quarvel::LogNumbered(kCheckReturned, found);
  if (found == NetworkUp) return NetworkUpType;
  if (found != TargetFound) return Unclassified;

  quarvel::LogText(target);
  if (quarvel::ProvinceIs(quarvel::kProvinceShanXi)) {
    quarvel::LogNumbered(kShanXi, 786);
    if (quarvel::ReadRuleValue(narrowPath.get(), "ShanXi", "AccountExpirePage", valueA) &&
        quarvel::RuleHits(valueA, target)) {
      quarvel::WritePage(page, pageCount, valueA);
      return AccountExpire;
    }
    return Unclassified;
  }
  if (quarvel::ProvinceIs(quarvel::kProvinceAnHui)) {
    quarvel::LogNumbered(kAnHui, 818);
    quarvel::ReadRuleValue(narrowPath.get(), "AnHui", "AccountExpirePage", valueA);
    quarvel::ReadRuleValue(narrowPath.get(), "AnHui", "ErrPasswordPage", valueB);
    quarvel::LogWithTwoValues(kAnHuiValues, 828, valueA, valueB);
    if (quarvel::RuleHits(valueA, target)) {
      return Hit(kAccountExpire, 833, page, pageCount, valueA, AccountExpire);
    }
    if (quarvel::RuleHits(valueB, target)) {
      return Hit(kErrPassword, 848, page, pageCount, valueB, ErrPassword);
    }
    return Unclassified;
  }
  return Unclassified;
}
