#include "component/Edition.h"

#include "support/Log.h"

namespace quarvel {

namespace {

void WriteLine(const LogPointLine& line, const char* value, int n) {
  switch (line.form) {
    case LogForm::kNumbered: LogNumbered(line.message, n); break;
    case LogForm::kWithValue: LogWithValue(line.message, value, n); break;
    case LogForm::kCompact: LogCompact(line.message, n); break;
    case LogForm::kText: LogText(line.message); break;
    case LogForm::kValue: LogText(value != nullptr ? value : ""); break;
  }
}

}  // namespace

void Log(LogPoint point, const char* value) {
  if (const LogPointLine* line = FindLogPoint(*kEdition.logPoints, point)) {
    WriteLine(*line, value, line->n);
  }
}

void LogNumber(LogPoint point, int n) {
  if (const LogPointLine* line = FindLogPoint(*kEdition.logPoints, point)) {
    WriteLine(*line, nullptr, n);
  }
}

}  // namespace quarvel
