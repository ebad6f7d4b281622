// URL parsing and the connection of TZHttp. No log lines: callers report.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "component/TZHttp.h"
#include "http/UrlParts.h"
#include "support/CodePage.h"
#include "support/Edition.h"
#include "support/OsCalls.h"

namespace {

// gethostname's buffer.
constexpr int kLocalNameSize = 255;
// "255.255.255.255" and its NUL.
constexpr std::size_t kDottedAddressSize = 16;

}  // namespace

bool TZHttp::ParseUrl() {
  const wchar_t* url = sUrl.c_str();
  quarvel::UrlParts parts;
  if (!quarvel::SplitUrl(reinterpret_cast<const char16_t*>(url), sUrl.length(), &parts)) {
    return false;
  }
  if (parts.hasPath) {
    sPath.Assign(url + parts.pathBegin, parts.pathLen);
  } else {
    sPath.Assign(L"/");
  }
  iPort = parts.port;
  sHostName.Assign(url + parts.hostBegin, parts.hostLen);

  if (quarvel::IsNumericHost(reinterpret_cast<const char16_t*>(sHostName.c_str()),
                             sHostName.length())) {
    sHostAddr.Assign(sHostName.c_str());
    return true;
  }
  quarvel::AnsiText host;
  if (!quarvel::WideToAnsi(sHostName.c_str(), &host)) return false;
  hostent* found = quarvel::gOs.gethostbyname(host.c_str());
  if (found == nullptr || found->h_addr_list == nullptr || found->h_addr_list[0] == nullptr) {
    return false;
  }
  const unsigned char* a = reinterpret_cast<const unsigned char*>(found->h_addr_list[0]);
  char dotted[kDottedAddressSize];
  std::snprintf(dotted, sizeof dotted, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
  quarvel::AnsiToWide(dotted, &sHostAddr);
  return true;
}

bool TZHttp::OpenConnection() {
  if (!bWsaStarted) return false;
  quarvel::AnsiText dotted;
  quarvel::WideToAnsi(sHostAddr.c_str(), &dotted);
  unsigned long address = inet_addr(dotted.c_str());
  if (address == INADDR_NONE) return false;

  char localName[kLocalNameSize];
  if (quarvel::gOs.gethostname(localName, kLocalNameSize) != 0) return false;
  if (quarvel::gOs.gethostbyname(localName) == nullptr) return false;

  CloseConnection();
  hSocket = quarvel::gOs.socket(AF_INET, SOCK_STREAM, 0);
  if (hSocket == INVALID_SOCKET) return false;

  sockaddr_in any;
  std::memset(&any, 0, sizeof any);
  any.sin_family = AF_INET;
  any.sin_addr.s_addr = htonl(INADDR_ANY);
  any.sin_port = 0;
  if (quarvel::gOs.bind(hSocket, reinterpret_cast<sockaddr*>(&any), sizeof any) == SOCKET_ERROR) {
    CloseConnection();
    return false;
  }

  sockaddr_in peer;
  std::memset(&peer, 0, sizeof peer);
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = address;
  peer.sin_port = htons(static_cast<u_short>(iPort & 0xFFFF));
  if (quarvel::gOs.connect(hSocket, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == SOCKET_ERROR) {
    CloseConnection();
    return false;
  }

  fd_set writable;
  FD_ZERO(&writable);
  FD_SET(hSocket, &writable);
  if (quarvel::gOs.select(0, nullptr, &writable, nullptr, nullptr) <= 0) {
    CloseConnection();
    return false;
  }

  u_long nonBlocking = 0;
  if (quarvel::gOs.ioctlsocket(hSocket, FIONBIO, &nonBlocking) == SOCKET_ERROR) {
    CloseConnection();
    return false;
  }

  // On Windows SO_RCVTIMEO takes a DWORD of milliseconds, not a timeval.
  if (quarvel::kEdition.receiveTimeOutMs > 0) {
    DWORD receiveTimeOut = static_cast<DWORD>(quarvel::kEdition.receiveTimeOutMs);
    quarvel::gOs.setsockopt(hSocket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&receiveTimeOut),
               sizeof receiveTimeOut);
  }
  return true;
}
