// Feeds arbitrary bytes, in arbitrary chunks, to the log reader with both
// editions' tables. Checks: every line it hands out stays within its
// capacity and the bytes fed, line numbers never go back, a placed line has
// an edition, a wait is named only within a call, the calls it closes name
// their kind and result, and the summary's counts add up.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>

#include "current/Edition.h"
#include "earlier/Edition.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tools/check/LogLines.h"

namespace {

class CheckingSink : public loglines::Sink {
 public:
  long long lastNumber = 0;
  void OnLine(const loglines::Line& line) override {
    CHECK(line.length <= loglines::kLineCapacity && line.length <= line.fullLength);
    CHECK(line.number >= lastNumber);
    lastNumber = line.number;
    CHECK(std::strlen(line.name) < loglines::kNameSize);
    CHECK((line.name[0] == '\0') == (line.edition == loglines::Edition::kNone));
    CHECK(line.waitReason == nullptr ||
          (line.stamped && !line.callBegins && (line.gapSeconds >= 2 || line.gapSeconds < 0)));
    ++lines;
  }
  void OnCall(const loglines::Call& call) override {
    CHECK(call.kind != nullptr && call.status != nullptr);
    CHECK(std::strlen(call.target) < loglines::kTargetSize);
    CHECK(std::strlen(call.result) > 0 && call.firstLine <= call.lastLine);
    ++calls;
  }
  void OnSummary(const loglines::Summary& s) override {
    CHECK(s.calls == calls && s.unplaced + s.continuations <= lines);
    CHECK(s.callsByKind[0] + s.callsByKind[1] + s.callsByKind[2] == calls);
    long long results = s.otherResults;
    for (std::size_t r = 0; r < s.resultKinds; ++r) results += s.results[r].count;
    CHECK(s.resultKinds <= loglines::kResultKinds && results == calls);
    for (std::size_t w = 1; w < loglines::kLongestWaits; ++w) {
      CHECK(s.longest[w].seconds <= s.longest[w - 1].seconds);
    }
    summarized = true;
  }
  long long lines = 0, calls = 0;
  bool summarized = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const loglines::EditionTables current = {&quarvel::kCurrentLogPoints,
                                                  &quarvel::kCurrentProvinces};
  static const loglines::EditionTables earlier = {&quarvel::kEarlierLogPoints,
                                                  &quarvel::kEarlierProvinces};
  FuzzedDataProvider input(data, size);
  CheckingSink sink;
  loglines::Reader reader(&current, &earlier, &sink);
  while (input.remaining_bytes() > 0) {
    std::size_t chunk = input.ConsumeIntegralInRange<std::size_t>(1, 4096);
    std::string bytes = input.ConsumeBytesAsString(chunk);
    reader.Feed(bytes.data(), bytes.size());
  }
  reader.Finish();
  CHECK(sink.summarized);
  return 0;
}
