#include "sim/RemoteKeys.h"

namespace remote {

namespace {

constexpr std::array<TKey, 24> KeyTable = {{
    {"Power", 0x0C}, {"Mute", 0x0D},       {"1", 0x01},     {"2", 0x02},    {"3", 0x03},
    {"4", 0x04},     {"5", 0x05},          {"6", 0x06},     {"7", 0x07},    {"8", 0x08},
    {"9", 0x09},     {"0", 0x0A},          {"Back", 0x0E},  {"Menu", 0x0F}, {"Up", 0x58},
    {"Down", 0x59},  {"Left", 0x5A},       {"Right", 0x5B}, {"OK", 0x5C},   {"Vol +", 0x10},
    {"Vol -", 0x11}, {"Play/Pause", 0x2C}, {"Ch +", 0x20},  {"Ch -", 0x21},
}};

}  // namespace

std::span<const TKey> Keys() {
  return KeyTable;
}

const TKey* FindKey(std::string_view Name) {
  for (const TKey& key : KeyTable) {
    if (key.Name == Name) return &key;
  }
  return nullptr;
}

TReport MakeReport(uint8_t Code, bool Held) {
  TReport report{};
  report[1] = ScanCode;
  report[2] = KeyPage;
  report[3] = static_cast<uint8_t>(Code | (Held ? HeldFlag : 0));
  return report;
}

bool TKeyRepeat::RepeatDue(uint64_t NowMs) {
  if (!FDown || NowMs < FNextMs) return false;
  FNextMs += RepeatIntervalMs * ((NowMs - FNextMs) / RepeatIntervalMs + 1);
  return true;
}

}  // namespace remote
