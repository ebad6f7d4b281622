#include "component/Edition.h"

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
      case LogForm::kNumbered: FormatNumbered(_sError, kLogLineBound, line.message, number); break;
      case LogForm::kWithValue:
        FormatWithValue(_sError, kLogLineBound, line.message, value, number);
        break;
      case LogForm::kCompact: FormatCompact(_sError, kLogLineBound, line.message, number); break;
      case LogForm::kText: return LogText(line.message);
      case LogForm::kValue: return LogText(value != nullptr ? value : "");
    }
    return LogText(_sError);
  }
}

}  // namespace

void Log(LogPoint point, const char* value) { WriteLine(point, value, nullptr); }

void LogNumber(LogPoint point, int n) { WriteLine(point, nullptr, &n); }

}  // namespace quarvel
