#include "support/Common.h"

#include <windows.h>

#include "support/CodePage.h"
#include "support/SetupRegistry.h"

namespace {

using IsWow64ProcessProc = BOOL(WINAPI*)(HANDLE, PBOOL);

}  // namespace

namespace quarvel {

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

WideText ReadSetupString(const wchar_t* valueName) {
  REGSAM access = IsWow64() ? kSetupAccess32 : kSetupAccess;
  AnsiText narrow = ReadSetupValue(kSetupKeyCommon, access, valueName);
  WideText wide;
  AnsiToWide(narrow.c_str(), &wide);
  return wide;
}

}  // namespace quarvel

// Unit Common holds nothing to start or stop: the routines are there for the
// load order and the hosts that call them by name.
extern "C" void CommonInitialize() {}

extern "C" void CommonFinalize() {}
