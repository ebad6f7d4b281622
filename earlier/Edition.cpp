#include "classify/Provinces.h"
#include "component/TZHttp.h"
#include "support/Edition.h"
#include "support/Log.h"
#include "support/Settings.h"

namespace quarvel {

// A stalled server holds a receive until it closes: there is no receive
// time-out. The edition has no unit Common.
const Edition kEdition = {
    false,                // purgeOldLogs
    0,                    // receiveTimeOutMs
    kProbeUrl,            // defaultUrl
    false,                // readsProbeSection
    true,                 // statusLineNeedsLineEnd
    false,                // gatherBody
    false,                // fallsBackToProbe
    false,                // ipLocationMarkerCounts
    false,                // emptyBodyIsNoTarget
    true,                 // rulesFileFirst
    &kEarlierLogPoints,   // every step, the page body and the check's result
    &kEarlierProvinces,
};

void StartUnits() {
  LogInitialize();
  QuarvelInitialize();
}

void StopUnits() {
  QuarvelFinalize();
  LogFinalize();
}

}  // namespace quarvel
