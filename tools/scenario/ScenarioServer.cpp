// Scenario server: an accept thread plus one thread per connection. Every
// wait is cut into short slices so that Stop is noticed quickly; a thread
// only ever closes its own socket, so no handle is closed under another
// thread's feet.
#include <winsock2.h>
#include <windows.h>

#include "tools/scenario/ScenarioServer.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>

namespace scenario {
namespace {

constexpr std::size_t kRequestCap = 64 * 1024;  // request bytes recorded
constexpr int kRequestQuietMs = 2000;           // silence that ends a request
constexpr int kSliceMs = 20;                    // longest wait between stop checks
constexpr int kDrainMs = 100;                   // wait for late peer bytes at close
constexpr std::size_t kRecvChunk = 4096;
const char kHeaderEnd[] = "\r\n\r\n";
const char kPadName[] = "X-Pad: ";

using Clock = std::chrono::steady_clock;

struct RouteEntry {
  std::string host;
  std::string path;
  Reply reply;
};

// One connection thread; done is set (under the lock) as its last act.
struct Conn {
  std::thread thread;
  bool done = false;
};

enum class Wait { kReady, kTimedOut, kStopped, kFailed };

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (std::tolower(x) != std::tolower(y)) return false;
  }
  return true;
}

std::string Trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  std::size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

std::string StripPort(const std::string& hostValue) {
  if (!hostValue.empty() && hostValue[0] == '[') {
    std::size_t close = hostValue.find(']');
    return close == std::string::npos ? hostValue : hostValue.substr(0, close + 1);
  }
  return hostValue.substr(0, hostValue.find(':'));
}

// Lines end in LF with an optional CR before it; the last line may lack both.
std::string LineAt(const std::string& text, std::size_t begin, std::size_t* next) {
  std::size_t lf = text.find('\n', begin);
  std::size_t end = lf == std::string::npos ? text.size() : lf;
  *next = lf == std::string::npos ? text.size() : lf + 1;
  if (end > begin && text[end - 1] == '\r') --end;
  return text.substr(begin, end - begin);
}

void ParseRequest(const std::string& request, std::string* host, std::string* path) {
  std::size_t pos = 0;
  std::string line = LineAt(request, 0, &pos);
  std::size_t sp1 = line.find(' ');
  if (sp1 != std::string::npos) {
    std::size_t sp2 = line.find(' ', sp1 + 1);
    std::size_t len = sp2 == std::string::npos ? std::string::npos : sp2 - sp1 - 1;
    *path = line.substr(sp1 + 1, len);
  }
  while (pos < request.size()) {
    line = LineAt(request, pos, &pos);
    if (line.empty()) break;
    std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    if (EqualsNoCase(Trim(line.substr(0, colon)), "host")) {
      *host = StripPort(Trim(line.substr(colon + 1)));
      return;
    }
  }
}

Reply NotFound() {
  return Respond(
      HttpResponse("HTTP/1.1 404 Not Found", {"Content-Length: 0", "Connection: close"}, ""));
}

bool WouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }

// Closes the socket once; the handle value is forgotten so that it can never
// be closed again after Winsock has handed it out anew.
void CloseOnce(SOCKET* s) {
  if (*s == INVALID_SOCKET) return;
  closesocket(*s);
  *s = INVALID_SOCKET;
}

}  // namespace

Step Step::Send(const std::string& bytes) { return Step{kSend, bytes, 0}; }
Step Step::Pause(int ms) { return Step{kPause, "", ms}; }
Step Step::Close() { return Step{kClose, "", 0}; }
Step Step::Reset() { return Step{kReset, "", 0}; }
Step Step::HoldOpen(int ms) { return Step{kHoldOpen, "", ms}; }

Reply Respond(const std::string& bytes) {
  Reply r;
  r.steps = {Step::Send(bytes), Step::Close()};
  return r;
}

Reply RespondInChunks(const std::string& bytes, std::size_t chunk, int pauseMs) {
  if (chunk == 0) chunk = bytes.size();
  Reply r;
  for (std::size_t at = 0; at < bytes.size(); at += chunk) {
    if (at > 0) r.steps.push_back(Step::Pause(pauseMs));
    r.steps.push_back(Step::Send(bytes.substr(at, chunk)));
  }
  r.steps.push_back(Step::Close());
  return r;
}

Reply RespondKeepAlive(const std::string& bytes, int holdMs) {
  Reply r;
  r.steps = {Step::Send(bytes), Step::HoldOpen(holdMs)};
  return r;
}

Reply CloseAtOnce() {
  Reply r;
  r.readRequest = false;
  r.steps = {Step::Close()};
  return r;
}

Reply ResetAtOnce() {
  Reply r;
  r.readRequest = false;
  r.steps = {Step::Reset()};
  return r;
}

Reply Silent(int holdMs) {
  Reply r;
  r.steps = {Step::HoldOpen(holdMs)};
  return r;
}

std::string HttpResponse(const std::string& statusLine, const std::vector<std::string>& headerLines,
                         const std::string& body) {
  std::string text = statusLine + "\r\n";
  for (const std::string& line : headerLines) text += line + "\r\n";
  return text + "\r\n" + body;
}

std::string HeaderOfSize(const std::string& statusLine, std::size_t size, bool withEmptyLine) {
  std::string head = statusLine + "\r\n" + kPadName;
  std::string tail = withEmptyLine ? kHeaderEnd : "";
  if (size < head.size() + tail.size()) {
    return statusLine + (withEmptyLine ? kHeaderEnd : "\r\n");
  }
  return head + std::string(size - head.size() - tail.size(), 'a') + tail;
}

struct Server::State {
  mutable std::mutex mu;
  mutable std::condition_variable changed;  // exchanges, finishes, stop
  std::atomic<bool> stopping{false};
  bool running = false;
  SOCKET listener = INVALID_SOCKET;
  unsigned short port = 0;
  Clock::time_point started;
  std::thread acceptThread;
  std::list<Conn> conns;
  std::vector<RouteEntry> routes;
  bool hasDefault = false;
  Reply defaultReply;
  std::vector<Exchange> exchanges;
  bool recording = true;
  int connections = 0;
  int finished = 0;

  void MarkPeerClosed(Exchange* ex) const {
    if (ex->peerClosedMs < 0) ex->peerClosedMs = Now();
  }

  long long Now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
  }

  // Waits until s is readable (or writable) or ms pass, in slices.
  Wait WaitFor(SOCKET s, bool forWrite, int ms) const {
    Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      if (stopping) return Wait::kStopped;
      long long left =
          std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
      if (left < 0) return Wait::kTimedOut;
      long long slice = std::min<long long>(left, kSliceMs);
      fd_set set;
      FD_ZERO(&set);
      FD_SET(s, &set);
      timeval tv{0, static_cast<long>(slice * 1000)};
      int r = forWrite ? select(0, nullptr, &set, nullptr, &tv)
                       : select(0, &set, nullptr, nullptr, &tv);
      if (r == SOCKET_ERROR) return Wait::kFailed;
      if (r > 0) return Wait::kReady;
      if (left == 0) return Wait::kTimedOut;
    }
  }

  // Sleeps ms milliseconds; false when Stop cut the sleep short.
  bool Pause(int ms) const {
    std::unique_lock<std::mutex> lock(mu);
    return !changed.wait_for(lock, std::chrono::milliseconds(ms),
                             [this] { return stopping.load(); });
  }

  // The reply fixed before any request is read, when there is one.
  bool ReplyWithoutRequest(Reply* out) const {
    std::lock_guard<std::mutex> lock(mu);
    if (routes.empty()) {
      *out = hasDefault ? defaultReply : NotFound();
      return true;
    }
    if (routes[0].host.empty() && routes[0].path.empty()) {
      *out = routes[0].reply;
      return true;
    }
    return false;
  }

  Reply Choose(const std::string& host, const std::string& path) const {
    std::lock_guard<std::mutex> lock(mu);
    for (const RouteEntry& r : routes) {
      if ((r.host.empty() || EqualsNoCase(r.host, host)) && (r.path.empty() || r.path == path)) {
        return r.reply;
      }
    }
    return hasDefault ? defaultReply : NotFound();
  }

  void ReadRequest(SOCKET s, Exchange* ex) const;
  bool SendBytes(SOCKET s, const std::string& bytes, Exchange* ex) const;
  bool HoldOpen(SOCKET s, int ms, Exchange* ex) const;
  void CloseGracefully(SOCKET* s, Exchange* ex) const;
  void CloseAbortively(SOCKET* s, Exchange* ex) const;
  void Play(SOCKET* s, const Reply& reply, Exchange* ex) const;
  void Serve(SOCKET* s, int number);
  void ServeGuarded(SOCKET s, int number, Conn* conn);
  void Launch(SOCKET s);
  void AcceptLoop();
  void ReapFinished();
};

// Reads until the empty line, the peer's close, a quiet spell or the cap.
void Server::State::ReadRequest(SOCKET s, Exchange* ex) const {
  char buf[kRecvChunk];
  while (ex->request.size() < kRequestCap) {
    if (WaitFor(s, false, kRequestQuietMs) != Wait::kReady) return;
    int want = static_cast<int>(std::min(sizeof buf, kRequestCap - ex->request.size()));
    int n = recv(s, buf, want, 0);
    if (n == SOCKET_ERROR && WouldBlock()) continue;
    if (n <= 0) {
      MarkPeerClosed(ex);
      return;
    }
    std::size_t from = ex->request.size() >= 3 ? ex->request.size() - 3 : 0;
    ex->request.append(buf, static_cast<std::size_t>(n));
    if (ex->request.find(kHeaderEnd, from) != std::string::npos) return;
  }
}

// Offers all bytes to one send(); only when it takes fewer does it send the
// rest, once the socket can take more.
bool Server::State::SendBytes(SOCKET s, const std::string& bytes, Exchange* ex) const {
  std::size_t at = 0;
  while (at < bytes.size()) {
    int offer = static_cast<int>(std::min<std::size_t>(bytes.size() - at, INT_MAX));
    int n = send(s, bytes.data() + at, offer, 0);
    if (n == SOCKET_ERROR) {
      if (!WouldBlock()) {
        MarkPeerClosed(ex);
        return false;
      }
      n = 0;
    }
    if (n < offer && WaitFor(s, true, INT_MAX) != Wait::kReady) return false;
    at += static_cast<std::size_t>(n);
    ex->bytesSent += static_cast<std::size_t>(n);
  }
  return true;
}

// Stays silent until the peer closes or ms pass; true when the peer closed.
bool Server::State::HoldOpen(SOCKET s, int ms, Exchange* ex) const {
  Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
  char buf[kRecvChunk];
  for (;;) {
    long long left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left < 0 || WaitFor(s, false, static_cast<int>(left)) != Wait::kReady) {
      return false;
    }
    int n = recv(s, buf, sizeof buf, 0);
    if (n == SOCKET_ERROR && WouldBlock()) continue;
    if (n <= 0) {
      MarkPeerClosed(ex);
      return true;
    }
  }
}

// Unread bytes at closesocket make the stack send a reset instead of an
// orderly end, so what the peer still sends is read and dropped first.
void Server::State::CloseGracefully(SOCKET* s, Exchange* ex) const {
  ex->closedMs = Now();
  shutdown(*s, SD_SEND);
  HoldOpen(*s, kDrainMs, ex);
  CloseOnce(s);
}

void Server::State::CloseAbortively(SOCKET* s, Exchange* ex) const {
  ex->closedMs = Now();
  linger lin{1, 0};
  setsockopt(*s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&lin), sizeof lin);
  CloseOnce(s);
}

void Server::State::Play(SOCKET* s, const Reply& reply, Exchange* ex) const {
  for (const Step& step : reply.steps) {
    if (stopping) break;
    switch (step.kind) {
      case Step::kSend:
        if (!SendBytes(*s, step.bytes, ex)) {
          CloseAbortively(s, ex);
          return;
        }
        break;
      case Step::kPause:
        if (step.ms > 0) Pause(step.ms);
        break;
      case Step::kClose: CloseGracefully(s, ex); return;
      case Step::kReset: CloseAbortively(s, ex); return;
      case Step::kHoldOpen:
        if (HoldOpen(*s, step.ms, ex)) {
          ex->closedMs = Now();
          CloseOnce(s);
        } else {
          CloseGracefully(s, ex);
        }
        return;
    }
  }
  CloseGracefully(s, ex);
}

void Server::State::Serve(SOCKET* s, int number) {
  Exchange ex;
  ex.connection = number;
  ex.acceptedMs = Now();
  u_long nonBlocking = 1;
  ioctlsocket(*s, FIONBIO, &nonBlocking);

  Reply reply;
  bool known = ReplyWithoutRequest(&reply);
  if (!known || reply.readRequest) {
    ReadRequest(*s, &ex);
    ParseRequest(ex.request, &ex.host, &ex.path);
    if (!known) reply = Choose(ex.host, ex.path);
  }
  ex.requestEndMs = Now();
  std::size_t index = 0;
  bool record;
  {
    std::lock_guard<std::mutex> lock(mu);
    record = recording;
    if (record) {
      index = exchanges.size();
      exchanges.push_back(ex);
    }
  }
  changed.notify_all();

  Play(s, reply, &ex);
  if (record) {
    std::lock_guard<std::mutex> lock(mu);
    exchanges[index] = ex;
  }
}

void Server::State::ServeGuarded(SOCKET s, int number, Conn* conn) {
  try {
    Serve(&s, number);
  } catch (...) {
    // Allocation failure mid-script: the socket may still be open.
  }
  CloseOnce(&s);
  {
    std::lock_guard<std::mutex> lock(mu);
    ++finished;
    conn->done = true;
  }
  changed.notify_all();
}

void Server::State::Launch(SOCKET s) {
  std::lock_guard<std::mutex> lock(mu);
  int number = connections++;
  conns.emplace_back();
  Conn* conn = &conns.back();
  try {
    conn->thread = std::thread(&State::ServeGuarded, this, s, number, conn);
  } catch (...) {
    conns.pop_back();
    ++finished;
    closesocket(s);
  }
}

void Server::State::ReapFinished() {
  std::list<Conn> done;
  {
    std::lock_guard<std::mutex> lock(mu);
    for (auto it = conns.begin(); it != conns.end();) {
      auto next = std::next(it);
      if (it->done) done.splice(done.end(), conns, it);
      it = next;
    }
  }
  for (Conn& c : done) c.thread.join();
}

void Server::State::AcceptLoop() {
  try {
    while (!stopping) {
      ReapFinished();
      Wait w = WaitFor(listener, false, kSliceMs);
      if (w == Wait::kFailed) Sleep(kSliceMs);
      if (w != Wait::kReady) continue;
      SOCKET s = accept(listener, nullptr, nullptr);
      if (s == INVALID_SOCKET) continue;
      if (stopping) {
        closesocket(s);
        break;
      }
      Launch(s);
    }
  } catch (...) {
    // Nothing may leave the thread; Stop still joins what was launched.
  }
}

Server::Server() : state_(new State) {}

Server::~Server() {
  Stop();
  delete state_;
}

bool Server::Start(unsigned short port) {
  State& st = *state_;
  {
    std::lock_guard<std::mutex> lock(st.mu);
    if (st.running) return false;
  }
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return false;

  SOCKET l = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (l == INVALID_SOCKET) {
    WSACleanup();
    return false;
  }
  // Exclusive use: no other socket may bind the same port while we listen.
  BOOL exclusive = TRUE;
  setsockopt(l, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
             sizeof exclusive);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int addrLen = sizeof addr;
  u_long nonBlocking = 1;
  if (bind(l, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(l, SOMAXCONN) != 0 ||
      getsockname(l, reinterpret_cast<sockaddr*>(&addr), &addrLen) != 0 ||
      ioctlsocket(l, FIONBIO, &nonBlocking) != 0) {
    closesocket(l);
    WSACleanup();
    return false;
  }

  {
    std::lock_guard<std::mutex> lock(st.mu);
    st.listener = l;
    st.port = ntohs(addr.sin_port);
    st.started = Clock::now();
    st.exchanges.clear();
    st.connections = 0;
    st.finished = 0;
    st.stopping = false;
    st.running = true;
  }
  try {
    st.acceptThread = std::thread(&State::AcceptLoop, &st);
  } catch (...) {
    std::lock_guard<std::mutex> lock(st.mu);
    st.running = false;
    st.listener = INVALID_SOCKET;
    closesocket(l);
    WSACleanup();
    return false;
  }
  return true;
}

void Server::Stop() {
  State& st = *state_;
  {
    std::lock_guard<std::mutex> lock(st.mu);
    if (!st.running) return;
    st.stopping = true;
  }
  st.changed.notify_all();
  if (st.acceptThread.joinable()) st.acceptThread.join();
  closesocket(st.listener);

  // The accept thread is gone, so no connection is added from here on.
  std::list<Conn> all;
  {
    std::lock_guard<std::mutex> lock(st.mu);
    all.swap(st.conns);
  }
  for (Conn& c : all) c.thread.join();

  {
    std::lock_guard<std::mutex> lock(st.mu);
    st.listener = INVALID_SOCKET;
    st.running = false;
  }
  WSACleanup();
}

unsigned short Server::Port() const {
  std::lock_guard<std::mutex> lock(state_->mu);
  return state_->port;
}

void Server::Route(const std::string& host, const std::string& path, const Reply& reply) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->routes.push_back(RouteEntry{host, path, reply});
}

void Server::SetDefault(const Reply& reply) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->defaultReply = reply;
  state_->hasDefault = true;
}

void Server::RecordNothing() {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->recording = false;
}

std::vector<Exchange> Server::Exchanges() const {
  std::lock_guard<std::mutex> lock(state_->mu);
  return state_->exchanges;
}

int Server::ConnectionCount() const {
  std::lock_guard<std::mutex> lock(state_->mu);
  return state_->connections;
}

bool Server::WaitForExchanges(int n, int timeoutMs) const {
  State& st = *state_;
  std::unique_lock<std::mutex> lock(st.mu);
  return st.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    return st.exchanges.size() >= static_cast<std::size_t>(std::max(n, 0));
  });
}

bool Server::WaitForFinished(int n, int timeoutMs) const {
  State& st = *state_;
  std::unique_lock<std::mutex> lock(st.mu);
  return st.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return st.finished >= n; });
}

}  // namespace scenario
