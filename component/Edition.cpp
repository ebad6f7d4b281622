#include "component/Edition.h"

#include "support/CodePage.h"
#include "support/Log.h"
#include "support/LogFormat.h"

namespace quarvel {

namespace {

// Writes the edition's line of point, if it has one, with value and the
// number n brings (else the line's own).
void WriteLine(LogPoint point, const char* value, const int* n) {
  const LogPointTable& table = *kEdition.logPoints;
  for (std::size_t i = 0; i < table.count; ++i) {
    const LogPointLine& line = table.lines[i];
    if (line.point != point) continue;
    const int number = n != nullptr ? *n : line.n;
    switch (line.form) {
      case LogForm::kNumbered:
        return LogFormatted([&](char* buffer, std::size_t bound) {
          FormatNumbered(buffer, bound, line.message, number);
        });
      case LogForm::kWithValue:
        return LogFormatted([&](char* buffer, std::size_t bound) {
          FormatWithValue(buffer, bound, line.message, value, number);
        });
      case LogForm::kCompact:
        return LogFormatted([&](char* buffer, std::size_t bound) {
          FormatCompact(buffer, bound, line.message, number);
        });
      case LogForm::kText: return LogText(line.message);
      case LogForm::kValue: return LogText(value != nullptr ? value : "");
    }
    return;  // a point has one line
  }
}

}  // namespace

WideText ReadSetupString(const wchar_t* valueName) {
  WideText wide;
  AnsiToWide(ReadSetupAnsi(valueName).c_str(), &wide);
  return wide;
}

void Log(LogPoint point, const char* value) { WriteLine(point, value, nullptr); }

void LogNumber(LogPoint point, int n) { WriteLine(point, nullptr, &n); }

}  // namespace quarvel
