#include "component/TZHttp.h"
#include "support/Common.h"
#include "support/Edition.h"
#include "support/Log.h"
#include "support/Settings.h"

namespace quarvel {

// The current edition purges old logs, bounds every receive by one second,
// numbers ReadHeader's peer-closed line 285, fetches the IP-location page by
// default (or the rules file's choice), gathers a body from several receives
// and logs only Get's failures.
const Edition kEdition = {true, 1000, 285, kIpLocationUrl, true, false, true,
                          {0, 528, 538, 0, 545, 0, 552, 0, 0, 0, 0, 0}};

void StartUnits() {
  LogInitialize();
  CommonInitialize();
  QuarvelInitialize();
}

void StopUnits() {
  QuarvelFinalize();
  CommonFinalize();
  LogFinalize();
}

}  // namespace quarvel
