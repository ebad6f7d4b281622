#include "classify/ProbeSettings.h"

#include <cstdint>
#include <cstring>

#include "classify/Markers.h"
#include "http/UrlParts.h"
#include "support/Bytes.h"

namespace quarvel {

bool IsRequestableUrl(const char* url) {
  UrlParts parts;
  std::size_t len = std::strlen(url);
  if (!SplitUrl(url, len, &parts)) return false;
  char host[kRequestHeaderSize];
  if (parts.hostLen >= sizeof host) return false;
  std::memcpy(host, url + parts.hostBegin, parts.hostLen);
  host[parts.hostLen] = '\0';
  char request[kRequestHeaderSize];
  return BuildRequestText(request, sizeof request, host,
                          parts.hasPath ? url + parts.pathBegin : "/") != 0;
}

namespace {

// Reads one key into value (capacity bytes): the state it leaves. A value
// that fills the buffer may have been cut: it is refused, never half used.
SettingState ReadSetting(const RulesSource& rules, const char* key, char* value,
                         std::size_t capacity) {
  std::memset(value, 0, capacity);
  std::size_t len = rules.read(rules.context, kProbeSection, key, value, capacity);
  if (len == 0) return SettingState::kBuiltIn;
  return len + 1 < capacity ? SettingState::kConfigured : SettingState::kRefused;
}

const char* ReadUrlSetting(const RulesSource& rules, const char* key, const char* builtIn,
                           char* value, SettingState* state) {
  *state = ReadSetting(rules, key, value, kProbeUrlReadSize);
  if (*state == SettingState::kConfigured && !IsRequestableUrl(value)) {
    *state = SettingState::kRefused;
  }
  return *state == SettingState::kConfigured ? value : builtIn;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Url: up to kMaxProbeUrls requestable addresses separated by blanks, each
// cut apart in the value's buffer. Without one left, the built-in page holds.
void ReadProbeUrls(const RulesSource& rules, const char* builtIn, ProbeSettings* settings) {
  char* value = settings->probeUrlValue;
  settings->probeUrlState = ReadSetting(rules, kProbeUrlKey, value, kProbeUrlListReadSize);
  settings->probeUrlsRefused = settings->probeUrlState == SettingState::kRefused ? 1 : 0;
  if (settings->probeUrlState != SettingState::kConfigured) return;
  std::size_t count = 0;
  for (char* cursor = value; *cursor != '\0';) {
    if (IsBlank(*cursor)) {
      *cursor++ = '\0';
      continue;
    }
    char* address = cursor;
    while (*cursor != '\0' && !IsBlank(*cursor)) ++cursor;
    if (*cursor != '\0') *cursor++ = '\0';
    if (count < kMaxProbeUrls && IsRequestableUrl(address)) {
      settings->probeUrls[count++] = address;
    } else {
      ++settings->probeUrlsRefused;
    }
  }
  if (count == 0) {
    settings->probeUrls[0] = builtIn;
    settings->probeUrlState = SettingState::kRefused;
    return;
  }
  settings->probeUrlCount = count;
}

// Expect: "204" lets a "204" answer prove the network up; "marker" (in any
// case) keeps the markers alone, as without the key.
SettingState ReadExpect(const RulesSource& rules, bool* noContent) {
  *noContent = false;
  char value[kExpectReadSize];
  const SettingState state = ReadSetting(rules, kExpectKey, value, sizeof value);
  if (state != SettingState::kConfigured) return state;
  if (std::strcmp(value, kExpectNoContent) == 0) {
    *noContent = true;
    return state;
  }
  const std::size_t len = std::strlen(value), markerLen = std::strlen(kExpectMarker);
  return len == markerLen && FindBytesFolded(value, len, kExpectMarker, markerLen) == 0
             ? state
             : SettingState::kRefused;
}

}  // namespace

SettingState ReadTimeLimit(const RulesSource& rules, unsigned long* limitMs) {
  *limitMs = 0;
  char value[kTimeLimitReadSize];
  SettingState state = ReadSetting(rules, kTimeLimitKey, value, sizeof value);
  if (state != SettingState::kConfigured) return state;
  // 32 bits, as the Windows build's unsigned long: a long run of digits
  // wraps the same way wherever this is built.
  std::uint32_t ms = 0;
  for (const char* digit = value; *digit != '\0'; ++digit) {
    if (*digit < '0' || *digit > '9' || ms > kTimeLimitMaxMs) return SettingState::kRefused;
    ms = ms * 10 + static_cast<std::uint32_t>(*digit - '0');
  }
  if (ms == 0 || ms > kTimeLimitMaxMs) return SettingState::kRefused;
  *limitMs = ms;
  return state;
}

void BuiltInProbeSettings(const char* probeUrl, const char* defaultUrl, ProbeSettings* settings) {
  settings->probeUrls[0] = probeUrl;
  settings->probeUrlCount = 1;
  settings->probeUrlsRefused = 0;
  settings->defaultUrl = defaultUrl;
  settings->ipLocationMarker = kIpLocationMarker;
  settings->marker = nullptr;
  settings->expectNoContent = false;
  settings->timeLimitMs = 0;
  settings->probeUrlState = settings->defaultUrlState = settings->markerState =
      settings->timeLimitState = settings->expectState = SettingState::kBuiltIn;
}

void ReadProbeSettings(const RulesSource& rules, const char* builtInProbeUrl,
                       const char* builtInDefaultUrl, ProbeSettings* settings) {
  BuiltInProbeSettings(builtInProbeUrl, builtInDefaultUrl, settings);
  ReadProbeUrls(rules, builtInProbeUrl, settings);
  settings->defaultUrl = ReadUrlSetting(rules, kIpLocationUrlKey, builtInDefaultUrl,
                                        settings->defaultUrlValue, &settings->defaultUrlState);
  // A marker that fills its buffer is longer than any body the library keeps.
  settings->markerState =
      ReadSetting(rules, kMarkerKey, settings->markerValue, sizeof settings->markerValue);
  settings->marker =
      settings->markerState == SettingState::kConfigured ? settings->markerValue : nullptr;
  settings->timeLimitState = ReadTimeLimit(rules, &settings->timeLimitMs);
  settings->expectState = ReadExpect(rules, &settings->expectNoContent);
}

bool NoContentProvesUp(const ProbeSettings& settings, const char* header) {
  return settings.expectNoContent && StatusCodeOf(header) == kNoContentStatus;
}

bool FindNetworkUpMarker(const char* body, const ProbeSettings& settings, const char** which) {
  const char* markers[] = {settings.ipLocationMarker, kProbePageMarker, settings.marker};
  for (const char* marker : markers) {
    if (marker != nullptr && std::strstr(body, marker) != nullptr) {
      *which = marker;
      return true;
    }
  }
  return false;
}

}  // namespace quarvel
