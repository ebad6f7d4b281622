// The redirection check's decision on one answer, for both editions' tables:
// its result, the target it leaves and the log points it reports, in order.
#include "classify/Redirection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classify/Markers.h"
#include "current/Edition.h"
#include "earlier/Edition.h"
#include "http/HttpBytes.h"
#include "support/Settings.h"

namespace quarvel {
namespace {

using P = LogPoint;

struct DecisionCase {
  const char* name;
  const Edition* edition;
  const wchar_t* province;
  int statusClass;
  std::string header, body;
  int capacity;
  int result;
  std::string target;
  std::vector<P> points;
  bool expectNoContent = false;  // [Probe] Expect=204
};

void PrintTo(const DecisionCase& c, std::ostream* out) { *out << c.name; }

void Record(void* context, LogPoint point, const char*) {
  static_cast<std::vector<P>*>(context)->push_back(point);
}

class Decision : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(Decision, ResultTargetAndLogPoints) {
  const DecisionCase& c = GetParam();
  ProbeSettings settings;
  BuiltInProbeSettings("http://probe.example/", "http://ip.example/", &settings);
  if (!c.edition->ipLocationMarkerCounts) settings.ipLocationMarker = nullptr;
  settings.expectNoContent = c.expectNoContent;
  const RedirectionInput input = {c.statusClass,   c.header.c_str(),     c.body.c_str(),
                                  &settings,       c.edition->provinces, c.province,
                                  c.edition->emptyBodyIsNoTarget};
  // The target buffer with a guard behind the capacity, never to be touched.
  std::vector<char> target(static_cast<std::size_t>(c.capacity) + 8, '#');
  std::vector<P> points;
  EXPECT_EQ(DecideRedirection(input, target.data(), c.capacity, {Record, &points}), c.result);
  EXPECT_EQ(std::string(target.data()), c.target);
  EXPECT_EQ(std::string(target.data() + c.capacity, 8), std::string(8, '#'));
  EXPECT_EQ(points, c.points);
}

const Edition* const kCur = &kCurrentEdition;
const Edition* const kEar = &kEarlierEdition;
const std::string kPortal = kPortalProductUrl;
const std::string kMeta = "<meta http-equiv=\"Refresh\" content=\"0; url=\"http://x/a\"\">";

INSTANTIATE_TEST_SUITE_P(
    BothEditions, Decision,
    ::testing::Values(
        DecisionCase{"redirect_location", kCur, L"27", kStatusRedirect,
                     "HTTP/1.1 302 Found\r\nLocation: http://p/x\r\n\r\n", "", 528, kTargetFound,
                     " http://p/x\r\n\r\n", {P::kStatusRedirect, P::kLocationFound, P::kCheckFinish}},
        DecisionCase{"redirect_cut_to_capacity", kCur, L"27", kStatusRedirect, "Location:abcdef",
                     "", 4, kTargetFound, "abc",
                     {P::kStatusRedirect, P::kLocationFound, P::kCheckFinish}},
        DecisionCase{"redirect_without_location", kEar, L"13", kStatusRedirect,
                     "HTTP/1.1 302 Found\r\n\r\n", "", 528, kNoTarget, "",
                     {P::kStatusRedirect, P::kLocationMissing, P::kCheckFinish}},
        DecisionCase{"redirect_empty_header", kCur, L"13", kStatusRedirect, "", "", 528, kNoTarget,
                     "", {P::kStatusRedirect, P::kEmptyHeader}},
        DecisionCase{"other_status", kCur, L"27", kStatusOther, "Location: x", "", 528, kNoTarget,
                     "", {P::kCheckFinish}},
        DecisionCase{"probe_marker_up", kEar, L"27", kStatusOk, "", std::string("a") +
                     kProbePageMarker, 528, kNetworkUp, "",
                     {P::kStatusOk, P::kPageBody, P::kNetworkUp}},
        DecisionCase{"ip_location_marker_current", kCur, L"21", kStatusOk, "",
                     kIpLocationMarker, 528, kNetworkUp, "",
                     {P::kStatusOk, P::kPageBody, P::kNetworkUp}},
        DecisionCase{"ip_location_marker_earlier", kEar, L"13", kStatusOk, "",
                     kIpLocationMarker, 528, kNoTarget, "",
                     {P::kStatusOk, P::kPageBody, P::kCheckFinish}},
        DecisionCase{"empty_body_current", kCur, L"27", kStatusOk, "", "", 528, kNoTarget, "",
                     {P::kStatusOk, P::kEmptyBody, P::kCheckFinish}},
        DecisionCase{"empty_body_earlier", kEar, L"27", kStatusOk, "", "", 528, kTargetUnparsed,
                     "", {P::kStatusOk, P::kPageBody}},
        DecisionCase{"shanxi_embedded", kCur, L"27", kStatusOk, "",
                     "<a href=\"URL=http://sx/arrears.html\">", 528, kTargetFound,
                     "http://sx/arrears.html", {P::kStatusOk, P::kPageBody, P::kCheckFinish}},
        DecisionCase{"shanxi_embedded_no_end", kCur, L"27", kStatusOk, "", "url=http://sx/a", 528,
                     kTargetUnparsed, "", {P::kStatusOk, P::kPageBody, P::kUnparsed}},
        DecisionCase{"shanxi_no_marker", kCur, L"27", kStatusOk, "", "<html>", 528,
                     kTargetUnparsed, "", {P::kStatusOk, P::kPageBody}},
        DecisionCase{"guangxi_portal", kCur, L"21", kStatusOk, "",
                     "<a href=\"" + kPortal + "?nodeid=1\">", 528, kTargetFound,
                     kPortal + "?nodeid=1\"", {P::kStatusOk, P::kPageBody, P::kCheckFinish}},
        DecisionCase{"guangxi_portal_no_end", kCur, L"21", kStatusOk, "", "x" + kPortal, 528,
                     kTargetUnparsed, "", {P::kStatusOk, P::kPageBody}},
        DecisionCase{"guangxi_no_portal", kCur, L"21", kStatusOk, "", "<html>", 528, kNoTarget,
                     "", {P::kStatusOk, P::kPageBody, P::kCheckFinish}},
        DecisionCase{"guangxi_earlier_has_no_cutter", kEar, L"21", kStatusOk, "",
                     "<a href=\"" + kPortal + "\">", 528, kNoTarget, "",
                     {P::kStatusOk, P::kPageBody, P::kCheckFinish}},
        DecisionCase{"anhui_page_no_target", kCur, L"13", kStatusOk, "", "url=http://a/b\">",
                     528, kNoTarget, "", {P::kStatusOk, P::kPageBody, P::kCheckFinish}},
        DecisionCase{"unknown_province", kCur, L"0", kStatusOk, "", "url=http://a/b\">", 528,
                     kNoTarget, "", {P::kStatusOk, P::kPageBody, P::kCheckFinish}},
        DecisionCase{"no_province", kCur, nullptr, kStatusOk, "", "url=http://a/b\">", 528,
                     kNoTarget, "", {P::kStatusOk, P::kPageBody, P::kCheckFinish}},
        DecisionCase{"earlier_meta_refresh_unquoted", kEar, L"27", kStatusOk, "", kMeta, 528,
                     kTargetFound, "http://x/a",
                     {P::kStatusOk, P::kPageBody, P::kPageBody, P::kCheckFinish}},
        DecisionCase{"earlier_meta_refresh_cut", kEar, L"27", kStatusOk, "", kMeta, 6,
                     kTargetFound, "http:",
                     {P::kStatusOk, P::kPageBody, P::kPageBody, P::kCheckFinish}},
        DecisionCase{"earlier_meta_without_url", kEar, L"27", kStatusOk, "",
                     "<meta http-equiv=\"Refresh\" content=\"0\">", 528, kTargetUnparsed, "",
                     {P::kStatusOk, P::kPageBody, P::kPageBody}},
        // Expect=204: a "204" proves the network up; no other answer changes.
        DecisionCase{"no_content_expected", kCur, L"27", kStatusOther,
                     "HTTP/1.1 204 No Content\r\n\r\n", "", 528, kNetworkUp, "",
                     {P::kNetworkUp}, true},
        DecisionCase{"no_content_http10_bare", kCur, L"27", kStatusOther, "HTTP/1.0 204", "",
                     528, kNetworkUp, "", {P::kNetworkUp}, true},
        DecisionCase{"no_content_not_expected", kCur, L"27", kStatusOther,
                     "HTTP/1.1 204 No Content\r\n\r\n", "", 528, kNoTarget, "",
                     {P::kCheckFinish}},
        DecisionCase{"other_2xx_expected", kCur, L"27", kStatusOther,
                     "HTTP/1.1 206 Partial Content\r\n\r\n", "", 528, kNoTarget, "",
                     {P::kCheckFinish}, true},
        DecisionCase{"code_of_four_digits_expected", kCur, L"27", kStatusOther,
                     "HTTP/1.1 2040 x\r\n\r\n", "", 528, kNoTarget, "", {P::kCheckFinish}, true},
        DecisionCase{"portal_page_expected", kCur, L"21", kStatusOk, "HTTP/1.1 200 OK\r\n\r\n",
                     "<a href=\"" + kPortal + "?nodeid=1\">", 528, kTargetFound,
                     kPortal + "?nodeid=1\"", {P::kStatusOk, P::kPageBody, P::kCheckFinish}, true},
        DecisionCase{"redirect_expected", kCur, L"27", kStatusRedirect,
                     "HTTP/1.1 302 Found\r\nLocation: http://p/x\r\n\r\n", "", 528,
                     kTargetFound, " http://p/x\r\n\r\n",
                     {P::kStatusRedirect, P::kLocationFound, P::kCheckFinish}, true}));

}  // namespace
}  // namespace quarvel
