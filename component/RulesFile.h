// The rules file "Data\Quarvel.ini" under the install path: its path, read
// once per call, the [Probe] settings and a province's rule set applied to a
// redirect target.
#ifndef QUARVEL_COMPONENT_RULESFILE_H
#define QUARVEL_COMPONENT_RULESFILE_H

#include <windows.h>

#include "classify/ProbeSettings.h"
#include "classify/Provinces.h"
#include "http/Deadline.h"
#include "support/Text.h"

namespace quarvel {

// The rules file, joined to the install path without a separator (ASCII:
// the same bytes in every ANSI code page).
constexpr const wchar_t* kRulesFileName = L"Data\\Quarvel.ini";
constexpr const char* kRulesFileNameAnsi = "Data\\Quarvel.ini";

// The rules file's path for one call: as the install path gives it (wide
// text), and in the ANSI code page for the private-profile reads.
struct RulesFile {
  WideText path;    // empty only when memory ran out
  AnsiText narrow;  // empty only when memory ran out
};

// Reads the install path once and builds both forms of the rules file's
// path from it: the ANSI text the setup key gave joined as it is, and that
// text widened.
void ReadRulesFilePath(RulesFile* rules);

// True when a file (not a directory) exists at path.
bool RulesFileExists(const wchar_t* path);

// The probe's settings of an object: the rules file's [Probe] section where
// the edition reads one, else the edition's built-in pages. Nothing is logged.
void LoadProbeSettings(const RulesFile& rules, ProbeSettings* settings);

// Names each refused [Probe] value in the log, one line each (one for each
// address of Url that is skipped).
void LogRefusedSettings(const ProbeSettings& settings);

// Closes a call whose time limit ran out with a line naming the key.
void LogIfTimeLimitRanOut(const Deadline& deadline);

// The rules file at rulesPath (ANSI), read with the private-profile call.
RulesSource PrivateProfileRules(const char* rulesPath);

// The province's decision on target (classify/Provinces.h) with its lines in
// the log; on a hit the page address goes into page (pageCount UTF-16 units,
// bounded and terminated). Returns the rule's DisconType, or Unclassified.
int ApplyProvinceRules(const Province& province, const RulesSource& rules, const char* target,
                       wchar_t* page, unsigned int pageCount);

}  // namespace quarvel

#endif
