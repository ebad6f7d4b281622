// The earlier edition's units: the component's reader of the setup key (no
// WOW64 test, the key always opened with the setup access: for the 32-bit
// library plain read access, the same view as the current edition's) and the
// load order, without unit Common.
#include "component/TZHttp.h"
#include "earlier/Edition.h"
#include "support/Log.h"
#include "support/SetupRegistry.h"

namespace quarvel {

const Edition& kEdition = kEarlierEdition;

AnsiText ReadSetupAnsi(const wchar_t* valueName) {
  return ReadSetupValue(kSetupKeyLog, kSetupAccess, valueName);
}

void StartUnits() {
  StartLog(kEdition.purgeOldLogs);
  QuarvelInitialize();
}

void StopUnits() {
  QuarvelFinalize();
  LogFinalize();
}

}  // namespace quarvel
