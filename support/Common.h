// Unit Common: the WOW64 test. Its ReadSetupString is
// declared in support/SetupRegistry.h.
#ifndef QUARVEL_SUPPORT_COMMON_H
#define QUARVEL_SUPPORT_COMMON_H

namespace quarvel {

// True when the process runs under WOW64; false too on systems whose
// kernel32 lacks IsWow64Process.
bool IsWow64();

}  // namespace quarvel

extern "C" void CommonInitialize();  // exported as @@Common@Initialize
extern "C" void CommonFinalize();    // exported as @@Common@Finalize

#endif
