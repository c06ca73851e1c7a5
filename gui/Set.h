// A small set of enumeration values, one bit per value (bit = the value's ordinal): shift
// states, option sets and the like.
#pragma once

#include <cstdint>
#include <initializer_list>

template <class E, class Bits = uint32_t>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> Items) {
    for (const E item : Items) FBits |= Bit(item);
  }
  [[nodiscard]] static constexpr TSet FromBits(Bits Value) {
    TSet s;
    s.FBits = Value;
    return s;
  }

  [[nodiscard]] constexpr Bits ToBits() const { return FBits; }
  [[nodiscard]] constexpr bool Contains(E Item) const { return (FBits & Bit(Item)) != 0; }
  [[nodiscard]] constexpr bool Empty() const { return FBits == 0; }
  constexpr TSet& Include(E Item) {
    FBits |= Bit(Item);
    return *this;
  }
  constexpr TSet& Exclude(E Item) {
    FBits &= static_cast<Bits>(~Bit(Item));
    return *this;
  }

  friend constexpr bool operator==(TSet A, TSet B) { return A.FBits == B.FBits; }
  friend constexpr TSet operator|(TSet A, TSet B) { return FromBits(A.FBits | B.FBits); }
  friend constexpr TSet operator&(TSet A, TSet B) { return FromBits(A.FBits & B.FBits); }
  // The values of A that are not in B.
  friend constexpr TSet operator-(TSet A, TSet B) {
    return FromBits(A.FBits & static_cast<Bits>(~B.FBits));
  }

 private:
  static constexpr Bits Bit(E Item) {
    return static_cast<Bits>(Bits{1} << static_cast<unsigned>(Item));
  }

  Bits FBits = 0;
};

// The modifier keys and mouse buttons held with a key or mouse event.
enum TShiftStateItem : uint8_t { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateItem, uint8_t>;
