// Names of the remote's buttons as LIRC clients expect them, and the code pairs they name.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The pair of numbers the receiver gives for a button (the pair of its press).
struct TCodePair {
  uint32_t Code1 = 0;
  uint32_t Code2 = 0;
  friend auto operator<=>(const TCodePair&, const TCodePair&) = default;
};

// "%u,%u".
[[nodiscard]] std::string FormatCodePair(TCodePair Code);
// Two unsigned 32-bit decimal numbers with a comma between them, blanks allowed around each;
// none when the text is anything else.
[[nodiscard]] std::optional<TCodePair> ParseCodePair(std::string_view Text);

// LIRC clients split a line at blanks, so a name is one word of plain ASCII.
inline constexpr size_t MaxButtonNameLength = 64;

// Empty when Name may name a button (or the remote), else why not: it must not be empty, be
// longer than MaxButtonNameLength, hold blanks, control characters, characters outside plain
// ASCII or "=", begin with ";", "[" or "#", or look like a code pair (codes without a name are
// shown as their pair).
[[nodiscard]] std::string ButtonNameProblem(std::string_view Name);

// Names are matched without regard to case (ASCII letters only).
[[nodiscard]] bool SameButtonName(std::string_view A, std::string_view B);

// The usual Linux input names, offered when a button is named.
[[nodiscard]] std::span<const std::string_view> SuggestedButtonNames();
