// CheckRedirction (slot 8): fetches the page again, falling back to the probe
// page where the edition does, and leaves the decision on the answer to the
// portable check (classify/Redirection.h) with the edition's log lines.
#include <cstring>

#include "classify/Redirection.h"
#include "component/Edition.h"
#include "component/RulesFile.h"
#include "component/TZHttp.h"

namespace {

// The status codes of an answer the check can decide on: a page, a redirect
// or a "204"; anything else (4xx, 5xx, no status line) is a dead address.
constexpr int kFirstAnswerStatus = 200;
constexpr int kLastAnswerStatus = 399;

static_assert(quarvel::kTargetFound == TargetFound && quarvel::kNetworkUp == NetworkUp &&
              quarvel::kTargetUnparsed == TargetUnparsed && quarvel::kNoTarget == NoTarget);

void WriteEditionLine(void*, quarvel::LogPoint point, const char* value) {
  quarvel::Log(point, value);
}

}  // namespace

void TZHttp::FetchProbePages(const quarvel::Deadline& deadline) {
  for (std::size_t i = 0; i < probeSettings.probeUrlCount; ++i) {
    if (i > 0 && deadline.RanOut()) return;
    Fetch(probeSettings.probeUrls[i], deadline);
    const int status = quarvel::StatusCodeOf(szResponseHeader);
    if (status >= kFirstAnswerStatus && status <= kLastAnswerStatus) return;
  }
}

int STDMETHODCALLTYPE TZHttp::CheckRedirction(char* target, const int* capacity) {
  if (target == nullptr || capacity == nullptr) return NoTarget;
  quarvel::Deadline deadline;
  const quarvel::WideText provinceCode = quarvel::CopyProvinceCode();
  quarvel::RulesFile rules;
  quarvel::ReadRulesFilePath(&rules);
  int result = CheckRedirctionWithin(target, *capacity, rules, provinceCode.c_str(), &deadline);
  quarvel::LogIfTimeLimitRanOut(deadline);
  return result;
}

int TZHttp::CheckRedirctionWithin(char* target, int room, const quarvel::RulesFile& rules,
                                  const wchar_t* provinceCode, quarvel::Deadline* deadline) {
  quarvel::Log(quarvel::LogPoint::kCheckStart);
  // The last Get's URL again (the default page when there was none). Where
  // the probe page follows a failed fetch, its URL stays in sUrl: later
  // checks start with it.
  // The file's [Probe] settings become the object's, for its later Gets too.
  quarvel::LoadProbeSettings(rules, &probeSettings);
  quarvel::LogRefusedSettings(probeSettings);
  deadline->SetLimit(probeSettings.timeLimitMs);
  if (Refetch(probeSettings.defaultUrl, *deadline) == 0 && !quarvel::NoContentProvesUp(probeSettings, szResponseHeader) &&
      quarvel::kEdition.fallsBackToProbe) {
    FetchProbePages(*deadline);
  }
  quarvel::Log(quarvel::LogPoint::kFetched);
  const quarvel::RedirectionInput input = {iRsType,
                                           szResponseHeader,
                                           szResponseBody,
                                           &probeSettings,
                                           quarvel::kEdition.provinces,
                                           provinceCode,
                                           quarvel::kEdition.emptyBodyIsNoTarget};
  return quarvel::DecideRedirection(input, target, room, {WriteEditionLine, nullptr});
}
