// The host kit: what the Wine tests, the bench, quarvel-check and the
// simulator share. Loading an edition of Quarvel.dll as a host does, the
// setup key in the registry, install folders, the log and the rules file,
// and small helpers. No test framework: a failure comes back as a result.
// quarvel-check ships to operators and links this alone: the replies the
// scenario server plays are in tools/kit/Replies.h.
#ifndef QUARVEL_TOOLS_KIT_KIT_H
#define QUARVEL_TOOLS_KIT_KIT_H

#include <winsock2.h>
#include <windows.h>

#include <string>
#include <vector>

#include "include/Quarvel.h"

namespace kit {

// ---- The library ----

// One load of a DLL (its own folder searched first for what it imports);
// unloads on destruction.
class Library {
 public:
  explicit Library(const std::wstring& path);
  explicit Library(const std::string& path);
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  HMODULE module() const { return module_; }
  CreateComponentProc factory() const { return factory_; }
  DWORD loadError() const { return loadError_; }
  // A new component with the wait time-out set; null on failure, with the
  // factory's status in *status when it ran.
  IZHttp* Create(int timeOutMs = 2000, HRESULT* status = nullptr) const;

 private:
  HMODULE module_;
  DWORD loadError_;
  CreateComponentProc factory_ = nullptr;
};

// The component's last request, response header and body: each accessor's
// text copied into a zeroed buffer one byte longer than its field, as the
// accessors write no terminator.
std::string RequestText(IZHttp* component);
std::string HeaderText(IZHttp* component);
std::string BodyText(IZHttp* component);

// ---- The setup key, HKLM\SOFTWARE\Korvanta\Setup ----

void ResetSetupKey();
bool SetSetupRaw(const wchar_t* name, DWORD type, const void* data, DWORD size,
                 REGSAM view = KEY_WOW64_32KEY);
// A value written with its NUL, as the client's installer writes it.
bool SetSetupString(const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ,
                    REGSAM view = KEY_WOW64_32KEY);
void DeleteSetupValue(const wchar_t* name);
void DeleteSetupKey(REGSAM view);
// A string value as the library reads it (32-bit view), "" when missing.
std::wstring ReadSetupString(const wchar_t* name);
// Sets "channel" to "x-<code>" so that new components take the province code.
bool SetProvince(const std::string& code);

// A setup value set while the object lives; the old value (or its absence)
// comes back after.
class SavedSetupValue {
 public:
  SavedSetupValue(const wchar_t* name, const std::wstring& value);
  ~SavedSetupValue();
  SavedSetupValue(const SavedSetupValue&) = delete;
  SavedSetupValue& operator=(const SavedSetupValue&) = delete;
  bool ok() const { return ok_; }
  bool Set(const std::wstring& value) { return SetSetupString(name_, value); }

 private:
  const wchar_t* name_;
  bool ok_ = false;
  bool hadOld_ = false;
  DWORD oldType_ = REG_SZ;
  std::vector<BYTE> old_;
};

// ---- Files and install folders ----

void RemoveTree(const std::string& dir);
bool FileExists(const std::string& path);
std::string ReadFile(const std::string& path);  // "" when missing
bool WriteFile(const std::string& path, const std::string& bytes);
// A fresh, empty folder (removed first when there), with a trailing
// backslash; "" when it cannot be made.
std::string FreshFolder(const std::string& path);
// Writes Data\Quarvel.ini under the install folder.
bool WriteRules(const std::string& installDir, const std::string& iniText);
std::string LogPath(const std::string& installDir);

// ---- The log ----

// The log file of an install folder, raw bytes ("" when missing).
std::string ReadLog(const std::string& installDir);
// The messages of the log: each line's text after "yyyy-MM-dd hh:mm:ss -> ",
// split at CR LF (a text written without "\n" runs into the next line).
std::vector<std::string> LogMessages(const std::string& installDir);
// The numbers of "%s -> %d\n" lines, in order, and the direct texts as "-".
std::vector<std::string> LogShape(const std::string& installDir);
// The log's records, each the text of one write with its line ends as in
// the file, split at time stamps (not at line ends).
std::vector<std::string> LogRecords(const std::string& installDir);
// The number of a numbered record ("... -> N" or "...-> N", optionally
// followed by ",values"), or "-" for a text written as it is.
std::string RecordNumber(std::string record);
// A text as the log file holds it: each "\n" written as CR LF.
std::string OnDisk(const std::string& text);

// ---- Small helpers ----

double NowMs();  // milliseconds since an arbitrary start
// Text in the system ANSI code page, widened.
std::wstring Widen(const std::string& text);
// The host and the path ("/" when none) of an "http://host[:port]/..." URL.
std::string HostOf(const std::string& url);
std::string PathOf(const std::string& url);

}  // namespace kit

#endif
