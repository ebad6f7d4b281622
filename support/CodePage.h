// Conversions between UTF-16 and the system ANSI code page (936 on the
// machines the library is made for).
#ifndef QUARVEL_SUPPORT_CODEPAGE_H
#define QUARVEL_SUPPORT_CODEPAGE_H

#include "support/Text.h"

namespace quarvel {

// Both give false (and empty text) when the conversion or allocation fails.
bool AnsiToWide(const char* text, WideText* out);
bool WideToAnsi(const wchar_t* text, AnsiText* out);

}  // namespace quarvel

#endif
