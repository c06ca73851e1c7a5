// Editing commands: the built-in tables, key sequences, table titles and the refusals.
#include <gtest/gtest.h>

#include <string>
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
