// What sets the two editions of the library apart in the code they share.
// Each edition links exactly one definition of kEdition.
#ifndef QUARVEL_SUPPORT_EDITION_H
#define QUARVEL_SUPPORT_EDITION_H

namespace quarvel {

struct Edition {
  bool purgeOldLogs;        // old log files are deleted at load
  int receiveTimeOutMs;     // SO_RCVTIMEO set on every connection; 0: none
  int peerClosedLogNumber;  // number of ReadHeader's "connection closed" line
};

extern const Edition kEdition;

// The edition's unit start-ups in load order, and their tear-downs in reverse.
void StartUnits();
void StopUnits();

}  // namespace quarvel

#endif
