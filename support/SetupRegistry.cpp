#include "support/SetupRegistry.h"

#include <cstdlib>
#include <cstring>

#include "support/CodePage.h"
#include "support/OsCalls.h"

namespace quarvel {

namespace {

// Larger values are not settings of the installer; refusing them keeps the
// buffer size arithmetic below from overflowing.
constexpr DWORD kLargestValueBytes = 1u << 20;

}  // namespace

AnsiText ReadSetupValue(const wchar_t* subkey, REGSAM access, const wchar_t* valueName) {
  AnsiText result;
  HKEY key = nullptr;
  if (gOs.regOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, access, &key) != ERROR_SUCCESS) {
    return result;
  }
  DWORD stored = 0;
  gOs.regQueryValueExW(key, valueName, nullptr, nullptr, nullptr, &stored);
  if (stored > kLargestValueBytes) {
    RegCloseKey(key);
    return result;
  }
  // Twice the stored size plus a terminator, zero-filled: data stored without
  // a terminating NUL still read as terminated text.
  DWORD size = 2 * stored + 2;
  BYTE* data = static_cast<BYTE*>(std::calloc(size, 1));
  if (data == nullptr) {
    RegCloseKey(key);
    return result;
  }
  LONG read = gOs.regQueryValueExW(key, valueName, nullptr, nullptr, data, &size);
  RegCloseKey(key);
  if (read == ERROR_SUCCESS) WideToAnsi(reinterpret_cast<const wchar_t*>(data), &result);
  std::free(data);
  return result;
}

AnsiText ReadSetupStringA(const wchar_t* valueName) {
  return ReadSetupValue(kSetupKeyLog, kSetupAccess, valueName);
}

}  // namespace quarvel
