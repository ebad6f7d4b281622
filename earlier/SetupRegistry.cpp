// The earlier edition's component reader of the setup key: no WOW64 test, the
// key always opened with the setup access (for the 32-bit library plain read
// access, the same view as the current edition's).
#include "support/SetupRegistry.h"

#include "support/CodePage.h"

namespace quarvel {

WideText ReadSetupString(const wchar_t* valueName) {
  AnsiText narrow = ReadSetupValue(kSetupKeyLog, kSetupAccess, valueName);
  WideText wide;
  AnsiToWide(narrow.c_str(), &wide);
  return wide;
}

}  // namespace quarvel
