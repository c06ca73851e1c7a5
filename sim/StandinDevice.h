// The server side of one stand-in HID device: a named pipe the device's users open as the
// device. Writing a message to the pipe is an input report; closing the pipe is an unplug.
//
// A server thread keeps several instances of the pipe listening, so that the device can be
// opened again at once after a handle to it was closed, and notices when a user goes.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "hid/UniqueHandle.h"
#include "sim/StandinBus.h"

class TStandinDevice {
 public:
  // A new device with a serial of its own, plugged in unless told otherwise.
  explicit TStandinDevice(const standin::TDeviceKind& Kind = {}, bool PluggedIn = true);
  TStandinDevice(const TStandinDevice&) = delete;
  TStandinDevice& operator=(const TStandinDevice&) = delete;
  ~TStandinDevice();

  // Plugging in creates the pipe and lists the device on the bus; unplugging takes it off the
  // bus and closes every instance, ending every user's connection. The device-change broadcast
  // is left to the caller.
  void Plug();
  void Unplug();
  [[nodiscard]] bool IsPlugged() const { return FServer.joinable(); }

  [[nodiscard]] const std::string& Path() const { return FPath; }
  [[nodiscard]] DWORD DevInst() const { return FName.Serial; }
  [[nodiscard]] const standin::TDeviceKind& Kind() const { return FName.Kind; }

  // Writes Report as one message to every user connected now that does not query the device
  // (a handle the stand-in HID.dll was asked about); returns how many took it: the reader.
  int Send(std::span<const uint8_t> Report);
  // Sends Report until a user takes it, waiting for each new connection; false after Timeout.
  // Like a real device's reports, it goes to every reader: also to one that is closing while
  // the next opens.
  bool SendToReader(std::span<const uint8_t> Report, DWORD TimeoutMs = 5000);
  // Ends every user's connection but stays plugged in.
  void DropClients();
  // Connections made so far.
  [[nodiscard]] int Connections() const { return FConnections; }

 private:
  struct TInstance {
    TUniqueHandle Pipe;
    TUniqueHandle Event;  // signalled when the pending connect or watch read ends
    OVERLAPPED Overlapped{};
    bool Connected = false;
    bool Gone = false;  // the user went before an operation could start: listen again
    // The user asked the stand-in HID.dll about the device: it only queries, never reads.
    bool Query = false;
    uint8_t Probe = 0;
  };

  void Serve();
  // Takes the next step of an instance whose pending operation has ended.
  void Advance(TInstance& Instance);
  // With FLock held.
  void AddInstance();
  void Listen(TInstance& Instance);
  void Connected(TInstance& Instance);
  void Watch(TInstance& Instance);
  void Reclaim();
  void KeepIdle();
  void Drop();
  bool Write(TInstance& Instance, std::span<const uint8_t> Report);
  static void Retire(TInstance& Instance);

  standin::TDeviceName FName;
  std::string FPath;
  std::mutex FLock;
  std::vector<std::unique_ptr<TInstance>> FInstances;
  TUniqueHandle FStop;          // asks the server thread to end
  TUniqueHandle FDrop;          // asks the server thread to drop its users
  TUniqueHandle FDropped;       // the server thread has dropped them
  TUniqueHandle FConnectEvent;  // auto-reset; set on every new connection
  TUniqueHandle FWriteEvent;
  std::atomic<int> FConnections{0};
  std::thread FServer;
};
