// CheckRedirction (slot 8): fetches the page again, falling back to the probe
// page where the edition does, and leaves the decision on the answer to the
// portable check (classify/Redirection.h) with the edition's log lines.
#include <cstring>

#include "classify/Redirection.h"
#include "component/Edition.h"
#include "component/RulesFile.h"
#include "component/TZHttp.h"

namespace {

static_assert(quarvel::kTargetFound == TargetFound && quarvel::kNetworkUp == NetworkUp &&
              quarvel::kTargetUnparsed == TargetUnparsed && quarvel::kNoTarget == NoTarget);

void WriteEditionLine(void*, quarvel::LogPoint point, const char* value) {
  quarvel::Log(point, value);
}

}  // namespace

int STDMETHODCALLTYPE TZHttp::CheckRedirction(char* target, const int* capacity) {
  if (target == nullptr || capacity == nullptr) return NoTarget;
  quarvel::Deadline deadline;
  quarvel::RulesFile rules;
  quarvel::ReadRulesFilePath(&rules);
  int result = CheckRedirctionWithin(target, *capacity, rules, &deadline);
  quarvel::LogIfTimeLimitRanOut(deadline);
  return result;
}

int TZHttp::CheckRedirctionWithin(char* target, int room, const quarvel::RulesFile& rules,
                                  quarvel::Deadline* deadline) {
  quarvel::Log(quarvel::LogPoint::kCheckStart);
  // The last Get's URL again (the default page when there was none). Where
  // the probe page follows a failed fetch, its URL stays in sUrl: later
  // checks start with it.
  quarvel::ProbeSettings settings;
  quarvel::LoadProbeSettings(rules, &settings);
  deadline->SetLimit(settings.timeLimitMs);
  if (Refetch(settings.defaultUrl, *deadline) == 0 && quarvel::kEdition.fallsBackToProbe) {
    Fetch(settings.probeUrl, *deadline);
  }
  quarvel::Log(quarvel::LogPoint::kFetched);
  const quarvel::RedirectionInput input = {
      iRsType,  szResponseHeader,          szResponseBody, &settings, quarvel::kEdition.provinces,
      quarvel::sProvinceCode.c_str(), quarvel::kEdition.emptyBodyIsNoTarget};
  return quarvel::DecideRedirection(input, target, room, {WriteEditionLine, nullptr});
}
