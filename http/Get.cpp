// Get (slot 4) of the current edition: one GET request on a fresh
// connection, the status class in iRsType, the texts in the record.
#include <winsock2.h>
#include <windows.h>

#include <cstring>

#include "component/TZHttp.h"
#include "support/Log.h"
#include "support/OsCalls.h"
#include "support/Settings.h"

namespace {

constexpr const char* kWaitWriteFailed = "等待寫数据失败！";
constexpr const char* kSendFailed = "发送失败！";
constexpr const char* kWaitReadFailed = "等待读取数据失败！";
constexpr const char* kHeaderFailed = "接收响应报头失败！";
constexpr const char* kGetExit = "Get 退出！\n";

// Reads the body of a "200 OK" answer: 1024-byte receives appended until the
// peer closes, a receive fails or times out, or the 6024-byte bound is met.
bool ReadBody(SOCKET socket, char* body, std::size_t capacity) {
  quarvel::BodyGather gather = {body, capacity, 0};
  char chunk[quarvel::kBodyChunkSize];
  for (;;) {
    std::memset(chunk, 0, sizeof chunk);
    int received = quarvel::gOs.recv(socket, chunk, sizeof chunk, 0);
    if (!quarvel::AppendBodyChunk(&gather, chunk, received)) break;
  }
  return quarvel::FinishBody(&gather);
}

// One attempt; the caller writes the exit line.
int Attempt(TZHttp* self) {
  if (!self->ParseUrl() || !self->OpenConnection()) return 0;
  int length = 0;
  // A request that cannot be composed whole (missing text, or longer than the
  // request buffer) is never sent.
  if (!self->ComposeRequest(&length)) return 0;
  if (!self->WaitWritable()) {
    quarvel::LogNumbered(kWaitWriteFailed, 528);
    return 0;
  }
  int sent = quarvel::gOs.send(self->hSocket, self->szRequestHeader, length, 0);
  if (sent == 0 || sent == SOCKET_ERROR) {
    self->CloseConnection();
    quarvel::LogNumbered(kSendFailed, 538);
    return 0;
  }
  if (!self->WaitReadable()) {
    quarvel::LogNumbered(kWaitReadFailed, 545);
    return 0;
  }
  if (!self->ReadHeader(self->szResponseHeader, quarvel::kHeaderReadLimit)) {
    quarvel::LogNumbered(kHeaderFailed, 552);
    return 0;
  }
  // A NUL received before the first CR LF ends the text early: then the
  // whole text stands for the status line.
  std::size_t lineLen = 0;
  std::size_t headerLen = std::strlen(self->szResponseHeader);
  if (!quarvel::FindStatusLine(self->szResponseHeader, headerLen, &lineLen)) lineLen = headerLen;
  switch (quarvel::ClassifyStatusLine(self->szResponseHeader, lineLen)) {
    case quarvel::kStatusOk:
      self->iRsType = quarvel::kStatusOk;
      return ReadBody(self->hSocket, self->szResponseBody, sizeof self->szResponseBody)
                 ? 1
                 : 0;
    case quarvel::kStatusRedirect:
      self->iRsType = quarvel::kStatusRedirect;
      return 1;
    default:
      return 0;
  }
}

}  // namespace

int STDMETHODCALLTYPE TZHttp::Get(const char* url) {
  // Empty (or missing) text fetches the IP-location page.
  int result = BeginGet(url, quarvel::kIpLocationUrl) ? Attempt(this) : 0;
  quarvel::LogText(kGetExit);
  return result;
}
