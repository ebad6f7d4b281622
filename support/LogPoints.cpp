#include "support/LogPoints.h"

namespace quarvel {

const LogPointLine* FindLogPoint(const LogPointTable& table, LogPoint point) {
  for (std::size_t i = 0; i < table.count; ++i) {
    if (table.lines[i].point == point) return &table.lines[i];
  }
  return nullptr;
}

}  // namespace quarvel
