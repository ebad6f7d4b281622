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

void Note(const LogSink& sink, LogPoint point, const char* value = nullptr) {
  sink.write(sink.context, point, value);
}

Outcome Copied(char* target, int capacity, TextSpan found) {
  CopyTarget(target, capacity, found);
  return {kTargetFound, true};
}

// A meta refresh tag's address: its double quotes go before the copy is cut
// to the caller's capacity. The address lies inside the body, so a
// body-sized buffer holds it whole.
Outcome CutMetaRefresh(const char* body, std::size_t len, char* target, int capacity,
                       const LogSink& sink) {
  Note(sink, LogPoint::kPageBody, body);
  TextSpan address;
  if (CutMetaRefreshTarget(body, len, &address) != kCutFound) return {kTargetUnparsed, false};
  char unquoted[kResponseBodySize];
  std::size_t n = std::min(address.len, sizeof unquoted - 1);
  std::memcpy(unquoted, address.begin, n);
  n = RemoveAll(unquoted, n, "\"");
  return Copied(target, capacity, {unquoted, n});
}

// A provider page of the caller's province, cut as its table entry says.
Outcome CutPageTarget(const RedirectionInput& input, std::size_t len, char* target,
                      int capacity, const LogSink& sink) {
  const char* body = input.body;
  const Province* province = FindProvince(*input.provinces, input.provinceCode);
  TextSpan found;
  switch (province != nullptr ? province->cutter : PageCutter::kNone) {
    case PageCutter::kEmbeddedUrl:
      switch (CutEmbeddedTarget(body, len, &found)) {
        case kCutFound: return Copied(target, capacity, found);
        case kCutNoEnd: Note(sink, LogPoint::kUnparsed); break;
        case kCutNoMarker: break;
      }
      return {kTargetUnparsed, false};
    case PageCutter::kPortalLink:
      switch (CutPortalTarget(body, len, kPortalProductUrl, &found)) {
        case kCutFound: return Copied(target, capacity, found);
        // A portal link that never ends names no page: reported as a page
        // without a usable target rather than as an empty target found.
        case kCutNoEnd: return {kTargetUnparsed, false};
        case kCutNoMarker: break;
      }
      return {kNoTarget, true};
    case PageCutter::kMetaRefresh:
      return CutMetaRefresh(body, len, target, capacity, sink);
    case PageCutter::kNone:
      break;
  }
  return {kNoTarget, true};
}

// A "200 OK" page: a network-up page, or a provider page of the caller's
// province with the target in it.
Outcome CheckPage(const RedirectionInput& input, char* target, int capacity,
                  const LogSink& sink) {
  Note(sink, LogPoint::kStatusOk);
  std::size_t len = std::strlen(input.body);
  if (len > 0) Note(sink, LogPoint::kPageBody, input.body);
  if (len == 0 && input.emptyBodyIsNoTarget) {
    Note(sink, LogPoint::kEmptyBody);
    return {kNoTarget, true};
  }
  const char* marker = nullptr;
  if (FindNetworkUpMarker(input.body, *input.settings, &marker)) {
    Note(sink, LogPoint::kNetworkUp);
    return {kNetworkUp, false};
  }
  return CutPageTarget(input, len, target, capacity, sink);
}

// A redirect answer: the target is the header text after "Location:".
Outcome CheckRedirect(const char* header, char* target, int capacity, const LogSink& sink) {
  Note(sink, LogPoint::kStatusRedirect);
  std::size_t len = std::strlen(header);
  if (len == 0) {
    Note(sink, LogPoint::kEmptyHeader);
    return {kNoTarget, false};
  }
  TextSpan found;
  if (CutLocationTarget(header, len, &found) != kCutFound) {
    Note(sink, LogPoint::kLocationMissing);
    return {kNoTarget, true};
  }
  Note(sink, LogPoint::kLocationFound);
  return Copied(target, capacity, found);
}

}  // namespace

int DecideRedirection(const RedirectionInput& input, char* target, int capacity,
                      const LogSink& sink) {
  if (capacity > 0) std::memset(target, 0, static_cast<std::size_t>(capacity));
  // A portal answers a hijacked request with a redirect or a page of its
  // own, never with "204": where the deployment asks for one, it proves the
  // network up as a marker does.
  if (NoContentProvesUp(*input.settings, input.header)) {
    Note(sink, LogPoint::kNetworkUp);
    return kNetworkUp;
  }
  Outcome outcome = {kNoTarget, true};
  if (input.statusClass == kStatusOk) outcome = CheckPage(input, target, capacity, sink);
  if (input.statusClass == kStatusRedirect) {
    outcome = CheckRedirect(input.header, target, capacity, sink);
  }
  if (outcome.finishLine) Note(sink, LogPoint::kCheckFinish);
  return outcome.result;
}

}  // namespace quarvel
