#include "widgets/efcommands.h"

#include <array>
#include <cctype>
#include <initializer_list>

#include "gui/Component.h"

namespace {

// Virtual-key codes (the values are fixed by Windows).
constexpr uint8_t VkBack = 0x08;
constexpr uint8_t VkTab = 0x09;
constexpr uint8_t VkReturn = 0x0D;
constexpr uint8_t VkShift = 0x10;
constexpr uint8_t VkControl = 0x11;
constexpr uint8_t VkMenu = 0x12;
constexpr uint8_t VkCapital = 0x14;
constexpr uint8_t VkPrior = 0x21;
constexpr uint8_t VkNext = 0x22;
constexpr uint8_t VkEnd = 0x23;
constexpr uint8_t VkHome = 0x24;
constexpr uint8_t VkLeft = 0x25;
constexpr uint8_t VkUp = 0x26;
constexpr uint8_t VkRight = 0x27;
constexpr uint8_t VkDown = 0x28;
constexpr uint8_t VkInsert = 0x2D;
constexpr uint8_t VkDelete = 0x2E;
constexpr uint8_t VkF2 = 0x71;
constexpr uint8_t VkNumLock = 0x90;
constexpr uint8_t VkScroll = 0x91;

constexpr uint8_t None = 0;
constexpr uint8_t S = EfShift;
constexpr uint8_t C = EfCtrl;
constexpr uint8_t A = EfAlt;
constexpr uint8_t CS = EfCtrl | EfShift;

constexpr std::array<std::string_view, 76> Names = {
    "ccNone",         "ccBack",         "ccBotOfPage",   "ccBotRightCell", "ccCompleteDate",
    "ccCompleteTime", "ccCopy",         "ccCtrlChar",    "ccCut",          "ccDec",
    "ccDel",          "ccDelBol",       "ccDelEol",      "ccDelLine",      "ccDelWord",
    "ccDown",         "ccEnd",          "ccExtendDown",  "ccExtendEnd",    "ccExtendHome",
    "ccExtendLeft",   "ccExtendPgDn",   "ccExtendPgUp",  "ccExtendRight",  "ccExtendUp",
    "ccExtBotOfPage", "ccExtFirstPage", "ccExtLastPage", "ccExtTopOfPage", "ccExtWordLeft",
    "ccExtWordRight", "ccFirstPage",    "ccGotoMarker0", "ccGotoMarker1",  "ccGotoMarker2",
    "ccGotoMarker3",  "ccGotoMarker4",  "ccGotoMarker5", "ccGotoMarker6",  "ccGotoMarker7",
    "ccGotoMarker8",  "ccGotoMarker9",  "ccHome",        "ccInc",          "ccIns",
    "ccLastPage",     "ccLeft",         "ccNewLine",     "ccNextPage",     "ccPageLeft",
    "ccPageRight",    "ccPaste",        "ccPrevPage",    "ccRedo",         "ccRestore",
    "ccRight",        "ccScrollDown",   "ccScrollUp",    "ccSetMarker0",   "ccSetMarker1",
    "ccSetMarker2",   "ccSetMarker3",   "ccSetMarker4",  "ccSetMarker5",   "ccSetMarker6",
    "ccSetMarker7",   "ccSetMarker8",   "ccSetMarker9",  "ccTab",          "ccTableEdit",
    "ccTopLeftCell",  "ccTopOfPage",    "ccUndo",        "ccUp",           "ccWordLeft",
    "ccWordRight"};

constexpr std::array<std::string_view, 7> InternalNames = {
    "ccTypedChar",   "ccMouseDown",      "ccMouseDrag",      "ccCharAllowed",
    "ccDoubleClick", "ccSequenceFailed", "ccSequencePending"};

bool IsModifierOrLock(uint8_t Key) {
  return Key == VkShift || Key == VkControl || Key == VkMenu || Key == VkCapital ||
         Key == VkNumLock || Key == VkScroll;
}

TEfKeyEntry One(uint8_t Key, uint8_t Shift, TEfCommand Command) {
  return {Key, Shift, 0, 0, Command};
}

TEfKeyEntry Two(uint8_t First, uint8_t Second, TEfCommand Command) {
  return {First, C, Second, EfPlainOrCtrl, Command};
}

std::unique_ptr<TEfCommandTable> MakeTable(std::string_view Title, bool Enabled,
                                           std::initializer_list<TEfKeyEntry> Entries) {
  auto table = std::make_unique<TEfCommandTable>(Title, Enabled);
  for (const TEfKeyEntry& e : Entries) table->AddEntry(e);
  return table;
}

// The entries shared by "Default" and "Grid": selection extended with Shift.
constexpr std::array<TEfKeyEntry, 14> ExtendEntries = {{
    {VkLeft, S, 0, 0, ccExtendLeft},
    {VkRight, S, 0, 0, ccExtendRight},
    {VkHome, S, 0, 0, ccExtendHome},
    {VkEnd, S, 0, 0, ccExtendEnd},
    {VkLeft, CS, 0, 0, ccExtWordLeft},
    {VkRight, CS, 0, 0, ccExtWordRight},
    {VkPrior, S, 0, 0, ccExtendPgUp},
    {VkNext, S, 0, 0, ccExtendPgDn},
    {VkUp, S, 0, 0, ccExtendUp},
    {VkDown, S, 0, 0, ccExtendDown},
    {VkHome, CS, 0, 0, ccExtFirstPage},
    {VkEnd, CS, 0, 0, ccExtLastPage},
    {VkPrior, CS, 0, 0, ccExtTopOfPage},
    {VkNext, CS, 0, 0, ccExtBotOfPage},
}};

std::unique_ptr<TEfCommandTable> DefaultTable() {
  auto t =
      MakeTable("Default", true,
                {One(VkLeft, None, ccLeft), One(VkRight, None, ccRight), One(VkLeft, C, ccWordLeft),
                 One(VkRight, C, ccWordRight), One(VkHome, None, ccHome), One(VkEnd, None, ccEnd),
                 One(VkDelete, None, ccDel), One(VkBack, None, ccBack), One(VkBack, S, ccBack),
                 One(VkPrior, C, ccTopOfPage), One(VkNext, C, ccBotOfPage),
                 One(VkInsert, None, ccIns), One('Z', C, ccUndo), One(VkBack, A, ccRestore),
                 One(VkUp, None, ccUp), One(VkDown, None, ccDown), One(VkReturn, C, ccNewLine)});
  for (const TEfKeyEntry& e : ExtendEntries) t->AddEntry(e);
  for (const TEfKeyEntry& e :
       {One(VkDelete, S, ccCut), One('X', C, ccCut), One(VkInsert, C, ccCopy), One('C', C, ccCopy),
        One(VkInsert, S, ccPaste), One('V', C, ccPaste), One(VkPrior, None, ccPrevPage),
        One(VkNext, None, ccNextPage), One(VkHome, C, ccFirstPage), One(VkEnd, C, ccLastPage),
        One(VkTab, None, ccTab), One(VkTab, C, ccTab), One('Z', CS, ccRedo)}) {
    t->AddEntry(e);
  }
  for (uint8_t i = 0; i < 10; ++i) t->AddEntry(One('0' + i, C, ccGotoMarker0 + i));
  for (uint8_t i = 0; i < 10; ++i) t->AddEntry(One('0' + i, CS, ccSetMarker0 + i));
  return t;
}

std::unique_ptr<TEfCommandTable> WordStarTable() {
  auto t = MakeTable("WordStar", false,
                     {One('S', C, ccLeft),      One('D', C, ccRight),      One('E', C, ccUp),
                      One('X', C, ccDown),      One('R', C, ccPrevPage),   One('C', C, ccNextPage),
                      One('W', C, ccScrollUp),  One('Z', C, ccScrollDown), One('A', C, ccWordLeft),
                      One('F', C, ccWordRight), Two('Q', 'S', ccHome),     Two('Q', 'D', ccEnd),
                      One('G', C, ccDel),       One('H', C, ccBack),       One('Y', C, ccDelLine),
                      Two('Q', 'Y', ccDelEol),  One('V', C, ccIns),        One('T', C, ccDelWord),
                      One('P', C, ccCtrlChar),  Two('Q', 'L', ccRestore)});
  for (uint8_t i = 0; i < 10; ++i) t->AddEntry(Two('Q', '0' + i, ccGotoMarker0 + i));
  for (uint8_t i = 0; i < 10; ++i) t->AddEntry(Two('K', '0' + i, ccSetMarker0 + i));
  return t;
}

std::unique_ptr<TEfCommandTable> GridTable() {
  auto t =
      MakeTable("Grid", false,
                {One(VkLeft, None, ccLeft), One(VkRight, None, ccRight), One(VkHome, None, ccHome),
                 One(VkEnd, None, ccEnd), One(VkDelete, None, ccDel), One(VkBack, None, ccBack),
                 One(VkNext, C, ccBotOfPage), One(VkPrior, C, ccTopOfPage),
                 One(VkInsert, None, ccIns), One(VkUp, None, ccUp), One(VkDown, None, ccDown)});
  for (const TEfKeyEntry& e : ExtendEntries) t->AddEntry(e);
  for (const TEfKeyEntry& e :
       {One('X', C, ccCut), One('C', C, ccCopy), One('V', C, ccPaste),
        One(VkPrior, None, ccPrevPage), One(VkHome, C, ccFirstPage), One(VkNext, None, ccNextPage),
        One(VkEnd, C, ccLastPage), One(VkLeft, C, ccPageLeft), One(VkRight, C, ccPageRight),
        One('Z', C, ccRestore), One(VkUp, C, ccTopLeftCell), One(VkDown, C, ccBotRightCell),
        One(VkF2, None, ccTableEdit)}) {
    t->AddEntry(e);
  }
  return t;
}

bool IsDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

std::string EfCommandName(TEfCommand Command) {
  if (Command < Names.size()) return std::string(Names[Command]);
  if (Command >= ccTypedChar && Command <= ccSequencePending) {
    return std::string(InternalNames[Command - ccTypedChar]);
  }
  if (Command == ccUser) return "ccUser";
  if (Command > ccUser) return "ccUser" + std::to_string(Command - ccUser);
  return {};
}

// --- TEfCommandTable ----------------------------------------------------------------------

const TEfKeyEntry& TEfCommandTable::Entry(int Index) const {
  return FEntries.at(static_cast<size_t>(Index));
}

int TEfCommandTable::IndexOfKey(uint32_t KeyValue) const {
  for (size_t i = 0; i < FEntries.size(); ++i) {
    if (FEntries[i].KeyValue() == KeyValue) return static_cast<int>(i);
  }
  return -1;
}

void TEfCommandTable::Replace(int Index, const TEfKeyEntry& Entry) {
  FEntries.at(static_cast<size_t>(Index)) = Entry;
}

void TEfCommandTable::Delete(int Index) {
  (void)FEntries.at(static_cast<size_t>(Index));
  FEntries.erase(FEntries.begin() + Index);
}

const TEfKeyEntry* TEfCommandTable::FindFirst(uint8_t Key, uint8_t Shift) const {
  for (const TEfKeyEntry& e : FEntries) {
    if (e.FirstKey == Key && e.FirstShift == Shift) return &e;
  }
  return nullptr;
}

const TEfKeyEntry* TEfCommandTable::FindSecond(uint8_t SeqKey, uint8_t SeqShift, uint8_t Key,
                                               uint8_t Shift) const {
  for (const TEfKeyEntry& e : FEntries) {
    if (e.FirstKey != SeqKey || e.FirstShift != SeqShift || e.SecondKey != Key) continue;
    if (e.SecondShift == Shift || (e.SecondShift == EfPlainOrCtrl && (Shift == 0 || Shift == C))) {
      return &e;
    }
  }
  return nullptr;
}

// --- TEfCommandProcessor ------------------------------------------------------------------

TEfCommandProcessor::TEfCommandProcessor() {
  FTables.push_back(DefaultTable());
  FTables.push_back(WordStarTable());
  FTables.push_back(GridTable());
}

int TEfCommandProcessor::NewTable(std::string_view Title, bool Enabled) {
  return AppendTable(std::make_unique<TEfCommandTable>(Title, Enabled));
}

int TEfCommandProcessor::AppendTable(std::unique_ptr<TEfCommandTable> Table) {
  // Only a title that is taken changes: trailing digits go (at least two characters stay),
  // then the first free number is appended. "Default" becomes "Default1"; "Table12" stays
  // unless a table is titled "Table".
  std::string base = Table->Title();
  while (base.size() > 2 && IsDigit(base.back())) base.pop_back();
  if (FindTableByTitle(base) != nullptr) {
    for (int n = 1;; ++n) {
      const std::string title = base + std::to_string(n);
      if (FindTableByTitle(title) == nullptr) {
        Table->SetTitle(title);
        break;
      }
    }
  }
  FTables.push_back(std::move(Table));
  return TableCount() - 1;
}

TEfCommandTable& TEfCommandProcessor::Table(int Index) const {
  if (Index < 0 || Index >= TableCount()) throw ETableNotFound();
  return *FTables[static_cast<size_t>(Index)];
}

TEfCommandTable* TEfCommandProcessor::FindTableByTitle(std::string_view Title) const {
  for (const auto& t : FTables) {
    if (SameName(t->Title(), Title)) return t.get();
  }
  return nullptr;
}

void TEfCommandProcessor::AddEntryToTable(std::string_view Title, const TEfKeyEntry& Entry) {
  TEfCommandTable* table = FindTableByTitle(Title);
  if (table == nullptr) throw ETableNotFound();
  if (table->IndexOfKey(Entry.KeyValue()) >= 0) throw EDuplicateCommand();
  table->AddEntry(Entry);
}

TEfCommand TEfCommandProcessor::KeyToCommand(uint32_t Key, TEfKeyStateProbe IsKeyDown) {
  uint8_t shift = 0;
  if (IsKeyDown != nullptr) {
    if (IsKeyDown(VkControl)) shift |= C;
    if (IsKeyDown(VkShift)) shift |= S;
    if (IsKeyDown(VkMenu)) shift |= A;
  }
  return Translate(static_cast<uint8_t>(Key), shift);
}

TEfCommand TEfCommandProcessor::KeyToCommandShift(uint32_t Key, TShiftState Shift) {
  uint8_t shift = 0;
  if (Shift.Contains(ssShift)) shift |= S;
  if (Shift.Contains(ssCtrl)) shift |= C;
  if (Shift.Contains(ssAlt)) shift |= A;
  return Translate(static_cast<uint8_t>(Key), shift);
}

void TEfCommandProcessor::ResetSequence() {
  FSeqState = essIdle;
  FSeqKey = 0;
  FSeqShift = 0;
}

TEfCommand TEfCommandProcessor::Translate(uint8_t Key, uint8_t Shift) {
  // A modifier or lock key by itself neither breaks a sequence nor ends a Ctrl+character.
  if (IsModifierOrLock(Key)) {
    return FSeqState == essSecondKey ? ccSequencePending : ccCharAllowed;
  }
  if (FSeqState == essCtrlChar) {
    FSeqState = essIdle;
    return ccCharAllowed;  // the next character is taken literally
  }
  const bool wasSequence = FSeqState == essSecondKey;
  for (const auto& table : FTables) {
    if (!table->Enabled()) continue;
    if (FSeqState == essIdle) {
      const TEfKeyEntry* e = table->FindFirst(Key, Shift);
      if (e == nullptr) continue;
      if (e->SecondKey != 0) {
        FSeqKey = Key;
        FSeqShift = Shift;
        FSeqState = essSecondKey;
        return ccSequencePending;
      }
      if (e->Command == ccNone) continue;
      if (e->Command == ccCtrlChar) FSeqState = essCtrlChar;
      return e->Command;
    }
    const TEfKeyEntry* e = table->FindSecond(FSeqKey, FSeqShift, Key, Shift);
    if (e == nullptr || e->Command == ccNone) continue;
    FSeqState = e->Command == ccCtrlChar ? essCtrlChar : essIdle;
    return e->Command;
  }
  FSeqState = essIdle;
  return wasSequence ? ccSequenceFailed : ccCharAllowed;
}
