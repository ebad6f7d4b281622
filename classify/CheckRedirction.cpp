// CheckRedirction (slot 8) of the current edition: is the network up, and if
// not, where does the provider send web requests?
#include <cstring>

#include "classify/Markers.h"
#include "classify/Provinces.h"
#include "classify/RulesFile.h"
#include "classify/Targets.h"
#include "component/TZHttp.h"
#include "support/Log.h"
#include "support/Settings.h"

namespace {

constexpr const char* kEmptyBody = "获取到的包体为空。\n";
constexpr const char* kNetworkUp = "网络通。\n";
constexpr const char* kUnparsed = "解析失败。\n";
constexpr const char* kEmptyHeader = "CheckRedirction 接收报头为空！";
constexpr const char* kLocationFound = "CheckRedirction Pos Location Is succeed！";
constexpr const char* kLocationMissing = "CheckRedirction 定位 Location失败！";

// A "200 OK" page: a network-up page, or a provider portal page of the
// caller's province with the target embedded in it.
int CheckPage(const char* body, const quarvel::ProbeSettings& settings, char* target,
              int capacity) {
  std::size_t len = std::strlen(body);
  if (len == 0) {
    quarvel::LogText(kEmptyBody);
    return NoTarget;
  }
  const char* marker = nullptr;
  if (quarvel::FindNetworkUpMarker(body, settings, &marker)) {
    quarvel::LogText(kNetworkUp);
    return NetworkUp;
  }
  const quarvel::Province* province =
      quarvel::FindProvince(quarvel::kCurrentProvinces, quarvel::sProvinceCode.c_str());
  quarvel::PageCutter cutter = province != nullptr ? province->cutter : quarvel::PageCutter::kNone;
  quarvel::TextSpan found;
  if (cutter == quarvel::PageCutter::kEmbeddedUrl) {
    switch (quarvel::CutEmbeddedTarget(body, len, &found)) {
      case quarvel::kCutNoMarker:
        return TargetUnparsed;
      case quarvel::kCutNoEnd:
        quarvel::LogText(kUnparsed);
        return TargetUnparsed;
      case quarvel::kCutFound:
        quarvel::CopyTarget(target, capacity, found);
        return TargetFound;
    }
  }
  if (cutter == quarvel::PageCutter::kPortalLink) {
    switch (quarvel::CutPortalTarget(body, len, quarvel::kPortalProductUrl, &found)) {
      case quarvel::kCutNoMarker:
        return NoTarget;
      case quarvel::kCutNoEnd:
        // A portal link that never ends names no page: reported as a page
        // without a usable target rather than as an empty target found.
        return TargetUnparsed;
      case quarvel::kCutFound:
        quarvel::CopyTarget(target, capacity, found);
        return TargetFound;
    }
  }
  return NoTarget;
}

// A redirect answer: the target is the header text after "Location:".
int CheckRedirect(const char* header, char* target, int capacity) {
  std::size_t len = std::strlen(header);
  if (len == 0) {
    quarvel::LogNumbered(kEmptyHeader, 704);
    return NoTarget;
  }
  quarvel::TextSpan found;
  if (quarvel::CutLocationTarget(header, len, &found) != quarvel::kCutFound) {
    quarvel::LogNumbered(kLocationMissing, 723);
    return NoTarget;
  }
  quarvel::LogNumbered(kLocationFound, 713);
  quarvel::CopyTarget(target, capacity, found);
  return TargetFound;
}

}  // namespace

int STDMETHODCALLTYPE TZHttp::CheckRedirction(char* target, const int* capacity) {
  if (target == nullptr || capacity == nullptr) return NoTarget;
  int room = *capacity;
  if (room > 0) std::memset(target, 0, static_cast<std::size_t>(room));

  // The last Get's URL again (the IP-location page when there was none);
  // the probe URL stays in sUrl after it: later checks start with it.
  quarvel::ProbeSettings settings;
  quarvel::LoadProbeSettings(&settings);
  if (Refetch(settings.defaultUrl) == 0) Fetch(settings.probeUrl);

  switch (iRsType) {
    case quarvel::kStatusOk:
      return CheckPage(szResponseBody, settings, target, room);
    case quarvel::kStatusRedirect:
      return CheckRedirect(szResponseHeader, target, room);
    default:
      return NoTarget;
  }
}
