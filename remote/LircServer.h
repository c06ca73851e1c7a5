// The remote's LIRC-compatible TCP server (stand-in until the real one lands).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class TLircServer {
 public:
  TLircServer();
  ~TLircServer();
  TLircServer(const TLircServer&) = delete;
  TLircServer& operator=(const TLircServer&) = delete;
  bool Start(const std::string& Address, uint16_t Port, std::string& Error);
  void Stop();
  [[nodiscard]] bool Running() const;
  void Send(std::string_view Line);
  [[nodiscard]] size_t ClientCount() const;

 private:
  bool FRunning = false;
};
