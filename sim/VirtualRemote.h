// The "Virtual Remote" window: a remote control whose receiver is a stand-in device on the
// simulated bus. A click on a key sends the key's report; a key held down with the mouse or
// its keyboard shortcut sends it again every 108 ms with the held flag set, until it is let
// go. "Plugged in" plugs the receiver in and out. The last reports sent are listed.
//
// It can also play a short sequence by itself for runs nobody watches: some keys, an unplug and
// a re-plug, more keys and a key held for two seconds.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "gui/Form.h"
#include "sim/RemoteKeys.h"
#include "sim/StandinDevice.h"

class TVirtualRemote final : public TForm {
  // Comes first: creates the window from the form definition before the fields are bound.
  struct TCreated {
    explicit TCreated(TVirtualRemote& Form);
  } FCreated;

 public:
  // PlaySequence: play the sequence once the receiver is being read.
  explicit TVirtualRemote(bool PlaySequence);
  ~TVirtualRemote() override;

  TCheckBox& PluggedIn;
  TListBox& Reports;
  TLabel& Status;
  TTimer& Ticker;

  void PluggedInClick(void* Sender);
  void TickerTimer(void* Sender);

  bool PreTranslateMessage(MSG& Message) override;

 protected:
  LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override;

 private:
  // What holds the key down.
  enum class TSource : uint8_t { None, Mouse, Keyboard, Sequence };

  [[nodiscard]] const remote::TKey* KeyOfButton(HWND Window) const;
  [[nodiscard]] const remote::TKey* KeyOfShortcut(WPARAM VirtualKey) const;
  [[nodiscard]] HWND ButtonOf(const remote::TKey& Key) const;

  void PressKey(const remote::TKey& Key, TSource Source, WPARAM VirtualKey = 0);
  void ReleaseKey();
  void Send(const remote::TKey& Key, bool Held);
  void SetPlugged(bool Value);
  void AddLine(const std::string& Line);
  void StepSequence(uint64_t NowMs);
  // Whether some program holds the receiver open for reading now.
  bool Probe();
  void UpdateTicker();

  TStandinDevice FDevice;
  std::vector<std::pair<HWND, const remote::TKey*>> FButtons;
  remote::TKeyRepeat FRepeat;
  const remote::TKey* FHeldKey = nullptr;
  TSource FSource = TSource::None;
  WPARAM FHeldVirtualKey = 0;

  bool FPlaying = false;
  size_t FStep = 0;
  bool FStepBegun = false;
  uint64_t FStepStartMs = 0;
  uint64_t FLastProbeMs = 0;
  int FReadersSeen = 0;  // probes in a row that found a reader
};
