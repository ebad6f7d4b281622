#include "support/CodePage.h"

#include <windows.h>

#include <cstdlib>

namespace quarvel {

bool AnsiToWide(const char* text, WideText* out) {
  out->Clear();
  if (text == nullptr) return false;
  int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (units <= 0) return false;
  wchar_t* block = static_cast<wchar_t*>(std::malloc(units * sizeof(wchar_t)));
  if (block == nullptr) return false;
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, block, units) != units) {
    std::free(block);
    return false;
  }
  out->Adopt(block);
  return true;
}

bool WideToAnsi(const wchar_t* text, AnsiText* out) {
  out->Clear();
  if (text == nullptr) return false;
  int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return false;
  char* block = static_cast<char*>(std::malloc(bytes));
  if (block == nullptr) return false;
  if (WideCharToMultiByte(CP_ACP, 0, text, -1, block, bytes, nullptr, nullptr) != bytes) {
    std::free(block);
    return false;
  }
  out->Adopt(block);
  return true;
}

}  // namespace quarvel
