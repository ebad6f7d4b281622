// The HTTP/1.1 client of the library: one GET exchange over a caller-owned
// socket, in steps that each return one code. It keeps no state and writes
// no log lines: the caller keeps the socket and the texts, and reports.
#ifndef QUARVEL_HTTP_EXCHANGE_H
#define QUARVEL_HTTP_EXCHANGE_H

#include <winsock2.h>

#include <cstddef>

#include "http/Deadline.h"

namespace quarvel {

enum HttpCode {
  kHttpDone = 0,       // the step succeeded
  kHttpNotFound,       // the host name cannot be looked up
  kHttpNoAddress,      // not a dotted IPv4 address; no socket touched
  kHttpNoLocalName,    // the local computer's name cannot be resolved; no socket touched
  kHttpNoConnection,   // socket, bind, connect, its wait or the mode switch failed
  kHttpWaitFailed,     // a wait ran out (socket open) or failed (socket closed)
  kHttpSendFailed,     // the send failed; the socket is closed
  kHttpPeerClosed,     // the peer closed the connection before the header ended
  kHttpReceiveFailed,  // a receive failed or timed out; the error is returned
  kHttpHeaderTooLong,  // no empty line within the header's bound
};

// "255.255.255.255" and its NUL.
constexpr std::size_t kDottedAddressSize = 16;

// Looks host up; dotted (kDottedAddressSize bytes) gets the first address of
// the answer as dotted decimal text. With a time limit the look-up is waited
// for only while the limit lasts.
HttpCode ResolveHost(const char* host, char* dotted, const Deadline& deadline);

// timeOutMs as a select() time-out: whole seconds, the rest in microseconds.
timeval MsToTimeval(int timeOutMs);

// Closes *socket when it is open and marks it INVALID_SOCKET.
void CloseSocket(SOCKET* socket);

// Connects a new socket to address (dotted text) and port (its low 16 bits):
// closes the previous *socket first, then leaves the new one in *socket,
// blocking, with receiveTimeOutMs as its receive time-out (0: none). Every
// failure after the close leaves *socket INVALID_SOCKET; kHttpNoAddress and
// kHttpNoLocalName leave *socket as it was. The look-up of the local name and
// the connect last no longer than the deadline allows.
HttpCode Connect(SOCKET* socket, const char* address, int port, int receiveTimeOutMs,
                 const Deadline& deadline);

// Wait until *socket can be written, or has data to read, for up to
// timeOutMs. A time-out leaves the socket open; an error closes it.
HttpCode WaitWritable(SOCKET* socket, int timeOutMs);
HttpCode WaitReadable(SOCKET* socket, int timeOutMs);

// Sends length bytes of request in one call; a shorter send counts as done.
// A failure closes *socket.
HttpCode SendRequest(SOCKET* socket, const char* request, int length);

// Receives the header into buffer, at most count bytes, and never a byte past
// its empty line, so the body stays in the socket. *length gets the bytes
// taken; on kHttpReceiveFailed *error gets the socket error. The bytes taken
// stay in the buffer in every case and nothing else of it is written; the
// caller clears it first, so the text ends with a NUL. With a time limit, a
// receive that would outlast it fails as a timed-out receive (WSAETIMEDOUT).
HttpCode ReadHeader(SOCKET socket, char* buffer, std::size_t count, std::size_t* length,
                    int* error, const Deadline& deadline);

// Gathers the body of a "200 OK" into body (capacity bytes, cleared by the
// caller) in receives of kBodyChunkSize: until the peer closes, a receive
// fails or times out, the capacity bound is met, or, when header (headerLen
// bytes) declares a Content-Length, that many bytes have come, or, when it
// declares a chunked body, its last chunk and final empty line have come, or
// the deadline's limit is reached. True when at least one body byte was
// received.
bool ReadBody(SOCKET socket, char* body, std::size_t capacity, const char* header,
              std::size_t headerLen, const Deadline& deadline);

// The body as one receive of at most capacity - 1 bytes, ended by a NUL.
// True when it brought at least one byte.
bool ReadBodyOnce(SOCKET socket, char* body, std::size_t capacity);

}  // namespace quarvel

#endif
