// Editing commands of the entry fields: the command numbers, the key tables that map key strokes
// (one key, or a two-key sequence such as Ctrl+Q S) to them, and the processor that holds the
// tables and follows sequences. No Windows here: keys are virtual-key codes, and the keyboard
// state comes from the caller.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "gui/Set.h"

// A command number. The named commands are numbered in alphabetical order of their names.
using TEfCommand = uint16_t;

inline constexpr TEfCommand ccNone = 0;
inline constexpr TEfCommand ccBack = 1;
inline constexpr TEfCommand ccBotOfPage = 2;
inline constexpr TEfCommand ccBotRightCell = 3;
inline constexpr TEfCommand ccCompleteDate = 4;
inline constexpr TEfCommand ccCompleteTime = 5;
inline constexpr TEfCommand ccCopy = 6;
inline constexpr TEfCommand ccCtrlChar = 7;
inline constexpr TEfCommand ccCut = 8;
inline constexpr TEfCommand ccDec = 9;
inline constexpr TEfCommand ccDel = 10;
inline constexpr TEfCommand ccDelBol = 11;
inline constexpr TEfCommand ccDelEol = 12;
inline constexpr TEfCommand ccDelLine = 13;
inline constexpr TEfCommand ccDelWord = 14;
inline constexpr TEfCommand ccDown = 15;
inline constexpr TEfCommand ccEnd = 16;
inline constexpr TEfCommand ccExtendDown = 17;
inline constexpr TEfCommand ccExtendEnd = 18;
inline constexpr TEfCommand ccExtendHome = 19;
inline constexpr TEfCommand ccExtendLeft = 20;
inline constexpr TEfCommand ccExtendPgDn = 21;
inline constexpr TEfCommand ccExtendPgUp = 22;
inline constexpr TEfCommand ccExtendRight = 23;
inline constexpr TEfCommand ccExtendUp = 24;
inline constexpr TEfCommand ccExtBotOfPage = 25;
inline constexpr TEfCommand ccExtFirstPage = 26;
inline constexpr TEfCommand ccExtLastPage = 27;
inline constexpr TEfCommand ccExtTopOfPage = 28;
inline constexpr TEfCommand ccExtWordLeft = 29;
inline constexpr TEfCommand ccExtWordRight = 30;
inline constexpr TEfCommand ccFirstPage = 31;
inline constexpr TEfCommand ccGotoMarker0 = 32;  // .. ccGotoMarker0 + 9
inline constexpr TEfCommand ccHome = 42;
inline constexpr TEfCommand ccInc = 43;
inline constexpr TEfCommand ccIns = 44;
inline constexpr TEfCommand ccLastPage = 45;
inline constexpr TEfCommand ccLeft = 46;
inline constexpr TEfCommand ccNewLine = 47;
inline constexpr TEfCommand ccNextPage = 48;
inline constexpr TEfCommand ccPageLeft = 49;
inline constexpr TEfCommand ccPageRight = 50;
inline constexpr TEfCommand ccPaste = 51;
inline constexpr TEfCommand ccPrevPage = 52;
inline constexpr TEfCommand ccRedo = 53;
inline constexpr TEfCommand ccRestore = 54;
inline constexpr TEfCommand ccRight = 55;
inline constexpr TEfCommand ccScrollDown = 56;
inline constexpr TEfCommand ccScrollUp = 57;
inline constexpr TEfCommand ccSetMarker0 = 58;  // .. ccSetMarker0 + 9
inline constexpr TEfCommand ccTab = 68;
inline constexpr TEfCommand ccTableEdit = 69;
inline constexpr TEfCommand ccTopLeftCell = 70;
inline constexpr TEfCommand ccTopOfPage = 71;
inline constexpr TEfCommand ccUndo = 72;
inline constexpr TEfCommand ccUp = 73;
inline constexpr TEfCommand ccWordLeft = 74;
inline constexpr TEfCommand ccWordRight = 75;

// Internal numbers.
inline constexpr TEfCommand ccTypedChar = 249;  // a typed character
inline constexpr TEfCommand ccMouseDown = 250;
inline constexpr TEfCommand ccMouseDrag = 251;
inline constexpr TEfCommand ccCharAllowed = 252;  // no command: the key's character may be typed
inline constexpr TEfCommand ccDoubleClick = 253;
inline constexpr TEfCommand ccSequenceFailed = 254;  // the second key of a sequence matched nothing
inline constexpr TEfCommand ccSequencePending = 255;  // the first key of a sequence was seen

// Numbers from here up are the user's own commands.
inline constexpr TEfCommand ccUser = 256;

// The name of a command in listings: "ccLeft", "ccTypedChar", "ccUser", "ccUser1" (= ccUser + 1);
// empty for the unused numbers 76..248.
[[nodiscard]] std::string EfCommandName(TEfCommand Command);

// Shift codes of key entries: sums of these.
inline constexpr uint8_t EfShift = 2;
inline constexpr uint8_t EfCtrl = 4;
inline constexpr uint8_t EfAlt = 8;
// As the second shift code: the second key plain or with Ctrl.
inline constexpr uint8_t EfPlainOrCtrl = 0x80;

// One key stroke (SecondKey 0) or two-key sequence and its command; 6 bytes.
struct TEfKeyEntry {
  uint8_t FirstKey = 0;  // virtual-key code
  uint8_t FirstShift = 0;
  uint8_t SecondKey = 0;
  uint8_t SecondShift = 0;
  TEfCommand Command = ccNone;

  // The four key bytes read as a little-endian 32-bit number; unique within a table.
  [[nodiscard]] constexpr uint32_t KeyValue() const {
    return uint32_t{FirstKey} | uint32_t{FirstShift} << 8 | uint32_t{SecondKey} << 16 |
           uint32_t{SecondShift} << 24;
  }
};
static_assert(sizeof(TEfKeyEntry) == 6);

class ETableNotFound : public std::runtime_error {
 public:
  ETableNotFound()
      : std::runtime_error("Command table not found or command table index out of range") {}
};

class EDuplicateCommand : public std::runtime_error {
 public:
  EDuplicateCommand()
      : std::runtime_error("Duplicate command found while adding a new command to the table") {}
};

// A titled list of key entries; only enabled tables take part in the lookup.
class TEfCommandTable {
 public:
  TEfCommandTable() = default;
  explicit TEfCommandTable(std::string_view Title, bool Enabled = true)
      : FTitle(Title), FEnabled(Enabled) {}

  [[nodiscard]] const std::string& Title() const { return FTitle; }
  void SetTitle(std::string_view Value) { FTitle.assign(Value); }
  [[nodiscard]] bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value) { FEnabled = Value; }

  // Appends a copy; duplicates are the caller's concern here (the processor refuses them).
  void AddEntry(const TEfKeyEntry& Entry) { FEntries.push_back(Entry); }
  [[nodiscard]] int Count() const { return static_cast<int>(FEntries.size()); }
  // Index out of range: std::out_of_range.
  [[nodiscard]] const TEfKeyEntry& Entry(int Index) const;
  // The index of the entry with that key value, or -1.
  [[nodiscard]] int IndexOfKey(uint32_t KeyValue) const;
  void Replace(int Index, const TEfKeyEntry& Entry);
  void Delete(int Index);

  // The command of the first entry for key K with shift S (FirstKey; a sequence start gives
  // the entry itself), or of the first sequence entry SeqKey/SeqShift followed by K/S.
  [[nodiscard]] const TEfKeyEntry* FindFirst(uint8_t Key, uint8_t Shift) const;
  [[nodiscard]] const TEfKeyEntry* FindSecond(uint8_t SeqKey, uint8_t SeqShift, uint8_t Key,
                                              uint8_t Shift) const;

 private:
  std::string FTitle = "(Unknown)";
  bool FEnabled = true;
  std::vector<TEfKeyEntry> FEntries;
};

// Tells whether a key (virtual-key code) is down at the moment of the key message.
using TEfKeyStateProbe = bool (*)(uint8_t VirtualKey);

enum TEfSequenceState : uint8_t { essIdle, essSecondKey, essCtrlChar };

// The key tables of a controller and the state of a sequence in progress. Created with the
// built-in tables "Default" (enabled), "WordStar" and "Grid" (disabled).
class TEfCommandProcessor {
 public:
  TEfCommandProcessor();

  // Creates a table and appends it; its index.
  int NewTable(std::string_view Title, bool Enabled);
  // Makes the title unique (see the .cpp), then appends the table; its index.
  int AppendTable(std::unique_ptr<TEfCommandTable> Table);
  [[nodiscard]] int TableCount() const { return static_cast<int>(FTables.size()); }
  // ETableNotFound for an index out of range.
  [[nodiscard]] TEfCommandTable& Table(int Index) const;
  // The first table whose title equals Title ignoring case, or none.
  [[nodiscard]] TEfCommandTable* FindTableByTitle(std::string_view Title) const;
  // ETableNotFound when there is no such table, EDuplicateCommand when it holds the key value.
  void AddEntryToTable(std::string_view Title, const TEfKeyEntry& Entry);

  // The command for a key-down of Key, with Shift, Ctrl and Alt as IsKeyDown reports them.
  TEfCommand KeyToCommand(uint32_t Key, TEfKeyStateProbe IsKeyDown);
  // The same with the modifiers given (ssShift, ssCtrl, ssAlt).
  TEfCommand KeyToCommandShift(uint32_t Key, TShiftState Shift);
  // Forgets a sequence in progress; every field does so when it gets the focus.
  void ResetSequence();
  [[nodiscard]] TEfSequenceState SequenceState() const { return FSeqState; }

 private:
  TEfCommand Translate(uint8_t Key, uint8_t Shift);

  std::vector<std::unique_ptr<TEfCommandTable>> FTables;
  TEfSequenceState FSeqState = essIdle;
  uint8_t FSeqKey = 0;
  uint8_t FSeqShift = 0;
};
