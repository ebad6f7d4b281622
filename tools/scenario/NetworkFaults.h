// Faults of a network that has just stopped working, played on loopback for
// tests and the bench: a name server that answers late or never, and a
// listener that drops every new connection attempt unanswered.
#ifndef QUARVEL_TOOLS_NETWORKFAULTS_H
#define QUARVEL_TOOLS_NETWORKFAULTS_H

#include <winsock2.h>

namespace scenario {

// A name server on 127.0.0.1:53 (UDP): the private network's resolver
// configuration names it. Each query is answered "no such name" after
// answerAfterMs, or never when answerAfterMs is negative.
class SlowNameServer {
 public:
  explicit SlowNameServer(int answerAfterMs);
  ~SlowNameServer();  // stops the thread and closes the socket
  SlowNameServer(const SlowNameServer&) = delete;
  SlowNameServer& operator=(const SlowNameServer&) = delete;
  bool Start();       // false when the port cannot be bound
  int Queries() const;

 private:
  struct State;
  State* state_;
};

// A listener on 127.0.0.1 whose queue of unaccepted connections is full, so
// that the system drops every further connection attempt: the peer's connect
// waits as on a line whose packets are lost.
class DroppingListener {
 public:
  DroppingListener();
  ~DroppingListener();
  DroppingListener(const DroppingListener&) = delete;
  DroppingListener& operator=(const DroppingListener&) = delete;
  // Listens on 127.0.0.1:port (0 picks a free port); false when the queue
  // cannot be filled.
  bool Start(unsigned short port = 0);
  unsigned short Port() const { return port_; }

 private:
  SOCKET listener_;
  SOCKET fillers_[4];
  unsigned short port_;
};

}  // namespace scenario

#endif
