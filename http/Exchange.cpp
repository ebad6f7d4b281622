// The building blocks of one request and response on TZHttp's socket.
#include "http/Exchange.h"

#include <winsock2.h>
#include <windows.h>
#include <objbase.h>

#include <cstring>

#include "component/TZHttp.h"
#include "support/CodePage.h"
#include "support/Edition.h"
#include "support/Log.h"
#include "support/OsCalls.h"

namespace quarvel {

HRESULT WideToNarrow(const wchar_t* text, char** narrow) {
  *narrow = nullptr;
  if (text == nullptr) return S_OK;
  std::size_t units = std::wcslen(text) + 1;
  char* block = static_cast<char*>(CoTaskMemAlloc(2 * units));
  if (block == nullptr) return E_OUTOFMEMORY;
  if (WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(units), block,
                          static_cast<int>(2 * units), nullptr, nullptr) == 0) {
    DWORD error = GetLastError();
    CoTaskMemFree(block);
    return static_cast<int>(error) > 0 ? HRESULT_FROM_WIN32(error) : static_cast<HRESULT>(error);
  }
  *narrow = block;
  return S_OK;
}

NarrowText::~NarrowText() { CoTaskMemFree(text_); }

}  // namespace quarvel

namespace {

constexpr const char* kSocketErrorMessage = "SOCKET_ERROR！";
constexpr const char* kPeerClosedMessage = "连接已断开！";

enum WaitFor { kWaitWrite, kWaitRead };

// One select() on hSocket alone, bounded by iTimeOut. An error closes the
// connection; a time-out leaves it open.
bool WaitOnSocket(TZHttp* self, WaitFor what) {
  if (self->hSocket == INVALID_SOCKET) return false;
  fd_set set;
  FD_ZERO(&set);
  FD_SET(self->hSocket, &set);
  timeval limit;
  limit.tv_sec = self->iTimeOut / 1000;
  limit.tv_usec = (self->iTimeOut % 1000) * 1000;
  int ready = what == kWaitWrite ? quarvel::gOs.select(0, nullptr, &set, nullptr, &limit)
                                 : quarvel::gOs.select(0, &set, nullptr, nullptr, &limit);
  if (ready == SOCKET_ERROR) {
    self->CloseConnection();
    return false;
  }
  return ready > 0;
}

}  // namespace

bool TZHttp::WaitWritable() { return WaitOnSocket(this, kWaitWrite); }

bool TZHttp::WaitReadable() { return WaitOnSocket(this, kWaitRead); }

bool TZHttp::ReadHeader(char* buffer, int count) {
  for (int i = 0; i < count; ++i) {
    int received = quarvel::gOs.recv(hSocket, buffer + i, 1, 0);
    if (received == SOCKET_ERROR) {
      quarvel::LogNumbered(kSocketErrorMessage, WSAGetLastError());
      return false;
    }
    if (received == 0) {
      quarvel::LogNumbered(kPeerClosedMessage, quarvel::kEdition.peerClosedLogNumber);
      return false;
    }
    if (quarvel::IsHeaderEnd(buffer, static_cast<std::size_t>(i))) return true;
  }
  return false;
}

bool TZHttp::BeginGet(const char* url, const char* defaultUrl) {
  std::memset(szResponseHeader, 0, sizeof szResponseHeader);
  std::memset(szRequestHeader, 0, sizeof szRequestHeader);
  std::memset(szResponseBody, 0, sizeof szResponseBody);
  iRsType = quarvel::kStatusOther;
  return quarvel::AnsiToWide((url == nullptr || url[0] == '\0') ? defaultUrl : url, &sUrl);
}

bool TZHttp::ComposeRequest(int* length) {
  quarvel::NarrowText host(sHostName.c_str());
  quarvel::NarrowText path(sPath.c_str());
  if (host.get() == nullptr || path.get() == nullptr) return false;
  std::size_t composed = quarvel::BuildRequestText(szRequestHeader, sizeof szRequestHeader,
                                                   host.get(), path.get());
  *length = static_cast<int>(composed);
  return composed > 0;
}
