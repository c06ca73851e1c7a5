// The remote program's own file "KelHIDRemote.ini": the remote's name, its named buttons with
// their actions, and the server's settings.
//
//   ; comments are whole lines
//   [Remote]
//   Name=myremote
//   [Buttons]
//   KEY_VOLUMEUP=2864,75
//   [Actions]
//   KEY_VOLUMEUP=keys:VolumeUp
//   [Server]
//   Enabled=1
//   Address=127.0.0.1
//   Port=8765
//
// Sections and keys are matched without regard to case, lines may end in CRLF or LF, and blanks
// around keys and values do not count. Comments stay with the line after them (the section
// header or key they describe); lines that cannot be taken are reported and written back as
// they were, so that a save loses nothing the user wrote.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "remote/ButtonNames.h"

inline constexpr std::string_view RemoteFileName = "KelHIDRemote.ini";
inline constexpr std::string_view DefaultRemoteName = "remote";
inline constexpr std::string_view DefaultServerAddress = "127.0.0.1";
inline constexpr uint16_t DefaultServerPort = 8765;

// The file in Dir: one backslash between them, none added when Dir ends with one.
[[nodiscard]] std::string RemoteFilePath(std::string_view Dir);

struct TServerSettings {
  bool Enabled = false;
  std::string Address{DefaultServerAddress};  // a dotted IPv4 address
  uint16_t Port = DefaultServerPort;
};

struct TRemoteButton {
  std::string Name;
  TCodePair Code;
  std::string Action;  // the action line, empty for none
  int ActionLine = 0;  // the action's line in the file loaded, 0 when it was set since
};

// A line of the file that could not be taken: its number (from 1) and why.
struct TFileProblem {
  int Line = 0;
  std::string Reason;
};

// "Line 7: ..." for the window's list of problems.
[[nodiscard]] std::string DescribeProblem(const TFileProblem& Problem);

class TRemoteFile {
 public:
  // Replaces the whole content with the file's text. Every line that cannot be taken is
  // reported and left out of the settings; the rest loads. A bad action line still loads as
  // the button's action text, so that it can be corrected, and is reported.
  std::vector<TFileProblem> Load(std::string_view Text);
  // The file's text: CRLF line ends, one key per line, the sections in the order above, then
  // sections of other names as they were read. Control characters in values go out as blanks.
  [[nodiscard]] std::string Save() const;

  [[nodiscard]] const std::string& RemoteName() const { return FRemoteName; }
  // Empty when done, else why not (the name follows the button names' rules).
  std::string SetRemoteName(std::string_view Name);

  [[nodiscard]] const TServerSettings& Server() const { return FServer; }
  // Empty when done, else why not (the address is no dotted IPv4 address, the port is 0).
  std::string SetServer(const TServerSettings& Server);

  [[nodiscard]] std::span<const TRemoteButton> Buttons() const { return FButtons; }
  // The button of that name (without regard to case) or of that pair; none when there is none.
  [[nodiscard]] const TRemoteButton* FindButton(std::string_view Name) const;
  [[nodiscard]] const TRemoteButton* FindButton(TCodePair Code) const;
  // The name of the pair's button, empty when the pair has none.
  [[nodiscard]] std::string_view ButtonName(TCodePair Code) const;

  // Each gives an empty text when done, else a message that says why nothing changed.
  // A new button is refused when its name is not valid, already used, or its pair already
  // named.
  std::string AddButton(std::string_view Name, TCodePair Code);
  // The button keeps its pair, its action and the comments above its lines.
  std::string RenameButton(std::string_view OldName, std::string_view NewName);
  // Removes the button with its action.
  std::string DeleteButton(std::string_view Name);
  // An empty action removes it; a bad action line is refused with the reason.
  std::string SetAction(std::string_view Name, std::string_view Action);

 private:
  TRemoteButton* Find(std::string_view Name);

  std::string FRemoteName{DefaultRemoteName};
  TServerSettings FServer;
  std::vector<TRemoteButton> FButtons;
  // Comments before the first section, and after the last line that is not one.
  std::vector<std::string> FHead;
  std::vector<std::string> FTail;
  // Comments above a line: by "section" for a header, "section=key" for a key (lower case).
  std::map<std::string, std::vector<std::string>> FComments;
  // Lines of the four sections that could not be taken, by section (lower case).
  std::map<std::string, std::vector<std::string>> FKept;
  // Sections of other names, whole, in the order read.
  std::vector<std::string> FOtherLines;
};
