#include "support/OsCalls.h"

namespace quarvel {

const OsCalls kSystemOsCalls = {
    ::WSAStartup, ::WSACleanup,  ::gethostbyname, ::gethostname, ::socket,
    ::bind,       ::connect,     ::select,        ::ioctlsocket, ::setsockopt,
    ::send,       ::recv,        ::closesocket,   ::RegOpenKeyExW, ::RegQueryValueExW,
};

OsCalls gOs = kSystemOsCalls;

}  // namespace quarvel
