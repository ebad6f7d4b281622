// Feeds arbitrary bytes to the private-profile model, as an exact heap copy
// so that the sanitizer reports any read past them. Checks: line numbers
// count up from 1, a line's section is a header at or above it, and a read
// into a small buffer stays within its capacity, terminated, with what the
// key's line holds.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <string>

#include "tests/fuzz/FuzzCheck.h"
#include "tools/check/ProfileModel.h"

namespace {

constexpr std::size_t kBufferSize = 32;
constexpr std::size_t kNameSize = 32;

// Keeps ASCII, gives '?' for the rest: the fuzzer needs no real code page.
std::string ToAscii(const char16_t* units, std::size_t count, bool* lossy) {
  std::string out;
  *lossy = false;
  for (std::size_t i = 0; i < count; ++i) {
    out.push_back(units[i] < 0x80 ? char(units[i]) : '?');
    *lossy = *lossy || units[i] >= 0x80;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string section = input.ConsumeRandomLengthString(kNameSize);
  const std::string key = input.ConsumeRandomLengthString(kNameSize);
  const std::size_t capacity = input.ConsumeIntegralInRange<std::size_t>(0, kBufferSize);
  const std::string rest = input.ConsumeRemainingBytesAsString();
  auto bytes = ExactCopy(rest.data(), rest.size());
  profile::Profile model = profile::Parse(bytes.get(), rest.size(), ToAscii);

  for (std::size_t i = 0; i < model.lines.size(); ++i) {
    const profile::Line& line = model.lines[i];
    CHECK(line.number == static_cast<int>(i + 1));
    CHECK(line.section >= 0 && line.section <= line.number);
    CHECK(line.section == 0 || model.lines[line.section - 1].kind == profile::LineKind::kHeader);
    CHECK(line.kind == profile::LineKind::kKey || (line.value.empty() && !line.lossy));
    CHECK(model.encoding == profile::Encoding::kUtf16 || !line.lossy);
  }

  char buffer[kBufferSize + 1];
  std::memset(buffer, 'x', sizeof buffer);
  std::size_t copied = profile::Read(model, section.c_str(), key.c_str(), buffer, capacity);
  CHECK_ALL(buffer, capacity, sizeof buffer, 'x');
  if (capacity == 0) return 0;
  CHECK(copied < capacity && buffer[copied] == '\0');
  const profile::Line* found = profile::FindKey(model, section.c_str(), key.c_str());
  const std::string value = found == nullptr ? "" : found->value;
  CHECK(value.compare(0, copied, buffer, copied) == 0);
  CHECK(copied == std::min(value.size(), capacity - 1));
  return 0;
}
