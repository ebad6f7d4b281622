// The [Probe] section: which values are taken, which are refused, and the
// markers that then prove the network up.
#include "classify/ProbeSettings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classify/Markers.h"
#include "tests/native/MemoryRules.h"

namespace quarvel {
namespace {

constexpr const char* kBuiltInProbe = "http://probe.example/";
constexpr const char* kBuiltInDefault = "http://ip.example/where";

struct ProbeCase {
  const char* name;
  std::map<std::string, std::string> rules;
  const char* probeUrl;
  const char* defaultUrl;
  SettingState probeState, defaultState, markerState;
  unsigned long timeLimitMs = 0;
  SettingState timeLimitState = SettingState::kBuiltIn;
  std::vector<std::string> probeUrls = {};  // all of them, where Url lists several
  std::size_t probeUrlsRefused = 0;
  SettingState expectState = SettingState::kBuiltIn;
  bool expectNoContent = false;
};

void PrintTo(const ProbeCase& c, std::ostream* out) { *out << c.name; }

class ProbeSection : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeSection, TakesUsableValuesOnly) {
  const ProbeCase& c = GetParam();
  MemoryRules rules{c.rules, ""};
  ProbeSettings settings;
  ReadProbeSettings(rules.Source(), kBuiltInProbe, kBuiltInDefault, &settings);
  EXPECT_STREQ(settings.probeUrls[0], c.probeUrl);
  EXPECT_STREQ(settings.defaultUrl, c.defaultUrl);
  EXPECT_EQ(settings.probeUrlState, c.probeState);
  EXPECT_EQ(settings.defaultUrlState, c.defaultState);
  EXPECT_EQ(settings.markerState, c.markerState);
  EXPECT_EQ(settings.marker != nullptr, c.markerState == SettingState::kConfigured);
  EXPECT_EQ(settings.timeLimitMs, c.timeLimitMs);
  EXPECT_EQ(settings.timeLimitState, c.timeLimitState);
  if (!c.probeUrls.empty()) {
    EXPECT_EQ(std::vector<std::string>(settings.probeUrls, settings.probeUrls + settings.probeUrlCount),
              c.probeUrls);
  }
  EXPECT_EQ(settings.probeUrlsRefused, c.probeUrlsRefused);
  EXPECT_EQ(settings.expectState, c.expectState);
  EXPECT_EQ(settings.expectNoContent, c.expectNoContent);
}

using S = SettingState;
const std::string kLongPath(1100, 'p');

INSTANTIATE_TEST_SUITE_P(
    Values, ProbeSection,
    ::testing::Values(
        ProbeCase{"NoSection", {}, kBuiltInProbe, kBuiltInDefault, S::kBuiltIn, S::kBuiltIn,
                  S::kBuiltIn},
        ProbeCase{"BothUrls",
                  {{"Probe.Url", "http://mine.example:8080/p"},
                   {"Probe.IpLocationUrl", "HTTP://10.0.0.1"}},
                  "http://mine.example:8080/p", "HTTP://10.0.0.1", S::kConfigured, S::kConfigured,
                  S::kBuiltIn},
        ProbeCase{"RefusedUrls",
                  {{"Probe.Url", "https://mine.example/"},
                   {"Probe.IpLocationUrl", "http://mine.example/" + kLongPath}},
                  kBuiltInProbe, kBuiltInDefault, S::kRefused, S::kRefused, S::kBuiltIn, 0,
                  S::kBuiltIn, {}, 1},
        ProbeCase{"LineBreakInPath", {{"Probe.Url", "http://mine.example/a\r\nX: y"}},
                  kBuiltInProbe, kBuiltInDefault, S::kRefused, S::kBuiltIn, S::kBuiltIn, 0,
                  S::kBuiltIn, {}, 2},
        // Url lists up to four addresses, in order; a refused one is skipped.
        ProbeCase{"UrlList",
                  {{"Probe.Url", "http://a.example/204 \thttps://b.example/ http://c.example/"}},
                  "http://a.example/204", kBuiltInDefault, S::kConfigured, S::kBuiltIn,
                  S::kBuiltIn, 0, S::kBuiltIn, {"http://a.example/204", "http://c.example/"}, 1},
        ProbeCase{"UrlListPastFour",
                  {{"Probe.Url", "http://a/ http://b/ http://c/ http://d/ http://e/"}},
                  "http://a/", kBuiltInDefault, S::kConfigured, S::kBuiltIn, S::kBuiltIn, 0,
                  S::kBuiltIn, {"http://a/", "http://b/", "http://c/", "http://d/"}, 1},
        ProbeCase{"UrlListNoneUsable", {{"Probe.Url", "ftp://a/ b"}}, kBuiltInProbe,
                  kBuiltInDefault, S::kRefused, S::kBuiltIn, S::kBuiltIn, 0, S::kBuiltIn,
                  {kBuiltInProbe}, 2},
        ProbeCase{"ExpectNoContent", {{"Probe.Expect", "204"}}, kBuiltInProbe, kBuiltInDefault,
                  S::kBuiltIn, S::kBuiltIn, S::kBuiltIn, 0, S::kBuiltIn, {}, 0, S::kConfigured,
                  true},
        ProbeCase{"ExpectMarker", {{"Probe.Expect", "Marker"}}, kBuiltInProbe, kBuiltInDefault,
                  S::kBuiltIn, S::kBuiltIn, S::kBuiltIn, 0, S::kBuiltIn, {}, 0, S::kConfigured},
        ProbeCase{"ExpectRefused", {{"Probe.Expect", "200"}}, kBuiltInProbe, kBuiltInDefault,
                  S::kBuiltIn, S::kBuiltIn, S::kBuiltIn, 0, S::kBuiltIn, {}, 0, S::kRefused},
        ProbeCase{"EmptyValuesIgnored", {{"Probe.Url", ""}, {"Probe.Marker", ""}}, kBuiltInProbe,
                  kBuiltInDefault, S::kBuiltIn, S::kBuiltIn, S::kBuiltIn},
        ProbeCase{"Marker", {{"Probe.Marker", "probe ok"}}, kBuiltInProbe, kBuiltInDefault,
                  S::kBuiltIn, S::kBuiltIn, S::kConfigured},
        ProbeCase{"MarkerLongestBodyStillMatches",
                  {{"Probe.Marker", std::string(kResponseBodySize - 1, 'm')}}, kBuiltInProbe,
                  kBuiltInDefault, S::kBuiltIn, S::kBuiltIn, S::kConfigured},
        ProbeCase{"MarkerLongerThanAnyBody",
                  {{"Probe.Marker", std::string(kResponseBodySize, 'm')}}, kBuiltInProbe,
                  kBuiltInDefault, S::kBuiltIn, S::kBuiltIn, S::kRefused},
        ProbeCase{"TimeLimit", {{"Probe.TimeLimitMs", "2500"}}, kBuiltInProbe, kBuiltInDefault,
                  S::kBuiltIn, S::kBuiltIn, S::kBuiltIn, 2500, S::kConfigured},
        ProbeCase{"TimeLimitLongest", {{"Probe.TimeLimitMs", "0600000"}}, kBuiltInProbe,
                  kBuiltInDefault, S::kBuiltIn, S::kBuiltIn, S::kBuiltIn, 600000, S::kConfigured},
        ProbeCase{"TimeLimitZero", {{"Probe.TimeLimitMs", "0"}}, kBuiltInProbe, kBuiltInDefault,
                  S::kBuiltIn, S::kBuiltIn, S::kBuiltIn, 0, S::kRefused},
        ProbeCase{"TimeLimitTooLong", {{"Probe.TimeLimitMs", "600001"}}, kBuiltInProbe,
                  kBuiltInDefault, S::kBuiltIn, S::kBuiltIn, S::kBuiltIn, 0, S::kRefused},
        ProbeCase{"TimeLimitNotDigits", {{"Probe.TimeLimitMs", "2.5s"}}, kBuiltInProbe,
                  kBuiltInDefault, S::kBuiltIn, S::kBuiltIn, S::kBuiltIn, 0, S::kRefused},
        ProbeCase{"TimeLimitWithAFraction", {{"Probe.TimeLimitMs", "2.5"}}, kBuiltInProbe,
                  kBuiltInDefault, S::kBuiltIn, S::kBuiltIn, S::kBuiltIn, 0, S::kRefused},
        ProbeCase{"TimeLimitWithAPoint", {{"Probe.TimeLimitMs", "2500."}}, kBuiltInProbe,
                  kBuiltInDefault, S::kBuiltIn, S::kBuiltIn, S::kBuiltIn, 0, S::kRefused},
        // 2^32 + 1000: in 32 bits it would wrap to 1000.
        ProbeCase{"TimeLimitWrappingTo1000", {{"Probe.TimeLimitMs", "4294968296"}}, kBuiltInProbe,
                  kBuiltInDefault, S::kBuiltIn, S::kBuiltIn, S::kBuiltIn, 0, S::kRefused},
        ProbeCase{"TimeLimitOverflowing", {{"Probe.TimeLimitMs", "99999999999999999999"}},
                  kBuiltInProbe, kBuiltInDefault, S::kBuiltIn, S::kBuiltIn, S::kBuiltIn, 0,
                  S::kRefused}),
    [](const ::testing::TestParamInfo<ProbeCase>& info) { return std::string(info.param.name); });

TEST(NetworkUpMarkers, BuiltInFirstThenConfigured) {
  MemoryRules rules{{{"Probe.Marker", "Probe OK"}}, ""};
  ProbeSettings settings;
  ReadProbeSettings(rules.Source(), kBuiltInProbe, kBuiltInDefault, &settings);
  const char* which = nullptr;
  EXPECT_TRUE(FindNetworkUpMarker("<p>Probe OK</p>", settings, &which));
  EXPECT_STREQ(which, "Probe OK");
  std::string both = std::string("Probe OK ") + kProbePageMarker;
  EXPECT_TRUE(FindNetworkUpMarker(both.c_str(), settings, &which));
  EXPECT_STREQ(which, kProbePageMarker);
  EXPECT_FALSE(FindNetworkUpMarker("<p>probe ok</p>", settings, &which));  // case counts

  BuiltInProbeSettings(kBuiltInProbe, kBuiltInDefault, &settings);
  EXPECT_FALSE(FindNetworkUpMarker("<p>Probe OK</p>", settings, &which));
  EXPECT_TRUE(FindNetworkUpMarker(kIpLocationMarker, settings, &which));
}

}  // namespace
}  // namespace quarvel
