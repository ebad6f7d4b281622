// What the Wine tests share: loading an edition of Quarvel.dll as a host
// does, the setup key in the registry, a fresh install folder, the log file
// and the rules file. Narrow literals here are GBK, as in the library.
#ifndef QUARVEL_TESTS_TESTBENCH_H
#define QUARVEL_TESTS_TESTBENCH_H

#include <winsock2.h>
#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

#include "include/Quarvel.h"
#include "tools/scenario/ScenarioServer.h"

namespace bench {

enum class EditionId { kCurrent, kEarlier };
const char* DllPath(EditionId edition);
const char* EditionName(EditionId edition);
// Names parameterised tests "current" and "earlier".
inline void PrintTo(EditionId edition, std::ostream* out) { *out << EditionName(edition); }

// One load of an edition; unloads on destruction.
class Library {
 public:
  explicit Library(EditionId edition);
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  HMODULE module() const { return module_; }
  CreateComponentProc factory() const { return factory_; }
  // A new component with the time-out set; null on failure.
  IZHttp* Create(int timeOutMs = 2000);

 private:
  HMODULE module_;
  CreateComponentProc factory_;
};

// The setup key (32-bit view). Values are written as REG_SZ with their NUL
// unless a type or raw bytes are given.
void ResetSetupKey();
void SetSetupString(const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ);
void SetSetupRaw(const wchar_t* name, DWORD type, const void* data, DWORD size);
void DeleteSetupValue(const wchar_t* name);
// The same key in the registry's 64-bit view, where the client's installer
// never writes (on a 32-bit prefix there is one view: the same key).
void SetSetupString64(const wchar_t* name, const std::wstring& value);
void DeleteSetupKey64();

// A fresh, empty folder C:\quarvel-tests\<name>\ (trailing backslash), made
// the install path in the registry unless told otherwise.
std::string FreshInstallDir(const std::string& name, bool setInstallPath = true);
void RemoveTree(const std::string& path);
bool FileExists(const std::string& path);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
// The log file of an install folder, raw bytes ("" when missing).
std::string ReadLog(const std::string& installDir);
// The messages of the log: each line's text after "yyyy-MM-dd hh:mm:ss -> ",
// split at CR LF (a line without "\n" runs into the next one).
std::vector<std::string> LogMessages(const std::string& installDir);
// The numbers of "%s -> %d\n" lines, in order, and the direct texts as "-".
std::vector<std::string> LogShape(const std::string& installDir);

// Writes Data\Quarvel.ini under the install folder.
void WriteRules(const std::string& installDir, const std::string& iniText);

// Sets "channel" to "x-<code>" so that new components take the province code.
void SetProvince(const std::string& code);

// The host part of an "http://host[:port]/..." URL.
std::string HostOf(const std::string& url);

// Milliseconds since an arbitrary start.
double NowMs();

}  // namespace bench

#endif
