// Keyboard keys offered as codes by the capture dialog.
#pragma once

#include <cstdint>

// Code2 of every keyboard code.
inline constexpr int32_t KeyboardCode2 = 9999;

// The virtual-key code in bits 0-15, Alt as 0x20000, Shift as 0x40000, Ctrl as 0x80000.
[[nodiscard]] constexpr int32_t KeyCode(uint16_t Key, bool Alt, bool Shift, bool Ctrl) {
  return int32_t{Key} | (Alt ? 0x20000 : 0) | (Shift ? 0x40000 : 0) | (Ctrl ? 0x80000 : 0);
}

// Shift, Ctrl and Alt by themselves give no code.
[[nodiscard]] constexpr bool IsModifierKey(uint16_t Key) {
  return Key >= 16 && Key <= 18;
}

// Enter, Escape, Up, Down and the digits 0-9 without modifiers drive the dialogs and the
// programs that use the codes; they are never taken as codes.
[[nodiscard]] constexpr bool IsReservedKeyCode(int32_t Code) {
  return Code == 13 || Code == 27 || Code == 38 || Code == 40 || (Code >= 48 && Code <= 57);
}
