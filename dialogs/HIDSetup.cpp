#include "dialogs/HIDSetup.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

#include "dialogs/HIDGetIR.h"
#include "engine/DMHID.h"
#include "gui/Application.h"

std::wstring WidenAnsi(std::string_view Text) {
  if (Text.empty()) return {};
  const int size =
      MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) {
    MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), out.data(), size);
  }
  return out;
}

std::string NarrowAnsi(std::wstring_view Text) {
  if (Text.empty()) return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), out.data(), size,
                        nullptr, nullptr);
  }
  return out;
}

namespace {

bool DirectoryExists(const std::wstring& Path) {
  const DWORD attributes = GetFileAttributesW(Path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

template <class Char>
bool FileExists(const std::basic_string<Char>& Path) {
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  if constexpr (std::is_same_v<Char, wchar_t>) {
    attributes = GetFileAttributesW(Path.c_str());
  } else {
    attributes = GetFileAttributesA(Path.c_str());
  }
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A key's value in section SETUP; none when the key is missing or its value is too long to be
// read whole (a value cut off could parse as another number).
std::optional<std::string> ReadValue(const std::wstring& File, std::string_view Key) {
  const std::wstring section = WidenAnsi(SettingsSection);
  const std::wstring key = WidenAnsi(Key);
  // A default no value can equal tells a missing key from an empty one.
  constexpr const wchar_t* Missing = L"\x01";
  constexpr size_t Limit = size_t{1} << 20;
  std::vector<wchar_t> buffer(256);
  for (;;) {
    const DWORD got = GetPrivateProfileStringW(section.c_str(), key.c_str(), Missing, buffer.data(),
                                               static_cast<DWORD>(buffer.size()), File.c_str());
    if (got + 1 < buffer.size()) {
      const std::wstring_view value(buffer.data(), got);
      if (value == Missing) return std::nullopt;
      return NarrowAnsi(value);
    }
    if (buffer.size() >= Limit) return std::nullopt;
    buffer.resize(buffer.size() * 4);
  }
}

void PutIntoEngine(TDModHID& Engine, const THIDSettings& Settings) {
  Engine.FVendorID = Settings.VendorID;
  Engine.FProductID = Settings.ProductID;
  Engine.FRepeatDelay = Settings.RepeatDelay;
  Engine.FHeldDelay = Settings.HeldDelay;
  Engine.FCheckByte = Settings.CheckByte;
  Engine.FUseCheck = Settings.UseCheck;
}

// The line of a device in the dialog's list (see below).
std::string DeviceLine(THidDevice& Device);

}  // namespace

bool SettingsDirectoryExists(std::wstring_view Dir) {
  const std::wstring dir(TrimBlanks(Dir));
  return !dir.empty() && DirectoryExists(dir);
}

bool LoadHIDSettings(TDModHID* Engine, std::wstring_view Dir) {
  if (Engine != nullptr) Engine->StopReceiving();
  const std::wstring dir(TrimBlanks(Dir));
  if (dir.empty() || !DirectoryExists(dir)) return false;
  if (Engine != nullptr) Engine->FIniDir = NarrowAnsi(dir);

  const std::wstring file = SettingsFilePath(std::wstring_view(dir));
  const bool found = FileExists(file);
  const THIDSettings settings =
      found ? ReadSettings([&file](std::string_view key) { return ReadValue(file, key); })
            : THIDSettings{};
  if (Engine != nullptr) PutIntoEngine(*Engine, settings);
  return found;
}

bool LoadHIDSettings(TDModHID* Engine, const char* Dir) {
  return LoadHIDSettings(Engine, WidenAnsi(Dir != nullptr ? std::string_view(Dir) : ""));
}

void WriteHIDSettings(TDModHID& Engine, const std::wstring& FileName,
                      std::optional<std::string_view> Name, const THIDSettings& Settings) {
  PutIntoEngine(Engine, Settings);

  const std::wstring section = WidenAnsi(SettingsSection);
  for (const auto& [key, value] : SettingsLines(Name.value_or(""), Settings)) {
    if (!Name && key == "NAME") continue;
    const std::wstring k = WidenAnsi(key);
    if (!WritePrivateProfileStringW(section.c_str(), k.c_str(), WidenAnsi(value).c_str(),
                                    FileName.c_str())) {
      throw ESettingsWriteError("Unable to write to " + NarrowAnsi(FileName));
    }
  }
}

void WriteHIDSettings(TDModHID& Engine, const std::string& FileName,
                      std::optional<std::string_view> Name, const THIDSettings& Settings) {
  WriteHIDSettings(Engine, WidenAnsi(FileName), Name, Settings);
}

bool SaveHIDSettings(TDModHID& Engine, std::wstring_view Dir) {
  const std::wstring dir(TrimBlanks(Dir));
  if (dir.empty() || !DirectoryExists(dir)) return false;
  std::optional<std::string> name;
  if (Engine.FDevice != nullptr) name = DeviceLine(*Engine.FDevice);
  const THIDSettings settings{.VendorID = Engine.FVendorID,
                              .ProductID = Engine.FProductID,
                              .RepeatDelay = Engine.FRepeatDelay,
                              .HeldDelay = Engine.FHeldDelay,
                              .CheckByte = Engine.FCheckByte,
                              .UseCheck = Engine.FUseCheck};
  WriteHIDSettings(Engine, SettingsFilePath(std::wstring_view(dir)), name, settings);
  return true;
}

bool GetFileVersion(const std::string& FileName, uint16_t& Major, uint16_t& Minor,
                    uint16_t& Release, uint16_t& Build, uint16_t& Flags) {
  if (!FileExists(FileName)) return false;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(FileName.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<char> info(size);
  if (!GetFileVersionInfoA(FileName.c_str(), 0, size, info.data())) return false;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  char root[] = "\\";
  if (!VerQueryValueA(info.data(), root, reinterpret_cast<void**>(&fixed), &length) ||
      fixed == nullptr || length < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  Major = HIWORD(fixed->dwFileVersionMS);
  Minor = LOWORD(fixed->dwFileVersionMS);
  Release = HIWORD(fixed->dwFileVersionLS);
  Build = LOWORD(fixed->dwFileVersionLS);
  Flags = VersionFlags(fixed->dwFileFlags & fixed->dwFileFlagsMask);
  return true;
}

// --- The "HID Configuration" dialog ------------------------------------------------------------

namespace {

constexpr TLabelProps CentredLabel{.Alignment = TAlignment::Center};
constexpr TLabelProps RepeatCaption{.FocusControl = "TBRepeat"};
constexpr TLabelProps HeldCaption{.FocusControl = "TBHeld"};
constexpr TLabelProps DevicesCaption{.FocusControl = "LBHid"};
constexpr TTrackBarProps DelayBar{
    .Min = 10, .Max = 5000, .Position = 10, .PageSize = 200, .Frequency = 200};
constexpr TListBoxProps DeviceList{.ItemHeight = 13};
constexpr TBitBtnProps OkKind{.Kind = TBitBtnKind::OK};
constexpr TBitBtnProps CancelKind{.Kind = TBitBtnKind::Cancel};

// Test: a remote control sending its beam.
constexpr TGlyphColor RemoteColors[] = {
    {'k', RGB(64, 64, 64)}, {'w', RGB(224, 224, 224)}, {'r', RGB(220, 0, 0)}};
// clang-format off
constexpr TGlyph RemoteGlyph{
    .Rows = {"................",
             "..........rr....",
             "............r...",
             "...kkkkk.rr..r..",
             "..kkkrkkk..r..r.",
             "..kkkkkkk..r..r.",
             "..kwkwkwk.r..r..",
             "..kkkkkkk...r...",
             "..kwkwkwk.......",
             "..kkkkkkk.......",
             "..kwkwkwk.......",
             "..kkkkkkk.......",
             "..kwkwkwk.......",
             "..kkkkkkk.......",
             "...kkkkk........",
             "................"},
    .Colors = RemoteColors};
// clang-format on
constexpr TBitBtnProps TestButton{.Glyph = &RemoteGlyph};

// The scan code: two hexadecimal digits, 00 to FF.
const TEfNumericFieldProps CheckField{
    .DataType = nftByte,
    .PictureMask = "KK",
    .RangeHigh = TEfRangeRecord{0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    .RangeLow = TEfRangeRecord{},
    .Options = {},
    .CaretOvr = {.Shape = csBlock},
    .EFColors = {.Disabled = {clBtnFace, clWindowText},
                 .Error = {clRed, clBlack},
                 .Highlight = {clHighlight, clHighlightText}},
    .LabelInfo = {.OffsetX = 35, .OffsetY = 16, .Visible = true},
    .Cursor = TCursor::IBeam,
};
constexpr TEfAttachedLabelProps CheckCaption{.Label = {.FocusControl = "NFCheck", .AutoSize = true},
                                             .Control = "NFCheck"};

constexpr TControlDef THIDControls[] = {
    {.Kind = ControlKind<TPanel>,
     .Name = "Panel1",
     .Left = 11,
     .Top = 5,
     .Width = 327,
     .Height = 44,
     .TabOrder = 0},
    {.Kind = ControlKind<TLabel>,
     .Name = "LabelVer",
     .Parent = "Panel1",
     .Left = 8,
     .Top = 8,
     .Width = 305,
     .Height = 13,
     .Font = {.Bold = true},
     .Props = CentredLabel},
    {.Kind = ControlKind<TLabel>,
     .Name = "Label4",
     .Parent = "Panel1",
     .Left = 8,
     .Top = 24,
     .Width = 305,
     .Height = 13,
     .Caption = "Pick the receiver, then press Test to read its scan code",
     .Props = CentredLabel},
    {.Kind = ControlKind<TLabel>,
     .Name = "Label5",
     .Left = 11,
     .Top = 66,
     .Width = 130,
     .Height = 13,
     .Caption = "&Repeat Delay (milliseconds)",
     .Props = RepeatCaption},
    {.Kind = ControlKind<TTrackBar>,
     .Name = "TBRepeat",
     .Left = 145,
     .Top = 62,
     .Width = 160,
     .Height = 33,
     .TabOrder = 1,
     .Props = DelayBar,
     .OnChange = "TBRepeatChange"},
    {.Kind = ControlKind<TLabel>,
     .Name = "LabelRepeat",
     .Left = 310,
     .Top = 66,
     .Width = 24,
     .Height = 13,
     .Caption = "5000"},
    {.Kind = ControlKind<TLabel>,
     .Name = "Label2",
     .Left = 11,
     .Top = 98,
     .Width = 138,
     .Height = 13,
     .Caption = "&Held Key Delay (milliseconds)",
     .Props = HeldCaption},
    {.Kind = ControlKind<TTrackBar>,
     .Name = "TBHeld",
     .Left = 145,
     .Top = 94,
     .Width = 160,
     .Height = 33,
     .TabOrder = 2,
     .Props = DelayBar,
     .OnChange = "TBHeldChange"},
    {.Kind = ControlKind<TLabel>,
     .Name = "LabelHeld",
     .Left = 310,
     .Top = 98,
     .Width = 24,
     .Height = 13,
     .Caption = "5000"},
    {.Kind = ControlKind<TLabel>,
     .Name = "Label1",
     .Left = 13,
     .Top = 124,
     .Width = 116,
     .Height = 13,
     .Caption = "Compatible HID &Devices",
     .Props = DevicesCaption},
    {.Kind = ControlKind<TListBox>,
     .Name = "LBHid",
     .Left = 11,
     .Top = 140,
     .Width = 327,
     .Height = 65,
     .TabOrder = 3,
     .Props = DeviceList,
     .OnClick = "LBHidClick"},
    {.Kind = ControlKind<TCheckBox>,
     .Name = "CBCheck",
     .Left = 12,
     .Top = 216,
     .Width = 228,
     .Height = 17,
     .TabOrder = 4,
     .Caption = "Check &Scan Code (Use Test to Discover)",
     .OnClick = "CBCheckClick"},
    {.Kind = ControlKind<TEfNumericField>,
     .Name = "NFCheck",
     .Left = 248,
     .Top = 214,
     .Width = 29,
     .Height = 21,
     .TabOrder = 5,
     .Enabled = false,
     .Props = CheckField},
    {.Kind = ControlKind<TEfAttachedLabel>,
     .Name = "NFCheckLabel1",
     .Left = 283,
     .Top = 217,
     .Width = 55,
     .Height = 13,
     .Caption = "He&x (00-FF)",
     .Props = CheckCaption},
    {.Kind = ControlKind<TBitBtn>,
     .Name = "BitBtnOK",
     .Left = 11,
     .Top = 243,
     .Width = 100,
     .Height = 25,
     .TabOrder = 6,
     .Caption = "&OK",
     .Props = OkKind},
    {.Kind = ControlKind<TBitBtn>,
     .Name = "BitBtnTest",
     .Left = 122,
     .Top = 243,
     .Width = 100,
     .Height = 25,
     .TabOrder = 7,
     .Caption = "&Test",
     .Props = TestButton,
     .OnClick = "BitBtnTestClick"},
    {.Kind = ControlKind<TBitBtn>,
     .Name = "BitBtnCancel",
     .Left = 234,
     .Top = 243,
     .Width = 100,
     .Height = 25,
     .TabOrder = 8,
     .Caption = "&Cancel",
     .Props = CancelKind},
};

constexpr TFormDef THIDDef{
    .Name = "TFormTHID",
    .Caption = "HID Configuration",
    .BorderStyle = TBorderStyle::Dialog,
    .Position = TFormPosition::ScreenCenter,
    .ClientWidth = 351,
    .ClientHeight = 281,
    .Controls = THIDControls,
};

std::string Format(const char* Pattern, auto... Values) {
  const int size = std::snprintf(nullptr, 0, Pattern, Values...);
  std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
  std::snprintf(out.data(), out.size() + 1, Pattern, Values...);
  return out;
}

// The line of a device in the list. The device's own strings may hold line breaks and other
// control characters: they show as blanks, as the line is written to the settings file.
std::string DeviceLine(THidDevice& Device) {
  const int vendor = Device.DeviceAttributes.VendorID;
  const int product = Device.DeviceAttributes.ProductID;
  const std::string name = BlankControls(NarrowAnsi(Device.ProductName()));
  if (name.empty()) return Format("Unknown Device (%d,%d)", vendor, product);
  return Format("%s - %s (%d,%d)", name.c_str(),
                BlankControls(NarrowAnsi(Device.VendorName())).c_str(), vendor, product);
}

// The version label: the library's version, or why it could not be read.
std::string LibraryVersionLabel() {
  const std::string file = ProgramDirectory() + "\\KelHID.dll";
  TFileVersion v;
  uint16_t flags = 0;
  if (GetFileVersion(file, v.Major, v.Minor, v.Release, v.Build, flags)) {
    return LibraryVersionText(TVersionSource::Read, v);
  }
  return LibraryVersionText(
      FileExists(file) ? TVersionSource::NoVersion : TVersionSource::FileMissing, v);
}

}  // namespace

TFormTHID::TCreated::TCreated(TFormTHID& Form) {
  const THandler handlers[] = {
      {"TBRepeatChange", TNotifyEvent::Bind<&TFormTHID::TBRepeatChange>(&Form)},
      {"BitBtnTestClick", TNotifyEvent::Bind<&TFormTHID::BitBtnTestClick>(&Form)},
      {"LBHidClick", TNotifyEvent::Bind<&TFormTHID::LBHidClick>(&Form)},
      {"CBCheckClick", TNotifyEvent::Bind<&TFormTHID::CBCheckClick>(&Form)},
      {"TBHeldChange", TNotifyEvent::Bind<&TFormTHID::TBHeldChange>(&Form)},
  };
  Form.CreateForm(THIDDef, handlers);
}

TFormTHID::TFormTHID()
    : FCreated(*this),
      BitBtnOK(Control<TBitBtn>("BitBtnOK")),
      BitBtnCancel(Control<TBitBtn>("BitBtnCancel")),
      Panel1(Control<TPanel>("Panel1")),
      LabelVer(Control<TLabel>("LabelVer")),
      Label4(Control<TLabel>("Label4")),
      Label5(Control<TLabel>("Label5")),
      TBRepeat(Control<TTrackBar>("TBRepeat")),
      LabelRepeat(Control<TLabel>("LabelRepeat")),
      LBHid(Control<TListBox>("LBHid")),
      Label1(Control<TLabel>("Label1")),
      NFCheck(Control<TEfNumericField>("NFCheck")),
      NFCheckLabel1(Control<TEfAttachedLabel>("NFCheckLabel1")),
      BitBtnTest(Control<TBitBtn>("BitBtnTest")),
      CBCheck(Control<TCheckBox>("CBCheck")),
      Label2(Control<TLabel>("Label2")),
      TBHeld(Control<TTrackBar>("TBHeld")),
      LabelHeld(Control<TLabel>("LabelHeld")) {}

void TFormTHID::TBRepeatChange(void* /*Sender*/) {
  LabelRepeat.SetCaption(std::to_string(TBRepeat.Position()));
  if (TBRepeat.Position() < TBHeld.Position()) TBHeld.SetPosition(TBRepeat.Position());
}

void TFormTHID::TBHeldChange(void* /*Sender*/) {
  LabelHeld.SetCaption(std::to_string(TBHeld.Position()));
  if (TBHeld.Position() > TBRepeat.Position()) TBRepeat.SetPosition(TBHeld.Position());
}

void TFormTHID::LBHidClick(void* /*Sender*/) {
  BitBtnTest.SetEnabled(LBHid.ItemIndex() >= 0);
}

void TFormTHID::CBCheckClick(void* /*Sender*/) {
  NFCheck.SetEnabled(CBCheck.Checked());
}

void TFormTHID::BitBtnTestClick(void* /*Sender*/) {
  const int index = LBHid.ItemIndex();
  if (index < 0 || FEngine == nullptr) return;
  const auto key = static_cast<uint32_t>(LBHid.ItemData(index));
  if (key == 0) return;
  FEngine->FVendorID = static_cast<uint16_t>(key >> 16);
  FEngine->FProductID = static_cast<uint16_t>(key & 0xFFFFu);
  FEngine->FRepeatDelay = TBRepeat.Position();
  FEngine->FHeldDelay = TBHeld.Position();
  FEngine->FCheckByte = 0;
  if (!FEngine->OpenDevice()) return;

  // The capture looks for the scan code, so it takes every report: the check is off while it
  // runs and comes back afterwards, also when an error passes through.
  struct TRestoreCheck {
    TDModHID& Engine;
    bool UseCheck;
    ~TRestoreCheck() { Engine.FUseCheck = UseCheck; }
  } const restoreCheck{*FEngine, FEngine->FUseCheck};
  FEngine->FUseCheck = false;
  int32_t code2 = 0;
  // A dialog run for an owner window keeps the capture to itself as well.
  const HWND owner = GetWindow(Handle(), GW_OWNER) != nullptr ? Handle() : nullptr;
  const int32_t code1 = GetIRCode(FEngine, true, true, false, code2, nullptr, owner);
  if (code1 != 0 && NFCheck.Enabled()) NFCheck.SetIntegerValue(code2);
}

void TFormTHID::RefreshDeviceList() {
  if (FEngine == nullptr) return;
  FEngine->Disconnect();
  THidAccess& controller = *FEngine->HIDController;
  controller.DeviceChange();
  struct TRemoveHandler {
    THidAccess& Controller;
    ~TRemoveHandler() { Controller.SetOnEnumerate({}); }
  } const removeHandler{controller};
  controller.SetOnEnumerate(THidEnumerateEvent::Bind<&TFormTHID::EnumerateDevice>(this));
  controller.Enumerate();
}

bool TFormTHID::EnumerateDevice(THidDevice* HidDev, int32_t Idx) {
  if (FEngine == nullptr || HidDev == nullptr) return true;
  const std::string line = DeviceLine(*HidDev);
  THidDevice* claimed = nullptr;
  if (!FEngine->HIDController->ClaimByIndex(claimed, Idx)) return true;
  if (claimed->ReadWriteOpen) {
    LBHid.AddItem(line, MakeDeviceKey(claimed->DeviceAttributes.VendorID,
                                      claimed->DeviceAttributes.ProductID));
  }
  FEngine->HIDController->ReleaseDevice(claimed);
  return true;
}

uint32_t ShowHIDSetup(TDModHID* Engine, std::wstring_view Dir, HWND Owner) {
  if (Engine != nullptr) Engine->StopReceiving();
  // Freed on every way out, also when an error passes through.
  const auto dialog = std::make_unique<TFormTHID>();
  TFormTHID& d = *dialog;
  d.FEngine = Engine;
  d.LabelVer.SetCaption(LibraryVersionLabel());
  d.FConfigFile.clear();
  d.RefreshDeviceList();
  if (d.LBHid.Count() == 0) {
    MessageBoxA(Owner != nullptr ? Owner : GetActiveWindow(), "No Compatible HID Devices Found",
                "Error", MB_OK | MB_ICONERROR);
    return 0;
  }

  d.FConfigDir = TrimBlanks(Dir);
  if (d.FConfigDir.empty() || !DirectoryExists(d.FConfigDir)) {
    d.FConfigDir.clear();
    d.BitBtnOK.SetEnabled(false);
  } else {
    if (d.FConfigDir.back() != L'\\') d.FConfigDir += L'\\';
    d.FConfigFile = SettingsFilePath(std::wstring_view(d.FConfigDir));
    if (FileExists(d.FConfigFile)) {
      LoadHIDSettings(Engine, Dir);
      d.TBRepeat.SetPosition(Engine->FRepeatDelay);
      d.TBHeld.SetPosition(Engine->FHeldDelay);
      d.NFCheck.SetIntegerValue(Engine->FCheckByte);
      d.CBCheck.SetChecked(Engine->FUseCheck);
      d.CBCheckClick(&d.CBCheck);
      const uint32_t wanted = TFormTHID::MakeDeviceKey(Engine->FVendorID, Engine->FProductID);
      for (int i = 0; i < d.LBHid.Count(); ++i) {
        if (d.LBHid.ItemData(i) == wanted) {
          d.LBHid.SetItemIndex(i);
          break;
        }
      }
      d.BitBtnTest.SetEnabled(d.LBHid.ItemIndex() >= 0);
    }
  }
  d.TBRepeatChange(&d.TBRepeat);
  d.TBHeldChange(&d.TBHeld);

  const int result = d.ShowModal(Owner);
  const int index = d.LBHid.ItemIndex();
  if (result != mrOk || d.FConfigFile.empty() || index < 0) return 0;
  const auto key = static_cast<uint32_t>(d.LBHid.ItemData(index));
  if (key == 0) return 0;
  const THIDSettings settings{.VendorID = static_cast<uint16_t>(key >> 16),
                              .ProductID = static_cast<uint16_t>(key & 0xFFFFu),
                              .RepeatDelay = d.TBRepeat.Position(),
                              .HeldDelay = d.TBHeld.Position(),
                              .CheckByte = static_cast<uint8_t>(d.NFCheck.IntegerValue()),
                              .UseCheck = d.CBCheck.Checked()};
  WriteHIDSettings(*Engine, d.FConfigFile, d.LBHid.Item(index), settings);
  return key;
}

uint32_t ShowHIDSetup(TDModHID* Engine, const char* Dir, HWND Owner) {
  return ShowHIDSetup(Engine, WidenAnsi(Dir != nullptr ? std::string_view(Dir) : ""), Owner);
}
