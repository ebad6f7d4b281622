// The redirection check's decision on arbitrary answers, for every province
// of both editions: the result is one of the four, the target stays within
// its capacity and is terminated, and only a found target leaves text.
#include "classify/Redirection.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "current/Edition.h"
#include "earlier/Edition.h"
#include "http/HttpBytes.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

using namespace quarvel;

constexpr std::size_t kGuard = 16;
constexpr char kSentinel = '\xAB';
const wchar_t* const kCodes[] = {L"27", L"13", L"21", L"0", nullptr};

void CountPoint(void* context, LogPoint, const char*) { ++*static_cast<int*>(context); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider fdp(data, size);
  const Edition& edition = fdp.ConsumeBool() ? kCurrentEdition : kEarlierEdition;
  const int statusClass = fdp.ConsumeIntegralInRange<int>(kStatusOther, kStatusRedirect);
  const wchar_t* code = kCodes[fdp.ConsumeIntegralInRange<std::size_t>(0, 4)];
  const int capacity = fdp.ConsumeIntegralInRange<int>(-1, 600);
  const bool withMarker = fdp.ConsumeBool();
  const std::string header = fdp.ConsumeRandomLengthString(kResponseHeaderSize - 1);
  const std::string body = fdp.ConsumeRandomLengthString(kResponseBodySize - 1);

  ProbeSettings settings;
  BuiltInProbeSettings("http://probe.example/", "http://ip.example/", &settings);
  if (withMarker) settings.marker = "up";
  const RedirectionInput input = {statusClass, header.c_str(), body.c_str(), &settings,
                                  edition.provinces, code, edition.emptyBodyIsNoTarget};
  const std::size_t room = capacity > 0 ? static_cast<std::size_t>(capacity) : 0;
  std::vector<char> target(room + kGuard, kSentinel);
  int points = 0;
  const int result = DecideRedirection(input, target.data(), capacity, {CountPoint, &points});

  CHECK(result >= kNoTarget && result <= kNetworkUp);
  CHECK(points >= 1 && points <= 4);
  CHECK_ALL(target, room, target.size(), kSentinel);
  if (room == 0) return 0;
  const std::size_t len = strnlen(target.data(), room);
  CHECK(len < room);
  CHECK(result == kTargetFound || len == 0);
  CHECK_ALL(target, len, room, '\0');
  return 0;
}
