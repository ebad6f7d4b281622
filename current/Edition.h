// The current edition's record and tables: portable data, with names of
// their own so that a program may hold both editions' side by side.
#ifndef QUARVEL_CURRENT_EDITION_H
#define QUARVEL_CURRENT_EDITION_H

#include "component/Edition.h"

namespace quarvel {

extern const Edition kCurrentEdition;
extern const LogPointTable kCurrentLogPoints;
extern const ProvinceTable kCurrentProvinces;

// Unit Common: true when the process runs under WOW64; false too on systems
// whose kernel32 lacks IsWow64Process. Its reader is ReadSetupString.
bool IsWow64();

}  // namespace quarvel

extern "C" void CommonInitialize();  // exported as @@Common@Initialize
extern "C" void CommonFinalize();    // exported as @@Common@Finalize

#endif
