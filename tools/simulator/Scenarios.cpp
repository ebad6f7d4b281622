#include "tools/simulator/Scenarios.h"

#include <vector>

#include "support/Settings.h"
#include "tools/kit/Kit.h"
#include "tools/kit/Replies.h"

namespace sim {
namespace {

// The provinces' portals. The ShanXi and AnHui pages are never fetched: the
// library only compares their addresses with the rules file.
constexpr char kShanXiPages[] = "http://sx.portal.isp.example/shanxi/";
constexpr char kAnHuiPages[] = "http://ah.portal.isp.example/anhui/";

std::string ShanXi(const char* page) { return kShanXiPages + std::string(page); }
std::string AnHui(const char* page) { return kAnHuiPages + std::string(page); }

// A kept-alive connection stays open this long unless the client closes it.
constexpr int kKeepAliveHoldMs = 15000;

const char kIpLocationBody[] =
    "<html><head><title>IP地址查询</title></head><body><center>"
    "您的IP地址是：[127.0.0.1] 来自：本机地址</center></body></html>";

// The probe page marker's final blank is part of the title here.
const char kProbeBody[] =
    "<html><head><title>百度一下，你就知道 </title></head>"
    "<body><form action=\"/s\"><input name=\"wd\"></form></body></html>";

// The public probe page as it is served today: UTF-8, and no blank after
// the title text, so the GBK probe marker never occurs in it.
const char kTodaysProbeBody[] =
    u8"<html><head><meta charset=\"utf-8\"><title>百度一下，你就知道</title></head>"
    u8"<body><form action=\"/s\"><input name=\"wd\"></form></body></html>";
const char kTodaysProbeTitle[] = u8"百度一下，你就知道";

std::string RefreshPage(const std::string& equiv, const std::string& address) {
  return "<html><head><meta http-equiv=\"" + equiv + "\" content=\"0;url=" + address +
         "\"></head><body>您的账户已欠费，正在转到缴费页面……</body></html>";
}

std::string GuangXiPage(const std::string& nodeId) {
  return std::string("<html><head><title>网上营业厅</title></head><body><a href=\"") +
         quarvel::kPortalProductUrl + "?nodeid=" + nodeId +
         "\">您的账号无法上网，请点击查看原因</a></body></html>";
}

Expected Found(int discon, const std::string& page) { return Expected{1, discon, page}; }

// A row of today's internet: its [Probe] keys (if any) and why the editions
// answer as they do.
Scenario Today(Scenario s, const std::string& probeKeys, const std::string& note) {
  if (!probeKeys.empty()) s.probeSection = "[Probe]\r\n" + probeKeys;
  s.note = note;
  return s;
}

Scenario Make(const std::string& name, const std::string& province, const std::string& summary,
              Play play, const std::string& status, const std::string& text,
              const Expected& current, const Expected& earlier) {
  static const struct {
    const char* province;
    const char* code;
  } kCodes[] = {{"ShanXi", "27"}, {"AnHui", "13"}, {"GuangXi", "21"}};
  std::string code = "0";
  for (const auto& entry : kCodes) {
    if (province == entry.province) code = entry.code;
  }
  return Scenario{name, province, code, summary, play, status, text, current, earlier, "", ""};
}

// The account-problem pages, as the portals address them.
struct Pages {
  std::string sxArrears = ShanXi("arrears.html");
  std::string sxPassword = ShanXi("pppoe-password.html");
  std::string sxHalted = ShanXi("halted.html");
  std::string sxBindCheck = ShanXi("bind-check.html");
  std::string sxUserLimit = ShanXi("user-limit.html");
  std::string ahArrears = AnHui("arrears.html");
  std::string ahPassword = AnHui("password.html");
  std::string ahMaintenance = AnHui("maintenance.html");  // named by no rule
};

// The demo's rows. The earlier edition knows only ShanXi's arrears page and
// AnHui's two pages, and of the portal pages only a meta "Refresh" tag.
std::vector<Scenario> BuildScenarios() {
  const Pages p;
  const Expected kUp = {3, 3, ""};
  const Expected kNothing = {0, 0, ""};
  const std::string probe = quarvel::kProbeUrl;
  const std::string found = "HTTP/1.1 302 Found";
  const std::string moved = "HTTP/1.1 302 Moved Temporarily";
  const Play redirect = Play::kRedirect;
  const Play portal = Play::kPortalPage;
  return {
      Make("network-up", "ShanXi", "IP-location page and probe page come through", Play::kNetworkUp,
           "", "", kUp, kUp),
      Make("ip-location-down", "AnHui", "IP-location page missing, probe page comes through",
           Play::kIpLocationDown, "", "", kUp, kUp),
      Make("kept-alive", "GuangXi", "pages come through, server keeps connections open",
           Play::kKeptAlive, "", "", kUp, kUp),
      Make("pages-missing", "ShanXi", "every page answers 404 Not Found", Play::kPagesMissing, "",
           "", kNothing, kNothing),
      Make("sx-arrears-302", "ShanXi", "302 Found to the arrears page", redirect, found,
           p.sxArrears, Found(2, p.sxArrears), Found(2, p.sxArrears)),
      Make("sx-password-302", "ShanXi", "302 Moved Temporarily to the PPPoE password page",
           redirect, moved, p.sxPassword, Found(1, p.sxPassword), Found(0, "")),
      Make("sx-halted-302", "ShanXi", "302 Found to the account halted page", redirect, found,
           p.sxHalted, Found(4, p.sxHalted), Found(0, "")),
      Make("sx-bind-check-302", "ShanXi", "302 Moved Temporarily to the binding check page",
           redirect, moved, p.sxBindCheck, Found(5, p.sxBindCheck), Found(0, "")),
      Make("sx-user-limit-302", "ShanXi", "302 Found to the user-count limit page", redirect, found,
           p.sxUserLimit, Found(6, p.sxUserLimit), Found(0, "")),
      Make("sx-arrears-portal", "ShanXi", "200 OK portal page, refresh tag to the arrears page",
           portal, "", RefreshPage("refresh", p.sxArrears), Found(2, p.sxArrears),
           Expected{2, 0, ""}),
      Make("sx-meta-refresh", "ShanXi", "200 OK page, meta Refresh tag to the arrears page", portal,
           "", RefreshPage("Refresh", p.sxArrears), Found(2, p.sxArrears), Found(2, p.sxArrears)),
      Make("gx-hung", "GuangXi", "200 OK page linking the portal, nodeid=138485", portal, "",
           GuangXiPage("138485"), Found(7, probe), kNothing),
      Make("gx-password", "GuangXi", "200 OK page linking the portal, nodeid=138428", portal, "",
           GuangXiPage("138428"), Found(1, probe), kNothing),
      Make("gx-arrears", "GuangXi", "200 OK page linking the portal, nodeid=138483", portal, "",
           GuangXiPage("138483"), Found(2, probe), kNothing),
      Make("ah-arrears-302", "AnHui", "302 Found to the arrears page", redirect, found, p.ahArrears,
           Found(2, p.ahArrears), Found(2, p.ahArrears)),
      Make("ah-password-302", "AnHui", "302 Moved Temporarily to the password page", redirect,
           moved, p.ahPassword, Found(1, p.ahPassword), Found(1, p.ahPassword)),
      Make("ah-unknown-302", "AnHui", "302 Found to a page the rules file does not name", redirect,
           found, p.ahMaintenance, Found(0, ""), Found(0, "")),
      Today(Make("today-utf8-probe", "AnHui", "no IP-location page, probe page in UTF-8",
                 Play::kTodaysInternet, "", "", kNothing, kNothing),
            "",
            "the probe page is UTF-8 now and its title has no blank: the GBK markers never "
            "occur, so neither edition sees the network up"),
      Today(Make("today-utf8-marker", "AnHui", "the same, [Probe] Marker= in UTF-8",
                 Play::kTodaysInternet, "", "", kUp, kNothing),
            std::string("Marker=") + kTodaysProbeTitle + "\r\n",
            "the current edition also matches the marker as the rules file spells it; the "
            "earlier edition reads no [Probe] section"),
      Today(Make("today-own-probe", "AnHui", "the same, [Probe] Url= the shipped probe page",
                 Play::kTodaysInternet, "", "", kUp, kNothing),
            std::string("Url=") + kOwnProbeUrl + "\r\n",
            "the current edition falls back to the deployment's own probe page"),
      Today(Make("today-204", "AnHui", "the same, [Probe] Expect=204 and a 204 address",
                 Play::kTodaysInternet, "", "", kUp, kNothing),
            std::string("Expect=204\r\nUrl=") + kNoContentUrl + "\r\n",
            "the current edition falls back to a connectivity-check address, whose 204 "
            "proves the network up; no page of the deployment's own is needed"),
      Today(Make("today-204-first-dead", "AnHui", "the same, the first 204 address dead",
                 Play::kTodaysInternet, "", "", kUp, kNothing),
            std::string("Expect=204\r\nUrl=") + kDeadNoContentUrl + " " + kNoContentUrl + "\r\n",
            "the first address of the list has no address; the second answers 204"),
      Today(Make("today-ip-unresolved", "ShanXi", "IP-location host resolves to nothing",
                 Play::kIpLocationDown, "", "", kUp, kUp),
            std::string("IpLocationUrl=") + kUnresolvedIpLocationUrl + "\r\n",
            "no address for the IP-location host: the probe page takes over"),
      Today(Make("today-kept-alive", "GuangXi", "probe server keeps the connection open",
                 Play::kProbeKeptAlive, "", "", kUp, kUp),
            "",
            "the probe page declares its length: the current edition stops reading there"),
  };
}

// A GBK page as a provider's server sends it.
std::vector<std::string> PageHeaders(const std::string& body, bool keepAlive) {
  return {"Content-Type: text/html; charset=gb2312", "Content-Length: " + std::to_string(body.size()),
          keepAlive ? "Connection: Keep-Alive" : "Connection: close"};
}

std::string Page(const std::string& body, bool keepAlive) {
  return kit::Ok200(body, PageHeaders(body, keepAlive));
}

scenario::Reply Ok(const std::string& body) { return scenario::Respond(Page(body, false)); }

scenario::Reply NotFound() {
  const std::string body = "<html>404 Not Found</html>";
  return scenario::Respond(kit::NotFound404(PageHeaders(body, false), body));
}

void Route(scenario::Server* server, const std::string& url, const scenario::Reply& reply) {
  server->Route(kit::HostOf(url), kit::PathOf(url), reply);
}

scenario::Reply Redirect(const std::string& statusLine, const std::string& location) {
  return scenario::Respond(scenario::HttpResponse(
      statusLine, {"Location: " + location, "Content-Length: 0", "Connection: close"}, ""));
}

void RouteBuiltInPages(scenario::Server* server, const scenario::Reply& ipLocation,
                       const scenario::Reply& probe) {
  Route(server, quarvel::kIpLocationUrl, ipLocation);
  Route(server, quarvel::kProbeUrl, probe);
}

}  // namespace

const std::vector<Scenario>& Scenarios() {
  static const std::vector<Scenario> kScenarios = BuildScenarios();
  return kScenarios;
}

const Scenario* FindScenario(const std::string& name) {
  for (const Scenario& s : Scenarios()) {
    if (s.name == name) return &s;
  }
  return nullptr;
}

void Install(const Scenario& s, scenario::Server* server) {
  server->SetDefault(NotFound());
  switch (s.play) {
    case Play::kNetworkUp: RouteBuiltInPages(server, Ok(kIpLocationBody), Ok(kProbeBody)); break;
    case Play::kIpLocationDown: RouteBuiltInPages(server, NotFound(), Ok(kProbeBody)); break;
    case Play::kKeptAlive:
      RouteBuiltInPages(
          server,
          scenario::RespondKeepAlive(Page(kIpLocationBody, true),
                                     kKeepAliveHoldMs),
          scenario::RespondKeepAlive(Page(kProbeBody, true), kKeepAliveHoldMs));
      break;
    case Play::kPagesMissing: break;
    case Play::kTodaysInternet: {
      RouteBuiltInPages(server, NotFound(), Ok(kTodaysProbeBody));
      // The shipped probe page (tools/probe/index.html).
      Route(server, kOwnProbeUrl, Ok(kit::ReadFile(QUARVEL_PROBE_PAGE)));
      Route(server, kNoContentUrl,
            scenario::Respond("HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n"));
      break;
    }
    case Play::kProbeKeptAlive:
      RouteBuiltInPages(
          server, NotFound(),
          scenario::RespondKeepAlive(Page(kProbeBody, true), kKeepAliveHoldMs));
      break;
    case Play::kRedirect: server->SetDefault(Redirect(s.status, s.text)); break;
    case Play::kPortalPage: server->SetDefault(Ok(s.text)); break;
  }
}

std::string SampleRules() {
  const Pages p;
  return "[GuangXi]\r\n"
         "AccountHangDead=1\r\n"
         "ErrPasswordPage=1\r\n"
         "AccountExpirePage=1\r\n"
         "\r\n"
         "[ShanXi]\r\n"
         "AccountExpirePage=" +
         p.sxArrears +
         "\r\n"
         "PPPoEErrPwPage=" +
         p.sxPassword +
         "\r\n"
         "AccountHaltPage=" +
         p.sxHalted +
         "\r\n"
         "BindCheckErrPage=" +
         p.sxBindCheck +
         "\r\n"
         "LimitUserCountPage=" +
         p.sxUserLimit +
         "\r\n"
         "\r\n"
         "[AnHui]\r\n"
         "AccountExpirePage=" +
         p.ahArrears +
         "\r\n"
         "ErrPasswordPage=" +
         p.ahPassword + "\r\n";
}

std::string RulesFor(const Scenario& scenario) {
  std::string rules = SampleRules();
  if (!scenario.probeSection.empty()) rules += "\r\n" + scenario.probeSection;
  return rules;
}

}  // namespace sim
