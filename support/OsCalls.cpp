#include "support/OsCalls.h"

namespace quarvel {

const OsCalls kSystemOsCalls = {
    ::WSAStartup, ::WSACleanup,  ::gethostbyname, ::gethostname, ::socket,
    ::bind,       ::connect,     ::select,        ::ioctlsocket, ::setsockopt,
    ::send,       ::recv,        ::closesocket,   ::RegOpenKeyExW, ::RegQueryValueExW,
    ::GetFileAttributesA, ::GetFileAttributesW, ::CreateDirectoryA, std::fopen, ::FindFirstFileW,
    ::FindNextFileW, ::DeleteFileA, ::GetPrivateProfileStringA, ::MultiByteToWideChar,
    ::WideCharToMultiByte, ::GetTickCount,
};

OsCalls gOs = kSystemOsCalls;

}  // namespace quarvel
