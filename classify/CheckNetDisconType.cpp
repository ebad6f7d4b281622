// CheckNetDisconType (slot 9) of the current edition: the redirection check,
// then the rule set of the caller's province.
#include <cstring>

#include "classify/Markers.h"
#include "classify/RulesFile.h"
#include "component/TZHttp.h"
#include "support/CodePage.h"
#include "support/Log.h"

namespace {

constexpr const char* kRulesFileMissing = "Quarvel.ini is not exists!";
constexpr const char* kTargetLine = "获取到的重定向地址为：";
constexpr const char* kCannotParse =
    "该断网类型位置或者断网转向的方式发生变化以致无法解析出断网的地址。";

}  // namespace

int STDMETHODCALLTYPE TZHttp::CheckNetDisconType(wchar_t* page, unsigned int pageCount) {
  char target[quarvel::kTargetBufferSize];
  std::memset(target, 0, sizeof target);
  int capacity = quarvel::kTargetBufferSize;
  int found = CheckRedirction(target, &capacity);

  if (found == NetworkUp) return NetworkUpType;
  if (found == NoTarget || found == TargetUnparsed) {
    quarvel::LogCompact(kCannotParse, 778);
    return Unclassified;
  }
  if (found != TargetFound) return Unclassified;

  quarvel::WideText rulesPath;
  quarvel::RulesFilePath(&rulesPath);
  if (!quarvel::RulesFileExists(rulesPath.c_str())) {
    quarvel::LogNumbered(kRulesFileMissing, 751);
    return Unclassified;
  }
  quarvel::NarrowText narrowPath(rulesPath.c_str());
  if (narrowPath.get() == nullptr) return Unclassified;
  quarvel::LogWithValue(kTargetLine, target, 758);

  const quarvel::Province* province =
      quarvel::FindProvince(quarvel::kCurrentProvinces, quarvel::sProvinceCode.c_str());
  if (province == nullptr) return Unclassified;
  return quarvel::ApplyProvinceRules(*province, quarvel::PrivateProfileRules(narrowPath.get()),
                                     target, page, pageCount);
}
