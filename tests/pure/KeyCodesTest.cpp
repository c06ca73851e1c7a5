#include "dialogs/KeyCodes.h"

#include <gtest/gtest.h>

namespace {

TEST(KeyCodes, ModifiersGoAboveTheKey) {
  EXPECT_EQ(KeyCode('A', false, true, true), 786497);  // 65 + 0x40000 + 0x80000
  EXPECT_EQ(KeyCode(13, false, true, false), 262157);  // Shift+Enter
  EXPECT_EQ(KeyCode('C', true, false, false), 0x20043);
  EXPECT_EQ(KeyCode(0xFFFF, true, true, true), 0xEFFFF);  // bit 16 stays clear
}

TEST(KeyCodes, OnlyBareControlKeysAreReserved) {
  for (const int code : {13, 27, 38, 40, 48, 52, 57}) EXPECT_TRUE(IsReservedKeyCode(code));
  for (const int code : {12, 37, 39, 47, 58, 96, 105, KeyCode(13, false, true, false),
                         KeyCode(27, true, false, false), KeyCode('5', false, false, true)}) {
    EXPECT_FALSE(IsReservedKeyCode(code)) << code;
  }
  EXPECT_TRUE(IsModifierKey(16));
  EXPECT_TRUE(IsModifierKey(17));
  EXPECT_TRUE(IsModifierKey(18));
  EXPECT_FALSE(IsModifierKey(19));
}

}  // namespace
