// The remote's LIRC-compatible TCP server: every client that connects gets the lines the
// program sends, one line per accepted code ("remote/LircLine.h").
//
// A thread of the server's own owns the sockets (non-blocking, TCP_NODELAY) and waits on them
// with select(). Each client has a queue of whole lines, at most MaxQueuedBytes; Send adds the
// line to each queue and hands the socket what it has room for now, without waiting, and the
// thread hands it the rest as room comes, so the caller never waits for a client. A socket is
// given whole lines only, and only while it reports room for them, so that a line reaches the
// client in one piece (LIRC's own relay drops a server whose line arrives in two). A client
// whose queue would overflow (it stopped reading, and its socket's buffer is full) is dropped;
// so is one whose socket took only part of what it was given, before anything else is sent to
// it.
//
// At most MaxClients clients at a time; a connection beyond them is closed as soon as it is
// accepted. What clients send (LIRC clients may send commands such as "VERSION") is read and
// thrown away, so that it never piles up.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class TLircServer {
 public:
  static constexpr size_t MaxClients = 16;
  static constexpr size_t MaxQueuedBytes = size_t{8} * 1024;

  TLircServer();
  TLircServer(const TLircServer&) = delete;
  TLircServer& operator=(const TLircServer&) = delete;
  ~TLircServer();

  // Listens on Address (a dotted IPv4 address) and Port; Port 0 takes any free port (see
  // Port()). A server that runs already is stopped first. False with Error set to a text for
  // the user when it cannot listen (the port is in use, the address is not this computer's,
  // ...); the server is then stopped.
  bool Start(const std::string& Address, uint16_t Port, std::string& Error);
  // Closes every client's connection (after what it can take now of its queue) and the
  // listening socket; waits for the server's thread.
  void Stop();
  [[nodiscard]] bool Running() const;
  // The port listened on; 0 when the server does not run.
  [[nodiscard]] uint16_t Port() const { return FPort; }

  // Sends one whole line to every client connected now, or queues it, and returns at once. Line
  // should end in "\n" (one is added when it does not); an empty line is not sent. Nothing happens
  // when the server does not run.
  void Send(std::string_view Line);

  [[nodiscard]] size_t ClientCount() const { return FClientCount; }
  // Clients dropped since Start because they could not take the lines (they stopped reading).
  [[nodiscard]] size_t DroppedCount() const { return FDroppedCount; }

 private:
  struct TClient;
  struct TSockets;
  // What becomes of a client after a turn of the thread.
  enum class TFate { Kept, Gone, Dropped };

  void Serve();
  void Accept();
  // Reads and throws away what the client sent; false when it has gone.
  bool Discard(TClient& Client);
  // Hands the client's socket whole lines while it has room.
  TFate Flush(TClient& Client);
  void Wake();

  std::unique_ptr<TSockets> FSockets;
  std::thread FThread;
  mutable std::mutex FLock;
  // Under FLock: the clients with their queues; Send reads them, the thread changes them.
  std::vector<std::unique_ptr<TClient>> FClients;
  bool FStopping = false;
  std::atomic<uint16_t> FPort{0};
  std::atomic<size_t> FClientCount{0};
  std::atomic<size_t> FDroppedCount{0};
};
