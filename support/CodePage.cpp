#include "support/CodePage.h"

#include <windows.h>
#include <objbase.h>

#include <cstdlib>
#include <cwchar>

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

HRESULT WideToNarrow(const wchar_t* text, char** narrow) {
  *narrow = nullptr;
  if (text == nullptr) return S_OK;
  std::size_t units = std::wcslen(text) + 1;
  char* block = static_cast<char*>(CoTaskMemAlloc(2 * units));
  if (block == nullptr) return E_OUTOFMEMORY;
  if (gOs.wideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(units), block,
                          static_cast<int>(2 * units), nullptr, nullptr) == 0) {
    DWORD error = GetLastError();
    CoTaskMemFree(block);
    return static_cast<int>(error) > 0 ? HRESULT_FROM_WIN32(error) : static_cast<HRESULT>(error);
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
