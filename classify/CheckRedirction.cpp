// CheckRedirction (slot 8): is the network up, and if not, where does the
// provider send web requests? The edition table says which page is fetched,
// whether the probe page follows a failed fetch, which lines are logged and
// how the caller's province gives up page targets.
#include <algorithm>
#include <cstring>

#include "classify/Provinces.h"
#include "classify/RulesFile.h"
#include "classify/Targets.h"
#include "component/TZHttp.h"
#include "support/Edition.h"
#include "support/Log.h"
#include "support/Settings.h"

namespace {

using quarvel::Log;
using quarvel::LogPoint;

// The result, and whether the check's closing line follows it.
struct Outcome {
  int result;
  bool finishLine;
};

Outcome Copied(char* target, int capacity, quarvel::TextSpan found) {
  quarvel::CopyTarget(target, capacity, found);
  return {TargetFound, true};
}

// A meta refresh tag's address: its double quotes go before the copy is cut
// to the caller's capacity. The address lies inside the body, so a
// body-sized buffer holds it whole.
Outcome CutMetaRefresh(const char* body, std::size_t len, char* target, int capacity) {
  Log(LogPoint::kPageBody, body);
  quarvel::TextSpan address;
  if (quarvel::CutMetaRefreshTarget(body, len, &address) != quarvel::kCutFound) {
    return {TargetUnparsed, false};
  }
  char unquoted[quarvel::kResponseBodySize];
  std::size_t n = std::min(address.len, sizeof unquoted - 1);
  std::memcpy(unquoted, address.begin, n);
  n = quarvel::RemoveAll(unquoted, n, "\"");
  return Copied(target, capacity, {unquoted, n});
}

// A provider page of the caller's province, cut as its table entry says.
Outcome CutPageTarget(const char* body, std::size_t len, char* target, int capacity) {
  const quarvel::Province* province =
      quarvel::FindProvince(*quarvel::kEdition.provinces, quarvel::sProvinceCode.c_str());
  quarvel::TextSpan found;
  switch (province != nullptr ? province->cutter : quarvel::PageCutter::kNone) {
    case quarvel::PageCutter::kEmbeddedUrl:
      switch (quarvel::CutEmbeddedTarget(body, len, &found)) {
        case quarvel::kCutFound: return Copied(target, capacity, found);
        case quarvel::kCutNoEnd: Log(LogPoint::kUnparsed); break;
        case quarvel::kCutNoMarker: break;
      }
      return {TargetUnparsed, false};
    case quarvel::PageCutter::kPortalLink:
      switch (quarvel::CutPortalTarget(body, len, quarvel::kPortalProductUrl, &found)) {
        case quarvel::kCutFound: return Copied(target, capacity, found);
        // A portal link that never ends names no page: reported as a page
        // without a usable target rather than as an empty target found.
        case quarvel::kCutNoEnd: return {TargetUnparsed, false};
        case quarvel::kCutNoMarker: break;
      }
      return {NoTarget, true};
    case quarvel::PageCutter::kMetaRefresh:
      return CutMetaRefresh(body, len, target, capacity);
    case quarvel::PageCutter::kNone:
      break;
  }
  return {NoTarget, true};
}

// A "200 OK" page: a network-up page, or a provider page of the caller's
// province with the target in it.
Outcome CheckPage(const char* body, const quarvel::ProbeSettings& settings, char* target,
                  int capacity) {
  Log(LogPoint::kStatusOk);
  std::size_t len = std::strlen(body);
  if (len > 0) Log(LogPoint::kPageBody, body);
  if (len == 0 && quarvel::kEdition.emptyBodyIsNoTarget) {
    Log(LogPoint::kEmptyBody);
    return {NoTarget, true};
  }
  const char* marker = nullptr;
  if (quarvel::FindNetworkUpMarker(body, settings, &marker)) {
    Log(LogPoint::kNetworkUp);
    return {NetworkUp, false};
  }
  return CutPageTarget(body, len, target, capacity);
}

// A redirect answer: the target is the header text after "Location:".
Outcome CheckRedirect(const char* header, char* target, int capacity) {
  Log(LogPoint::kStatusRedirect);
  std::size_t len = std::strlen(header);
  if (len == 0) {
    Log(LogPoint::kEmptyHeader);
    return {NoTarget, false};
  }
  quarvel::TextSpan found;
  if (quarvel::CutLocationTarget(header, len, &found) != quarvel::kCutFound) {
    Log(LogPoint::kLocationMissing);
    return {NoTarget, true};
  }
  Log(LogPoint::kLocationFound);
  return Copied(target, capacity, found);
}

}  // namespace

int STDMETHODCALLTYPE TZHttp::CheckRedirction(char* target, const int* capacity) {
  if (target == nullptr || capacity == nullptr) return NoTarget;
  quarvel::Deadline deadline;
  int result = CheckRedirctionWithin(target, *capacity, &deadline);
  quarvel::LogIfTimeLimitRanOut(deadline);
  return result;
}

int TZHttp::CheckRedirctionWithin(char* target, int room, quarvel::Deadline* deadline) {
  if (room > 0) std::memset(target, 0, static_cast<std::size_t>(room));
  Log(LogPoint::kCheckStart);

  // The last Get's URL again (the default page when there was none). Where
  // the probe page follows a failed fetch, its URL stays in sUrl: later
  // checks start with it.
  quarvel::ProbeSettings settings;
  quarvel::LoadProbeSettings(&settings);
  deadline->SetLimit(settings.timeLimitMs);
  if (Refetch(settings.defaultUrl, *deadline) == 0 && quarvel::kEdition.fallsBackToProbe) {
    Fetch(settings.probeUrl, *deadline);
  }
  Log(LogPoint::kFetched);

  Outcome outcome = {NoTarget, true};
  if (iRsType == quarvel::kStatusOk) outcome = CheckPage(szResponseBody, settings, target, room);
  if (iRsType == quarvel::kStatusRedirect) outcome = CheckRedirect(szResponseHeader, target, room);
  if (outcome.finishLine) Log(LogPoint::kCheckFinish);
  return outcome.result;
}
