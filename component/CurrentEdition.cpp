#include "component/TZHttp.h"
#include "support/Common.h"
#include "support/Edition.h"
#include "support/Log.h"

namespace quarvel {

// The current edition purges old logs, bounds every receive by one second,
// and numbers ReadHeader's peer-closed line 285.
const Edition kEdition = {true, 1000, 285};

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
