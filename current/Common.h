// Unit Common of the current edition: the WOW64 test. Its ReadSetupString
// is declared in component/Edition.h.
#ifndef QUARVEL_CURRENT_COMMON_H
#define QUARVEL_CURRENT_COMMON_H

namespace quarvel {

// True when the process runs under WOW64; false too on systems whose
// kernel32 lacks IsWow64Process.
bool IsWow64();

}  // namespace quarvel

extern "C" void CommonInitialize();  // exported as @@Common@Initialize
extern "C" void CommonFinalize();    // exported as @@Common@Finalize

#endif
