// The connection steps of the client: name look-up, connect, close.
#include <winsock2.h>
#include <windows.h>

#include <cstring>

#include "http/Exchange.h"
#include "support/OsCalls.h"

namespace {

// gethostname's buffer.
constexpr int kLocalNameSize = 255;

// Closes a socket that failed half-way and reports why.
quarvel::HttpCode Abandon(SOCKET* socket) {
  quarvel::CloseSocket(socket);
  return quarvel::kHttpNoConnection;
}

// "a.b.c.d" of the four bytes of an IPv4 address: at most 15 characters and
// the NUL, so it always fits kDottedAddressSize bytes. Written by hand, which
// keeps the C library's formatted printing out of the library.
void FormatDotted(const unsigned char* a, char* dotted) {
  char* out = dotted;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) *out++ = '.';
    const unsigned v = a[i];
    if (v >= 100) *out++ = static_cast<char>('0' + v / 100);
    if (v >= 10) *out++ = static_cast<char>('0' + v / 10 % 10);
    *out++ = static_cast<char>('0' + v % 10);
  }
  *out = '\0';
}

}  // namespace

namespace quarvel {

HttpCode ResolveHost(const char* host, char* dotted) {
  hostent* found = gOs.gethostbyname(host);
  if (found == nullptr || found->h_addr_list == nullptr || found->h_addr_list[0] == nullptr) {
    return kHttpNotFound;
  }
  const unsigned char* a = reinterpret_cast<const unsigned char*>(found->h_addr_list[0]);
  FormatDotted(a, dotted);
  return kHttpDone;
}

void CloseSocket(SOCKET* socket) {
  if (*socket == INVALID_SOCKET) return;
  gOs.closesocket(*socket);
  *socket = INVALID_SOCKET;
}

HttpCode Connect(SOCKET* socket, const char* address, int port, int receiveTimeOutMs) {
  unsigned long peerAddress = inet_addr(address);
  if (peerAddress == INADDR_NONE) return kHttpNoAddress;

  char localName[kLocalNameSize];
  if (gOs.gethostname(localName, kLocalNameSize) != 0) return kHttpNoLocalName;
  if (gOs.gethostbyname(localName) == nullptr) return kHttpNoLocalName;

  CloseSocket(socket);
  *socket = gOs.socket(AF_INET, SOCK_STREAM, 0);
  if (*socket == INVALID_SOCKET) return kHttpNoConnection;

  sockaddr_in any;
  std::memset(&any, 0, sizeof any);
  any.sin_family = AF_INET;
  any.sin_addr.s_addr = htonl(INADDR_ANY);
  any.sin_port = 0;
  if (gOs.bind(*socket, reinterpret_cast<sockaddr*>(&any), sizeof any) == SOCKET_ERROR) {
    return Abandon(socket);
  }

  sockaddr_in peer;
  std::memset(&peer, 0, sizeof peer);
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = peerAddress;
  peer.sin_port = htons(static_cast<u_short>(port & 0xFFFF));
  if (gOs.connect(*socket, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == SOCKET_ERROR) {
    return Abandon(socket);
  }

  fd_set writable;
  FD_ZERO(&writable);
  FD_SET(*socket, &writable);
  if (gOs.select(0, nullptr, &writable, nullptr, nullptr) <= 0) return Abandon(socket);

  u_long nonBlocking = 0;
  if (gOs.ioctlsocket(*socket, FIONBIO, &nonBlocking) == SOCKET_ERROR) return Abandon(socket);

  // On Windows SO_RCVTIMEO takes a DWORD of milliseconds, not a timeval.
  if (receiveTimeOutMs > 0) {
    DWORD receiveTimeOut = static_cast<DWORD>(receiveTimeOutMs);
    gOs.setsockopt(*socket, SOL_SOCKET, SO_RCVTIMEO,
                   reinterpret_cast<const char*>(&receiveTimeOut), sizeof receiveTimeOut);
  }
  return kHttpDone;
}

}  // namespace quarvel
