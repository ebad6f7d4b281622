// The provider simulator's scenarios: what the pages the library fetches
// look like in each network state, the sample rules file that goes with
// them, and the codes each edition of the library must give for each.
// Narrow texts are GBK (code page 936), as the pages carry them.
#ifndef QUARVEL_TOOLS_SIMULATOR_SCENARIOS_H
#define QUARVEL_TOOLS_SIMULATOR_SCENARIOS_H

#include <string>
#include <vector>

#include "tools/scenario/ScenarioServer.h"

namespace sim {

// Port the library's built-in pages are fetched from.
constexpr unsigned short kHttpPort = 80;

// What one edition must answer: the CheckRedirction result, the
// CheckNetDisconType result, and the page address it hands out ("" when the
// page buffer stays untouched).
struct Expected {
  int redirection;
  int discon;
  std::string page;
};

// How the simulated network answers.
enum class Play {
  kNetworkUp,       // IP-location page and probe page come through
  kIpLocationDown,  // IP-location page missing (404), probe page comes through
  kKeptAlive,       // both pages come through, connections held open after
  kPagesMissing,    // every request gets a 404
  kRedirect,        // every request gets a 302 to an account-problem page
  kPortalPage,      // every request gets a 200 OK portal page
  // Today's internet: no IP-location page, the public probe page in UTF-8
  // (its title without the blank), the shipped probe page served at
  // kOwnProbeUrl and a connectivity-check address at kNoContentUrl.
  kTodaysInternet,
  kProbeKeptAlive,  // IP-location page missing, probe page kept alive
};

// Where a deployment hosts the shipped probe page (tools/probe/).
constexpr const char* kOwnProbeUrl = "http://localhost/quarvel-probe.html";
// A connectivity-check address that answers "204 No Content", and one whose
// host resolves to nothing.
constexpr const char* kNoContentUrl = "http://localhost/generate_204";
constexpr const char* kDeadNoContentUrl = "http://connectivity.invalid/generate_204";
// An IP-location host that resolves to nothing.
constexpr const char* kUnresolvedIpLocationUrl = "http://ip-location.invalid/city.asp";

struct Scenario {
  std::string name;
  std::string province;  // "ShanXi", "AnHui", "GuangXi"
  std::string code;      // province code: the two characters after "x-"
  std::string summary;   // one line, ASCII
  Play play;
  std::string status;  // kRedirect: the status line
  std::string text;    // kRedirect: the Location value; kPortalPage: the body
  Expected current;
  Expected earlier;
  std::string probeSection;  // the rules file's [Probe] section, if any
  std::string note;          // why the editions answer so, ASCII ("" none)
};

// Every scenario, in the demo's order.
const std::vector<Scenario>& Scenarios();
// The scenario of that name, or null.
const Scenario* FindScenario(const std::string& name);

// Routes the scenario's replies on a server that is not started yet.
void Install(const Scenario& scenario, scenario::Server* server);

// Data\Quarvel.ini for the scenarios: GuangXi's switches on, ShanXi's and
// AnHui's page addresses as the simulated portals use them.
std::string SampleRules();
// The sample rules with the scenario's [Probe] section.
std::string RulesFor(const Scenario& scenario);

}  // namespace sim

#endif
