// Reading string values of the host client's setup key,
// HKEY_LOCAL_MACHINE\SOFTWARE\Korvanta\Setup ("InstallPath", "channel").
// Every read opens and closes the key; nothing is cached, nothing written.
#ifndef QUARVEL_SUPPORT_SETUPREGISTRY_H
#define QUARVEL_SUPPORT_SETUPREGISTRY_H

#include <windows.h>

#include "support/Text.h"

namespace quarvel {

// The setup key, as spelled by the narrow reader of unit Log (registry names
// ignore case: other spellings name the same key).
constexpr const wchar_t* kSetupKeyLog = L"SOFTWARE\\Korvanta\\Setup";
// The client is a 32-bit program: its installer writes the setup key in the
// registry's 32-bit view. Plain read access reaches that view from the
// 32-bit library; the 64-bit build must always ask for it.
#ifdef _WIN64
constexpr REGSAM kSetupAccess = KEY_READ | KEY_WOW64_32KEY;
#else
constexpr REGSAM kSetupAccess = KEY_READ;
#endif

// Value names read by the library.
constexpr const wchar_t* kInstallPathValue = L"InstallPath";
constexpr const wchar_t* kChannelValue = L"channel";

// Reads valueName under HKEY_LOCAL_MACHINE\subkey with the given access.
// Whatever the value's registry type, its data are taken as UTF-16 text up to
// the first zero unit and converted to the ANSI code page. A missing key or
// value, or a failed read, gives empty text.
AnsiText ReadSetupValue(const wchar_t* subkey, REGSAM access, const wchar_t* valueName);

// Unit Log's reader: narrow text, plain read access.
AnsiText ReadSetupStringA(const wchar_t* valueName);

}  // namespace quarvel

#endif
