#include "classify/Redirection.h"

#include <algorithm>
#include <cstring>

#include "classify/Targets.h"
#include "http/HttpBytes.h"
#include "support/Settings.h"

namespace quarvel {

namespace {

// The result, and whether the check's closing line follows it.
struct Outcome {
  int result;
  bool finishLine;
};

// What one decision writes to: the caller's buffer and sink.
struct Output {
  char* target;
  int capacity;
  const LogSink& sink;
  void Log(LogPoint point, const char* value = nullptr) const {
    sink.write(sink.context, point, value);
  }
  Outcome Copied(TextSpan found) const {
    CopyTarget(target, capacity, found);
    return {kTargetFound, true};
  }
};

// A meta refresh tag's address: its double quotes go before the copy is cut
// to the caller's capacity. The address lies inside the body, so a
// body-sized buffer holds it whole.
Outcome CutMetaRefresh(const char* body, std::size_t len, const Output& out) {
  out.Log(LogPoint::kPageBody, body);
  TextSpan address;
  if (CutMetaRefreshTarget(body, len, &address) != kCutFound) return {kTargetUnparsed, false};
  char unquoted[kResponseBodySize];
  std::size_t n = std::min(address.len, sizeof unquoted - 1);
  std::memcpy(unquoted, address.begin, n);
  n = RemoveAll(unquoted, n, "\"");
  return out.Copied({unquoted, n});
}

// A provider page of the caller's province, cut as its table entry says.
Outcome CutPageTarget(const char* body, std::size_t len, const RedirectionInput& input,
                      const Output& out) {
  const Province* province = FindProvince(*input.provinces, input.provinceCode);
  TextSpan found;
  switch (province != nullptr ? province->cutter : PageCutter::kNone) {
    case PageCutter::kEmbeddedUrl:
      switch (CutEmbeddedTarget(body, len, &found)) {
        case kCutFound: return out.Copied(found);
        case kCutNoEnd: out.Log(LogPoint::kUnparsed); break;
        case kCutNoMarker: break;
      }
      return {kTargetUnparsed, false};
    case PageCutter::kPortalLink:
      switch (CutPortalTarget(body, len, kPortalProductUrl, &found)) {
        case kCutFound: return out.Copied(found);
        // A portal link that never ends names no page: reported as a page
        // without a usable target rather than as an empty target found.
        case kCutNoEnd: return {kTargetUnparsed, false};
        case kCutNoMarker: break;
      }
      return {kNoTarget, true};
    case PageCutter::kMetaRefresh:
      return CutMetaRefresh(body, len, out);
    case PageCutter::kNone:
      break;
  }
  return {kNoTarget, true};
}

// A "200 OK" page: a network-up page, or a provider page of the caller's
// province with the target in it.
Outcome CheckPage(const RedirectionInput& input, const Output& out) {
  out.Log(LogPoint::kStatusOk);
  std::size_t len = std::strlen(input.body);
  if (len > 0) out.Log(LogPoint::kPageBody, input.body);
  if (len == 0 && input.emptyBodyIsNoTarget) {
    out.Log(LogPoint::kEmptyBody);
    return {kNoTarget, true};
  }
  const char* marker = nullptr;
  if (FindNetworkUpMarker(input.body, *input.settings, &marker)) {
    out.Log(LogPoint::kNetworkUp);
    return {kNetworkUp, false};
  }
  return CutPageTarget(input.body, len, input, out);
}

// A redirect answer: the target is the header text after "Location:".
Outcome CheckRedirect(const char* header, const Output& out) {
  out.Log(LogPoint::kStatusRedirect);
  std::size_t len = std::strlen(header);
  if (len == 0) {
    out.Log(LogPoint::kEmptyHeader);
    return {kNoTarget, false};
  }
  TextSpan found;
  if (CutLocationTarget(header, len, &found) != kCutFound) {
    out.Log(LogPoint::kLocationMissing);
    return {kNoTarget, true};
  }
  out.Log(LogPoint::kLocationFound);
  return out.Copied(found);
}

}  // namespace

int DecideRedirection(const RedirectionInput& input, char* target, int capacity,
                      const LogSink& sink) {
  if (capacity > 0) std::memset(target, 0, static_cast<std::size_t>(capacity));
  const Output out = {target, capacity, sink};
  Outcome outcome = {kNoTarget, true};
  if (input.statusClass == kStatusOk) outcome = CheckPage(input, out);
  if (input.statusClass == kStatusRedirect) outcome = CheckRedirect(input.header, out);
  if (outcome.finishLine) out.Log(LogPoint::kCheckFinish);
  return outcome.result;
}

}  // namespace quarvel
