// Get (slot 4) of the earlier edition: the probe URL by default, a log line
// at each step, and the body of a "200 OK" taken from one receive.
#include <winsock2.h>
#include <windows.h>

#include <cstring>

#include "component/TZHttp.h"
#include "support/Log.h"
#include "support/OsCalls.h"
#include "support/Settings.h"

namespace {

constexpr const char* kGetStart = "TZHttp::Get start！";
constexpr const char* kSendFailed = "发送失败！";
constexpr const char* kSendDone = "发送成功！";
constexpr const char* kWaitReadDone = "等待读取数据成功！";
constexpr const char* kHeaderFailed = "接收响应报头失败！";
constexpr const char* kHeaderDone = "接收响应报头成功！";
constexpr const char* kStatusLineDone = "判断响应报头成功！";
constexpr const char* kBodyDone = "接收200响应包体成功！";
constexpr const char* kRedirectDone = "接收302响应成功！";
constexpr const char* kGetFinish = "TZHttp::Get finish！";

// One attempt; the caller writes the finish line.
int Attempt(TZHttp* self) {
  if (!self->ParseUrl() || !self->OpenConnection()) return 0;
  int length = 0;
  // A request that cannot be composed whole is never sent.
  if (!self->ComposeRequest(&length)) return 0;
  if (!self->WaitWritable()) return 0;
  int sent = quarvel::gOs.send(self->hSocket, self->szRequestHeader, length, 0);
  if (sent == 0 || sent == SOCKET_ERROR) {
    self->CloseConnection();
    quarvel::LogNumbered(kSendFailed, 569);
    return 0;
  }
  quarvel::LogNumbered(kSendDone, 575);
  if (!self->WaitReadable()) return 0;
  quarvel::LogNumbered(kWaitReadDone, 581);
  if (!self->ReadHeader(self->szResponseHeader, quarvel::kHeaderReadLimit)) {
    quarvel::LogNumbered(kHeaderFailed, 588);
    return 0;
  }
  quarvel::LogNumbered(kHeaderDone, 593);

  std::size_t lineLen = 0;
  if (!quarvel::FindStatusLine(self->szResponseHeader, std::strlen(self->szResponseHeader),
                               &lineLen)) {
    return 0;
  }
  quarvel::LogNumbered(kStatusLineDone, 605);
  switch (quarvel::ClassifyStatusLine(self->szResponseHeader, lineLen)) {
    case quarvel::kStatusOk: {
      self->iRsType = quarvel::kStatusOk;
      // One receive only: a body in several segments ends with the first.
      int received = quarvel::gOs.recv(self->hSocket, self->szResponseBody,
                          static_cast<int>(sizeof self->szResponseBody - 1), 0);
      if (received < 1) return 0;
      quarvel::LogNumbered(kBodyDone, 614);
      self->szResponseBody[received] = '\0';
      return 1;
    }
    case quarvel::kStatusRedirect:
      quarvel::LogNumbered(kRedirectDone, 623);
      self->iRsType = quarvel::kStatusRedirect;
      return 1;
    default:
      return 0;
  }
}

}  // namespace

int STDMETHODCALLTYPE TZHttp::Get(const char* url) {
  bool begun = BeginGet(url, quarvel::kProbeUrl);
  quarvel::LogNumbered(kGetStart, 535);
  int result = begun ? Attempt(this) : 0;
  quarvel::LogNumbered(kGetFinish, 631);
  return result;
}
