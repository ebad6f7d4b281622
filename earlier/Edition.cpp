#include "component/TZHttp.h"
#include "support/Edition.h"
#include "support/Log.h"

namespace quarvel {

// The earlier edition keeps every log, sets no receive time-out (a stalled
// server holds a receive until it closes), numbers ReadHeader's peer-closed
// line 317, and has no unit Common.
const Edition kEdition = {false, 0, 317};

void StartUnits() {
  LogInitialize();
  QuarvelInitialize();
}

void StopUnits() {
  QuarvelFinalize();
  LogFinalize();
}

}  // namespace quarvel
