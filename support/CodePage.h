// Conversions between UTF-16 and the system ANSI code page (936 on the
// machines the library is made for).
#ifndef QUARVEL_SUPPORT_CODEPAGE_H
#define QUARVEL_SUPPORT_CODEPAGE_H

#include <windows.h>

#include "support/Text.h"

namespace quarvel {

// Both give false (and empty text) when the conversion or allocation fails.
bool AnsiToWide(const char* text, WideText* out);
bool WideToAnsi(const wchar_t* text, AnsiText* out);

// Converts text to a new block in the ANSI code page, freed by the caller
// with CoTaskMemFree. Null text gives a null block and status 0; a failed
// allocation or conversion gives a null block and a failure status.
HRESULT WideToNarrow(const wchar_t* text, char** narrow);

// Frees a block of WideToNarrow when the owner goes out of scope.
class NarrowText {
 public:
  NarrowText() = default;
  explicit NarrowText(const wchar_t* text) { WideToNarrow(text, &text_); }
  ~NarrowText();
  // Replaces the text with text converted.
  void Assign(const wchar_t* text);
  NarrowText(const NarrowText&) = delete;
  NarrowText& operator=(const NarrowText&) = delete;
  const char* get() const { return text_; }

 private:
  char* text_ = nullptr;
};

}  // namespace quarvel

#endif
