// The exchange steps of the client: the socket waits, the send, the header
// and body reads.
#include "http/Exchange.h"

#include <winsock2.h>
#include <windows.h>

#include <cstring>

#include "http/HttpBytes.h"
#include "support/OsCalls.h"

namespace {

enum WaitFor { kWaitWrite, kWaitRead };

// One select() on socket alone, bounded by timeOutMs: its result.
int SelectOne(SOCKET socket, int timeOutMs, WaitFor what) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(socket, &set);
  timeval limit = quarvel::MsToTimeval(timeOutMs);
  return what == kWaitWrite ? quarvel::gOs.select(0, nullptr, &set, nullptr, &limit)
                            : quarvel::gOs.select(0, &set, nullptr, nullptr, &limit);
}

// A wait on *socket: an error closes the connection; a time-out leaves it
// open.
quarvel::HttpCode WaitOnSocket(SOCKET* socket, int timeOutMs, WaitFor what) {
  if (*socket == INVALID_SOCKET) return quarvel::kHttpWaitFailed;
  int ready = SelectOne(*socket, timeOutMs, what);
  if (ready == SOCKET_ERROR) quarvel::CloseSocket(socket);
  return ready > 0 ? quarvel::kHttpDone : quarvel::kHttpWaitFailed;
}

// A receive of at most count bytes. With a time limit it may block only for
// what is left of it: when nothing arrives in that time it fails as a
// receive that timed out.
int ReceiveWithin(SOCKET socket, char* bytes, int count, int flags,
                  const quarvel::Deadline& deadline) {
  if (deadline.Bounded()) {
    int ready = SelectOne(socket, static_cast<int>(deadline.LeftMs()), kWaitRead);
    if (ready == 0) WSASetLastError(WSAETIMEDOUT);
    if (ready <= 0) return SOCKET_ERROR;
  }
  return quarvel::gOs.recv(socket, bytes, count, flags);
}

// The code of a receive that brought nothing.
quarvel::HttpCode ReceiveEnded(int received, int* error) {
  if (received == 0) return quarvel::kHttpPeerClosed;
  *error = WSAGetLastError();
  return quarvel::kHttpReceiveFailed;
}

}  // namespace

namespace quarvel {

timeval MsToTimeval(int timeOutMs) {
  return timeval{timeOutMs / 1000, (timeOutMs % 1000) * 1000};
}

HttpCode WaitWritable(SOCKET* socket, int timeOutMs) {
  return WaitOnSocket(socket, timeOutMs, kWaitWrite);
}

HttpCode WaitReadable(SOCKET* socket, int timeOutMs) {
  return WaitOnSocket(socket, timeOutMs, kWaitRead);
}

HttpCode SendRequest(SOCKET* socket, const char* request, int length) {
  int sent = gOs.send(*socket, request, length, 0);
  if (sent == 0 || sent == SOCKET_ERROR) {
    CloseSocket(socket);
    return kHttpSendFailed;
  }
  return kHttpDone;
}

// Looks at what has arrived without taking it, finds the empty line in it,
// then takes exactly the bytes up to there: a few receives per header instead
// of one per byte, and the body left in the socket. Bytes looked at but not
// taken are cleared again, so the buffer holds only what was taken.
HttpCode ReadHeader(SOCKET socket, char* buffer, std::size_t count, std::size_t* length,
                    int* error, const Deadline& deadline) {
  std::size_t have = 0;
  *length = 0;
  while (have < count) {
    int peeked = ReceiveWithin(socket, buffer + have, static_cast<int>(count - have), MSG_PEEK,
                               deadline);
    if (peeked <= 0) return ReceiveEnded(peeked, error);
    const std::size_t seen = have + static_cast<std::size_t>(peeked);
    const std::size_t end = FindHeaderEnd(buffer, have, seen);
    const std::size_t wanted = (end > 0 ? end : seen) - have;
    int taken = gOs.recv(socket, buffer + have, static_cast<int>(wanted), 0);
    if (taken <= 0) {
      std::memset(buffer + have, 0, seen - have);
      return ReceiveEnded(taken, error);
    }
    have += static_cast<std::size_t>(taken);
    std::memset(buffer + have, 0, seen - have);
    *length = have;
    if (end > 0 && have == end) return kHttpDone;
  }
  return kHttpHeaderTooLong;
}

bool ReadBody(SOCKET socket, char* body, std::size_t capacity, const char* header,
              std::size_t headerLen, const Deadline& deadline) {
  std::size_t declared = 0;
  const bool bounded = ParseContentLength(header, headerLen, &declared) == kLengthDeclared;
  // A Transfer-Encoding field leaves no declared length, so at most one of
  // the two ends the body early.
  const bool chunked = DeclaresChunkedBody(header, headerLen);
  ChunkedScan framing = {};
  BodyGather gather = {body, capacity, 0};
  char chunk[kBodyChunkSize];
  // With a declared length the body is complete once that many bytes came,
  // and a chunked one once its framing is: waiting on would only meet the
  // receive time-out of a kept-alive answer. Malformed framing is read on
  // as without it. The framing is scanned over the raw bytes received, not
  // over the text kept, which stops at a NUL.
  while (!bounded || gather.total < declared) {
    std::memset(chunk, 0, sizeof chunk);
    int received = ReceiveWithin(socket, chunk, sizeof chunk, 0, deadline);
    if (!AppendBodyChunk(&gather, chunk, received)) break;
    if (chunked && ScanChunked(&framing, chunk, static_cast<std::size_t>(received)) ==
                       kChunkedDone) {
      break;
    }
  }
  return FinishBody(&gather);
}

bool ReadBodyOnce(SOCKET socket, char* body, std::size_t capacity) {
  int received = gOs.recv(socket, body, static_cast<int>(capacity - 1), 0);
  if (received < 1) return false;
  body[received] = '\0';
  return true;
}

}  // namespace quarvel
