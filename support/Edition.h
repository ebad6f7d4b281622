// What sets the two editions of the library apart in the code they share.
// Each edition links exactly one definition of kEdition.
#ifndef QUARVEL_SUPPORT_EDITION_H
#define QUARVEL_SUPPORT_EDITION_H

#include "support/LogPoints.h"

namespace quarvel {

struct ProvinceTable;

struct Edition {
  bool purgeOldLogs;       // old log files are deleted at load
  int receiveTimeOutMs;    // SO_RCVTIMEO set on every connection; 0: none
  const char* defaultUrl;  // what Get fetches for empty text
  // The rules file's [Probe] section may name other probe and default pages
  // and one more network-up marker.
  bool readsProbeSection;
  // A header without CR LF ends Get (else the whole text is the status line).
  bool statusLineNeedsLineEnd;
  // The body of a "200 OK" is gathered from several receives (else one).
  bool gatherBody;
  // The redirection check fetches the probe page when its first fetch fails.
  bool fallsBackToProbe;
  // The IP-location page's marker proves the network up (else only the probe
  // page's, and a configured one).
  bool ipLocationMarkerCounts;
  // An empty "200 OK" body ends the redirection check with no target.
  bool emptyBodyIsNoTarget;
  // The dispatch looks for the rules file before it checks the network.
  bool rulesFileFirst;
  const LogPointTable* logPoints;  // the edition's log lines
  const ProvinceTable* provinces;  // the provinces it has rules for
};

extern const Edition kEdition;

// The edition's unit start-ups in load order, and their tear-downs in reverse.
void StartUnits();
void StopUnits();

}  // namespace quarvel

#endif
