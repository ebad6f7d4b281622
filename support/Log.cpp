#include "support/Log.h"

#include <windows.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "support/CodePage.h"
#include "support/LogFormat.h"
#include "support/OsCalls.h"
#include "support/SetupRegistry.h"

static_assert(sizeof(quarvel::LocalTime) == sizeof(SYSTEMTIME) &&
                  offsetof(quarvel::LocalTime, dayOfWeek) == offsetof(SYSTEMTIME, wDayOfWeek) &&
                  offsetof(quarvel::LocalTime, day) == offsetof(SYSTEMTIME, wDay) &&
                  offsetof(quarvel::LocalTime, second) == offsetof(SYSTEMTIME, wSecond),
              "LocalTime has the layout of SYSTEMTIME");

TLogFile _LOG = {nullptr, {0}};
char _sError[quarvel::kMessageBufferSize] = {0};

namespace {

LONG gLogUseCount = 0;

constexpr const char* kLogName = "Log\\Quarvel_log";
constexpr const char* kLogExtension = ".log";
// Files of the log directory whose name holds this are the library's logs.
constexpr const char* kPurgeNamePart = "Quarvel_log";

// Joins parts into out (size bytes); false, with out empty, when they do not
// fit.
bool JoinPath(char* out, std::size_t size, const char* a, const char* b, const char* c) {
  std::size_t la = std::strlen(a), lb = std::strlen(b), lc = std::strlen(c);
  if (la + lb + lc + 1 > size) {
    out[0] = '\0';
    return false;
  }
  std::memcpy(out, a, la);
  std::memcpy(out + la, b, lb);
  std::memcpy(out + la + lb, c, lc);
  out[la + lb + lc] = '\0';
  return true;
}

// A file time as one count of 100-nanosecond ticks.
long long Ticks(const FILETIME& time) {
  return static_cast<long long>(static_cast<unsigned long long>(time.dwHighDateTime) << 32 |
                                time.dwLowDateTime);
}

bool DirectoryExists(const char* path) {
  DWORD attributes = quarvel::gOs.getFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The construction of _LOG: fixes the log path and tidies the log directory.
void ConstructLog(bool purgeOldLogs) {
  quarvel::AnsiText installPath = quarvel::ReadSetupStringA(quarvel::kInstallPathValue);
  // An overlong path is refused: szFileName stays empty and every write is
  // dropped, as when the file cannot be opened.
  if (!JoinPath(_LOG.szFileName, sizeof _LOG.szFileName, installPath.c_str(), kLogName,
                kLogExtension)) {
    return;
  }
  char directory[quarvel::kLogFileNameSize];
  std::memcpy(directory, _LOG.szFileName, sizeof directory);
  char* lastSeparator = std::strrchr(directory, '\\');
  if (lastSeparator == nullptr) return;
  *lastSeparator = '\0';
  if (DirectoryExists(directory)) {
    if (purgeOldLogs) quarvel::DeleteOldLogs(kPurgeNamePart);
  } else {
    quarvel::gOs.createDirectoryA(directory, nullptr);
  }
}

}  // namespace

void TLogFile::WriteLog(const char* text) {
  if (text == nullptr) return;
  quarvel::LibraryLockHold hold;
  pFile = quarvel::gOs.fopen(szFileName, "a+");
  if (pFile == nullptr) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  quarvel::LocalTime local;
  std::memcpy(&local, &now, sizeof local);
  char stamp[quarvel::kTimeStampSize];
  quarvel::FormatTimeStamp(stamp, local);

  static const char kSeparator[] = " -> ";
  std::size_t stampLen = std::strlen(stamp), textLen = std::strlen(text);
  std::size_t lineLen = stampLen + (sizeof kSeparator - 1) + textLen;
  char* line = static_cast<char*>(std::malloc(lineLen + 1));
  if (line != nullptr) {
    std::memcpy(line, stamp, stampLen);
    std::memcpy(line + stampLen, kSeparator, sizeof kSeparator - 1);
    std::memcpy(line + stampLen + sizeof kSeparator - 1, text, textLen);
    line[lineLen] = '\0';
    std::fwrite(line, 1, lineLen, pFile);
    std::free(line);
  }
  std::fclose(pFile);
  pFile = nullptr;  // exported data: never left pointing at a closed stream
}

extern "C" void LogInitialize() { quarvel::StartLog(false); }

void quarvel::StartLog(bool purgeOldLogs) {
  if (InterlockedDecrement(&gLogUseCount) == -1) ConstructLog(purgeOldLogs);
}

extern "C" void LogFinalize() { InterlockedIncrement(&gLogUseCount); }

namespace quarvel {

void LogText(const char* text) { _LOG.WriteLog(text); }

bool DeleteOldLogs(const char* namePart) {
  AnsiText installPath = ReadSetupStringA(kInstallPathValue);
  if (installPath.empty()) return false;
  char directory[kPurgePathSize];
  char pattern[kPurgePathSize];
  // The file system hands over only names that hold the (ASCII) name part,
  // without regard to case; the case-sensitive test below still decides. The
  // part's first byte is left out of the search: in the narrow name it may be
  // the second byte of a double-byte character, which the wide name the search
  // sees does not show. Every later byte follows an ASCII byte, so it stands
  // for itself in both.
  char searched[kPurgePathSize];
  if (!JoinPath(directory, sizeof directory, installPath.c_str(), "Log", "") ||
      !JoinPath(searched, sizeof searched, "*", namePart + (namePart[0] != '\0'), "*") ||
      !JoinPath(pattern, sizeof pattern, directory, "\\", searched)) {
    return false;
  }
  WideText widePattern;
  if (!AnsiToWide(pattern, &widePattern)) return false;
  WIN32_FIND_DATAW entry;
  HANDLE search = gOs.findFirstFileW(widePattern.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;

  FILETIME nowFile;
  SYSTEMTIME nowLocal;
  GetLocalTime(&nowLocal);
  SystemTimeToFileTime(&nowLocal, &nowFile);
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    AnsiText name;
    if (!WideToAnsi(entry.cFileName, &name)) continue;
    if (std::strstr(name.c_str(), namePart) == nullptr) continue;
    FILETIME createdLocal;
    if (!FileTimeToLocalFileTime(&entry.ftCreationTime, &createdLocal)) continue;
    if (AgeInDays(Ticks(nowFile), Ticks(createdLocal)) < 4) continue;
    char victim[kPurgePathSize];
    if (JoinPath(victim, sizeof victim, directory, "\\", name.c_str())) gOs.deleteFileA(victim);
  } while (gOs.findNextFileW(search, &entry));
  FindClose(search);
  return true;
}

}  // namespace quarvel
