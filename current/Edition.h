// The current edition's record and tables: portable data, named to sit beside the other's.
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
