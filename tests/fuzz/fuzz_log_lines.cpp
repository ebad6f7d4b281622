// Feeds arbitrary bytes, in arbitrary chunks, to the log reader with both
// editions' tables. Checks: every line it hands out stays within its
// capacity and the bytes fed, line numbers never go back, a placed line has
// an edition, and the calls it closes name their kind and result.
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
    CHECK(line.waitReason == nullptr || (line.stamped && line.gapSeconds >= 1));
  }
  void OnCall(const loglines::Call& call) override {
    CHECK(call.kind != nullptr && call.status != nullptr);
    CHECK(std::strlen(call.target) < loglines::kTargetSize);
    CHECK(std::strlen(call.result) > 0 && call.firstLine <= call.lastLine);
  }
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
  return 0;
}
