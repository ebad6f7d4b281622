#include "classify/Provinces.h"
#include "component/TZHttp.h"
#include "support/Common.h"
#include "support/Edition.h"
#include "support/Log.h"
#include "support/Settings.h"

namespace quarvel {

const Edition kEdition = {
    true,                 // purgeOldLogs
    1000,                 // receiveTimeOutMs
    kIpLocationUrl,       // defaultUrl, unless the rules file names another
    true,                 // readsProbeSection
    false,                // statusLineNeedsLineEnd
    true,                 // gatherBody
    true,                 // fallsBackToProbe
    true,                 // ipLocationMarkerCounts
    true,                 // emptyBodyIsNoTarget
    false,                // rulesFileFirst
    &kCurrentLogPoints,   // Get logs only its failures
    &kCurrentProvinces,
};

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
