// The connection steps of the client: name look-up, connect, close.
#include <winsock2.h>
#include <windows.h>

#include "http/Exchange.h"
#include "http/Lookup.h"
#include "support/OsCalls.h"

namespace {

// gethostname's buffer.
constexpr int kLocalNameSize = 255;

// Closes a socket that failed half-way and reports why.
quarvel::HttpCode Abandon(SOCKET* socket) {
  quarvel::CloseSocket(socket);
  return quarvel::kHttpNoConnection;
}

// Connects socket to peer and waits until it is writable. Without a time
// limit the connect blocks as long as the system's own connect time-out and
// the wait has no limit. With one, the connect is started without blocking
// and waited for with what is left of the limit; a refused or failed connect
// is reported in the failure set.
bool ConnectWithin(SOCKET socket, const sockaddr_in& peer, const quarvel::Deadline& deadline) {
  const bool bounded = deadline.Bounded();
  u_long nonBlocking = 1;
  if (bounded && quarvel::gOs.ioctlsocket(socket, FIONBIO, &nonBlocking) == SOCKET_ERROR) {
    return false;
  }
  if (quarvel::gOs.connect(socket, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) ==
          SOCKET_ERROR &&
      !(bounded && WSAGetLastError() == WSAEWOULDBLOCK)) {
    return false;
  }
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_SET(socket, &writable);
  FD_ZERO(&failed);
  FD_SET(socket, &failed);
  timeval limit = quarvel::MsToTimeval(static_cast<int>(deadline.LeftMs()));
  if (quarvel::gOs.select(0, nullptr, &writable, bounded ? &failed : nullptr,
                          bounded ? &limit : nullptr) <= 0) {
    return false;
  }
  return !(bounded && FD_ISSET(socket, &failed));
}

}  // namespace

namespace quarvel {

HttpCode ResolveHost(const char* host, char* dotted, const Deadline& deadline) {
  if (deadline.Bounded()) {
    return LookUpWithin(host, deadline.LeftMs(), dotted) == kLookupFound ? kHttpDone
                                                                         : kHttpNotFound;
  }
  return TakeFirstAddress(gOs.gethostbyname(host), dotted) ? kHttpDone : kHttpNotFound;
}

void CloseSocket(SOCKET* socket) {
  if (*socket == INVALID_SOCKET) return;
  gOs.closesocket(*socket);
  *socket = INVALID_SOCKET;
}

HttpCode Connect(SOCKET* socket, const char* address, int port, int receiveTimeOutMs,
                 const Deadline& deadline) {
  unsigned long peerAddress = inet_addr(address);
  if (peerAddress == INADDR_NONE) return kHttpNoAddress;

  char localName[kLocalNameSize];
  if (gOs.gethostname(localName, kLocalNameSize) != 0) return kHttpNoLocalName;
  char localAddress[kDottedAddressSize];
  if (ResolveHost(localName, localAddress, deadline) != kHttpDone) return kHttpNoLocalName;

  CloseSocket(socket);
  *socket = gOs.socket(AF_INET, SOCK_STREAM, 0);
  if (*socket == INVALID_SOCKET) return kHttpNoConnection;

  sockaddr_in any = {};
  any.sin_family = AF_INET;
  any.sin_addr.s_addr = htonl(INADDR_ANY);
  if (gOs.bind(*socket, reinterpret_cast<sockaddr*>(&any), sizeof any) == SOCKET_ERROR) {
    return Abandon(socket);
  }

  sockaddr_in peer = {};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = peerAddress;
  peer.sin_port = htons(static_cast<u_short>(port & 0xFFFF));
  if (!ConnectWithin(*socket, peer, deadline)) return Abandon(socket);

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
