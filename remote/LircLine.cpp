#include "remote/LircLine.h"

#include <array>
#include <charconv>

namespace {

// Lower-case hexadecimal digits, at least Width of them.
void AppendHex(std::string& Out, uint64_t Value, size_t Width) {
  std::array<char, 16> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), Value, 16);
  const auto length = static_cast<size_t>(result.ptr - digits.data());
  if (length < Width) Out.append(Width - length, '0');
  Out.append(digits.data(), length);
}

void AppendWord(std::string& Out, std::string_view Word) {
  for (const char c : Word) {
    const auto u = static_cast<unsigned char>(c);
    Out += u <= ' ' || u == 0x7F ? '_' : c;
  }
}

}  // namespace

std::string LircLine(TCodePair Code, uint32_t RepeatCount, std::string_view ButtonName,
                     std::string_view RemoteName) {
  std::string line;
  AppendHex(line, LircCode(Code), 16);
  line += ' ';
  AppendHex(line, RepeatCount, 2);
  line += ' ';
  if (ButtonName.empty()) {
    line += FormatCodePair(Code);
  } else {
    AppendWord(line, ButtonName);
  }
  line += ' ';
  AppendWord(line, RemoteName.empty() ? std::string_view("remote") : RemoteName);
  line += '\n';
  return line;
}

uint32_t TRepeatCounter::Code(TCodePair Code, bool Repeat) {
  if (Repeat && FHeld && Code == FCode) {
    if (FCount < UINT32_MAX) ++FCount;
  } else {
    FHeld = true;
    FCode = Code;
    FCount = 0;
  }
  return FCount;
}
