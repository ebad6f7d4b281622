// CheckRedirction (slot 8) of the earlier edition: one fetch, the probe page
// marker as the only network-up test, and in ShanXi the target of the page's
// meta refresh tag.
#include <algorithm>
#include <cstring>

#include "classify/Markers.h"
#include "classify/Provinces.h"
#include "classify/Targets.h"
#include "component/TZHttp.h"
#include "support/Edition.h"
#include "support/Log.h"

namespace {

constexpr const char* kCheckStart = "TZHttp::CheckRedirction start！";
constexpr const char* kFetched = "CheckRedirction start with get init data！";
constexpr const char* kStatusOk = "CheckRedirction iRsType Is 1！";
constexpr const char* kStatusRedirect = "CheckRedirction iRsType Is 2！";
constexpr const char* kEmptyHeader = "CheckRedirction 接收报头为空！";
constexpr const char* kLocationFound = "CheckRedirction Pos Location Is succeed！";
constexpr const char* kLocationMissing = "CheckRedirction 定位 Location失败！";
constexpr const char* kCheckFinish = "TZHttp::CheckRedirction finish！";

// Outcome of one branch: its result, and whether the finish line follows.
struct Outcome {
  int result;
  bool finishLine;
};

Outcome CheckPage(const char* body, char* target, int capacity) {
  quarvel::LogNumbered(kStatusOk, 674);
  std::size_t len = std::strlen(body);
  if (len > 0) quarvel::LogText(body);
  if (std::strstr(body, quarvel::kProbePageMarker) != nullptr) return {NetworkUp, false};
  const quarvel::Province* province =
      quarvel::FindProvince(quarvel::kEarlierProvinces, quarvel::sProvinceCode.c_str());
  if (province == nullptr || province->cutter != quarvel::PageCutter::kMetaRefresh) {
    return {NoTarget, true};
  }
  quarvel::LogText(body);
  quarvel::TextSpan address;
  if (quarvel::CutMetaRefreshTarget(body, len, &address) != quarvel::kCutFound) {
    return {TargetUnparsed, false};
  }
  // The address lies inside the body, so its copy fits a body-sized buffer
  // whole; the quotes go before the copy is cut to the caller's capacity.
  char unquoted[quarvel::kResponseBodySize];
  std::size_t n = std::min(address.len, sizeof unquoted - 1);
  std::memcpy(unquoted, address.begin, n);
  n = quarvel::RemoveAll(unquoted, n, "\"");
  quarvel::CopyTarget(target, capacity, {unquoted, n});
  return {TargetFound, true};
}

Outcome CheckRedirect(const char* header, char* target, int capacity) {
  quarvel::LogNumbered(kStatusRedirect, 713);
  std::size_t len = std::strlen(header);
  if (len == 0) {
    quarvel::LogNumbered(kEmptyHeader, 723);
    return {NoTarget, false};
  }
  quarvel::TextSpan found;
  if (quarvel::CutLocationTarget(header, len, &found) != quarvel::kCutFound) {
    quarvel::LogNumbered(kLocationMissing, 743);
    return {NoTarget, true};
  }
  quarvel::LogNumbered(kLocationFound, 732);
  quarvel::CopyTarget(target, capacity, found);
  return {TargetFound, true};
}

}  // namespace

int STDMETHODCALLTYPE TZHttp::CheckRedirction(char* target, const int* capacity) {
  if (target == nullptr || capacity == nullptr) return NoTarget;
  int room = *capacity;
  if (room > 0) std::memset(target, 0, static_cast<std::size_t>(room));
  quarvel::LogNumbered(kCheckStart, 659);
  // The last Get's URL again; the probe URL when there was none.
  Refetch(quarvel::kEdition.defaultUrl);
  quarvel::LogNumbered(kFetched, 669);

  Outcome outcome = {NoTarget, true};
  if (iRsType == quarvel::kStatusOk) outcome = CheckPage(szResponseBody, target, room);
  if (iRsType == quarvel::kStatusRedirect) outcome = CheckRedirect(szResponseHeader, target, room);
  if (outcome.finishLine) quarvel::LogNumbered(kCheckFinish, 748);
  return outcome.result;
}
