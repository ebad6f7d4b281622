// The probe's settings: the optional [Probe] section of the rules file lets a
// deployment name its own probe pages, IP-location page, one more network-up
// marker, whether a "204" answer proves the network up, and a time limit.
// Portable: the file is read through a RulesSource, and nothing is logged
// here.
#ifndef QUARVEL_CLASSIFY_PROBESETTINGS_H
#define QUARVEL_CLASSIFY_PROBESETTINGS_H

#include <cstddef>

#include "classify/Provinces.h"
#include "http/HttpBytes.h"

namespace quarvel {

constexpr const char* kProbeSection = "Probe";
constexpr const char* kProbeUrlKey = "Url";
constexpr const char* kIpLocationUrlKey = "IpLocationUrl";
constexpr const char* kMarkerKey = "Marker";
constexpr const char* kTimeLimitKey = "TimeLimitMs";
constexpr const char* kExpectKey = "Expect";

// Expect's values: a page's marker proves the network up (as without the
// key), or a "204" answer does too.
constexpr const char* kExpectMarker = "marker";
constexpr const char* kExpectNoContent = "204";
constexpr std::size_t kExpectReadSize = 16;

// The longest time limit a call may be given, and the read buffer of its
// value: room for more digits than it has, so that a longer text is told.
constexpr unsigned long kTimeLimitMaxMs = 600000;
constexpr std::size_t kTimeLimitReadSize = 16;

// A value that fills its read buffer may have been cut, and is refused. A
// URL that long could never be requested: the request holds it and more.
constexpr std::size_t kProbeUrlReadSize = kRequestHeaderSize;
// Url may list this many probe pages, separated by blanks, each as long.
constexpr std::size_t kMaxProbeUrls = 4;
constexpr std::size_t kProbeUrlListReadSize = kMaxProbeUrls * kProbeUrlReadSize;
// A marker is read into a buffer one byte larger than the longest body, so
// that a marker no body can hold is told from one that fits.
constexpr std::size_t kMarkerReadSize = kResponseBodySize + 1;

enum class SettingState {
  kBuiltIn,     // key missing or empty: the built-in value holds
  kConfigured,  // the file's value is used
  kRefused,     // the file's value cannot be used (see ReadProbeSettings)
};

struct ProbeSettings {
  // The probe pages, tried in order when the first fetch fails.
  const char* probeUrls[kMaxProbeUrls];
  std::size_t probeUrlCount;     // 1 to kMaxProbeUrls
  std::size_t probeUrlsRefused;  // listed addresses that are skipped
  const char* defaultUrl;  // what Get fetches for empty text: the IP-location page
  const char* ipLocationMarker;  // the IP-location page's marker; null: it does not count
  const char* marker;      // one more network-up marker; null: none
  bool expectNoContent;    // a "204" answer proves the network up
  unsigned long timeLimitMs;  // the time one call may take; 0: no limit
  SettingState probeUrlState, defaultUrlState, markerState, timeLimitState, expectState;
  char probeUrlValue[kProbeUrlListReadSize];  // the listed addresses, each NUL-terminated
  char defaultUrlValue[kProbeUrlReadSize];
  char markerValue[kMarkerReadSize];
};

// True when Get could send a request for url: an "http://" URL whose request
// fits the request buffer, without CR or LF in its host or path.
bool IsRequestableUrl(const char* url);

// Reads [Probe] TimeLimitMs through rules into *limitMs: decimal digits
// alone, 1 to kTimeLimitMaxMs. Anything else is refused; *limitMs is 0 (no
// limit) unless the value is configured.
SettingState ReadTimeLimit(const RulesSource& rules, unsigned long* limitMs);

// Reads [Probe] through rules ("Url", "IpLocationUrl" for the default page,
// "Marker", "TimeLimitMs", "Expect"). A URL that is not requestable is
// refused and the built-in one kept; of a list in Url, such an address, or
// one past the fourth, is skipped, and the built-in page is kept only when
// none is left. A marker longer than a body can be is refused, as it could
// never match; an Expect other than "204" or "marker" is refused. Without
// the section, the file or a key, the built-in values hold, no marker is
// added, only markers prove the network up and calls have no time limit.
void ReadProbeSettings(const RulesSource& rules, const char* builtInProbeUrl,
                       const char* builtInDefaultUrl, ProbeSettings* settings);

// The built-in pages alone, for an edition that reads no [Probe] section.
void BuiltInProbeSettings(const char* probeUrl, const char* defaultUrl, ProbeSettings* settings);

// True when the settings expect a "204" and header (NUL-terminated) is one.
bool NoContentProvesUp(const ProbeSettings& settings, const char* header);

// True when body (NUL-terminated) holds the IP-location marker (where it
// counts), the probe page marker or the configured one; *which gets the
// marker found.
bool FindNetworkUpMarker(const char* body, const ProbeSettings& settings, const char** which);

}  // namespace quarvel

#endif
