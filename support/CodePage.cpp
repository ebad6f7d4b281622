#include "support/CodePage.h"

#include <windows.h>
#include <objbase.h>

#include <cstdlib>

#include "support/OsCalls.h"

namespace quarvel {

bool AnsiToWide(const char* text, WideText* out) {
  out->Clear();
  if (text == nullptr) return false;
  int units = gOs.multiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (units <= 0) return false;
  wchar_t* block = static_cast<wchar_t*>(std::malloc(units * sizeof(wchar_t)));
  if (block == nullptr) return false;
  if (gOs.multiByteToWideChar(CP_ACP, 0, text, -1, block, units) != units) {
    std::free(block);
    return false;
  }
  out->Adopt(block);
  return true;
}

bool WideToAnsi(const wchar_t* text, AnsiText* out) {
  out->Clear();
  if (text == nullptr) return false;
  int bytes = gOs.wideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return false;
  char* block = static_cast<char*>(std::malloc(bytes));
  if (block == nullptr) return false;
  if (gOs.wideCharToMultiByte(CP_ACP, 0, text, -1, block, bytes, nullptr, nullptr) != bytes) {
    std::free(block);
    return false;
  }
  out->Adopt(block);
  return true;
}

namespace {

// The failure status of the conversion just made.
HRESULT LastConversionError() {
  DWORD error = GetLastError();
  if (error == 0) return E_FAIL;
  return static_cast<int>(error) > 0 ? HRESULT_FROM_WIN32(error) : static_cast<HRESULT>(error);
}

}  // namespace

HRESULT WideToNarrow(const wchar_t* text, char** narrow) {
  *narrow = nullptr;
  if (text == nullptr) return S_OK;
  // The system names the size: a character takes one byte or two in code
  // page 936, up to three where the process's ANSI code page is UTF-8.
  int size = gOs.wideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return LastConversionError();
  char* block = static_cast<char*>(CoTaskMemAlloc(size));
  if (block == nullptr) return E_OUTOFMEMORY;
  if (gOs.wideCharToMultiByte(CP_ACP, 0, text, -1, block, size, nullptr, nullptr) != size) {
    HRESULT status = LastConversionError();
    CoTaskMemFree(block);
    return status;
  }
  *narrow = block;
  return S_OK;
}

NarrowText::~NarrowText() { CoTaskMemFree(text_); }

void NarrowText::Assign(const wchar_t* text) {
  CoTaskMemFree(text_);
  WideToNarrow(text, &text_);
}

}  // namespace quarvel
