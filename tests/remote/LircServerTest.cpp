#include "remote/LircServer.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "remote/LircLine.h"

namespace {

// Waits for a condition the server's thread brings about; false when it does not come within
// a generous bound. No test asserts how long anything takes.
bool Eventually(const std::function<bool()>& Condition) {
  for (int i = 0; i < 1000; ++i) {
    if (Condition()) return true;
    Sleep(10);
  }
  return Condition();
}

std::string Line(uint32_t Count) {
  return LircLine({2864, 75}, Count, "KEY_VOLUMEUP", "myremote");
}

// A LIRC client: a blocking socket that reads lines. A read waits at most ten seconds, so that
// a fault fails the test instead of hanging it.
class TClient {
 public:
  // ReceiveBuffer > 0: the socket's receive buffer, set before it connects.
  explicit TClient(uint16_t Port, int ReceiveBuffer = 0) {
    FSocket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const DWORD timeout = 10000;
    setsockopt(FSocket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof(timeout));
    setsockopt(FSocket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof(timeout));
    if (ReceiveBuffer > 0)
      setsockopt(FSocket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&ReceiveBuffer),
                 sizeof(ReceiveBuffer));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(Port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    FConnected =
        connect(FSocket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  }
  TClient(const TClient&) = delete;
  TClient& operator=(const TClient&) = delete;
  ~TClient() { closesocket(FSocket); }

  [[nodiscard]] bool Connected() const { return FConnected; }

  // The next line with its "\n"; empty when the connection ended (or nothing came).
  std::string ReadLine() {
    for (;;) {
      const size_t end = FBuffer.find('\n');
      if (end != std::string::npos) {
        std::string line = FBuffer.substr(0, end + 1);
        FBuffer.erase(0, end + 1);
        return line;
      }
      if (!Receive()) return {};
    }
  }
  // Everything until the connection ends; false when it did not end.
  bool ReadToEnd(std::string& Text) {
    while (Receive()) {
    }
    Text = std::move(FBuffer);
    FBuffer.clear();
    return FEnded;
  }
  // Whether the server closed the connection (it sends nothing before).
  bool Closed() {
    std::string rest;
    return ReadToEnd(rest) && rest.empty();
  }
  bool Write(std::string_view Text) {
    while (!Text.empty()) {
      const int sent = send(FSocket, Text.data(), static_cast<int>(Text.size()), 0);
      if (sent <= 0) return false;
      Text.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
  }

 private:
  bool Receive() {
    char bytes[4096];
    const int got = recv(FSocket, bytes, sizeof(bytes), 0);
    if (got > 0) {
      FBuffer.append(bytes, static_cast<size_t>(got));
      return true;
    }
    // A reset counts as the end too: the server closed a connection it never read from.
    FEnded = got == 0 || WSAGetLastError() == WSAECONNRESET;
    return false;
  }

  SOCKET FSocket = INVALID_SOCKET;
  bool FConnected = false;
  bool FEnded = false;
  std::string FBuffer;
};

class LircServer : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(FServer.Start("127.0.0.1", 0, error)) << error;
    ASSERT_TRUE(error.empty());
    ASSERT_TRUE(FServer.Running());
    ASSERT_NE(FServer.Port(), 0);
  }

  // A client, once the server has taken it.
  std::unique_ptr<TClient> Connect(int ReceiveBuffer = 0) {
    const size_t before = FServer.ClientCount();
    auto client = std::make_unique<TClient>(FServer.Port(), ReceiveBuffer);
    EXPECT_TRUE(client->Connected());
    EXPECT_TRUE(Eventually([&] { return FServer.ClientCount() == before + 1; }));
    return client;
  }

  TLircServer FServer;
};

TEST_F(LircServer, LinesArriveWholeAndInOrderAtEveryClient) {
  auto first = Connect();
  auto second = Connect();
  // A client's commands are read and thrown away, however many: were they left unread, this
  // write would stop once the connection's buffers are full.
  std::string commands;
  while (commands.size() < 16 * 1024 * 1024) commands += "VERSION\nLIST\n";
  ASSERT_TRUE(second->Write(commands));

  // A burst of lines far beyond a client's queue, sent before either client reads one: the
  // sockets take them as they come, whenever the server's thread gets its turn.
  constexpr uint32_t Burst = 1000;
  static_assert(Burst * 40 > 4 * TLircServer::MaxQueuedBytes);
  for (uint32_t i = 0; i < Burst; ++i) FServer.Send(Line(i));
  // The line end is added where the caller left it out.
  FServer.Send("0000004b00000b30 00 KEY_MUTE myremote");
  for (auto* client : {first.get(), second.get()}) {
    for (uint32_t i = 0; i < Burst; ++i) ASSERT_EQ(client->ReadLine(), Line(i));
    EXPECT_EQ(client->ReadLine(), "0000004b00000b30 00 KEY_MUTE myremote\n");
  }
  EXPECT_EQ(FServer.ClientCount(), 2u);
  EXPECT_EQ(FServer.DroppedCount(), 0u);
}

TEST_F(LircServer, TakesSixteenClientsAndClosesTheSeventeenth) {
  std::vector<std::unique_ptr<TClient>> clients;
  for (size_t i = 0; i < TLircServer::MaxClients; ++i) clients.push_back(Connect());
  ASSERT_EQ(FServer.ClientCount(), 16u);

  TClient seventeenth(FServer.Port());
  ASSERT_TRUE(seventeenth.Connected());
  EXPECT_TRUE(seventeenth.Closed());
  EXPECT_EQ(FServer.ClientCount(), 16u);
  FServer.Send(Line(0));
  for (auto& client : clients) EXPECT_EQ(client->ReadLine(), Line(0));

  // A client that goes makes room for another.
  clients.pop_back();
  ASSERT_TRUE(Eventually([&] { return FServer.ClientCount() == 15; }));
  EXPECT_EQ(FServer.DroppedCount(), 0u);
  clients.push_back(Connect());
  FServer.Send(Line(1));
  for (auto& client : clients) EXPECT_EQ(client->ReadLine(), Line(1));
}

TEST_F(LircServer, DropsAClientThatStopsReadingWhileTheOthersGetEveryLine) {
  auto reading = Connect();
  auto stalled = Connect(4096);
  // Send returns at once whatever the stalled client does: the loop ends only because it
  // does. The reading client gets each line before the next is sent.
  uint32_t sent = 0;
  for (; sent < 200000 && FServer.DroppedCount() == 0; ++sent) {
    FServer.Send(Line(sent));
    ASSERT_EQ(reading->ReadLine(), Line(sent)) << sent;
  }
  ASSERT_EQ(FServer.DroppedCount(), 1u) << sent << " lines sent";
  ASSERT_TRUE(Eventually([&] { return FServer.ClientCount() == 1; }));
  for (uint32_t i = 0; i < 100; ++i) {
    FServer.Send(Line(sent + i));
    ASSERT_EQ(reading->ReadLine(), Line(sent + i));
  }

  // The stalled client got the first lines, each whole, then the end of the connection.
  std::string got;
  ASSERT_TRUE(stalled->ReadToEnd(got));
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back(), '\n') << "a line was cut: "
                              << got.substr(got.size() - std::min<size_t>(got.size(), 60));
  std::string expected;
  for (uint32_t i = 0; expected.size() < got.size(); ++i) expected += Line(i);
  EXPECT_TRUE(got == expected) << got.size() << " bytes did not match the lines sent";
  EXPECT_LT(got.size(), sent * Line(0).size());
}

TEST_F(LircServer, StopClosesEveryClientAndAStartAfterwardsListensAgain) {
  auto first = Connect();
  auto second = Connect();
  FServer.Send(Line(0));
  const uint16_t port = FServer.Port();
  FServer.Stop();
  EXPECT_FALSE(FServer.Running());
  EXPECT_EQ(FServer.Port(), 0);
  EXPECT_EQ(FServer.ClientCount(), 0u);
  FServer.Send(Line(1));  // nothing to send to
  // What was sent before the stop still arrives, then the end.
  for (auto* client : {first.get(), second.get()}) {
    EXPECT_EQ(client->ReadLine(), Line(0));
    EXPECT_TRUE(client->Closed());
  }

  // The same port again, although the connections just closed may linger.
  std::string error;
  ASSERT_TRUE(FServer.Start("127.0.0.1", port, error)) << error;
  EXPECT_EQ(FServer.Port(), port);
  auto third = Connect();
  FServer.Send(Line(2));
  EXPECT_EQ(third->ReadLine(), Line(2));
}

TEST_F(LircServer, RefusesAPortInUseAndAddressesItCannotListenOn) {
  const std::string port = std::to_string(FServer.Port());
  struct TCase {
    std::string Address;
    std::vector<std::string> Says;
  };
  const TCase cases[] = {
      {"127.0.0.1", {"127.0.0.1:" + port, "in use", "runs on without the server"}},
      {"localhost", {"\"localhost\"", "IPv4", "runs on without the server"}},
      {"127.0.0.256", {"\"127.0.0.256\"", "IPv4"}},
      {"", {"\"\"", "IPv4"}},
      // TEST-NET-1: no computer's own.
      {"192.0.2.1", {"192.0.2.1:" + port, "not one of this computer's"}},
  };
  for (const TCase& c : cases) {
    TLircServer other;
    std::string error;
    EXPECT_FALSE(other.Start(c.Address, FServer.Port(), error)) << c.Address;
    EXPECT_FALSE(other.Running());
    for (const std::string& text : c.Says)
      EXPECT_NE(error.find(text), std::string::npos) << error << " lacks " << text;
  }
  // The server that has the port goes on serving.
  auto client = Connect();
  FServer.Send(Line(0));
  EXPECT_EQ(client->ReadLine(), Line(0));
}

}  // namespace
