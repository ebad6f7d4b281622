// Hostile and broken servers against both editions: a seeded generator of
// malformed responses, served on port 80, with every buffer the host hands
// over guarded by sentinel bytes and every current-edition call timed.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/Settings.h"
#include "tests/wine/TestBench.h"

namespace {

using bench::EditionId;

// Cases per edition, run in shards so that each test process stays short.
constexpr unsigned kCases = 1000;
constexpr unsigned kShards = 4;
constexpr int kTimeOutMs = 200;
constexpr int kReceiveTimeOutMs = 1000;
constexpr int kLongestPauseMs = 100;
constexpr char kSentinel = '\x5A';

struct Case {
  scenario::Reply reply;
  int pausesMs = 0;     // sum of the pauses the script makes
  bool stalls = false;  // the server may go quiet with the connection open
  int capacity = 0;
  unsigned pageCount = 0;
  const char* province = "0";
};

std::string Pick(std::mt19937& rng, std::initializer_list<const char*> options) {
  std::uniform_int_distribution<std::size_t> pick(0, options.size() - 1);
  return *(options.begin() + pick(rng));
}

int Between(std::mt19937& rng, int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(rng);
}

std::string Bytes(std::mt19937& rng, std::size_t n) {
  static const char* const kPieces[] = {
      "您的IP地址", "百度一下，你就知道 ", "url=http://", "URL=HTTP://x/", ">", "\"",
      "<meta http-equiv=\"Refresh\" content=\"0;url=", "nodeid=138485", "Location:", "\r\n",
      "\n", "https://portal.isp.example/kbs/product?nodeid=138428", "arrears", "\x81", "\0"};
  std::string out;
  while (out.size() < n) {
    if (Between(rng, 0, 3) == 0) {
      const char* piece = kPieces[Between(rng, 0, sizeof kPieces / sizeof kPieces[0] - 1)];
      out += piece[0] == '\0' ? std::string(1, '\0') : std::string(piece);
    } else {
      out += static_cast<char>(Between(rng, 0, 255));
    }
  }
  out.resize(n);
  return out;
}

std::string Header(std::mt19937& rng) {
  std::string status = Pick(rng, {"HTTP/1.1 200 OK", "HTTP/1.1 302 Found", "HTTP/1.1 302 Moved Temporarily",
                                  "HTTP/1.0 404 Not Found", "HTTP/1.1 301 Moved Permanently",
                                  "HTTP/1.1 302 Redirect", "200 OK", ""});
  std::string eol = Between(rng, 0, 9) == 0 ? "\n" : "\r\n";
  std::string header = status + eol;
  int lines = Between(rng, 0, 4);
  for (int i = 0; i < lines; ++i) {
    switch (Between(rng, 0, 3)) {
      case 0: header += "Location: http://portal/" + Bytes(rng, Between(rng, 0, 4000)) + eol; break;
      case 1: header += "Location:" + eol; break;
      case 2: header += "X-Junk: " + Bytes(rng, Between(rng, 0, 60)) + eol; break;
      default: header += "Connection: keep-alive" + eol; break;
    }
  }
  // Headers just under, at and over the 1023-byte read limit.
  if (Between(rng, 0, 4) == 0) {
    int target = Between(rng, 1015, 1030);
    while (static_cast<int>(header.size()) + 2 < target) header += 'p';
    header += eol;
  }
  if (Between(rng, 0, 7) != 0) header += eol;  // the empty line, usually
  if (Between(rng, 0, 9) == 0) header.resize(Between(rng, 0, static_cast<int>(header.size())));
  return header;
}

Case MakeCase(unsigned seed) {
  std::mt19937 rng(seed);
  Case c;
  std::string response = Header(rng);
  if (Between(rng, 0, 2) != 0) response += Bytes(rng, Between(rng, 0, 20000));
  // Sent in random pieces with short pauses.
  std::size_t at = 0;
  while (at < response.size()) {
    std::size_t n = std::min<std::size_t>(response.size() - at, Between(rng, 1, 4096));
    c.reply.steps.push_back(scenario::Step::Send(response.substr(at, n)));
    at += n;
    if (Between(rng, 0, 7) == 0) {
      int pause = Between(rng, 1, 10);
      c.reply.steps.push_back(scenario::Step::Pause(pause));
      c.pausesMs += pause;
    }
    if (c.pausesMs > kLongestPauseMs) break;
  }
  switch (Between(rng, 0, 5)) {
    case 0:
      c.reply.steps.push_back(scenario::Step::Reset());
      break;
    case 1:  // kept alive, or silent after what was sent, then closed
      c.reply.steps.push_back(scenario::Step::HoldOpen(kLongestPauseMs));
      c.pausesMs += kLongestPauseMs;
      c.stalls = true;
      break;
    default:
      c.reply.steps.push_back(scenario::Step::Close());
      break;
  }
  if (Between(rng, 0, 15) == 0) {  // silence after one byte
    c.reply.steps = {scenario::Step::Send("H"), scenario::Step::HoldOpen(kLongestPauseMs)};
    c.pausesMs = kLongestPauseMs;
    c.stalls = true;
  }
  const int capacities[] = {0, 1, 16, 528, 4096};
  const unsigned pageCounts[] = {0, 1, 8, 260};
  const char* provinces[] = {"27", "13", "21", "0"};
  c.capacity = capacities[Between(rng, 0, 4)];
  c.pageCount = pageCounts[Between(rng, 0, 3)];
  c.province = provinces[Between(rng, 0, 3)];
  return c;
}

// A buffer of n bytes (or units) prefilled with fill, guard bytes behind it.
template <typename T>
struct Guarded {
  Guarded(std::size_t n, T fill) : size(n), data(n + 32, static_cast<T>(kSentinel)) {
    std::fill(data.begin(), data.begin() + n, fill);
  }
  bool GuardIntact() const {
    return std::all_of(data.begin() + size, data.end(), [](T u) { return u == static_cast<T>(kSentinel); });
  }
  bool TerminatedWithin() const { return size == 0 || std::find(data.begin(), data.begin() + size, 0) != data.begin() + size; }
  std::size_t size;
  std::vector<T> data;
};

// Upper bound of one fetch of the current edition against a case: both
// waits, the script's pauses and the receive time-outs it can meet (header
// and end of body), plus scheduling slack.
double FetchBoundMs(const Case& c) {
  return 2.0 * kTimeOutMs + c.pausesMs + (c.stalls ? 2 * kReceiveTimeOutMs : kReceiveTimeOutMs) + 400;
}

// Each case makes one of the three calls a host makes, in turn, after a Get.
void RunCase(EditionId edition, unsigned seed, bench::Library& library, scenario::Server& server) {
  SCOPED_TRACE("seed " + std::to_string(seed));
  Case c = MakeCase(seed);
  server.SetDefault(c.reply);
  bench::SetProvince(c.province);
  IZHttp* component = library.Create(kTimeOutMs);
  ASSERT_NE(component, nullptr);
  double start = bench::NowMs();
  component->Get("http://127.0.0.1/case");
  // The checks fetch the case again and may try the probe URL.
  const double boundMs = FetchBoundMs(c) * (seed % 3 == 0 ? 1 : 2);
  if (seed % 3 == 0) {
    Guarded<char> header(QUARVEL_RESPONSE_HEADER_SIZE, 0), body(QUARVEL_RESPONSE_BODY_SIZE, 0),
        request(QUARVEL_REQUEST_HEADER_SIZE, 0);
    component->GetResponseHeader(header.data.data());
    component->GetResponseBody(body.data.data());
    component->GetRequestHeader(request.data.data());
    for (auto* g : {&header, &body, &request}) EXPECT_TRUE(g->GuardIntact());
  } else if (seed % 3 == 1) {
    start = bench::NowMs();
    Guarded<char> target(c.capacity, '#');
    int capacity = c.capacity;
    component->CheckRedirction(target.data.data(), &capacity);
    EXPECT_TRUE(target.GuardIntact());
    EXPECT_TRUE(target.TerminatedWithin());
  } else {
    start = bench::NowMs();
    Guarded<wchar_t> page(c.pageCount, L'#');
    component->CheckNetDisconType(page.data.data(), c.pageCount);
    EXPECT_TRUE(page.GuardIntact());
  }
  if (edition == EditionId::kCurrent) EXPECT_LE(bench::NowMs() - start, boundMs);
  component->Release();
}

struct Shard {
  EditionId edition;
  unsigned index;
};

void PrintTo(const Shard& shard, std::ostream* out) {
  *out << bench::EditionName(shard.edition) << shard.index;
}

class Adversarial : public ::testing::TestWithParam<Shard> {};

TEST_P(Adversarial, SurvivesMalformedResponses) {
  const Shard shard = GetParam();
  const std::string dir = bench::FreshTestInstall();
  bench::WriteRules(dir,
                    "[ShanXi]\r\nAccountExpirePage=arrears\r\nPPPoEErrPwPage=http\r\n"
                    "[AnHui]\r\nAccountExpirePage=portal\r\nErrPasswordPage=p\r\n"
                    "[GuangXi]\r\nAccountHangDead=1\r\nErrPasswordPage=1\r\nAccountExpirePage=1\r\n");
  scenario::Server server;
  ASSERT_TRUE(server.Start(80));
  bench::Library library(shard.edition);
  const unsigned perShard = kCases / kShards;
  for (unsigned seed = 1 + shard.index * perShard; seed <= (shard.index + 1) * perShard; ++seed) {
    RunCase(shard.edition, seed, library, server);
    if (HasFatalFailure()) return;
  }
  // The log file is one of the things the host must survive too.
  EXPECT_FALSE(bench::ReadLog(dir).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Editions, Adversarial,
    ::testing::Values(Shard{EditionId::kCurrent, 0}, Shard{EditionId::kCurrent, 1},
                      Shard{EditionId::kCurrent, 2}, Shard{EditionId::kCurrent, 3},
                      Shard{EditionId::kEarlier, 0}, Shard{EditionId::kEarlier, 1},
                      Shard{EditionId::kEarlier, 2}, Shard{EditionId::kEarlier, 3}),
    ::testing::PrintToStringParamName());

}  // namespace
