#include "widgets/efmask.h"

#include <algorithm>

namespace {

using uchar = unsigned char;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Letters of the Windows Latin-1 character set.
bool IsAlpha(char c) {
  const auto u = static_cast<uchar>(c);
  if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z')) return true;
  switch (u) {
    case 0x8A:
    case 0x8C:
    case 0x8E:
    case 0x9A:
    case 0x9C:
    case 0x9E:
    case 0x9F:
    case 0xAA:
    case 0xB5:
    case 0xBA:
      return true;
    default:
      return u >= 0xC0 && u != 0xD7 && u != 0xF7;
  }
}

char ToUpper(char c) {
  const auto u = static_cast<uchar>(c);
  if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) {
    return static_cast<char>(u - 0x20);
  }
  switch (u) {
    case 0x9A:
      return static_cast<char>(0x8A);
    case 0x9C:
      return static_cast<char>(0x8C);
    case 0x9E:
      return static_cast<char>(0x8E);
    case 0xFF:
      return static_cast<char>(0x9F);
    default:
      return c;
  }
}

char ToLower(char c) {
  const auto u = static_cast<uchar>(c);
  if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7)) {
    return static_cast<char>(u + 0x20);
  }
  switch (u) {
    case 0x8A:
      return static_cast<char>(0x9A);
    case 0x8C:
      return static_cast<char>(0x9C);
    case 0x8E:
      return static_cast<char>(0x9E);
    case 0x9F:
      return static_cast<char>(0xFF);
    default:
      return c;
  }
}

std::optional<char> If(bool Fits, char C) {
  if (Fits) return C;
  return std::nullopt;
}

bool BadSeparator(char c, bool BlankAllowed) {
  return IsDigit(c) || c == '-' || c == '+' ||
         (static_cast<uchar>(c) <= ' ' && !(BlankAllowed && c == ' '));
}

}  // namespace

TEfIntlSup TEfIntlSup::FromRegional(std::string_view Currency, std::string_view Decimal,
                                    std::string_view Thousands) {
  TEfIntlSup s;
  if (!Currency.empty()) s.CurrencyText = std::string(Currency.substr(0, Currency.find('\0')));
  if (!Decimal.empty()) s.DecimalChar = Decimal.front();
  if (!Thousands.empty()) s.ThousandsChar = Thousands.front();
  if (s.DecimalChar == s.ThousandsChar || BadSeparator(s.DecimalChar, false) ||
      BadSeparator(s.ThousandsChar, true)) {
    s.DecimalChar = '.';
    s.ThousandsChar = ',';
  }
  return s;
}

TEfUserData::TEfUserData() {
  const auto add = [](TEfUserSet& set, auto&& pred) {
    for (int c = 0; c < 256; ++c) {
      if (pred(static_cast<char>(c))) set.Chars.set(static_cast<size_t>(c));
    }
  };
  const auto alnum = [](char c) { return IsDigit(c) || IsAlpha(c); };
  add(Sets[0], alnum);
  Sets[0].Mode = cmUpper;
  add(Sets[1], alnum);
  Sets[1].Mode = cmLower;
  add(Sets[2], [](char c) { return IsAlpha(c) || c == ' ' || c == '-' || c == '\''; });
  Sets[2].Mode = cmMixed;
  add(Sets[3],
      [](char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); });
  Sets[3].Mode = cmUpper;
  add(Sets[4], [](char c) { return IsDigit(c) || c == ' ' || c == '+' || c == '-'; });
  add(Sets[5], [](char c) { return c == '0' || c == '1'; });
  add(Sets[6], [](char c) { return c >= ' ' && c <= '~'; });
  add(Sets[7], [](char) { return true; });
}

const TEfUserData& DefaultUserData() {
  static const TEfUserData data;
  return data;
}

bool IsPictureChar(char MaskChar) {
  constexpr std::string_view Picture = "!#123456789ABDEHKLMNOSXYabdhilmnstxy";
  return MaskChar != 0 && Picture.find(MaskChar) != std::string_view::npos;
}

TEfPositionKind PositionKind(char MaskChar) {
  if (IsPictureChar(MaskChar)) return pkEditable;
  if (MaskChar == '$' || MaskChar == ',') return pkFloating;
  return pkLiteral;
}

std::optional<char> FitPictureChar(char MaskChar, char C, char Prev, const TEfIntlSup& Intl,
                                   const TEfUserData& User) {
  const bool digit = IsDigit(C);
  switch (MaskChar) {
    case '9':
    case 'D':
    case 'H':
    case 'M':
    case 'S':
    case 'd':
    case 'h':
    case 'm':
    case 's':
    case 'y':
      return If(digit || C == ' ', C);
    case 'i':
      return If(digit || C == ' ' || C == '-', C);
    case '#':
      return If(digit || C == ' ' || C == '-' || C == '.', C);
    case 'E':
      C = ToUpper(C);
      return If(IsDigit(C) || C == ' ' || C == '-' || C == '.' || C == '+' || C == 'E', C);
    case 'K':
      C = ToUpper(C);
      return If(IsDigit(C) || C == ' ' || (C >= 'A' && C <= 'F'), C);
    case 'O':
      return If((C >= '0' && C <= '7') || C == ' ', C);
    case 'b':
      return If(C == '0' || C == '1' || C == ' ', C);
    case 'B':
      C = ToUpper(C);
      return If(C == ToUpper(Intl.TrueChar) || C == ToUpper(Intl.FalseChar), C);
    case 'Y':
      C = ToUpper(C);
      return If(C == ToUpper(Intl.YesChar) || C == ToUpper(Intl.NoChar), C);
    case 'A':
    case 'N':
      C = ToUpper(C);
      return If(IsAlpha(C), C);
    case 'a':
    case 'n':
      return If(IsAlpha(C), C);
    case 'l':
      C = ToLower(C);
      return If(IsAlpha(C), C);
    case 'X':
    case 't':
      return C;
    case '!':
      return ToUpper(C);
    case 'L':
      return ToLower(C);
    case 'x':
      return Prev == ' ' || Prev == '-' ? ToUpper(C) : C;
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8': {
      const TEfUserSet& set = User.Sets[static_cast<size_t>(MaskChar - '1')];
      switch (set.Mode) {
        case cmUpper:
          C = ToUpper(C);
          break;
        case cmLower:
          C = ToLower(C);
          break;
        case cmMixed:
          if (Prev == ' ' || Prev == '-') C = ToUpper(C);
          break;
        case cmNone:
          break;
      }
      return If(set.Chars.test(static_cast<uchar>(C)), C);
    }
    default:
      return std::nullopt;
  }
}

TEfPictureMask::TEfPictureMask(std::string_view Mask) {
  Mask = Mask.substr(0, std::min(Mask.find('\0'), EfMaxText));
  FMask = std::string(Mask);
  for (const char c : Mask) {
    if (c == 'p') {
      if (FParenPos < 0) FParenPos = static_cast<int>(FLayout.size());
    } else if (c == 'g') {
      if (FMinusPos < 0) FMinusPos = static_cast<int>(FLayout.size());
    } else {
      FLayout += c;
    }
  }
  const int n = static_cast<int>(FLayout.size());
  FKinds.reserve(FLayout.size());
  for (const char c : FLayout) FKinds.push_back(PositionKind(c));

  const auto has = [&](char c) { return FLayout.find(c) != std::string::npos; };
  FHexMode = has('K');
  FOctalMode = has('O');
  FBinaryMode = has('b');
  FHasDollar = has('$');
  FHasComma = has(',');
  FPointPos = static_cast<int>(std::min(FLayout.find('.'), FLayout.size()));
  if (FPointPos == n) FPointPos = -1;
  if (FPointPos >= 0) {
    for (int i = FPointPos + 1; i < n && FKinds[static_cast<size_t>(i)] == pkEditable; ++i) {
      ++FDecimalPositions;
    }
  }

  // The digit run: after the leading literal and floating positions (but not past the point),
  // the editable positions up to the first that is neither editable nor a thousands separator.
  int i = 0;
  while (i < n && FKinds[static_cast<size_t>(i)] != pkEditable && i != FPointPos) ++i;
  while (i < n &&
         (FKinds[static_cast<size_t>(i)] == pkEditable || FLayout[static_cast<size_t>(i)] == ',')) {
    if (FKinds[static_cast<size_t>(i)] == pkEditable) ++FDigitPositions;
    ++i;
  }
  FIntegerPositions = FDigitPositions;
  if (FDecimalPositions > 0) FDigitPositions += FDecimalPositions + 1;

  for (int k = n - 1; k >= 0; --k) {
    if (FKinds[static_cast<size_t>(k)] != pkLiteral) {
      FEntryChar = FLayout[static_cast<size_t>(k)];
      break;
    }
  }
}

std::string TEfPictureMask::Frame(const TEfIntlSup& Intl) const {
  const size_t n = FLayout.size();
  std::string out(n, ' ');
  for (size_t i = 0; i < n; ++i) {
    if (FKinds[i] == pkLiteral) out[i] = FLayout[i];
  }
  // A run of "c" holds the currency text right-aligned, a run of "C" left-aligned.
  const std::string_view currency = Intl.CurrencyText;
  for (size_t i = 0; i < n;) {
    const char c = FLayout[i];
    if (c != 'c' && c != 'C') {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < n && FLayout[end] == c) ++end;
    const std::string_view text = currency.substr(0, end - i);
    std::fill(out.begin() + static_cast<ptrdiff_t>(i), out.begin() + static_cast<ptrdiff_t>(end),
              ' ');
    const size_t at = c == 'c' ? end - text.size() : i;
    std::copy(text.begin(), text.end(), out.begin() + static_cast<ptrdiff_t>(at));
    i = end;
  }
  if (FPointPos >= 0) out[static_cast<size_t>(FPointPos)] = Intl.DecimalChar;
  return out;
}

std::string TEfPictureMask::OverflowText(const TEfIntlSup& Intl) const {
  std::string out = Frame(Intl);
  for (size_t k = 0; k < out.size(); ++k) {
    if (FKinds[k] != pkLiteral) out[k] = '*';
  }
  return out;
}

std::string TEfPictureMask::Merge(std::string_view ValueText, const TEfIntlSup& Intl) const {
  const size_t n = FLayout.size();
  std::string out = Frame(Intl);
  const std::string_view currency = Intl.CurrencyText;

  const bool negative = !ValueText.empty() && ValueText.front() == '-';
  if (negative) ValueText.remove_prefix(1);
  const size_t point = ValueText.find('.');
  std::string_view integer = ValueText.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : ValueText.substr(point + 1);
  // Leading zeros carry nothing; zero-filled masks put them back.
  while (integer.size() > 1 && integer.front() == '0') integer.remove_prefix(1);
  if (integer.empty()) integer = "0";

  if (FPointPos >= 0) {
    size_t k = 0;
    for (size_t i = static_cast<size_t>(FPointPos) + 1; i < n && FKinds[i] == pkEditable; ++i) {
      out[i] = k < fraction.size() ? fraction[k++] : '0';
    }
  }

  // Integer digits right to left into the editable positions before the point.
  bool overflow = false;
  ptrdiff_t next = static_cast<ptrdiff_t>(integer.size()) - 1;
  ptrdiff_t i = (FPointPos >= 0 ? FPointPos : static_cast<ptrdiff_t>(n)) - 1;
  for (; i >= 0 && next >= 0; --i) {
    const auto at = static_cast<size_t>(i);
    if (FKinds[at] == pkEditable || (FLayout[at] == ',' && Intl.ThousandsChar == 0)) {
      out[at] = integer[static_cast<size_t>(next--)];
    } else if (FLayout[at] == ',') {
      out[at] = Intl.ThousandsChar;
    }
  }
  if (next >= 0 && integer.substr(0, static_cast<size_t>(next) + 1).find_first_not_of('0') !=
                       std::string_view::npos) {
    overflow = true;
  }

  // Left of the number: floating currency, sign, then blanks (zeros in the digit modes).
  std::vector<size_t> left;
  for (; i >= 0; --i) {
    if (FKinds[static_cast<size_t>(i)] != pkLiteral) left.push_back(static_cast<size_t>(i));
  }
  const bool signLeft = negative && (FParenPos >= 0 || FMinusPos < 0);
  if (signLeft && left.empty()) overflow = true;
  const size_t signSlots = signLeft ? 1 : 0;
  const std::string_view floating =
      FHasDollar && left.size() >= currency.size() + signSlots ? currency : std::string_view();
  const char fill = FHexMode || FOctalMode || FBinaryMode ? '0' : ' ';
  size_t slot = 0;
  for (auto c = floating.rbegin(); c != floating.rend(); ++c) out[left[slot++]] = *c;
  // Zeros belong to the digits: in the digit modes the sign stands left of them.
  const size_t signSlot = !signLeft ? left.size() : fill == '0' ? left.size() - 1 : slot;
  for (; slot < left.size(); ++slot) {
    out[left[slot]] = slot != signSlot ? fill : FParenPos >= 0 ? '(' : '-';
  }

  if (FPointPos > 0) {
    const auto before = static_cast<size_t>(FPointPos) - 1;
    if (out[before] == ' ' && FKinds[before] != pkLiteral) out[before] = '0';
  }

  if (overflow) return OverflowText(Intl);
  if (negative && MarkPos() >= 0) out.insert(static_cast<size_t>(MarkPos()), 1, Mark());
  return out;
}

bool TEfPictureMask::HasMark(std::string_view Text) const {
  const int at = MarkPos();
  return at >= 0 && Text.size() == FLayout.size() + 1 && Text[static_cast<size_t>(at)] == Mark();
}

std::string TEfPictureMask::Extract(std::string_view Text, const TEfIntlSup& Intl) const {
  std::string shown(Text);
  const bool marked = HasMark(Text);
  if (marked) shown.erase(static_cast<size_t>(MarkPos()), 1);

  std::string s;
  const size_t n = std::min(shown.size(), FLayout.size());
  for (size_t i = 0; i < n; ++i) {
    if (FKinds[i] != pkLiteral || static_cast<int>(i) == FPointPos) s += shown[i];
  }
  if (FHasDollar && !Intl.CurrencyText.empty()) {
    for (size_t at = s.find(Intl.CurrencyText); at != std::string::npos;
         at = s.find(Intl.CurrencyText, at)) {
      s.erase(at, Intl.CurrencyText.size());
    }
  }
  if (FHasComma && Intl.ThousandsChar != 0) std::erase(s, Intl.ThousandsChar);
  std::replace(s.begin(), s.end(), Intl.DecimalChar, '.');
  if (FParenPos >= 0) std::replace(s.begin(), s.end(), '(', '-');

  const auto blank = [](char c) { return static_cast<uchar>(c) <= ' '; };
  const auto first = std::find_if_not(s.begin(), s.end(), blank);
  const auto last = std::find_if_not(s.rbegin(), s.rend(), blank).base();
  s = first < last ? std::string(first, last) : std::string();
  if (marked && (s.empty() || s.front() != '-')) s.insert(s.begin(), '-');
  return s;
}

std::vector<TEfPositionKind> TEfPictureMask::KindsOf(std::string_view Text) const {
  std::vector<TEfPositionKind> kinds = FKinds;
  if (HasMark(Text)) kinds.insert(kinds.begin() + MarkPos(), pkLiteral);
  kinds.resize(Text.size(), pkLiteral);
  return kinds;
}
