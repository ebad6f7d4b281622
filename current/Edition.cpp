#include "current/Edition.h"

#include "support/Settings.h"

namespace quarvel {

const Edition kCurrentEdition = {
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

}  // namespace quarvel
