#include "classify/ProbeSettings.h"

#include <cstdint>
#include <cstring>

#include "classify/Markers.h"
#include "http/UrlParts.h"

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
  settings->probeUrl = probeUrl;
  settings->defaultUrl = defaultUrl;
  settings->ipLocationMarker = kIpLocationMarker;
  settings->marker = nullptr;
  settings->timeLimitMs = 0;
  settings->probeUrlState = settings->defaultUrlState = settings->markerState =
      settings->timeLimitState = SettingState::kBuiltIn;
}

void ReadProbeSettings(const RulesSource& rules, const char* builtInProbeUrl,
                       const char* builtInDefaultUrl, ProbeSettings* settings) {
  BuiltInProbeSettings(builtInProbeUrl, builtInDefaultUrl, settings);
  settings->probeUrl = ReadUrlSetting(rules, kProbeUrlKey, builtInProbeUrl,
                                      settings->probeUrlValue, &settings->probeUrlState);
  settings->defaultUrl = ReadUrlSetting(rules, kIpLocationUrlKey, builtInDefaultUrl,
                                        settings->defaultUrlValue, &settings->defaultUrlState);
  // A marker that fills its buffer is longer than any body the library keeps.
  settings->markerState =
      ReadSetting(rules, kMarkerKey, settings->markerValue, sizeof settings->markerValue);
  settings->marker =
      settings->markerState == SettingState::kConfigured ? settings->markerValue : nullptr;
  settings->timeLimitState = ReadTimeLimit(rules, &settings->timeLimitMs);
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
