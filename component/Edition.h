// What sets the two editions of the library apart in the code they share,
// and the edition's log lines by point. Each edition's folder defines its
// record (kCurrentEdition, kEarlierEdition: portable data) and binds
// kEdition to it with its unit code.
#ifndef QUARVEL_COMPONENT_EDITION_H
#define QUARVEL_COMPONENT_EDITION_H

#include "classify/ProbeSettings.h"
#include "classify/Provinces.h"
#include "support/LogPoints.h"
#include "support/Text.h"

namespace quarvel {

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

// The probe settings edition goes by: its built-in pages, and over them the
// rules file's [Probe] section, read through rules (null: no file to read),
// where the edition reads one. Portable: the library and quarvel-check share
// it.
void EditionProbeSettings(const Edition& edition, const RulesSource* rules,
                          ProbeSettings* settings);

// The edition this library is: the edition's unit code binds it.
extern const Edition& kEdition;

// The edition's unit start-ups in load order, and their tear-downs in reverse.
void StartUnits();
void StopUnits();

// The component's reader of the setup key: the value in the ANSI code page,
// each edition's own, and the same value widened again (wide text).
AnsiText ReadSetupAnsi(const wchar_t* valueName);
WideText ReadSetupString(const wchar_t* valueName);

// The edition's line of point, where it has one: value fills the forms that
// carry one; LogNumber gives the number of a point that brings its own (a
// socket error, a check's result).
void Log(LogPoint point, const char* value = nullptr);
void LogNumber(LogPoint point, int n);

}  // namespace quarvel

#endif
