#include "tests/wine/TestBench.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace bench {

namespace {

// A fault inside the library must fail the test. Wine's own handler would
// print a note and let the process end with status 0, so the test program
// ends itself with the exception's code instead.
LONG WINAPI EndOnUnhandledException(EXCEPTION_POINTERS* info) {
  DWORD code = info->ExceptionRecord->ExceptionCode;
  std::fprintf(stderr, "unhandled exception 0x%08lx at %p\n", static_cast<unsigned long>(code),
               info->ExceptionRecord->ExceptionAddress);
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), code);
  return EXCEPTION_EXECUTE_HANDLER;
}

const LPTOP_LEVEL_EXCEPTION_FILTER kPreviousFilter =
    SetUnhandledExceptionFilter(EndOnUnhandledException);

const wchar_t* kSetupKey = L"SOFTWARE\\Korvanta\\Setup";
const char* kTestRoot = "C:\\quarvel-tests\\";

HKEY OpenSetupKey(REGSAM view = KEY_WOW64_32KEY) {
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSetupKey, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                  &key, nullptr);
  return key;
}

std::wstring Widen(const std::string& text) {
  int units = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(units > 0 ? units - 1 : 0, L'\0');
  if (units > 1) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], units);
  return wide;
}

}  // namespace

const char* DllPath(EditionId edition) {
  return edition == EditionId::kCurrent ? QUARVEL_CURRENT_DLL : QUARVEL_EARLIER_DLL;
}

const char* EditionName(EditionId edition) {
  return edition == EditionId::kCurrent ? "current" : "earlier";
}

Library::Library(EditionId edition) : module_(LoadLibraryA(DllPath(edition))), factory_(nullptr) {
  if (module_ != nullptr) {
    factory_ = reinterpret_cast<CreateComponentProc>(GetProcAddress(module_, "CreateComponent"));
  }
}

Library::~Library() {
  if (module_ != nullptr) FreeLibrary(module_);
}

IZHttp* Library::Create(int timeOutMs) {
  if (factory_ == nullptr) return nullptr;
  void* out = nullptr;
  if (factory_(IID_IZHttp, &out) != S_OK) return nullptr;
  IZHttp* component = static_cast<IZHttp*>(out);
  component->SetTimeOut(timeOutMs);
  return component;
}

void ResetSetupKey() {
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kSetupKey, KEY_WOW64_32KEY, 0);
  HKEY key = OpenSetupKey();
  if (key != nullptr) RegCloseKey(key);
}

void SetSetupRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY key = OpenSetupKey();
  ASSERT_NE(key, nullptr);
  RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
}

void SetSetupString(const wchar_t* name, const std::wstring& value, DWORD type) {
  SetSetupRaw(name, type, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void SetSetupString64(const wchar_t* name, const std::wstring& value) {
  HKEY key = OpenSetupKey(KEY_WOW64_64KEY);
  ASSERT_NE(key, nullptr);
  RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

void DeleteSetupKey64() { RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kSetupKey, KEY_WOW64_64KEY, 0); }

void DeleteSetupValue(const wchar_t* name) {
  HKEY key = OpenSetupKey();
  if (key == nullptr) return;
  RegDeleteValueW(key, name);
  RegCloseKey(key);
}

void RemoveTree(const std::string& path) {
  std::string pattern = path;
  if (!pattern.empty() && pattern.back() != '\\') pattern += '\\';
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((pattern + "*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      std::string full = pattern + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(full);
      } else {
        SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(full.c_str());
      }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}

std::string FreshInstallDir(const std::string& name, bool setInstallPath) {
  CreateDirectoryA("C:\\quarvel-tests", nullptr);
  std::string folder = name;  // test names of parameterised tests hold "/"
  for (char& c : folder) {
    if (c == '/' || c == '\\' || c == ':') c = '_';
  }
  std::string dir = std::string(kTestRoot) + folder;
  RemoveTree(dir);
  CreateDirectoryA(dir.c_str(), nullptr);
  dir += '\\';
  if (setInstallPath) SetSetupString(L"InstallPath", Widen(dir));
  return dir;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  char chunk[4096];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
  std::fclose(file);
  return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

std::string ReadLog(const std::string& installDir) {
  return ReadFile(installDir + "Log\\Quarvel_log.log");
}

std::vector<std::string> LogMessages(const std::string& installDir) {
  std::vector<std::string> messages;
  std::string log = ReadLog(installDir);
  const std::size_t stampLen = std::strlen("2012-09-12 08:05:09 -> ");
  std::size_t at = 0;
  while (at < log.size()) {
    std::size_t end = log.find("\r\n", at);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(at, end - at);
    messages.push_back(line.size() >= stampLen ? line.substr(stampLen) : line);
    at = end + 2;
  }
  return messages;
}

std::vector<std::string> LogShape(const std::string& installDir) {
  std::vector<std::string> shape;
  for (const std::string& message : LogMessages(installDir)) {
    std::size_t arrow = message.rfind(" -> ");
    bool numbered = arrow != std::string::npos &&
                    message.find_first_not_of("-0123456789", arrow + 4) == std::string::npos &&
                    arrow + 4 < message.size();
    shape.push_back(numbered ? message.substr(arrow + 4) : "-");
  }
  return shape;
}

void WriteRules(const std::string& installDir, const std::string& iniText) {
  CreateDirectoryA((installDir + "Data").c_str(), nullptr);
  WriteFile(installDir + "Data\\Quarvel.ini", iniText);
}

void SetProvince(const std::string& code) { SetSetupString(L"channel", Widen("x-" + code)); }

std::string HostOf(const std::string& url) {
  std::size_t begin = url.find("://");
  begin = begin == std::string::npos ? 0 : begin + 3;
  std::size_t end = url.find_first_of(":/", begin);
  return url.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

double NowMs() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace bench
