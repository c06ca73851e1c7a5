#include "remote/LircServer.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <array>

namespace {

// What one send hands a socket at most: whole lines, well below the room a writable socket
// has.
constexpr size_t MaxChunkBytes = size_t{4} * 1024;
// Longer lines are not sent: no line of the server's is near this.
constexpr size_t MaxLineBytes = 1024;
// The socket's own buffer for a client's lines: a client that stops reading is dropped once
// this and its queue are full.
constexpr int SocketBufferBytes = 64 * 1024;
// Reads of one client's input per turn of the thread, so that no client can hold it.
constexpr int MaxReadsPerTurn = 16;

void SetNonBlocking(SOCKET Socket) {
  u_long on = 1;
  ioctlsocket(Socket, FIONBIO, &on);
}

void SetOption(SOCKET Socket, int Level, int Name, int Value) {
  setsockopt(Socket, Level, Name, reinterpret_cast<const char*>(&Value), sizeof(Value));
}

// Whether the socket has room for more now.
bool Writable(SOCKET Socket) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(Socket, &set);
  timeval now{};
  return select(0, nullptr, &set, nullptr, &now) == 1;
}

std::string Endpoint(const std::string& Address, uint16_t Port) {
  return Address + ":" + std::to_string(Port);
}

std::string ListenError(const std::string& Address, uint16_t Port, int Code) {
  std::string why;
  switch (Code) {
    case WSAEADDRINUSE:
    case WSAEACCES:
      why = "the port is in use by another program";
      break;
    case WSAEADDRNOTAVAIL:
      why = "the address is not one of this computer's";
      break;
    default:
      why = "Windows socket error " + std::to_string(Code);
      break;
  }
  return "The LIRC server cannot listen on " + Endpoint(Address, Port) + ": " + why +
         ". The program runs on without the server.";
}

}  // namespace

struct TLircServer::TClient {
  SOCKET Socket = INVALID_SOCKET;
  std::string Queue;  // whole lines not yet handed to the socket
  // Gone or Dropped once a send found the client gone or a line did not fit into the queue:
  // the server's thread then closes it.
  TFate Fate = TFate::Kept;
};

// The sockets of a running server, and Winsock for them.
struct TLircServer::TSockets {
  TSockets() { Started = WSAStartup(MAKEWORD(2, 2), &Data) == 0; }
  TSockets(const TSockets&) = delete;
  TSockets& operator=(const TSockets&) = delete;
  ~TSockets() {
    if (Listener != INVALID_SOCKET) closesocket(Listener);
    if (Wake != INVALID_SOCKET) closesocket(Wake);
    if (Started) WSACleanup();
  }

  WSADATA Data{};
  bool Started = false;
  SOCKET Listener = INVALID_SOCKET;
  // A datagram socket connected to itself: a byte sent to it wakes the thread's select().
  SOCKET Wake = INVALID_SOCKET;
};

TLircServer::TLircServer() = default;

TLircServer::~TLircServer() {
  Stop();
}

bool TLircServer::Running() const {
  const std::lock_guard lock(FLock);
  return FSockets != nullptr;
}

bool TLircServer::Start(const std::string& Address, uint16_t Port, std::string& Error) {
  Stop();
  auto sockets = std::make_unique<TSockets>();
  if (!sockets->Started) {
    Error =
        "The LIRC server cannot start: Windows sockets are not available. The program runs "
        "on without the server.";
    return false;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(Port);
  if (inet_pton(AF_INET, Address.c_str(), &address.sin_addr) != 1) {
    Error = "The LIRC server cannot listen on \"" + Address +
            "\": that is no dotted IPv4 address (such as 127.0.0.1). The program runs on "
            "without the server.";
    return false;
  }
  sockets->Listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (sockets->Listener == INVALID_SOCKET) {
    Error = ListenError(Address, Port, WSAGetLastError());
    return false;
  }
  // Neither SO_REUSEADDR (another program's port could be taken) nor SO_EXCLUSIVEADDRUSE
  // (the port would stay taken while closed connections linger after a stop).
  if (bind(sockets->Listener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(sockets->Listener, SOMAXCONN) != 0) {
    Error = ListenError(Address, Port, WSAGetLastError());
    return false;
  }
  sockaddr_in bound{};
  int length = sizeof(bound);
  getsockname(sockets->Listener, reinterpret_cast<sockaddr*>(&bound), &length);
  SetNonBlocking(sockets->Listener);

  sockaddr_in wake{};
  wake.sin_family = AF_INET;
  wake.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  length = sizeof(wake);
  sockets->Wake = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (sockets->Wake == INVALID_SOCKET ||
      bind(sockets->Wake, reinterpret_cast<const sockaddr*>(&wake), sizeof(wake)) != 0 ||
      getsockname(sockets->Wake, reinterpret_cast<sockaddr*>(&wake), &length) != 0 ||
      connect(sockets->Wake, reinterpret_cast<const sockaddr*>(&wake), sizeof(wake)) != 0) {
    Error = "The LIRC server cannot start (Windows socket error " +
            std::to_string(WSAGetLastError()) + "). The program runs on without the server.";
    return false;
  }
  SetNonBlocking(sockets->Wake);

  {
    const std::lock_guard lock(FLock);
    FSockets = std::move(sockets);
    FStopping = false;
  }
  FPort = ntohs(bound.sin_port);
  FDroppedCount = 0;
  FThread = std::thread([this] { Serve(); });
  Error.clear();
  return true;
}

void TLircServer::Stop() {
  {
    const std::lock_guard lock(FLock);
    if (FSockets == nullptr) return;
    FStopping = true;
    Wake();
  }
  if (FThread.joinable()) FThread.join();
  const std::lock_guard lock(FLock);
  FSockets.reset();
  FPort = 0;
}

void TLircServer::Wake() {
  const char byte = 0;
  send(FSockets->Wake, &byte, 1, 0);
}

void TLircServer::Send(std::string_view Line) {
  if (Line.empty() || Line.size() > MaxLineBytes) return;
  const bool addNewline = Line.back() != '\n';
  const size_t size = Line.size() + (addNewline ? 1 : 0);
  const std::lock_guard lock(FLock);
  if (FSockets == nullptr || FStopping || FClients.empty()) return;
  for (const auto& client : FClients) {
    if (client->Fate != TFate::Kept) continue;
    if (client->Queue.size() + size > MaxQueuedBytes) {
      client->Fate = TFate::Dropped;
      continue;
    }
    client->Queue += Line;
    if (addNewline) client->Queue += '\n';
    // Straight into the socket while it has room: the queue holds only what a client has not
    // read yet, however long the server's thread takes to come round.
    client->Fate = Flush(*client);
  }
  Wake();
}

void TLircServer::Serve() {
  for (;;) {
    fd_set readable;
    fd_set writable;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    {
      const std::lock_guard lock(FLock);
      if (FStopping) break;
      FD_SET(FSockets->Listener, &readable);
      FD_SET(FSockets->Wake, &readable);
      for (const auto& client : FClients) {
        FD_SET(client->Socket, &readable);
        if (!client->Queue.empty()) FD_SET(client->Socket, &writable);
      }
    }
    if (select(0, &readable, &writable, nullptr, nullptr) == SOCKET_ERROR) {
      // Only a socket closed under it can fail the wait; the next turn sees the change.
      Sleep(10);
    }

    const std::lock_guard lock(FLock);
    if (FStopping) break;
    if (FD_ISSET(FSockets->Wake, &readable)) {
      std::array<char, 64> bytes{};
      while (recv(FSockets->Wake, bytes.data(), static_cast<int>(bytes.size()), 0) > 0) {
      }
    }
    for (size_t i = 0; i < FClients.size();) {
      TClient& client = *FClients[i];
      TFate fate = client.Fate;
      if (fate == TFate::Kept && FD_ISSET(client.Socket, &readable) && !Discard(client))
        fate = TFate::Gone;
      if (fate == TFate::Kept) fate = Flush(client);
      if (fate == TFate::Kept) {
        ++i;
        continue;
      }
      closesocket(client.Socket);
      FClients.erase(FClients.begin() + static_cast<ptrdiff_t>(i));
      if (fate == TFate::Dropped) ++FDroppedCount;
    }
    if (FD_ISSET(FSockets->Listener, &readable)) Accept();
    FClientCount = FClients.size();
  }

  // What was sent before the stop goes out as far as the clients take it now.
  const std::lock_guard lock(FLock);
  for (const auto& client : FClients) {
    if (client->Fate == TFate::Kept) Flush(*client);
    closesocket(client->Socket);
  }
  FClients.clear();
  FClientCount = 0;
}

void TLircServer::Accept() {
  for (;;) {
    const SOCKET socket = accept(FSockets->Listener, nullptr, nullptr);
    if (socket == INVALID_SOCKET) return;
    if (FClients.size() >= MaxClients) {
      closesocket(socket);
      continue;
    }
    SetNonBlocking(socket);
    SetOption(socket, IPPROTO_TCP, TCP_NODELAY, 1);
    SetOption(socket, SOL_SOCKET, SO_SNDBUF, SocketBufferBytes);
    auto client = std::make_unique<TClient>();
    client->Socket = socket;
    FClients.push_back(std::move(client));
  }
}

bool TLircServer::Discard(TClient& Client) {
  std::array<char, 4096> input{};
  for (int i = 0; i < MaxReadsPerTurn; ++i) {
    const int got = recv(Client.Socket, input.data(), static_cast<int>(input.size()), 0);
    if (got > 0) continue;
    if (got == 0) return false;  // the client closed its side
    return WSAGetLastError() == WSAEWOULDBLOCK;
  }
  return true;
}

TLircServer::TFate TLircServer::Flush(TClient& Client) {
  while (!Client.Queue.empty() && Writable(Client.Socket)) {
    // Whole lines only: up to the last line end within a chunk, or the first line if longer.
    size_t size = Client.Queue.size();
    if (size > MaxChunkBytes) {
      size = Client.Queue.rfind('\n', MaxChunkBytes - 1);
      if (size == std::string::npos) size = Client.Queue.find('\n');
      ++size;
    }
    const int sent = send(Client.Socket, Client.Queue.data(), static_cast<int>(size), 0);
    if (sent == SOCKET_ERROR)
      return WSAGetLastError() == WSAEWOULDBLOCK ? TFate::Kept : TFate::Gone;
    // Part of a line went out: the rest would reach the client as a piece of its own.
    if (static_cast<size_t>(sent) != size) return TFate::Dropped;
    Client.Queue.erase(0, size);
  }
  return TFate::Kept;
}
