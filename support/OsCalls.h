// The operating-system calls of the library that can fail, in one plain
// table: connection, registry, files and folders, the rules file and code
// pages, and the tick count. The library always calls through it; tests replace an entry to make
// that call fail on demand (a refused socket, an unreadable registry value, a
// log file that cannot be opened, a failed conversion).
#ifndef QUARVEL_SUPPORT_OSCALLS_H
#define QUARVEL_SUPPORT_OSCALLS_H

#include <winsock2.h>
#include <windows.h>

#include <cstdio>

namespace quarvel {

struct OsCalls {
  int(WSAAPI* wsaStartup)(WORD version, LPWSADATA data);        // socket library start
  int(WSAAPI* wsaCleanup)();                                    // socket library stop
  hostent*(WSAAPI* gethostbyname)(const char* name);            // name look-up
  int(WSAAPI* gethostname)(char* name, int size);               // local computer name
  SOCKET(WSAAPI* socket)(int family, int type, int protocol);   // new socket
  int(WSAAPI* bind)(SOCKET s, const sockaddr* address, int size);
  int(WSAAPI* connect)(SOCKET s, const sockaddr* address, int size);
  int(WSAAPI* select)(int n, fd_set* readable, fd_set* writable, fd_set* failed,
                      timeval* limit);                          // readiness waits
  int(WSAAPI* ioctlsocket)(SOCKET s, long command, u_long* argument);
  int(WSAAPI* setsockopt)(SOCKET s, int level, int option, const char* value, int size);
  int(WSAAPI* send)(SOCKET s, const char* bytes, int count, int flags);
  int(WSAAPI* recv)(SOCKET s, char* bytes, int count, int flags);
  int(WSAAPI* closesocket)(SOCKET s);
  LSTATUS(WINAPI* regOpenKeyExW)(HKEY root, LPCWSTR subkey, DWORD options, REGSAM access,
                                 PHKEY key);                    // setup key open
  LSTATUS(WINAPI* regQueryValueExW)(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type,
                                    LPBYTE data, LPDWORD size); // setup value read
  DWORD(WINAPI* getFileAttributesA)(LPCSTR path);               // the log folder
  DWORD(WINAPI* getFileAttributesW)(LPCWSTR path);              // the rules file
  BOOL(WINAPI* createDirectoryA)(LPCSTR path, LPSECURITY_ATTRIBUTES security);
  FILE*(__cdecl* fopen)(const char* path, const char* mode);    // the log, per line
  HANDLE(WINAPI* findFirstFileW)(LPCWSTR pattern, LPWIN32_FIND_DATAW entry);  // the purge
  BOOL(WINAPI* findNextFileW)(HANDLE search, LPWIN32_FIND_DATAW entry);
  BOOL(WINAPI* deleteFileA)(LPCSTR path);
  DWORD(WINAPI* getPrivateProfileStringA)(LPCSTR section, LPCSTR key, LPCSTR fallback,
                                          LPSTR value, DWORD size, LPCSTR path);
  int(WINAPI* multiByteToWideChar)(UINT page, DWORD flags, LPCCH text, int bytes, LPWSTR wide,
                                   int units);
  int(WINAPI* wideCharToMultiByte)(UINT page, DWORD flags, LPCWCH text, int units, LPSTR narrow,
                                   int bytes, LPCCH fallback, LPBOOL usedFallback);
  DWORD(WINAPI* getTickCount)();                                // a call's time limit
};

// The table in use: the system's own calls unless a test replaced some.
extern OsCalls gOs;
// The system's own calls, for tests to restore.
extern const OsCalls kSystemOsCalls;

}  // namespace quarvel

#endif
