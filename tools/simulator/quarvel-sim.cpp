// quarvel-sim: plays an access provider's network on 127.0.0.1 for the
// library's built-in pages, one scenario at a time.
//   quarvel-sim --list              the scenarios and each edition's codes
//   quarvel-sim --rules [SCENARIO]  the rules file that goes with them
//   quarvel-sim [--port N] [--for SECONDS] SCENARIO
// Serves until stdin closes (or SECONDS pass, or it is killed).
#include <winsock2.h>
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "tools/scenario/ScenarioServer.h"
#include "tools/simulator/Scenarios.h"

namespace {

constexpr int kExitServed = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kMaxSeconds = 24 * 60 * 60;

const char kUsage[] =
    "usage: quarvel-sim --list | --rules [SCENARIO] | [--port N] [--for SECONDS] SCENARIO\n";

struct Options {
  bool list = false;
  bool rules = false;
  unsigned short port = sim::kHttpPort;
  int seconds = 0;  // 0: until stdin closes
  std::string scenario;
};

// A whole decimal number in [low, high].
bool ParseNumber(const char* text, long low, long high, long* out) {
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < low || value > high) return false;
  *out = value;
  return true;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    long value = 0;
    if (arg == "--list") {
      options->list = true;
    } else if (arg == "--rules") {
      options->rules = true;
    } else if (arg == "--port" && i + 1 < argc && ParseNumber(argv[i + 1], 1, 65535, &value)) {
      options->port = static_cast<unsigned short>(value);
      ++i;
    } else if (arg == "--for" && i + 1 < argc && ParseNumber(argv[i + 1], 1, kMaxSeconds, &value)) {
      options->seconds = static_cast<int>(value);
      ++i;
    } else if (!arg.empty() && arg[0] != '-' && options->scenario.empty()) {
      options->scenario = arg;
    } else {
      return false;
    }
  }
  return options->list || options->rules || !options->scenario.empty();
}

// "-" for an untouched page, so that every column of the list has a word.
const char* PageOrDash(const std::string& page) { return page.empty() ? "-" : page.c_str(); }

// One tab-separated line per scenario: name, province, code, then for the
// current and the earlier edition the expected CheckRedirction result,
// CheckNetDisconType result and page, then the summary and the note ("-"
// when there is none).
void PrintList() {
  for (const sim::Scenario& s : sim::Scenarios()) {
    std::printf("%s\t%s\t%s\t%d\t%d\t%s\t%d\t%d\t%s\t%s\t%s\n", s.name.c_str(),
                s.province.c_str(), s.code.c_str(), s.current.redirection, s.current.discon,
                PageOrDash(s.current.page), s.earlier.redirection, s.earlier.discon,
                PageOrDash(s.earlier.page), s.summary.c_str(), PageOrDash(s.note));
  }
}

// The sample rules file, with the [Probe] section of the scenario named.
bool PrintRules(const std::string& scenarioName) {
  std::string rules = sim::SampleRules();
  if (!scenarioName.empty()) {
    const sim::Scenario* chosen = sim::FindScenario(scenarioName);
    if (chosen == nullptr) return false;
    rules = sim::RulesFor(*chosen);
  }
  std::fwrite(rules.data(), 1, rules.size(), stdout);
  return true;
}

// Blocks until the standard input reaches its end or fails.
void WaitForStdinEnd() {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return;
  char chunk[256];
  DWORD got = 0;
  while (ReadFile(input, chunk, sizeof chunk, &got, nullptr) && got > 0) {
  }
}

void PrintExchanges(const scenario::Server& server) {
  for (const scenario::Exchange& ex : server.Exchanges()) {
    std::fprintf(stderr, "quarvel-sim: #%d Host: %s, path %s, %u bytes sent\n", ex.connection,
                 ex.host.c_str(), ex.path.c_str(), static_cast<unsigned>(ex.bytesSent));
  }
}

int Serve(const Options& options) {
  const sim::Scenario* chosen = sim::FindScenario(options.scenario);
  if (chosen == nullptr) {
    std::fprintf(stderr, "quarvel-sim: no scenario \"%s\" (see --list)\n",
                 options.scenario.c_str());
    return kExitUsage;
  }
  scenario::Server server;
  sim::Install(*chosen, &server);
  if (!server.Start(options.port)) {
    std::fprintf(stderr, "quarvel-sim: cannot listen on 127.0.0.1:%u\n", options.port);
    return kExitFailed;
  }
  std::printf("serving %s on 127.0.0.1:%u\n", chosen->name.c_str(), server.Port());
  std::fflush(stdout);
  if (options.seconds > 0) {
    Sleep(static_cast<DWORD>(options.seconds) * 1000);
  } else {
    WaitForStdinEnd();
  }
  server.Stop();
  PrintExchanges(server);
  return kExitServed;
}

int Run(int argc, char** argv) {
  // Lines end in LF for the scripts that read them; the rules file carries
  // its own CR LF.
  _setmode(_fileno(stdout), _O_BINARY);
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  if (options.list) PrintList();
  if (options.rules && !PrintRules(options.scenario)) {
    std::fprintf(stderr, "quarvel-sim: no scenario \"%s\" (see --list)\n", options.scenario.c_str());
    return kExitUsage;
  }
  if (options.list || options.rules) return kExitServed;
  return Serve(options);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quarvel-sim: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "quarvel-sim: unexpected failure\n");
  }
  return kExitFailed;
}
