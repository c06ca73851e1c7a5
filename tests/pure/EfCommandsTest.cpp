// Editing commands: the built-in tables, key sequences, table titles and the refusals.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "widgets/efcommands.h"

namespace {

constexpr uint8_t VkBack = 0x08, VkShift = 0x10, VkControl = 0x11, VkLeft = 0x25, VkF2 = 0x71;

// One key stroke: the key, its modifiers, the command expected.
struct TStroke {
  uint8_t Key;
  TShiftState Shift;
  TEfCommand Expected;
};

struct TSequenceCase {
  const char* Name;
  std::vector<const char*> Enabled;  // tables switched on besides "Default"
  bool DefaultOn;
  std::vector<TStroke> Strokes;
};

const TShiftState None{};
const TShiftState Shift{ssShift};
const TShiftState Ctrl{ssCtrl};
const TShiftState Alt{ssAlt};
const TShiftState CtrlShift{ssCtrl, ssShift};

class EfSequences : public ::testing::TestWithParam<TSequenceCase> {};

TEST_P(EfSequences, TranslateEachStroke) {
  const TSequenceCase& c = GetParam();
  TEfCommandProcessor p;
  p.FindTableByTitle("Default")->SetEnabled(c.DefaultOn);
  for (const char* title : c.Enabled) p.FindTableByTitle(title)->SetEnabled(true);
  for (size_t i = 0; i < c.Strokes.size(); ++i) {
    const TStroke& s = c.Strokes[i];
    EXPECT_EQ(EfCommandName(p.KeyToCommandShift(s.Key, s.Shift)), EfCommandName(s.Expected))
        << "stroke " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, EfSequences,
    ::testing::Values(TSequenceCase{"DefaultKeys",
                                    {},
                                    true,
                                    {{'Z', Ctrl, ccUndo},
                                     {VkBack, Alt, ccRestore},
                                     {VkBack, Shift, ccBack},
                                     {'A', None, ccCharAllowed},
                                     {'7', Ctrl, ccGotoMarker0 + 7},
                                     {'5', CtrlShift, ccSetMarker0 + 5},
                                     {'Z', CtrlShift, ccRedo},
                                     {VkLeft, CtrlShift, ccExtWordLeft},
                                     {'Q', Ctrl, ccCharAllowed},
                                     {VkShift, Shift, ccCharAllowed}}},
                      TSequenceCase{
                          "WordStarSequences",
                          {"WordStar"},
                          true,
                          {{'Q', Ctrl, ccSequencePending},
                           {'S', None, ccHome},
                           {'Q', Ctrl, ccSequencePending},
                           {'S', Ctrl, ccHome},
                           {'Q', Ctrl, ccSequencePending},
                           {'M', None, ccSequenceFailed},
                           {'M', None, ccCharAllowed},
                           // Shift pressed and released between the keys keeps the sequence...
                           {'Q', Ctrl, ccSequencePending},
                           {VkShift, Shift, ccSequencePending},
                           {'S', None, ccHome},
                           // ...but S typed with Shift held matches nothing.
                           {'Q', Ctrl, ccSequencePending},
                           {'S', Shift, ccSequenceFailed},
                           {'K', Ctrl, ccSequencePending},
                           {'3', None, ccSetMarker0 + 3},
                           // "Default" comes first: its Ctrl+Z wins over ^Z ccScrollDown.
                           {'Z', Ctrl, ccUndo},
                           {'W', Ctrl, ccScrollUp}}},
                      TSequenceCase{"CtrlCharTakesTheNextKeyLiterally",
                                    {"WordStar"},
                                    true,
                                    {{'P', Ctrl, ccCtrlChar},
                                     {VkShift, Shift, ccCharAllowed},
                                     {VkLeft, None, ccCharAllowed},
                                     {VkLeft, None, ccLeft}}},
                      TSequenceCase{"GridAlone",
                                    {"Grid"},
                                    false,
                                    {{VkLeft, Ctrl, ccPageLeft},
                                     {VkF2, None, ccTableEdit},
                                     {'Z', Ctrl, ccRestore},
                                     {VkBack, Shift, ccCharAllowed}}}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// The command numbers by value: the named commands in alphabetical order from 0, then the
// internal numbers 249 to 255.
TEST(EfCommandNumbers, ByValue) {
  std::vector<std::string> named = {
      "ccNone",         "ccBack",         "ccBotOfPage",   "ccBotRightCell", "ccCompleteDate",
      "ccCompleteTime", "ccCopy",         "ccCtrlChar",    "ccCut",          "ccDec",
      "ccDel",          "ccDelBol",       "ccDelEol",      "ccDelLine",      "ccDelWord",
      "ccDown",         "ccEnd",          "ccExtendDown",  "ccExtendEnd",    "ccExtendHome",
      "ccExtendLeft",   "ccExtendPgDn",   "ccExtendPgUp",  "ccExtendRight",  "ccExtendUp",
      "ccExtBotOfPage", "ccExtFirstPage", "ccExtLastPage", "ccExtTopOfPage", "ccExtWordLeft",
      "ccExtWordRight", "ccFirstPage"};
  for (int i = 0; i <= 9; ++i) named.push_back("ccGotoMarker" + std::to_string(i));
  for (const char* n : {"ccHome", "ccInc", "ccIns", "ccLastPage", "ccLeft", "ccNewLine",
                        "ccNextPage", "ccPageLeft", "ccPageRight", "ccPaste", "ccPrevPage",
                        "ccRedo", "ccRestore", "ccRight", "ccScrollDown", "ccScrollUp"}) {
    named.emplace_back(n);
  }
  for (int i = 0; i <= 9; ++i) named.push_back("ccSetMarker" + std::to_string(i));
  for (const char* n : {"ccTab", "ccTableEdit", "ccTopLeftCell", "ccTopOfPage", "ccUndo", "ccUp",
                        "ccWordLeft", "ccWordRight"}) {
    named.emplace_back(n);
  }
  ASSERT_EQ(named.size(), 76u);
  for (size_t i = 0; i < named.size(); ++i) {
    EXPECT_EQ(EfCommandName(static_cast<TEfCommand>(i)), named[i]) << "number " << i;
  }
  const std::pair<int, const char*> internal[] = {
      {249, "ccTypedChar"},       {250, "ccMouseDown"},   {251, "ccMouseDrag"},
      {252, "ccCharAllowed"},     {253, "ccDoubleClick"}, {254, "ccSequenceFailed"},
      {255, "ccSequencePending"}, {256, "ccUser"},        {300, "ccUser44"}};
  for (const auto& [number, name] : internal) {
    EXPECT_EQ(EfCommandName(static_cast<TEfCommand>(number)), name) << "number " << number;
  }
  for (const int unnamed : {76, 100, 248}) {
    EXPECT_EQ(EfCommandName(static_cast<TEfCommand>(unnamed)), "") << "number " << unnamed;
  }
  // The constants the fields use, by value.
  const std::pair<TEfCommand, int> constants[] = {{ccBack, 1},
                                                  {ccCopy, 6},
                                                  {ccCtrlChar, 7},
                                                  {ccCut, 8},
                                                  {ccDec, 9},
                                                  {ccDel, 10},
                                                  {ccDelLine, 13},
                                                  {ccDelWord, 14},
                                                  {ccDown, 15},
                                                  {ccEnd, 16},
                                                  {ccExtendLeft, 20},
                                                  {ccExtWordRight, 30},
                                                  {ccGotoMarker0, 32},
                                                  {ccHome, 42},
                                                  {ccInc, 43},
                                                  {ccIns, 44},
                                                  {ccLeft, 46},
                                                  {ccPaste, 51},
                                                  {ccRestore, 54},
                                                  {ccRight, 55},
                                                  {ccSetMarker0, 58},
                                                  {ccTab, 68},
                                                  {ccUndo, 72},
                                                  {ccUp, 73},
                                                  {ccWordRight, 75},
                                                  {ccTypedChar, 249},
                                                  {ccMouseDown, 250},
                                                  {ccCharAllowed, 252},
                                                  {ccDoubleClick, 253},
                                                  {ccSequenceFailed, 254},
                                                  {ccSequencePending, 255},
                                                  {ccUser, 256}};
  for (const auto& [constant, value] : constants) EXPECT_EQ(constant, value) << value;
}

constexpr uint8_t VkPrior = 0x21, VkNext = 0x22, VkEnd = 0x23, VkHome = 0x24, VkUp = 0x26,
                  VkRight = 0x27, VkDown = 0x28, VkInsert = 0x2D, VkDelete = 0x2E;

// Every entry of "Grid", with that table alone enabled; keys it leaves out match nothing.
TEST(EfBuiltInTables, GridEntries) {
  TEfCommandProcessor p;
  p.FindTableByTitle("Default")->SetEnabled(false);
  p.FindTableByTitle("Grid")->SetEnabled(true);
  const TStroke strokes[] = {
      {VkLeft, None, ccLeft},
      {VkRight, None, ccRight},
      {VkHome, None, ccHome},
      {VkEnd, None, ccEnd},
      {VkDelete, None, ccDel},
      {VkBack, None, ccBack},
      {VkNext, Ctrl, ccBotOfPage},
      {VkPrior, Ctrl, ccTopOfPage},
      {VkInsert, None, ccIns},
      {VkUp, None, ccUp},
      {VkDown, None, ccDown},
      {VkLeft, Shift, ccExtendLeft},
      {VkRight, Shift, ccExtendRight},
      {VkHome, Shift, ccExtendHome},
      {VkEnd, Shift, ccExtendEnd},
      {VkLeft, CtrlShift, ccExtWordLeft},
      {VkRight, CtrlShift, ccExtWordRight},
      {VkPrior, Shift, ccExtendPgUp},
      {VkNext, Shift, ccExtendPgDn},
      {VkUp, Shift, ccExtendUp},
      {VkDown, Shift, ccExtendDown},
      {VkHome, CtrlShift, ccExtFirstPage},
      {VkEnd, CtrlShift, ccExtLastPage},
      {VkPrior, CtrlShift, ccExtTopOfPage},
      {VkNext, CtrlShift, ccExtBotOfPage},
      {'X', Ctrl, ccCut},
      {'C', Ctrl, ccCopy},
      {'V', Ctrl, ccPaste},
      {VkPrior, None, ccPrevPage},
      {VkHome, Ctrl, ccFirstPage},
      {VkNext, None, ccNextPage},
      {VkEnd, Ctrl, ccLastPage},
      {VkLeft, Ctrl, ccPageLeft},
      {VkRight, Ctrl, ccPageRight},
      {'Z', Ctrl, ccRestore},
      {VkUp, Ctrl, ccTopLeftCell},
      {VkDown, Ctrl, ccBotRightCell},
      {VkF2, None, ccTableEdit},
      // Only in "Default": Shift+Backspace, Shift+Delete, Ctrl+Insert, Shift+Insert, Tab.
      {VkBack, Shift, ccCharAllowed},
      {VkDelete, Shift, ccCharAllowed},
      {VkInsert, Ctrl, ccCharAllowed},
      {VkInsert, Shift, ccCharAllowed},
      {0x09, None, ccCharAllowed},
      {'Z', CtrlShift, ccCharAllowed},
  };
  for (const TStroke& s : strokes) {
    EXPECT_EQ(EfCommandName(p.KeyToCommandShift(s.Key, s.Shift)), EfCommandName(s.Expected))
        << "key " << int(s.Key) << " shift " << int(s.Shift.ToBits());
  }
}

// Every entry of "WordStar", with that table alone enabled. A two-key entry takes its second
// key plain or with Ctrl, not with Shift.
TEST(EfBuiltInTables, WordStarEntries) {
  const std::pair<uint8_t, TEfCommand> single[] = {
      {'S', ccLeft},     {'D', ccRight},     {'E', ccUp},       {'X', ccDown},
      {'R', ccPrevPage}, {'C', ccNextPage},  {'W', ccScrollUp}, {'Z', ccScrollDown},
      {'A', ccWordLeft}, {'F', ccWordRight}, {'G', ccDel},      {'H', ccBack},
      {'Y', ccDelLine},  {'V', ccIns},       {'T', ccDelWord},  {'P', ccCtrlChar}};
  std::vector<std::tuple<uint8_t, uint8_t, TEfCommand>> pairs = {
      {'Q', 'S', ccHome}, {'Q', 'D', ccEnd}, {'Q', 'Y', ccDelEol}, {'Q', 'L', ccRestore}};
  for (uint8_t d = 0; d <= 9; ++d) {
    pairs.emplace_back('Q', '0' + d, ccGotoMarker0 + d);
    pairs.emplace_back('K', '0' + d, ccSetMarker0 + d);
  }
  EXPECT_EQ(std::size(single) + pairs.size(), 40u);
  TEfCommandProcessor p;
  p.FindTableByTitle("Default")->SetEnabled(false);
  p.FindTableByTitle("WordStar")->SetEnabled(true);
  for (const auto& [key, command] : single) {
    EXPECT_EQ(EfCommandName(p.KeyToCommandShift(key, Ctrl)), EfCommandName(command)) << key;
    p.ResetSequence();  // ^P leaves the next key to be taken literally
    EXPECT_EQ(p.KeyToCommandShift(key, None), ccCharAllowed) << key << " without Ctrl";
    EXPECT_EQ(p.KeyToCommandShift(key, CtrlShift), ccCharAllowed) << key << " with Shift";
  }
  for (const auto& [first, second, command] : pairs) {
    for (const TShiftState secondShift : {None, Ctrl}) {
      EXPECT_EQ(p.KeyToCommandShift(first, Ctrl), ccSequencePending) << first;
      EXPECT_EQ(EfCommandName(p.KeyToCommandShift(second, secondShift)), EfCommandName(command))
          << first << " " << second << " shift " << int(secondShift.ToBits());
    }
    EXPECT_EQ(p.KeyToCommandShift(first, Ctrl), ccSequencePending);
    EXPECT_EQ(p.KeyToCommandShift(second, Shift), ccSequenceFailed) << first << " Shift+" << second;
    EXPECT_EQ(p.KeyToCommandShift(first, Ctrl), ccSequencePending);
    EXPECT_EQ(p.KeyToCommandShift(second, Alt), ccSequenceFailed) << first << " Alt+" << second;
  }
}

// KeyToCommand builds the shift code from the keys held: Shift 2, Ctrl 4, Alt 8.
TEST(EfBuiltInTables, ShiftCodesFromTheKeysHeld) {
  constexpr uint8_t VkMenu = 0x12;
  struct {
    bool ShiftDown, CtrlDown, AltDown;
    uint8_t Key;
    TEfCommand Expected;
  } const cases[] = {
      {false, false, false, VkLeft, ccLeft},
      {true, false, false, VkLeft, ccExtendLeft},
      {false, true, false, VkLeft, ccWordLeft},
      {true, true, false, VkLeft, ccExtWordLeft},
      {false, false, true, VkLeft, ccCharAllowed},
      {true, false, false, VkBack, ccBack},
      {false, false, true, VkBack, ccRestore},
      {true, false, true, VkBack, ccCharAllowed},
      {true, false, false, VkInsert, ccPaste},
      {false, true, false, VkInsert, ccCopy},
      {true, false, false, VkDelete, ccCut},
      {true, true, false, 'Z', ccRedo},
      {false, true, false, 'Z', ccUndo},
      {true, false, false, 'Z', ccCharAllowed},
      {true, true, false, '0', ccSetMarker0},
      {false, true, false, '9', ccGotoMarker0 + 9},
      {false, true, false, 0x0D, ccNewLine},
      {true, false, false, 0x0D, ccCharAllowed},
      {false, true, false, 0x09, ccTab},
      // The modifier keys themselves.
      {true, false, false, VkShift, ccCharAllowed},
      {false, true, false, VkControl, ccCharAllowed},
  };
  for (const auto& c : cases) {
    static bool shift = false, ctrl = false, alt = false;
    shift = c.ShiftDown;
    ctrl = c.CtrlDown;
    alt = c.AltDown;
    const TEfKeyStateProbe probe = [](uint8_t Key) {
      return (Key == VkShift && shift) || (Key == VkControl && ctrl) || (Key == VkMenu && alt);
    };
    TEfCommandProcessor p;
    EXPECT_EQ(EfCommandName(p.KeyToCommand(c.Key, probe)), EfCommandName(c.Expected))
        << "key " << int(c.Key) << " shift " << c.ShiftDown << " ctrl " << c.CtrlDown << " alt "
        << c.AltDown;
  }
}

TEST(EfCommandProcessor, BuiltInTablesInOrder) {
  TEfCommandProcessor p;
  struct {
    const char* Title;
    bool Enabled;
    int Count;
  } const expected[] = {{"Default", true, 64}, {"WordStar", false, 40}, {"Grid", false, 38}};
  ASSERT_EQ(p.TableCount(), 3);
  for (int i = 0; i < 3; ++i) {
    const TEfCommandTable& t = p.Table(i);
    EXPECT_EQ(t.Title(), expected[i].Title);
    EXPECT_EQ(t.Enabled(), expected[i].Enabled);
    EXPECT_EQ(t.Count(), expected[i].Count);
    // No key value twice in a table.
    for (int e = 0; e < t.Count(); ++e) {
      EXPECT_EQ(t.IndexOfKey(t.Entry(e).KeyValue()), e) << t.Title() << " entry " << e;
    }
  }
  EXPECT_THROW((void)p.Table(3), ETableNotFound);
  EXPECT_EQ(TEfCommandTable().Title(), "(Unknown)");
  EXPECT_TRUE(TEfCommandTable().Enabled());
}

TEST(EfCommandProcessor, DefaultTableByVirtualKeyCode) {
  // Every entry of "Default", with the keys as Windows numbers them.
  constexpr uint8_t Back = 0x08, Tab = 0x09, Enter = 0x0D, PgUp = 0x21, PgDn = 0x22, End = 0x23,
                    Home = 0x24, Left = 0x25, Up = 0x26, Right = 0x27, Down = 0x28, Ins = 0x2D,
                    Del = 0x2E;
  struct {
    uint8_t Key;
    TShiftState Shift;
    TEfCommand Expected;
  } const cases[] = {
      {Left, None, ccLeft},
      {Right, None, ccRight},
      {Left, Ctrl, ccWordLeft},
      {Right, Ctrl, ccWordRight},
      {Home, None, ccHome},
      {End, None, ccEnd},
      {Del, None, ccDel},
      {Back, None, ccBack},
      {Back, Shift, ccBack},
      {PgUp, Ctrl, ccTopOfPage},
      {PgDn, Ctrl, ccBotOfPage},
      {Ins, None, ccIns},
      {'Z', Ctrl, ccUndo},
      {Back, Alt, ccRestore},
      {Up, None, ccUp},
      {Down, None, ccDown},
      {Enter, Ctrl, ccNewLine},
      {Left, Shift, ccExtendLeft},
      {Right, Shift, ccExtendRight},
      {Home, Shift, ccExtendHome},
      {End, Shift, ccExtendEnd},
      {Left, CtrlShift, ccExtWordLeft},
      {Right, CtrlShift, ccExtWordRight},
      {PgUp, Shift, ccExtendPgUp},
      {PgDn, Shift, ccExtendPgDn},
      {Up, Shift, ccExtendUp},
      {Down, Shift, ccExtendDown},
      {Home, CtrlShift, ccExtFirstPage},
      {End, CtrlShift, ccExtLastPage},
      {PgUp, CtrlShift, ccExtTopOfPage},
      {PgDn, CtrlShift, ccExtBotOfPage},
      {Del, Shift, ccCut},
      {'X', Ctrl, ccCut},
      {Ins, Ctrl, ccCopy},
      {'C', Ctrl, ccCopy},
      {Ins, Shift, ccPaste},
      {'V', Ctrl, ccPaste},
      {PgUp, None, ccPrevPage},
      {PgDn, None, ccNextPage},
      {Home, Ctrl, ccFirstPage},
      {End, Ctrl, ccLastPage},
      {Tab, None, ccTab},
      {Tab, Ctrl, ccTab},
      {'Z', CtrlShift, ccRedo},
      // Keys next to the table's, and the table's keys with other modifiers: no command.
      {0x0A, None, ccCharAllowed},
      {0x0E, Ctrl, ccCharAllowed},
      {Enter, None, ccCharAllowed},
      {0x29, None, ccCharAllowed},
      {0x2F, None, ccCharAllowed},
      {Del, Ctrl, ccCharAllowed},
      {Tab, Shift, ccCharAllowed},
  };
  TEfCommandProcessor p;
  for (const auto& c : cases) {
    EXPECT_EQ(EfCommandName(p.KeyToCommandShift(c.Key, c.Shift)), EfCommandName(c.Expected))
        << "key " << int{c.Key};
  }
  for (uint8_t i = 0; i < 10; ++i) {
    EXPECT_EQ(p.KeyToCommandShift('0' + i, Ctrl), ccGotoMarker0 + i) << int{i};
    EXPECT_EQ(p.KeyToCommandShift('0' + i, CtrlShift), ccSetMarker0 + i) << int{i};
  }
  // Each of them is a one-key entry: the same key value added again is a duplicate.
  for (const auto& c : cases) {
    if (c.Expected == ccCharAllowed) continue;
    const auto code = static_cast<uint8_t>((c.Shift.Contains(ssShift) ? 2 : 0) +
                                           (c.Shift.Contains(ssCtrl) ? 4 : 0) +
                                           (c.Shift.Contains(ssAlt) ? 8 : 0));
    EXPECT_THROW(p.AddEntryToTable("Default", {c.Key, code, 0, 0, ccUser}), EDuplicateCommand)
        << "key " << int{c.Key};
  }
}

TEST(EfCommandNames, NoNamesBetweenTheNamedAndTheInternalCommands) {
  const std::pair<TEfCommand, const char*> names[] = {
      {75, "ccWordRight"},  {76, ""},        {200, ""},        {248, ""},
      {249, "ccTypedChar"}, {256, "ccUser"}, {257, "ccUser1"}, {1256, "ccUser1000"}};
  for (const auto& [command, name] : names) EXPECT_EQ(EfCommandName(command), name) << command;
}

TEST(EfCommandProcessor, ModifierAndLockKeysNeitherBreakNorEndASequence) {
  // Shift, Ctrl, Alt, Caps Lock, Num Lock and Scroll Lock between the two keys of ^Q S; the
  // keys beside them in the numbering (Pause 0x13, 0x15, 0x8F, 0x92) are ordinary keys.
  for (const uint8_t key : {0x10, 0x11, 0x12, 0x14, 0x90, 0x91}) {
    TEfCommandProcessor p;
    p.FindTableByTitle("WordStar")->SetEnabled(true);
    EXPECT_EQ(p.KeyToCommandShift(key, None), ccCharAllowed) << int{key};
    EXPECT_EQ(p.KeyToCommandShift('Q', Ctrl), ccSequencePending);
    EXPECT_EQ(p.KeyToCommandShift(key, Ctrl), ccSequencePending) << int{key};
    EXPECT_EQ(p.KeyToCommandShift('S', None), ccHome) << int{key};
  }
  for (const uint8_t key : {0x13, 0x15, 0x8F, 0x92}) {
    TEfCommandProcessor p;
    p.FindTableByTitle("WordStar")->SetEnabled(true);
    EXPECT_EQ(p.KeyToCommandShift('Q', Ctrl), ccSequencePending);
    EXPECT_EQ(p.KeyToCommandShift(key, None), ccSequenceFailed) << int{key};
    EXPECT_EQ(p.KeyToCommandShift('S', None), ccCharAllowed) << int{key};
  }
}

TEST(EfCommandProcessor, KeyToCommandReadsTheModifiersAtTheKey) {
  TEfCommandProcessor p;
  static bool ctrlDown = false;
  const TEfKeyStateProbe probe = [](uint8_t Key) { return Key == VkControl && ctrlDown; };
  EXPECT_EQ(p.KeyToCommand('Z', probe), ccCharAllowed);
  ctrlDown = true;
  EXPECT_EQ(p.KeyToCommand('Z', probe), ccUndo);
  // A sequence is forgotten when a field gets the focus.
  p.FindTableByTitle("WordStar")->SetEnabled(true);
  EXPECT_EQ(p.KeyToCommand('Q', probe), ccSequencePending);
  EXPECT_EQ(p.SequenceState(), essSecondKey);
  p.ResetSequence();
  ctrlDown = false;
  EXPECT_EQ(p.KeyToCommand('S', probe), ccCharAllowed);
}

TEST(EfCommandProcessor, AppendedTitlesAreMadeUnique) {
  struct {
    std::vector<const char*> Before;  // appended first, in order
    const char* Title;
    const char* Expected;
  } const cases[] = {
      {{}, "Default", "Default1"},
      {{"Default"}, "Default", "Default2"},
      {{}, "default", "default1"},
      {{}, "Table12", "Table12"},
      {{"Table12"}, "Table12", "Table12"},
      {{"Table"}, "Table12", "Table1"},
      {{"Table", "Table1"}, "Table12", "Table2"},
      {{"A1"}, "A12", "A11"},
      {{"X"}, "X9", "X9"},
  };
  for (const auto& c : cases) {
    TEfCommandProcessor p;
    for (const char* t : c.Before) p.NewTable(t, true);
    const int index = p.NewTable(c.Title, false);
    EXPECT_EQ(p.Table(index).Title(), c.Expected) << c.Title;
    EXPECT_FALSE(p.Table(index).Enabled());
  }
}

TEST(EfCommandProcessor, AddingEntriesRefusesMissingTablesAndDuplicates) {
  TEfCommandProcessor p;
  const TEfKeyEntry userKey{VkF2, EfCtrl, 0, 0, ccUser + 3};
  p.AddEntryToTable("default", userKey);
  EXPECT_EQ(p.KeyToCommandShift(VkF2, Ctrl), ccUser + 3);
  try {
    p.AddEntryToTable("Default", userKey);
    FAIL();
  } catch (const EDuplicateCommand& e) {
    EXPECT_STREQ(e.what(), "Duplicate command found while adding a new command to the table");
  }
  try {
    p.AddEntryToTable("Missing", userKey);
    FAIL();
  } catch (const ETableNotFound& e) {
    EXPECT_STREQ(e.what(), "Command table not found or command table index out of range");
  }
}

TEST(EfCommandTable, EntriesByIndexAndKeyValue) {
  TEfKeyEntry e{0x01, 0x02, 0x03, 0x04, ccLeft};
  EXPECT_EQ(e.KeyValue(), 0x04030201u);
  TEfCommandTable t("T");
  t.AddEntry(e);
  t.AddEntry({'A', EfCtrl, 0, 0, ccRight});
  EXPECT_EQ(t.IndexOfKey(e.KeyValue()), 0);
  EXPECT_EQ(t.IndexOfKey(0x12345678), -1);
  t.Replace(0, {'B', 0, 0, 0, ccUp});
  EXPECT_EQ(t.Entry(0).Command, ccUp);
  t.Delete(0);
  EXPECT_EQ(t.Count(), 1);
  EXPECT_EQ(t.Entry(0).Command, ccRight);
  EXPECT_THROW(t.Delete(5), std::out_of_range);
}

TEST(EfCommandNames, ListingNames) {
  const std::pair<TEfCommand, const char*> names[] = {{ccNone, "ccNone"},
                                                      {ccLeft, "ccLeft"},
                                                      {ccWordRight, "ccWordRight"},
                                                      {ccGotoMarker0 + 9, "ccGotoMarker9"},
                                                      {ccSetMarker0, "ccSetMarker0"},
                                                      {ccTypedChar, "ccTypedChar"},
                                                      {ccSequencePending, "ccSequencePending"},
                                                      {ccUser, "ccUser"},
                                                      {ccUser + 2, "ccUser2"},
                                                      {100, ""}};
  for (const auto& [command, name] : names) EXPECT_EQ(EfCommandName(command), name) << command;
}

}  // namespace
