// A local HTTP server for tests and for the provider simulator: it plays
// scripted byte exchanges on loopback over Winsock and records what it got.
// One scenario = the bytes to send (split into sends, with pauses), how the
// connection ends, and the raw request bytes received.
#ifndef QUARVEL_TOOLS_SCENARIOSERVER_H
#define QUARVEL_TOOLS_SCENARIOSERVER_H

#include <cstddef>
#include <string>
#include <vector>

namespace scenario {

// One step of a reply, played in order after the request has been read.
struct Step {
  enum Kind {
    kSend,      // send bytes in one send() call
    kPause,     // sleep ms milliseconds
    kClose,     // graceful close (shutdown + closesocket)
    kReset,     // abortive close (SO_LINGER 0): the peer sees a reset
    kHoldOpen,  // keep the connection open, silent, until the peer
                // closes or ms milliseconds pass, then close
  };
  Kind kind = kSend;
  std::string bytes;  // kSend
  int ms = 0;         // kPause, kHoldOpen

  static Step Send(const std::string& bytes);
  static Step Pause(int ms);
  static Step Close();
  static Step Reset();
  static Step HoldOpen(int ms);
};
// A script ends at its first kClose, kReset or kHoldOpen; a script that runs
// out of steps without one closes gracefully. A failed send ends it too.

// A reply script. Helpers build the common shapes.
struct Reply {
  std::vector<Step> steps;
  // false: play at once without reading a request. That needs the reply to
  // be known before any request: the default when there are no routes, or a
  // first route whose host and path are both empty. Elsewhere the request is
  // read first anyway.
  bool readRequest = true;
};

Reply Respond(const std::string& bytes);  // send all, close
Reply RespondInChunks(const std::string& bytes, std::size_t chunk, int pauseMs);
Reply RespondKeepAlive(const std::string& bytes, int holdMs);
// The two below do not read the request. The close drains what the peer
// sends meanwhile, so the peer sees an orderly end; the reset may reach the
// peer before it has sent anything, so its send can fail as well. For a reset
// seen by the first receive after a request, use a reply that reads the
// request and has the single step kReset.
Reply CloseAtOnce();  // accept, close
Reply ResetAtOnce();
Reply Silent(int holdMs);  // read request, say nothing

// Builds a response text: status line, header lines (each "Name: value"),
// then CR LF CR LF and body.
std::string HttpResponse(const std::string& statusLine, const std::vector<std::string>& headerLines,
                         const std::string& body);

// A response header of exactly size bytes: the status line, CR LF, then one
// padding line "X-Pad: aaa..." and, with withEmptyLine, the closing CR LF CR
// LF (without it the text holds no empty line at all). A size too small for
// that shape gives the status line with CR LF CR LF (or CR LF) alone.
std::string HeaderOfSize(const std::string& statusLine, std::size_t size, bool withEmptyLine);

// What one connection brought.
struct Exchange {
  std::string request;  // raw bytes received (up to the empty line, or all
                        // until the peer closed / went quiet)
  std::string host;     // value of the Host header, "" when absent
  std::string path;     // path of the request line, "" when absent
  int connection = 0;   // 0-based number of the connection, in
                        // order of acceptance
  // Times in milliseconds since Start; -1 when it did not happen.
  long long acceptedMs = -1;    // connection accepted
  long long requestEndMs = -1;  // request reading ended, reply began
  long long peerClosedMs = -1;  // the peer was seen closing or resetting
                                // (also while draining after our close)
  long long closedMs = -1;      // the server ended the connection
  std::size_t bytesSent = 0;    // reply bytes taken by send()
};

class Server {
 public:
  Server();
  ~Server();  // stops the thread and closes every socket
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Listens on 127.0.0.1:port (0 picks a free port). Returns false on
  // failure (port taken, Winsock missing). Starts the serving thread.
  bool Start(unsigned short port);
  // Cuts every script short, closes every socket and joins every thread;
  // returns within a fraction of a second. Exchanges stay readable until the
  // next Start.
  void Stop();
  unsigned short Port() const;

  // The reply for requests whose Host (without port) and path match; an empty
  // host or path matches any; hosts compare without regard to case, paths
  // exactly (query text included). Routes are tried in the order added; the
  // default reply serves what no route matches (a 404 when unset).
  void Route(const std::string& host, const std::string& path, const Reply& reply);
  void SetDefault(const Reply& reply);
  // Keeps no exchanges from now on, so that a long run of connections leaves
  // the process's memory as it found it (Exchanges() stays as it was).
  void RecordNothing();

  // Exchanges seen so far, in order of arrival (thread-safe copy). An
  // exchange appears once its request has been read; its later fields
  // (peerClosedMs, closedMs, bytesSent) are filled in when the
  // server has ended that connection.
  std::vector<Exchange> Exchanges() const;
  int ConnectionCount() const;  // connections accepted since Start

  // Wait up to timeoutMs until at least n exchanges have appeared (requests
  // read), or until at least n connections have been ended by the server.
  // False on time-out.
  bool WaitForExchanges(int n, int timeoutMs) const;
  bool WaitForFinished(int n, int timeoutMs) const;

 private:
  struct State;
  State* state_;
};

}  // namespace scenario

#endif
