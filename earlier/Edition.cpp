#include "earlier/Edition.h"

#include "support/Settings.h"

namespace quarvel {

// A stalled server holds a receive until it closes: there is no receive
// time-out. The edition has no unit Common.
const Edition kEarlierEdition = {
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

}  // namespace quarvel
