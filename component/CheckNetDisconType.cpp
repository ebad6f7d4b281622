// CheckNetDisconType (slot 9): the redirection check, then the rule set of
// the caller's province from the rules file. The rules file's path is read
// once and serves the whole call.
#include <cstring>

#include "component/Edition.h"
#include "component/RulesFile.h"
#include "component/TZHttp.h"
#include "support/Log.h"

using quarvel::Log;
using quarvel::LogPoint;

namespace {

// The dispatch of one call: the redirection check within the call's
// deadline, then the province's rules.
int Dispatch(TZHttp* self, wchar_t* page, unsigned int pageCount, quarvel::Deadline* deadline) {
  Log(LogPoint::kDisconBegin);
  const quarvel::WideText provinceCode = quarvel::CopyProvinceCode();
  quarvel::RulesFile rules;
  quarvel::ReadRulesFilePath(&rules);
  // The earlier edition asks nothing of the network without a rules file.
  if (quarvel::kEdition.rulesFileFirst && !quarvel::RulesFileExists(rules.path.c_str())) {
    return Unclassified;
  }

  char target[QUARVEL_TARGET_BUFFER_SIZE];
  int found = self->CheckRedirctionWithin(target, sizeof target, rules, provinceCode.c_str(),
                                          deadline);
  quarvel::LogNumber(LogPoint::kCheckReturned, found);
  if (found == NetworkUp) return NetworkUpType;
  if (found == NoTarget || found == TargetUnparsed) {
    Log(LogPoint::kCannotParse);
    return Unclassified;
  }
  if (found != TargetFound) return Unclassified;

  if (!quarvel::kEdition.rulesFileFirst && !quarvel::RulesFileExists(rules.path.c_str())) {
    Log(LogPoint::kRulesFileMissing);
    return Unclassified;
  }
  if (rules.narrow.empty()) return Unclassified;
  Log(LogPoint::kTargetLine, target);
  Log(LogPoint::kTargetText, target);

  const quarvel::Province* province =
      quarvel::FindProvince(*quarvel::kEdition.provinces, provinceCode.c_str());
  if (province == nullptr) return Unclassified;
  return quarvel::ApplyProvinceRules(*province, quarvel::PrivateProfileRules(rules.narrow.c_str()),
                                     target, page, pageCount);
}

}  // namespace

int STDMETHODCALLTYPE TZHttp::CheckNetDisconType(wchar_t* page, unsigned int pageCount) {
  quarvel::Deadline deadline;
  int result = Dispatch(this, page, pageCount, &deadline);
  quarvel::LogIfTimeLimitRanOut(deadline);
  return result;
}
