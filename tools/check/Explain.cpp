#include "tools/check/Explain.h"

#include <cstring>

#include "classify/Markers.h"
#include "classify/ProbeSettings.h"
#include "component/ProvinceCode.h"
#include "current/Edition.h"
#include "earlier/Edition.h"
#include "http/HttpBytes.h"
#include "tools/check/RulesLint.h"
#include "tools/check/TextOut.h"
#include "tools/kit/Kit.h"

namespace explain {
namespace {

// The record of the edition loaded, the library's own: the editions tell
// apart by unit Common, which only the current one has.
const quarvel::Edition& EditionOf(HMODULE module) {
  return GetProcAddress(module, "@@Common@Initialize") != nullptr ? quarvel::kCurrentEdition
                                                                   : quarvel::kEarlierEdition;
}

// "GET path HTTP/1.1\r\nHost: host\r\n..." gives "http://host" + path.
std::string RequestedUrl(const std::string& request) {
  const std::string get = "GET ", version = " HTTP/1.1\r\nHost: ";
  std::size_t pathEnd = request.find(version);
  if (request.compare(0, get.size(), get) != 0 || pathEnd == std::string::npos) return "";
  std::size_t hostBegin = pathEnd + version.size();
  std::size_t hostEnd = request.find("\r\n", hostBegin);
  return "http://" + request.substr(hostBegin, hostEnd - hostBegin) +
         request.substr(get.size(), pathEnd - get.size());
}

std::string StatusOf(const std::string& header) {
  std::size_t lineLen = header.size();
  if (header.empty()) return "no answer";
  quarvel::FindStatusLine(header.data(), header.size(), &lineLen);
  switch (quarvel::ClassifyStatusLine(header.data(), lineLen)) {
    case quarvel::kStatusOk: return "200 OK";
    case quarvel::kStatusRedirect: return "redirect (" + header.substr(0, lineLen) + ")";
    default: return "other (" + header.substr(0, lineLen) + ")";
  }
}

std::string MarkerOf(const std::string& body, const quarvel::ProbeSettings& settings) {
  const char* which = nullptr;
  if (quarvel::FindNetworkUpMarker(body.c_str(), settings, &which)) {
    if (std::strcmp(which, quarvel::kIpLocationMarker) == 0) return "built-in IP-location marker";
    if (std::strcmp(which, quarvel::kProbePageMarker) == 0) return "built-in probe page marker";
    return "configured marker ([Probe] Marker)";
  }
  if (settings.marker != nullptr) {
    return "none: the page holds neither the built-in markers nor [Probe] Marker";
  }
  return settings.ipLocationMarker != nullptr
             ? "none: the page holds neither built-in marker (GBK), and the rules file sets "
               "no [Probe] Marker"
             : "none: the page holds no probe page marker (GBK), the only one this edition counts";
}

std::string RuleOf(const quarvel::Edition& edition, int discon) {
  if (discon == NetworkUpType) return "none needed: the network is up";
  std::wstring channel = kit::ReadSetupString(L"channel");
  std::size_t begin = 0, len = 0;
  const quarvel::Province* province =
      quarvel::CutProvinceCode(reinterpret_cast<const char16_t*>(channel.c_str()),
                               channel.size(), &begin, &len)
          ? quarvel::FindProvince(*edition.provinces, channel.substr(begin, len).c_str())
          : nullptr;
  if (province == nullptr) return "none: this edition has no rules for the province code";
  for (std::size_t i = 0; i < province->ruleCount; ++i) {
    const quarvel::ProvinceRule& rule = province->rules[i];
    if (rule.code == discon) return "[" + std::string(province->section) + "] " + rule.key;
  }
  return "no rule of [" + std::string(province->section) + "] decided";
}

}  // namespace

Facts AfterCheck(HMODULE module, IZHttp* component, int redirection, int discon) {
  Facts facts;
  const quarvel::Edition& edition = EditionOf(module);
  quarvel::ProbeSettings settings;
  lint::ProbeSettingsOf(edition, textout::Ansi(lint::InstallationRules()), &settings);
  facts.answeredUrl = RequestedUrl(kit::RequestText(component));
  facts.status = StatusOf(kit::HeaderText(component));
  if (facts.status == "200 OK") facts.marker = MarkerOf(kit::BodyText(component), settings);
  if (redirection == TargetFound) {
    facts.targetFrom = facts.status == "200 OK" ? "the provider page's embedded address"
                                                : "the Location header";
  }
  if (discon >= 0) facts.rule = RuleOf(edition, discon);
  return facts;
}

}  // namespace explain
