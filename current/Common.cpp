// The current edition's units: unit Common (the WOW64 test and the
// component's reader of the setup key) and the load order of all units.
#include <windows.h>

#include "component/TZHttp.h"
#include "current/Edition.h"
#include "support/Log.h"
#include "support/SetupRegistry.h"

namespace {

using IsWow64ProcessProc = BOOL(WINAPI*)(HANDLE, PBOOL);

// The setup key as unit Common spells it, and the 32-bit view it asks for
// explicitly under WOW64.
constexpr const wchar_t* kSetupKeyCommon = L"software\\Korvanta\\Setup";
constexpr REGSAM kSetupAccess32 = KEY_READ | KEY_WOW64_32KEY;

}  // namespace

namespace quarvel {

const Edition& kEdition = kCurrentEdition;

bool IsWow64() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return false;
  auto isWow64Process =
      reinterpret_cast<IsWow64ProcessProc>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")));
  if (isWow64Process == nullptr) return false;
  BOOL wow64 = FALSE;
  isWow64Process(GetCurrentProcess(), &wow64);
  return wow64 != FALSE;
}

AnsiText ReadSetupAnsi(const wchar_t* valueName) {
  REGSAM access = IsWow64() ? kSetupAccess32 : kSetupAccess;
  return ReadSetupValue(kSetupKeyCommon, access, valueName);
}

}  // namespace quarvel

// Unit Common holds nothing to start or stop: the routines are there for the
// load order and the hosts that call them by name.
extern "C" void CommonInitialize() {}

extern "C" void CommonFinalize() {}

namespace quarvel {

void StartUnits() {
  StartLog(kEdition.purgeOldLogs);
  CommonInitialize();
  QuarvelInitialize();
}

void StopUnits() {
  QuarvelFinalize();
  CommonFinalize();
  LogFinalize();
}

}  // namespace quarvel
