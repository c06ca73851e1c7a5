// The receiver's configuration: the settings file loader and writer, and the "HID
// Configuration" dialog that lists the usable HID devices, sets the two delays and the
// scan-code check, and saves them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "dialogs/SettingsValues.h"
#include "dialogs/VersionInfo.h"
#include "gui/Form.h"
#include "hid/HidControllerClass.h"
#include "widgets/efcontrol.h"
#include "widgets/efnumeric.h"

class TDModHID;

// Loads "KelHID.ini" of the directory Dir into the engine's settings fields. Stops the engine's
// reception first. True only when the file was found; a missing file sets the defaults, a
// missing directory changes nothing. The folder name is wide or in the ANSI code page.
bool LoadHIDSettings(TDModHID* Engine, std::wstring_view Dir);
bool LoadHIDSettings(TDModHID* Engine, const char* Dir);

// Whether Dir, without the blanks at its ends, names an existing directory.
bool SettingsDirectoryExists(std::wstring_view Dir);

// Text of the ANSI code page as wide text, and back (a character the code page lacks as "?").
std::wstring WidenAnsi(std::string_view Text);
std::string NarrowAnsi(std::wstring_view Text);

// A settings file that could not be written.
class ESettingsWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Copies Settings into the engine, then writes them with Name to FileName, key by key; without
// a Name the file's NAME stays as it was. Raises ESettingsWriteError "Unable to write to <file>"
// at the first write that fails; the keys before it stay written.
void WriteHIDSettings(TDModHID& Engine, const std::wstring& FileName,
                      std::optional<std::string_view> Name, const THIDSettings& Settings);
void WriteHIDSettings(TDModHID& Engine, const std::string& FileName,
                      std::optional<std::string_view> Name, const THIDSettings& Settings);

// Writes the engine's settings into Dir's "KelHID.ini" as the dialog does; NAME is the line of
// the engine's claimed receiver as the dialog lists it, or stays as it was without one. False,
// with nothing written, when Dir names no existing directory; raises ESettingsWriteError as
// WriteHIDSettings does.
bool SaveHIDSettings(TDModHID& Engine, std::wstring_view Dir);

// The version of the file FileName from its version resource: the two halves of the file
// version's most and least significant words, and the reported file flags (VersionFlags). False,
// with the outputs untouched, when the file is missing or has no readable version resource.
bool GetFileVersion(const std::string& FileName, uint16_t& Major, uint16_t& Minor,
                    uint16_t& Release, uint16_t& Build, uint16_t& Flags);

// The "HID Configuration" dialog.
class TFormTHID final : public TForm {
  // Comes first: creates the window from the form definition before the fields are bound.
  struct TCreated {
    explicit TCreated(TFormTHID& Form);
  } FCreated;

 public:
  TFormTHID();

  TBitBtn& BitBtnOK;
  TBitBtn& BitBtnCancel;
  TPanel& Panel1;
  TLabel& LabelVer;
  TLabel& Label4;
  TLabel& Label5;
  TTrackBar& TBRepeat;
  TLabel& LabelRepeat;
  TListBox& LBHid;
  TLabel& Label1;
  TEfNumericField& NFCheck;
  TEfAttachedLabel& NFCheckLabel1;
  TBitBtn& BitBtnTest;
  TCheckBox& CBCheck;
  TLabel& Label2;
  TTrackBar& TBHeld;
  TLabel& LabelHeld;

  // The settings directory with a trailing backslash once it was found to exist, else empty.
  std::wstring FConfigDir;
  // "KelHID.ini" in FConfigDir; empty when there is no usable directory, and then OK saves
  // nothing.
  std::wstring FConfigFile;
  TDModHID* FEngine = nullptr;

  void TBRepeatChange(void* Sender);
  void BitBtnTestClick(void* Sender);
  void LBHidClick(void* Sender);
  void CBCheckClick(void* Sender);
  void TBHeldChange(void* Sender);

  // The device key: the vendor id in the upper 16 bits, the product id in the lower.
  [[nodiscard]] static constexpr uint32_t MakeDeviceKey(uint16_t VendorID, uint16_t ProductID) {
    return (uint32_t{VendorID} << 16) | ProductID;
  }
  // Gives the engine's receiver back and lists the usable devices in LBHid.
  void RefreshDeviceList();
  // The controller's OnEnumerate while RefreshDeviceList runs: lists the device at Idx when it
  // can be claimed and is open for reading and writing. Always goes on.
  bool EnumerateDevice(THidDevice* HidDev, int32_t Idx);
};

// Shows the configuration dialog for Engine with the settings file of the directory Dir (wide
// or in the ANSI code page). When the dialog is closed with OK and the settings could be saved,
// the engine and the file hold them and the result is the chosen receiver's device key;
// otherwise 0. Raises ESettingsWriteError when the file cannot be written (after the dialog is
// gone). With an Owner the dialog (and the ones it opens) disables only that window.
uint32_t ShowHIDSetup(TDModHID* Engine, std::wstring_view Dir, HWND Owner = nullptr);
uint32_t ShowHIDSetup(TDModHID* Engine, const char* Dir, HWND Owner = nullptr);
