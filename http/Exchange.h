// Conversion of wide text for the wire, with the platform's task allocator.
#ifndef QUARVEL_HTTP_EXCHANGE_H
#define QUARVEL_HTTP_EXCHANGE_H

#include <windows.h>

namespace quarvel {

// Converts text to a new block in the ANSI code page, freed by the caller
// with CoTaskMemFree. Null text gives a null block and status 0; a failed
// allocation or conversion gives a null block and a failure status.
HRESULT WideToNarrow(const wchar_t* text, char** narrow);

// Frees a block of WideToNarrow when the owner goes out of scope.
class NarrowText {
 public:
  explicit NarrowText(const wchar_t* text) { WideToNarrow(text, &text_); }
  ~NarrowText();
  NarrowText(const NarrowText&) = delete;
  NarrowText& operator=(const NarrowText&) = delete;
  const char* get() const { return text_; }

 private:
  char* text_ = nullptr;
};

}  // namespace quarvel

#endif
