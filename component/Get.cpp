// Get (slot 4) of both editions: one GET request on a fresh connection, the
// status class in iRsType, the texts in the record. The edition table says
// which page is the default, how the body is read and which lines are logged.
#include <winsock2.h>
#include <windows.h>

#include <cstring>

#include "component/Edition.h"
#include "component/RulesFile.h"
#include "component/TZHttp.h"
#include "http/Exchange.h"
#include "http/UrlParts.h"
#include "support/CodePage.h"

namespace {

using quarvel::Log;
using quarvel::LogPoint;

// Clears the three texts and the status class; every Get starts here.
void BeginGet(TZHttp* self) {
  std::memset(self->szResponseHeader, 0, sizeof self->szResponseHeader);
  std::memset(self->szRequestHeader, 0, sizeof self->szRequestHeader);
  std::memset(self->szResponseBody, 0, sizeof self->szResponseBody);
  self->iRsType = quarvel::kStatusOther;
  Log(LogPoint::kGetStart);
}

int EndGet(int result) {
  Log(LogPoint::kGetFinish);
  return result;
}

// Receives the header; a failed receive has its own line before the
// edition's header line.
bool ReceiveHeader(TZHttp* self, std::size_t* headerLen, const quarvel::Deadline& deadline) {
  int error = 0;
  switch (quarvel::ReadHeader(self->hSocket, self->szResponseHeader, quarvel::kHeaderReadLimit,
                              headerLen, &error, deadline)) {
    case quarvel::kHttpDone:
      Log(LogPoint::kHeaderDone);
      return true;
    case quarvel::kHttpReceiveFailed:
      quarvel::LogNumber(LogPoint::kSocketError, error);
      break;
    case quarvel::kHttpPeerClosed:
      Log(LogPoint::kPeerClosed);
      break;
    default:
      break;
  }
  Log(LogPoint::kHeaderFailed);
  return false;
}

// The body of a "200 OK": gathered, or the first receive only.
bool ReceiveBody(TZHttp* self, std::size_t headerLen, const quarvel::Deadline& deadline) {
  bool received = quarvel::kEdition.gatherBody
                      ? quarvel::ReadBody(self->hSocket, self->szResponseBody,
                                          sizeof self->szResponseBody, self->szResponseHeader,
                                          headerLen, deadline)
                      : quarvel::ReadBodyOnce(self->hSocket, self->szResponseBody,
                                              sizeof self->szResponseBody);
  if (received) Log(LogPoint::kBodyDone);
  return received;
}

// Classifies the status line and reads what its class asks for.
int TakeAnswer(TZHttp* self, std::size_t headerLen, const quarvel::Deadline& deadline) {
  // A NUL received before the first CR LF ends the text early. Without a CR
  // LF the current edition takes the whole text for the status line.
  std::size_t textLen = std::strlen(self->szResponseHeader);
  std::size_t lineLen = 0;
  if (!quarvel::FindStatusLine(self->szResponseHeader, textLen, &lineLen)) {
    if (quarvel::kEdition.statusLineNeedsLineEnd) return 0;
    lineLen = textLen;
  }
  Log(LogPoint::kStatusLineDone);
  switch (quarvel::ClassifyStatusLine(self->szResponseHeader, lineLen)) {
    case quarvel::kStatusOk:
      self->iRsType = quarvel::kStatusOk;
      return ReceiveBody(self, headerLen, deadline) ? 1 : 0;
    case quarvel::kStatusRedirect:
      Log(LogPoint::kRedirectDone);
      self->iRsType = quarvel::kStatusRedirect;
      return 1;
    default:
      return 0;
  }
}

// One attempt at url, the narrow form of sUrl; the caller writes the closing
// line. Each wait lasts the set wait time, or what is left of the call's
// time limit.
int FetchUrl(TZHttp* self, const char* url, const quarvel::Deadline& deadline) {
  quarvel::FetchTexts texts;
  if (url == nullptr || !self->ParseUrl(url, &texts, deadline) ||
      !self->OpenConnection(texts.address, deadline)) {
    return 0;
  }
  // A request that cannot be composed whole (longer than the request buffer,
  // or with a line break in host or path) is never sent.
  int length = self->BuildRequest(texts.host.c_str(), texts.path);
  if (length == 0) return 0;
  if (quarvel::WaitWritable(&self->hSocket, deadline.Cap(self->iTimeOut)) != quarvel::kHttpDone) {
    Log(LogPoint::kWaitWriteFailed);
    return 0;
  }
  if (quarvel::SendRequest(&self->hSocket, self->szRequestHeader, length) != quarvel::kHttpDone) {
    Log(LogPoint::kSendFailed);
    return 0;
  }
  Log(LogPoint::kSendDone);
  if (quarvel::WaitReadable(&self->hSocket, deadline.Cap(self->iTimeOut)) != quarvel::kHttpDone) {
    Log(LogPoint::kWaitReadFailed);
    return 0;
  }
  Log(LogPoint::kWaitReadDone);
  std::size_t headerLen = 0;
  if (!ReceiveHeader(self, &headerLen, deadline)) return 0;
  return TakeAnswer(self, headerLen, deadline);
}

}  // namespace

// The object's own settings serve: Get reads neither the setup key nor the
// rules file.
int STDMETHODCALLTYPE TZHttp::Get(const char* url) {
  quarvel::Deadline deadline;
  deadline.SetLimit(probeSettings.timeLimitMs);
  int result = Fetch(url == nullptr || url[0] == '\0' ? probeSettings.defaultUrl : url, deadline);
  quarvel::LogIfTimeLimitRanOut(deadline);
  return result;
}

int TZHttp::Fetch(const char* url, const quarvel::Deadline& deadline) {
  BeginGet(this);
  bool held = quarvel::AnsiToWide(url, &sUrl);
  return EndGet(held ? FetchUrl(this, url, deadline) : 0);
}

int TZHttp::Refetch(const char* defaultUrl, const quarvel::Deadline& deadline) {
  if (sUrl.empty()) return Fetch(defaultUrl, deadline);
  BeginGet(this);
  quarvel::NarrowText url(sUrl.c_str());
  return EndGet(FetchUrl(this, url.get(), deadline));
}

bool TZHttp::ParseUrl(const char* url, quarvel::FetchTexts* texts,
                      const quarvel::Deadline& deadline) {
  const wchar_t* wide = sUrl.c_str();
  quarvel::UrlParts parts;
  if (!quarvel::SplitUrl(reinterpret_cast<const char16_t*>(wide), sUrl.length(), &parts)) {
    return false;
  }
  sPath.Assign(parts.hasPath ? wide + parts.pathBegin : L"/", parts.hasPath ? parts.pathLen : 1);
  iPort = parts.port;
  sHostName.Assign(wide + parts.hostBegin, parts.hostLen);

  // The same cuts in the narrow form: "/" and ":" are single bytes there.
  quarvel::UrlParts narrow;
  if (!quarvel::SplitUrl(url, std::strlen(url), &narrow) ||
      !texts->host.Assign(url + narrow.hostBegin, narrow.hostLen)) {
    return false;
  }
  texts->path = narrow.hasPath ? url + narrow.pathBegin : "/";

  if (quarvel::IsNumericHost(texts->host.c_str(), narrow.hostLen)) {
    sHostAddr.Assign(sHostName.c_str());
    texts->address = texts->host.c_str();
    return true;
  }
  if (quarvel::ResolveHost(texts->host.c_str(), texts->dotted, deadline) != quarvel::kHttpDone) {
    return false;
  }
  texts->address = texts->dotted;
  // Digits and dots: each byte is its own UTF-16 unit.
  wchar_t address[quarvel::kDottedAddressSize];
  for (std::size_t i = 0; i < sizeof texts->dotted; ++i) address[i] = texts->dotted[i];
  return sHostAddr.Assign(address);
}

bool TZHttp::OpenConnection(const char* address, const quarvel::Deadline& deadline) {
  if (!bWsaStarted) return false;
  return quarvel::Connect(&hSocket, address, iPort, quarvel::kEdition.receiveTimeOutMs,
                          deadline) == quarvel::kHttpDone;
}

int TZHttp::BuildRequest(const char* host, const char* path) {
  return static_cast<int>(
      quarvel::BuildRequestText(szRequestHeader, sizeof szRequestHeader, host, path));
}
