#include "tools/scenario/NetworkFaults.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace scenario {
namespace {

constexpr unsigned short kNameServerPort = 53;
constexpr int kSliceMs = 20;
constexpr std::size_t kQueryCap = 512;

using Clock = std::chrono::steady_clock;

sockaddr_in Loopback(unsigned short port) {
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

// The query turned into its answer "no such name": the response bit and
// the name error code set, the question kept.
std::string NoSuchName(const std::string& query) {
  std::string answer = query;
  if (answer.size() >= 4) {
    answer[2] = static_cast<char>(answer[2] | 0x80);
    answer[3] = static_cast<char>((answer[3] & 0xF0) | 3);
  }
  return answer;
}

// Each fault holds a start of the socket library for its life.
void StartSockets() {
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
}

}  // namespace

struct SlowNameServer::State {
  struct Pending {
    std::string answer;
    sockaddr_in peer;
    Clock::time_point due;
  };
  int answerAfterMs;
  SOCKET socket = INVALID_SOCKET;
  std::atomic<bool> stop{false};
  std::atomic<int> queries{0};
  std::thread thread;

  void Serve() {
    std::vector<Pending> pending;
    while (!stop) {
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(socket, &readable);
      timeval slice = {0, kSliceMs * 1000};
      if (select(0, &readable, nullptr, nullptr, &slice) > 0) Take(&pending);
      for (auto it = pending.begin(); it != pending.end();) {
        if (Clock::now() < it->due) {
          ++it;
          continue;
        }
        sendto(socket, it->answer.data(), static_cast<int>(it->answer.size()), 0,
               reinterpret_cast<const sockaddr*>(&it->peer), sizeof it->peer);
        it = pending.erase(it);
      }
    }
  }

  void Take(std::vector<Pending>* pending) {
    char query[kQueryCap];
    sockaddr_in peer;
    int peerSize = sizeof peer;
    int n = recvfrom(socket, query, sizeof query, 0, reinterpret_cast<sockaddr*>(&peer), &peerSize);
    if (n <= 0) return;
    ++queries;
    if (answerAfterMs < 0) return;
    pending->push_back({NoSuchName(std::string(query, static_cast<std::size_t>(n))), peer,
                        Clock::now() + std::chrono::milliseconds(answerAfterMs)});
  }
};

SlowNameServer::SlowNameServer(int answerAfterMs) : state_(new State) {
  StartSockets();
  state_->answerAfterMs = answerAfterMs;
}

SlowNameServer::~SlowNameServer() {
  state_->stop = true;
  if (state_->thread.joinable()) state_->thread.join();
  if (state_->socket != INVALID_SOCKET) closesocket(state_->socket);
  delete state_;
  WSACleanup();
}

bool SlowNameServer::Start() {
  state_->socket = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address = Loopback(kNameServerPort);
  if (state_->socket == INVALID_SOCKET ||
      bind(state_->socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return false;
  }
  state_->thread = std::thread(&State::Serve, state_);
  return true;
}

int SlowNameServer::Queries() const { return state_->queries; }

DroppingListener::DroppingListener() : listener_(INVALID_SOCKET), port_(0) {
  StartSockets();
  for (SOCKET& s : fillers_) s = INVALID_SOCKET;
}

DroppingListener::~DroppingListener() {
  for (SOCKET s : fillers_) {
    if (s != INVALID_SOCKET) closesocket(s);
  }
  if (listener_ != INVALID_SOCKET) closesocket(listener_);
  WSACleanup();
}

// A backlog of 0 still queues one connection: the fillers complete their
// handshakes, never accepted, and every later attempt finds the queue full.
bool DroppingListener::Start(unsigned short port) {
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = Loopback(port);
  int size = sizeof address;
  if (listener_ == INVALID_SOCKET ||
      bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 0) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return false;
  }
  port_ = ntohs(address.sin_port);
  for (SOCKET& filler : fillers_) {
    filler = socket(AF_INET, SOCK_STREAM, 0);
    u_long nonBlocking = 1;
    if (filler == INVALID_SOCKET || ioctlsocket(filler, FIONBIO, &nonBlocking) != 0) return false;
    connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
  Sleep(100);  // the fillers' handshakes complete
  return true;
}

}  // namespace scenario
