#include "classify/RulesFile.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "classify/Markers.h"
#include "support/CodePage.h"
#include "support/SetupRegistry.h"

namespace quarvel {

bool RulesFilePath(WideText* path) {
  WideText installPath = ReadSetupString(kInstallPathValue);
  std::size_t head = installPath.length(), tail = std::wcslen(kRulesFileName);
  wchar_t* joined = static_cast<wchar_t*>(std::malloc((head + tail + 1) * sizeof(wchar_t)));
  if (joined == nullptr) {
    path->Clear();
    return false;
  }
  std::memcpy(joined, installPath.c_str(), head * sizeof(wchar_t));
  std::memcpy(joined + head, kRulesFileName, (tail + 1) * sizeof(wchar_t));
  path->Adopt(joined);
  return true;
}

bool RulesFileExists(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadRuleValue(const char* rulesPath, const char* section, const char* key, char* value) {
  std::memset(value, 0, kRuleValueSize);
  return GetPrivateProfileStringA(section, key, "", value, kRuleValueSize, rulesPath) != 0;
}

void WritePage(wchar_t* page, unsigned int pageCount, const char* pageText) {
  WideText wide;
  if (!AnsiToWide(pageText, &wide)) return;
  CopyPageText(reinterpret_cast<char16_t*>(page), pageCount,
               reinterpret_cast<const char16_t*>(wide.c_str()));
}

}  // namespace quarvel
