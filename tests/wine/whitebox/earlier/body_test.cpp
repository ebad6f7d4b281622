// The earlier edition's units linked in directly: its one body receive, when
// the peer has more body than the buffer holds.
#include <gtest/gtest.h>

#include <cstring>

#include "component/TZHttp.h"
#include "component/Edition.h"
#include "support/OsCalls.h"
#include "tests/wine/TestBench.h"

namespace {

// A port whose low byte is not zero, so that a stray terminator shows.
constexpr unsigned short kPort = 8081;

// The header is read from the network (its receives ask for no more than
// the header's bound); a body receive gets every byte it asks for.
int WSAAPI FullBodyReceive(SOCKET s, char* bytes, int count, int flags) {
  if (count <= static_cast<int>(quarvel::kHeaderReadLimit)) {
    return quarvel::kSystemOsCalls.recv(s, bytes, count, flags);
  }
  std::memset(bytes, 'b', static_cast<std::size_t>(count));
  return count;
}

TEST(EarlierBody, FullReceiveAndItsTerminatorStayInTheBodyBuffer) {
  bench::ResetSetupKey();
  bench::FreshInstallDir("earlier-whitebox-body");
  quarvel::StartUnits();
  scenario::Server server;
  server.SetDefault(scenario::RespondKeepAlive("HTTP/1.1 200 OK\r\n\r\n", 2000));
  ASSERT_TRUE(server.Start(kPort));
  void* out = nullptr;
  ASSERT_EQ(CreateComponent(IID_IZHttp, &out), S_OK);
  auto* component = static_cast<TZHttp*>(static_cast<IZHttp*>(out));
  component->SetTimeOut(1000);

  quarvel::gOs.recv = FullBodyReceive;
  EXPECT_EQ(component->Get(("http://127.0.0.1:" + std::to_string(kPort) + "/").c_str()), 1);
  quarvel::gOs = quarvel::kSystemOsCalls;
  EXPECT_EQ(std::strlen(component->szResponseBody), sizeof component->szResponseBody - 1);
  EXPECT_EQ(component->iPort, kPort);  // the field after the body
  component->Release();
  quarvel::StopUnits();
}

}  // namespace
