// What the remote program does with each code the receiver accepts: the button it names, the
// action to run, and the server's line. No Windows here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "remote/Actions.h"
#include "remote/ButtonNames.h"
#include "remote/LircLine.h"
#include "remote/RemoteFile.h"

struct TCodeOutcome {
  std::string ButtonName;  // empty for a pair no button has
  bool RunAction = false;  // Action is to run now
  TAction Action;
  // The button's action line cannot be taken: why; nothing runs.
  std::string ActionProblem;
  std::string Line;  // the line for the server's clients
};

class TRemoteEvents {
 public:
  // A code event: Repeat for a repeat of a held key (whose pair is the press's). A press runs
  // the button's action; a repeat runs it again only where the action repeats while held.
  TCodeOutcome Code(const TRemoteFile& File, TCodePair Code, bool Repeat);
  // The held key was let go.
  void Release() { FCounter.Release(); }

 private:
  TRepeatCounter FCounter;
};

// The window's text for the last code received: "2864,75  KEY_VOLUMEUP", or with "(unnamed)".
[[nodiscard]] std::string LastCodeText(TCodePair Code, std::string_view ButtonName);
// A row of the window's button list: name, pair and action, with a tab between them.
[[nodiscard]] std::string ButtonRow(const TRemoteButton& Button);
