#include "tools/kit/Kit.h"

#include <cstdio>
#include <cstring>
#include <vector>


namespace kit {

namespace {

const wchar_t kSetupKey[] = L"SOFTWARE\\Korvanta\\Setup";
const char kStampShape[] = "dddd-dd-dd dd:dd:dd -> ";
constexpr std::size_t kStampLen = sizeof kStampShape - 1;
constexpr std::size_t kReadChunk = 4096;

bool IsStampAt(const std::string& log, std::size_t at) {
  if (at + kStampLen > log.size()) return false;
  for (std::size_t i = 0; i < kStampLen; ++i) {
    const char c = log[at + i];
    if (kStampShape[i] == 'd' ? (c < '0' || c > '9') : c != kStampShape[i]) return false;
  }
  return true;
}

// Opens (creating) the key in the given view; null on failure.
HKEY OpenSetupKey(REGSAM view = KEY_WOW64_32KEY) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSetupKey, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    return nullptr;
  }
  return key;
}

}  // namespace

// ---- The library ----

Library::Library(const std::wstring& path)
    : module_(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)),
      loadError_(module_ == nullptr ? GetLastError() : 0) {
  if (module_ != nullptr) {
    // Through a generic function pointer: the export's real type is the
    // factory's, not FARPROC's.
    factory_ = reinterpret_cast<CreateComponentProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(module_, "CreateComponent")));
  }
}

Library::Library(const std::string& path) : Library(Widen(path)) {}

Library::~Library() {
  if (module_ != nullptr) FreeLibrary(module_);
}

IZHttp* Library::Create(int timeOutMs, HRESULT* status) const {
  if (factory_ == nullptr) return nullptr;
  void* out = nullptr;
  const HRESULT made = factory_(IID_IZHttp, &out);
  if (status != nullptr) *status = made;
  if (made != S_OK || out == nullptr) return nullptr;
  IZHttp* component = static_cast<IZHttp*>(out);
  component->SetTimeOut(timeOutMs);
  return component;
}

namespace {

std::string Copy(IZHttp* component, QUARVEL_BOOL (STDMETHODCALLTYPE IZHttp::*accessor)(char*),
                 std::size_t size) {
  std::vector<char> buffer(size + 1, '\0');
  (component->*accessor)(buffer.data());
  return buffer.data();
}

}  // namespace

std::string RequestText(IZHttp* component) {
  return Copy(component, &IZHttp::GetRequestHeader, QUARVEL_REQUEST_HEADER_SIZE);
}

std::string HeaderText(IZHttp* component) {
  return Copy(component, &IZHttp::GetResponseHeader, QUARVEL_RESPONSE_HEADER_SIZE);
}

std::string BodyText(IZHttp* component) {
  return Copy(component, &IZHttp::GetResponseBody, QUARVEL_RESPONSE_BODY_SIZE);
}

// ---- The setup key ----

void ResetSetupKey() {
  DeleteSetupKey(KEY_WOW64_32KEY);
  HKEY key = OpenSetupKey();
  if (key != nullptr) RegCloseKey(key);
}

void DeleteSetupKey(REGSAM view) { RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kSetupKey, view, 0); }

bool SetSetupRaw(const wchar_t* name, DWORD type, const void* data, DWORD size, REGSAM view) {
  HKEY key = OpenSetupKey(view);
  if (key == nullptr) return false;
  const bool set =
      RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
  RegCloseKey(key);
  return set;
}

bool SetSetupString(const wchar_t* name, const std::wstring& value, DWORD type, REGSAM view) {
  return SetSetupRaw(name, type, value.c_str(),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)), view);
}

void DeleteSetupValue(const wchar_t* name) {
  HKEY key = OpenSetupKey();
  if (key == nullptr) return;
  RegDeleteValueW(key, name);
  RegCloseKey(key);
}

std::wstring ReadSetupString(const wchar_t* name) {
  wchar_t value[1024] = {};
  DWORD size = sizeof value - sizeof value[0];
  if (RegGetValueW(HKEY_LOCAL_MACHINE, kSetupKey, name, RRF_RT_REG_SZ | RRF_SUBKEY_WOW6432KEY,
                   nullptr, value, &size) != ERROR_SUCCESS) {
    return std::wstring();
  }
  return value;
}

bool SetProvince(const std::string& code) { return SetSetupString(L"channel", Widen("x-" + code)); }

SavedSetupValue::SavedSetupValue(const wchar_t* name, const std::wstring& value) : name_(name) {
  HKEY key = OpenSetupKey();
  if (key == nullptr) return;
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, name_, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    old_.resize(size);
    if (RegQueryValueExW(key, name_, nullptr, &type, old_.data(), &size) == ERROR_SUCCESS) {
      hadOld_ = true;
      oldType_ = type;
      old_.resize(size);
    }
  }
  RegCloseKey(key);
  ok_ = Set(value);
}

SavedSetupValue::~SavedSetupValue() {
  if (hadOld_) {
    SetSetupRaw(name_, oldType_, old_.data(), static_cast<DWORD>(old_.size()));
  } else {
    DeleteSetupValue(name_);
  }
}

// ---- Files and install folders ----

void RemoveTree(const std::string& dir) {
  std::string prefix = dir;
  if (!prefix.empty() && prefix.back() != '\\') prefix += '\\';
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((prefix + "*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string full = prefix + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(full);
      } else {
        SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(full.c_str());
      }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(dir.c_str());
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  char chunk[kReadChunk];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.append(chunk, n);
  std::fclose(file);
  return bytes;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

std::string FreshFolder(const std::string& path) {
  std::string dir = path;
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  RemoveTree(dir);
  if (!CreateDirectoryA(dir.c_str(), nullptr)) return "";
  return dir + '\\';
}

bool WriteRules(const std::string& installDir, const std::string& iniText) {
  CreateDirectoryA((installDir + "Data").c_str(), nullptr);
  return WriteFile(installDir + "Data\\Quarvel.ini", iniText);
}

std::string LogPath(const std::string& installDir) { return installDir + "Log\\Quarvel_log.log"; }

// ---- The log ----

std::string ReadLog(const std::string& installDir) { return ReadFile(LogPath(installDir)); }

std::vector<std::string> LogMessages(const std::string& installDir) {
  std::vector<std::string> messages;
  const std::string log = ReadLog(installDir);
  std::size_t at = 0;
  while (at < log.size()) {
    std::size_t end = log.find("\r\n", at);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(at, end - at);
    messages.push_back(line.size() >= kStampLen ? line.substr(kStampLen) : line);
    at = end + 2;
  }
  return messages;
}

std::vector<std::string> LogShape(const std::string& installDir) {
  std::vector<std::string> shape;
  for (const std::string& message : LogMessages(installDir)) {
    const std::size_t arrow = message.rfind(" -> ");
    const bool numbered = arrow != std::string::npos && arrow + 4 < message.size() &&
                          message.find_first_not_of("-0123456789", arrow + 4) == std::string::npos;
    shape.push_back(numbered ? message.substr(arrow + 4) : "-");
  }
  return shape;
}

std::vector<std::string> LogRecords(const std::string& installDir) {
  const std::string log = ReadLog(installDir);
  std::vector<std::size_t> starts;
  for (std::size_t at = 0; at < log.size(); ++at) {
    if (IsStampAt(log, at)) starts.push_back(at);
  }
  std::vector<std::string> records;
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const std::size_t to = i + 1 < starts.size() ? starts[i + 1] : log.size();
    records.push_back(log.substr(starts[i] + kStampLen, to - starts[i] - kStampLen));
  }
  return records;
}

std::string RecordNumber(std::string record) {
  while (!record.empty() && (record.back() == '\n' || record.back() == '\r')) record.pop_back();
  const std::size_t arrow = record.rfind("-> ");
  if (arrow == std::string::npos) return "-";
  const std::size_t from = arrow + 3;
  const std::size_t end = record.find_first_not_of("-0123456789", from);
  if (end == from || (end != std::string::npos && record[end] != ',')) return "-";
  return record.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

std::string OnDisk(const std::string& text) {
  std::string disk;
  for (char c : text) disk += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return disk;
}

// ---- Small helpers ----

double NowMs() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::wstring Widen(const std::string& text) {
  const int units = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(units > 1 ? units - 1 : 0, L'\0');
  if (units > 1) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], units);
  return wide;
}

std::string HostOf(const std::string& url) {
  std::size_t begin = url.find("://");
  begin = begin == std::string::npos ? 0 : begin + 3;
  const std::size_t end = url.find_first_of(":/", begin);
  return url.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

std::string PathOf(const std::string& url) {
  std::size_t begin = url.find("://");
  begin = begin == std::string::npos ? 0 : begin + 3;
  const std::size_t slash = url.find('/', begin);
  return slash == std::string::npos ? "/" : url.substr(slash);
}

}  // namespace kit
