#include "component/TZHttp.h"
#include "support/Edition.h"
#include "support/Log.h"
#include "support/Settings.h"

namespace quarvel {

// The earlier edition keeps every log, sets no receive time-out (a stalled
// server holds a receive until it closes), numbers ReadHeader's peer-closed
// line 317, fetches the probe page by default, stops at a header without CR
// LF, takes a body from one receive, logs every step of Get, and has no unit
// Common.
const Edition kEdition = {false, 0, 317, kProbeUrl, false, true, false,
                          {535, 0, 569, 575, 0, 581, 588, 593, 605, 614, 623, 631}};

void StartUnits() {
  LogInitialize();
  QuarvelInitialize();
}

void StopUnits() {
  QuarvelFinalize();
  LogFinalize();
}

}  // namespace quarvel
