// CheckNetDisconType (slot 9) of the earlier edition: the rules file first,
// then the redirection check, then the rule set of the caller's province.
#include <cstring>

#include "classify/Markers.h"
#include "classify/RulesFile.h"
#include "component/TZHttp.h"
#include "support/CodePage.h"
#include "support/Log.h"

namespace {

constexpr const char* kBegin = "CheckNetDisconType begin！";
constexpr const char* kCheckReturned = "CheckRedirction return is！";

}  // namespace

int STDMETHODCALLTYPE TZHttp::CheckNetDisconType(wchar_t* page, unsigned int pageCount) {
  quarvel::LogNumbered(kBegin, 755);
  quarvel::WideText rulesPath;
  quarvel::RulesFilePath(&rulesPath);
  if (!quarvel::RulesFileExists(rulesPath.c_str())) return Unclassified;
  quarvel::NarrowText narrowPath(rulesPath.c_str());
  if (narrowPath.get() == nullptr) return Unclassified;

  char target[quarvel::kTargetBufferSize];
  std::memset(target, 0, sizeof target);
  int capacity = quarvel::kTargetBufferSize;
  int found = CheckRedirction(target, &capacity);
  quarvel::LogNumbered(kCheckReturned, found);
  if (found == NetworkUp) return NetworkUpType;
  if (found != TargetFound) return Unclassified;

  quarvel::LogText(target);
  const quarvel::Province* province =
      quarvel::FindProvince(quarvel::kEarlierProvinces, quarvel::sProvinceCode.c_str());
  if (province == nullptr) return Unclassified;
  return quarvel::ApplyProvinceRules(*province, quarvel::PrivateProfileRules(narrowPath.get()),
                                     target, page, pageCount);
}
