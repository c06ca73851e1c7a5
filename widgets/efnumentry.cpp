#include "widgets/efnumentry.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

namespace {

using uchar = unsigned char;

constexpr std::array<TNumericTypeInfo, NumericDataTypeCount> TypeInfos = {{
    {4, "iiiiiiiiiii", INT32_MIN, INT32_MAX,
     "Invalid range. Enter a value between (-2147483648) and (2147483647)"},
    {2, "99999", 0, 65535, "Invalid range. Enter a value between (0) and (65535)"},
    {2, "iiiiii", -32768, 32767, "Invalid range. Enter a value between (-32768) and (32767)"},
    {1, "999", 0, 255, "Invalid range. Enter a value between (0) and (255)"},
    {1, "iiii", -128, 127, "Invalid range. Enter a value between (-128) and (127)"},
    {8, "##########", 0, 0, "Invalid range. Enter a value between (-1.7e+38) and (+1.7e+38)"},
    {10, "##########", 0, 0, "Invalid range. Enter a value between (-1.1e+4932) and (+1.1e+4932)"},
    {8, "##########", 0, 0, "Invalid range. Enter a value between (-1.7e+308) and (+1.7e+308)"},
    {4, "##########", 0, 0, "Invalid range. Enter a value between (-3.4e+38) and (+3.4e+38)"},
    {8, "iiiiiiiiii", 0, 0, "Invalid range. Enter a value between (-9.2e+18) and (+9.2e+18)"},
}};

// 1.1e+4932 as a 10-byte extended; the sign is bit 7 of the last byte.
constexpr TEfRangeRecord ExtendedRangeEnd = {0xE1, 0x75, 0x58, 0x7F, 0xED,
                                             0x2A, 0xB1, 0xEC, 0xFE, 0x7F};

// Above this no mask can show a number; formatting stops there.
constexpr long double LargestShown = 1e255L;

uint64_t LoadLE(std::span<const uint8_t> Bytes, size_t Count) {
  uint64_t v = 0;
  for (size_t i = std::min(Count, Bytes.size()); i-- > 0;) v = (v << 8) | Bytes[i];
  return v;
}

void StoreLE(std::span<uint8_t> Bytes, uint64_t Value, size_t Count) {
  for (size_t i = 0; i < Count && i < Bytes.size(); ++i, Value >>= 8) {
    Bytes[i] = static_cast<uint8_t>(Value);
  }
}

int32_t RecordInteger(const TEfRangeRecord& Record) {
  return static_cast<int32_t>(static_cast<uint32_t>(LoadLE(Record, 4)));
}

TEfRangeRecord IntegerRecord(int32_t Value) {
  TEfRangeRecord r{};
  StoreLE(r, static_cast<uint32_t>(Value), 4);
  return r;
}

// An integer cut to the width of a type, zero- or sign-extended again.
int32_t CutToType(int32_t Value, TNumericDataType Type) {
  switch (Type) {
    case nftWord:
      return static_cast<uint16_t>(Value);
    case nftInteger:
      return static_cast<int16_t>(Value);
    case nftByte:
      return static_cast<uint8_t>(Value);
    case nftShortInt:
      return static_cast<int8_t>(Value);
    default:
      return Value;
  }
}

// A value rounded to single or double precision through memory: 32-bit x87 code may otherwise
// keep the extra precision of its registers.
long double RoundToSingle(long double Value) {
  const volatile float f = static_cast<float>(Value);
  return f;
}

long double RoundToDouble(long double Value) {
  const volatile double d = static_cast<double>(Value);
  return d;
}

bool IsBlank(char c) {
  return static_cast<uchar>(c) <= ' ';
}

std::string_view Trim(std::string_view t) {
  while (!t.empty() && IsBlank(t.front())) t.remove_prefix(1);
  while (!t.empty() && IsBlank(t.back())) t.remove_suffix(1);
  return t;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Digits in Base (2, 8, 10 or 16), at least one, none beyond Limit.
std::optional<uint32_t> ParseDigits(std::string_view Digits, uint32_t Base, uint64_t Limit) {
  if (Digits.empty()) return std::nullopt;
  uint64_t v = 0;
  for (const char c : Digits) {
    const int d = HexDigit(c);
    if (d < 0 || static_cast<uint32_t>(d) >= Base) return std::nullopt;
    v = v * Base + static_cast<uint32_t>(d);
    if (v > Limit) return std::nullopt;
  }
  return static_cast<uint32_t>(v);
}

// A signed 32-bit integer: an optional sign, then decimal digits, or hexadecimal digits after
// "$" or "0x" (any 32-bit pattern).
std::optional<int32_t> ParseInteger(std::string_view t) {
  t = Trim(t);
  bool negative = false;
  if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    t.remove_prefix(1);
  } else if (t.empty() || t.front() != '$') {
    const auto v = ParseDigits(t, 10, negative ? 0x80000000u : 0x7FFFFFFFu);
    if (!v) return std::nullopt;
    return static_cast<int32_t>(negative ? 0u - *v : *v);
  }
  const auto v = ParseDigits(t.substr(1), 16, 0xFFFFFFFFu);
  if (!v) return std::nullopt;
  return static_cast<int32_t>(negative ? 0u - *v : *v);
}

// Digits, an optional fraction and an optional exponent; nothing else.
bool IsDecimalNumber(std::string_view t) {
  const auto digits = [&] {
    const size_t n = std::min(t.find_first_not_of("0123456789"), t.size());
    t.remove_prefix(n);
    return n > 0;
  };
  if (!digits()) return false;
  if (!t.empty() && t.front() == '.') {
    t.remove_prefix(1);
    if (!digits()) return false;
  }
  if (!t.empty() && (t.front() == 'e' || t.front() == 'E')) {
    t.remove_prefix(1);
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) t.remove_prefix(1);
    if (!digits()) return false;
  }
  return t.empty();
}

template <class Float>
std::optional<long double> FromChars(std::string_view t) {
  Float v{};
  const auto r = std::from_chars(t.data(), t.data() + t.size(), v, std::chars_format::general);
  if (r.ec != std::errc() || r.ptr != t.data() + t.size()) return std::nullopt;
  return static_cast<long double>(v);
}

// An extended value from a decimal number. Not every library's from_chars reads long double to
// its full precision, so the C library reads it; the point moves into the exponent, which keeps
// the C locale's decimal point out of the way.
std::optional<long double> ExtendedFromChars(std::string_view t) {
  std::string digits;
  long long exp = 0;
  size_t i = 0;
  for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) digits += t[i];
  if (i < t.size() && t[i] == '.') {
    for (++i; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i, --exp) digits += t[i];
  }
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    const bool negative = ++i < t.size() && t[i] == '-';
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
    long long e = 0;
    for (; i < t.size(); ++i) e = std::min(e * 10 + (t[i] - '0'), 100000000LL);
    exp += negative ? -e : e;
  }
  const std::string text = digits + "e" + std::to_string(exp);
  char* end = nullptr;
  errno = 0;
  const long double v = std::strtold(text.c_str(), &end);
  if (errno == ERANGE || end != text.c_str() + text.size()) return std::nullopt;
  return v;
}

template <class Float>
std::string Shortest(Float Value) {
  std::array<char, 64> buf{};
  const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), Value);
  return std::string(buf.data(), r.ptr);
}

bool IsFloatType(TNumericDataType Type) {
  return Type == nftReal || Type == nftExtended || Type == nftDouble || Type == nftSingle;
}

// Range records of the non-integer types: doubles for nftReal, extended values for the others.
long double RecordFloat(TNumericDataType Type, const TEfRangeRecord& Record) {
  if (Type == nftReal) return std::bit_cast<double>(LoadLE(Record, 8));
  return DecodeExtended(Record);
}

TEfRangeRecord FloatRecord(TNumericDataType Type, long double Value) {
  if (Type != nftReal) return EncodeExtended(Value);
  TEfRangeRecord r{};
  StoreLE(r, std::bit_cast<uint64_t>(static_cast<double>(Value)), 8);
  return r;
}

struct TRange {
  TEfRangeRecord Low, High;
};

TRange DefaultRange(TNumericDataType Type) {
  const auto floats = [Type](long double end) {
    return TRange{FloatRecord(Type, -end), FloatRecord(Type, end)};
  };
  switch (Type) {
    case nftReal:
      return floats(1.7e38L);
    case nftDouble:
      return floats(1.7e308L);
    case nftSingle:
      return floats(3.4e38L);
    case nftComp:
      return floats(9.2e18L);
    case nftExtended: {
      TRange r{ExtendedRangeEnd, ExtendedRangeEnd};
      r.Low[9] |= 0x80;
      return r;
    }
    default:
      return {IntegerRecord(TypeInfos[Type].Min), IntegerRecord(TypeInfos[Type].Max)};
  }
}

}  // namespace

size_t DataSizeOfKind(int KindCode) {
  const int low = KindCode & 0x3F;
  if (KindCode < NumericKindBase || low < 4 || low > 13) throw EWidgetError();
  return TypeInfos[static_cast<size_t>(low - 4)].Size;
}

const TNumericTypeInfo& NumericTypeInfo(TNumericDataType Type) {
  if (Type >= NumericDataTypeCount) throw EWidgetError();
  return TypeInfos[Type];
}

TEfRangeRecord EncodeExtended(long double Value) {
  TEfRangeRecord r{};
  uint16_t signExp = std::signbit(Value) ? 0x8000 : 0;
  uint64_t mantissa = 0;
  if (std::isnan(Value)) {
    signExp |= 0x7FFF;
    mantissa = 0xC000000000000000u;
  } else if (std::isinf(Value)) {
    signExp |= 0x7FFF;
    mantissa = 0x8000000000000000u;
  } else if (Value != 0) {
    int exp = 0;
    const long double fraction = std::frexp(std::fabs(Value), &exp);  // [0.5, 1)
    const int biased = exp - 1 + 16383;
    if (biased <= 0) {
      mantissa = static_cast<uint64_t>(std::ldexp(std::fabs(Value), 16382 + 63));
    } else {
      signExp = static_cast<uint16_t>(signExp | biased);
      mantissa = static_cast<uint64_t>(std::ldexp(fraction, 64));
    }
  }
  StoreLE(r, mantissa, 8);
  StoreLE(std::span(r).subspan(8), signExp, 2);
  return r;
}

long double DecodeExtended(std::span<const uint8_t, 10> Bytes) {
  const uint64_t mantissa = LoadLE(Bytes, 8);
  const auto signExp = static_cast<uint16_t>(LoadLE(Bytes.subspan(8), 2));
  const int exp = signExp & 0x7FFF;
  long double v = 0;
  if (exp == 0x7FFF) {
    v = (mantissa << 1) == 0 ? std::numeric_limits<long double>::infinity()
                             : std::numeric_limits<long double>::quiet_NaN();
  } else {
    v = std::ldexp(static_cast<long double>(mantissa), (exp == 0 ? 1 : exp) - 16383 - 63);
  }
  return (signExp & 0x8000) != 0 ? -v : v;
}

TEfNumericEntry::TEfNumericEntry(TEfIntlSup Intl)
    : FIntl(std::move(Intl)), FUser(&DefaultUserData()) {
  SetDataType(nftLongInt);
}

void TEfNumericEntry::SetDataType(TNumericDataType Type) {
  const TNumericTypeInfo& info = NumericTypeInfo(Type);
  FDataType = Type;
  ResetRange();
  FMask = TEfPictureMask(info.DefaultMask);
  Initialize();
}

bool TEfNumericEntry::SetPictureMask(std::string_view Mask, bool DesignChecks) {
  Mask = Mask.substr(0, Mask.find('\0'));
  if (Mask.size() > EfMaxText) throw EInvalidPictureMask(Mask);
  if (Mask.empty() || Mask == FMask.Mask()) return false;
  if (DesignChecks && IsFloatType(FDataType) && Mask.find('.') != std::string_view::npos &&
      Mask.find_first_of("9i") != std::string_view::npos) {
    throw EInvalidPictureMask(Mask);
  }
  std::array<uint8_t, 10> value{};
  const bool held = ReadValue(value);
  FMask = TEfPictureMask(Mask);
  Initialize();
  if (held) WriteValue(value);
  return true;
}

void TEfNumericEntry::SetIntl(TEfIntlSup Intl) {
  std::array<uint8_t, 10> value{};
  const bool held = ReadValue(value);
  FIntl = std::move(Intl);
  if (held) {
    WriteValue(value);
  } else {
    Rebuild();
  }
}

TEfRangeRecord TEfNumericEntry::CheckedRecord(std::span<const uint8_t> Record) const {
  const size_t need = IsIntegerType(FDataType) ? DataSize() : (FDataType == nftReal ? 8 : 10);
  if (Record.size() < need || Record.size() > 10) {
    throw EInvalidRangeValue(std::string(NumericTypeInfo(FDataType).RangeError));
  }
  TEfRangeRecord r{};
  std::copy(Record.begin(), Record.end(), r.begin());
  if (IsIntegerType(FDataType) && Record.size() < 4) {
    // A short record holds the type's own value: extend it to the 32 bits compared.
    const auto raw = static_cast<int32_t>(LoadLE(Record, Record.size()));
    r = IntegerRecord(CutToType(raw, FDataType));
  }
  return r;
}

void TEfNumericEntry::SetRangeHigh(std::span<const uint8_t> Record) {
  FRangeHigh = CheckedRecord(Record);
}

void TEfNumericEntry::SetRangeLow(std::span<const uint8_t> Record) {
  FRangeLow = CheckedRecord(Record);
}

long double TEfNumericEntry::RangeFloat(const TEfRangeRecord& Record) const {
  return RecordFloat(FDataType, Record);
}

void TEfNumericEntry::ResetRange() {
  const TRange r = DefaultRange(FDataType);
  FRangeLow = r.Low;
  FRangeHigh = r.High;
}

TEfRangeRecord TEfNumericEntry::TextToRecord(std::string_view Text) const {
  const TNumericTypeInfo& info = NumericTypeInfo(FDataType);
  Text = Trim(Text);
  if (IsIntegerType(FDataType)) {
    const auto v = TextToInteger(Text);
    if (v && *v >= info.Min && *v <= info.Max) return IntegerRecord(*v);
  } else {
    const TRange range = DefaultRange(FDataType);
    const auto v = TextToFloat(Text);
    if (v && *v >= RangeFloat(range.Low) && *v <= RangeFloat(range.High)) {
      return FloatRecord(FDataType, *v);
    }
  }
  throw EInvalidRangeValue(std::string(info.RangeError));
}

std::string TEfNumericEntry::RecordToText(const TEfRangeRecord& Record) const {
  if (IsIntegerType(FDataType)) return IntegerToText(RecordInteger(Record));
  const long double v = RangeFloat(Record);
  switch (FDataType) {
    case nftSingle:
      if (std::fabs(v) <= FLT_MAX && RoundToSingle(v) == v) {
        return Shortest(static_cast<float>(v));
      }
      break;
    case nftReal:
    case nftDouble:
      if (std::fabs(v) <= DBL_MAX) return Shortest(static_cast<double>(v));
      break;
    default:
      break;
  }
  return Shortest(v);
}

std::string TEfNumericEntry::RangeHi() const {
  return RecordToText(FRangeHigh);
}

std::string TEfNumericEntry::RangeLo() const {
  return RecordToText(FRangeLow);
}

void TEfNumericEntry::SetRangeHi(std::string_view Text) {
  FRangeHigh = TextToRecord(Text);
}

void TEfNumericEntry::SetRangeLo(std::string_view Text) {
  FRangeLow = TextToRecord(Text);
}

void TEfNumericEntry::Initialize() {
  DropEntry();
  if (IsIntegerType(FDataType)) {
    const int32_t lo = RecordInteger(FRangeLow);
    const int32_t hi = RecordInteger(FRangeHigh);
    if (lo == hi) ResetRange();
    const int32_t low = RecordInteger(FRangeLow);
    WriteInteger(low <= 0 && 0 <= RecordInteger(FRangeHigh) ? 0 : low);
  } else {
    if (RangeFloat(FRangeLow) == RangeFloat(FRangeHigh)) ResetRange();
    const long double low = RangeFloat(FRangeLow);
    WriteFloat(low <= 0 && 0 <= RangeFloat(FRangeHigh) ? 0 : low);
  }
}

void TEfNumericEntry::SetText(std::string_view Text) {
  FText = std::string(Text.substr(0, EfMaxText));
}

std::string TEfNumericEntry::DisplayString(const TEfDisplayState& State) const {
  if (!State.Editing) {
    const bool hideZero = State.ZeroDisplay == zdHide ||
                          (State.ZeroDisplay == zdHideUntilModified && !State.ModifiedOnce);
    if (State.Uninitialized || (hideZero && IsZero(State.ZeroDisplayValue))) {
      return std::string(FText.size(), ' ');
    }
  }
  std::string shown = FText;
  const auto kinds = FMask.KindsOf(FText);
  size_t number = 0;
  while (number < shown.size() && (kinds[number] == pkLiteral || shown[number] == ' ')) ++number;
  for (size_t i = 0; i < shown.size(); ++i) {
    if (kinds[i] != pkEditable) continue;
    if (FText[i] == ' ') {
      if (i < number) shown[i] = State.PadChar;
    } else if (State.PasswordMode) {
      shown[i] = '*';
    }
  }
  return shown;
}

bool TEfNumericEntry::IsZero(double ZeroValue) const {
  if (IsIntegerType(FDataType)) {
    const auto v = ReadInteger();
    return v && static_cast<double>(*v) == ZeroValue;
  }
  const auto v = ReadFloat();
  return v && *v == static_cast<long double>(ZeroValue);
}

// ---- Conversions ----------------------------------------------------------------------------

std::optional<int32_t> TEfNumericEntry::TextToInteger(std::string_view Text) const {
  Text = Trim(Text.substr(0, EfMaxText));
  if (Text.empty()) return 0;
  std::optional<int32_t> v;
  if (FMask.HexMode()) {
    v = Text.find('$') == std::string_view::npos ? ParseInteger("$" + std::string(Text))
                                                 : ParseInteger(Text);
  } else if (FMask.OctalMode()) {
    v = ParseDigits(Text, 8, 0xFFFFFFFFu);
  } else if (FMask.BinaryMode()) {
    v = ParseDigits(Text, 2, 0xFFFFFFFFu);
  } else {
    return ParseInteger(Text);
  }
  // Digits of a narrow signed type are its two's complement.
  const size_t size = DataSize();
  if (v && size < 4 && static_cast<uint32_t>(*v) < (1u << (8 * size))) v = CutToType(*v, FDataType);
  return v;
}

std::string TEfNumericEntry::IntegerToText(int32_t Value) const {
  const size_t size = DataSize();
  uint32_t bits = static_cast<uint32_t>(Value);
  if (size < 4) bits &= (1u << (8 * size)) - 1;
  const auto digits = [&](int bitsPerDigit, size_t count, size_t keep) {
    std::string s(count, '0');
    uint64_t rest = bits;
    for (size_t i = count; i-- > 0; rest >>= bitsPerDigit) {
      s[i] = "0123456789ABCDEF"[rest & ((1u << bitsPerDigit) - 1)];
    }
    return s.substr(count - keep);
  };
  if (FMask.HexMode()) return digits(4, 8, size < 4 ? 2 * size : 8);
  if (FMask.OctalMode()) return digits(3, 12, size < 4 ? 4 * size : 12);
  if (FMask.BinaryMode()) return digits(1, 32, size < 4 ? 8 * size : 32);
  return std::to_string(Value);
}

std::optional<long double> TEfNumericEntry::TextToFloat(std::string_view Text) const {
  Text = Trim(Text.substr(0, EfMaxText));
  if (Text.empty()) return 0.0L;
  bool negative = false;
  if (Text.front() == '-' || Text.front() == '+') {
    negative = Text.front() == '-';
    Text.remove_prefix(1);
  }
  std::string s(Text);
  if (!s.empty() && s.front() == '.') s.insert(s.begin(), '0');
  if (!s.empty() && s.back() == '.') s.pop_back();
  if (!IsDecimalNumber(s)) return std::nullopt;
  std::optional<long double> v;
  switch (FDataType) {
    case nftSingle:
      v = FromChars<float>(s);
      break;
    case nftReal:
    case nftDouble:
      v = FromChars<double>(s);
      break;
    default:
      v = ExtendedFromChars(s);
      break;
  }
  if (!v) return std::nullopt;
  return NarrowFloat(negative ? -*v : *v);
}

std::optional<long double> TEfNumericEntry::NarrowFloat(long double Value) const {
  if (!std::isfinite(Value)) return std::nullopt;
  switch (FDataType) {
    case nftSingle:
      if (std::fabs(Value) > FLT_MAX) return std::nullopt;
      return RoundToSingle(Value);
    case nftReal:
    case nftDouble:
      if (std::fabs(Value) > DBL_MAX) return std::nullopt;
      return RoundToDouble(Value);
    case nftComp: {
      const long double whole = std::nearbyint(Value);
      if (!(std::fabs(whole) < 9223372036854775808.0L)) return std::nullopt;
      return whole;
    }
    default:
      return Value;
  }
}

std::optional<int32_t> TEfNumericEntry::ReadInteger() const {
  if (!IsIntegerType(FDataType)) {
    const auto v = ReadFloat();
    if (!v || *v < INT32_MIN || *v > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(*v);
  }
  return TextToInteger(ValueText());
}

std::optional<long double> TEfNumericEntry::ReadFloat() const {
  if (IsIntegerType(FDataType)) {
    const auto v = TextToInteger(ValueText());
    if (!v) return std::nullopt;
    return static_cast<long double>(*v);
  }
  return TextToFloat(ValueText());
}

void TEfNumericEntry::WriteInteger(int32_t Value) {
  if (!IsIntegerType(FDataType)) {
    WriteFloat(Value);
    return;
  }
  FText = FMask.Merge(IntegerToText(CutToType(Value, FDataType)), FIntl);
}

void TEfNumericEntry::WriteFloat(long double Value) {
  if (IsIntegerType(FDataType)) {
    if (std::isnan(Value)) Value = 0;
    WriteInteger(
        static_cast<int32_t>(std::clamp(std::nearbyint(Value), -2147483648.0L, 2147483647.0L)));
    return;
  }
  const auto v = NarrowFloat(Value);
  if (!v || std::fabs(*v) >= LargestShown) {
    FText = FMask.OverflowText(FIntl);
    return;
  }
  std::array<char, 600> buf{};
  const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), *v, std::chars_format::fixed,
                               FMask.DecimalPositions());
  std::string text(buf.data(), r.ptr);
  if (text.find_first_of("123456789") == std::string::npos && text.front() == '-') {
    text.erase(0, 1);
  }
  FText = FMask.Merge(text, FIntl);
}

bool TEfNumericEntry::ReadValue(std::span<uint8_t> Data) const {
  const size_t size = DataSize();
  if (Data.size() < size) throw EWidgetError();
  std::fill_n(Data.begin(), size, uint8_t{0});
  if (IsIntegerType(FDataType)) {
    const auto v = ReadInteger();
    if (!v) return false;
    StoreLE(Data, static_cast<uint32_t>(*v), size);
    return true;
  }
  const auto v = ReadFloat();
  if (!v) return false;
  switch (FDataType) {
    case nftSingle:
      StoreLE(Data, std::bit_cast<uint32_t>(static_cast<float>(*v)), 4);
      break;
    case nftReal:
    case nftDouble:
      StoreLE(Data, std::bit_cast<uint64_t>(static_cast<double>(*v)), 8);
      break;
    case nftComp:
      StoreLE(Data, static_cast<uint64_t>(static_cast<int64_t>(*v)), 8);
      break;
    default: {
      const TEfRangeRecord r = EncodeExtended(*v);
      std::copy(r.begin(), r.end(), Data.begin());
      break;
    }
  }
  return true;
}

void TEfNumericEntry::WriteValue(std::span<const uint8_t> Data) {
  const size_t size = DataSize();
  if (Data.size() < size) throw EWidgetError();
  const uint64_t raw = LoadLE(Data, size);
  switch (FDataType) {
    case nftSingle:
      WriteFloat(std::bit_cast<float>(static_cast<uint32_t>(raw)));
      break;
    case nftReal:
    case nftDouble:
      WriteFloat(std::bit_cast<double>(raw));
      break;
    case nftComp:
      WriteFloat(static_cast<long double>(static_cast<int64_t>(raw)));
      break;
    case nftExtended:
      WriteFloat(DecodeExtended(Data.first<10>()));
      break;
    default:
      WriteInteger(CutToType(static_cast<int32_t>(static_cast<uint32_t>(raw)), FDataType));
      break;
  }
}

void TEfNumericEntry::SetValueFromText(std::string_view Text) {
  if (IsIntegerType(FDataType)) {
    const TNumericTypeInfo& info = NumericTypeInfo(FDataType);
    const auto v = TextToInteger(Text);
    if (!v || *v < info.Min || *v > info.Max) throw EEntryFieldError();
    WriteInteger(*v);
    return;
  }
  const auto v = TextToFloat(Text);
  if (!v) throw EEntryFieldError();
  WriteFloat(*v);
}

// ---- Checks and steps -----------------------------------------------------------------------

int TEfNumericEntry::CheckTypeAndRange(bool WriteBack) {
  if (IsIntegerType(FDataType)) {
    const auto v = ReadInteger();
    if (!v) return ecInvalidValue;
    if (*v < RecordInteger(FRangeLow) || *v > RecordInteger(FRangeHigh)) return ecOutOfRange;
    if (WriteBack) WriteInteger(*v);
    return 0;
  }
  const auto v = ReadFloat();
  if (!v) return ecInvalidValue;
  const long double lo = RangeFloat(FRangeLow);
  const long double hi = RangeFloat(FRangeHigh);
  // Value and ends are held in the type's own precision (doubles for nftReal), so comparing
  // them as extended values compares them in that precision.
  if (*v < lo || *v > hi) return ecOutOfRange;
  if (WriteBack) WriteFloat(*v);
  return 0;
}

int TEfNumericEntry::CheckValue(bool WriteBack) {
  int code = CheckTypeAndRange(WriteBack);
  if (OnUserValidation && !FValidating) {
    struct TRunning {
      bool& Flag;
      explicit TRunning(bool& f) : Flag(f) { Flag = true; }
      ~TRunning() { Flag = false; }
      TRunning(const TRunning&) = delete;
      TRunning& operator=(const TRunning&) = delete;
    } running(FValidating);
    OnUserValidation(code);
  }
  return code;
}

namespace {
// Value stepped by Delta within Lo..Hi: a step out at an end wraps to the other end when Wrap
// is set and fails otherwise; Add makes a step inside.
template <class T, class FAdd>
std::optional<T> StepWithin(T Value, T Lo, T Hi, long double Delta, bool Wrap, FAdd Add) {
  if (Delta < 0 && Value <= Lo) {
    if (!Wrap) return std::nullopt;
    Value = Hi;
  } else if (Delta > 0 && Value >= Hi) {
    if (!Wrap) return std::nullopt;
    Value = Lo;
  } else {
    Value = Add(Value);
  }
  return std::max(Lo, std::min(Hi, Value));
}
}  // namespace

bool TEfNumericEntry::StepValue(long double Delta, bool Wrap) {
  if (std::isnan(Delta)) return false;
  if (IsIntegerType(FDataType)) {
    const auto v = ReadInteger();
    if (!v) return false;
    const auto next = StepWithin<int64_t>(
        *v, RecordInteger(FRangeLow), RecordInteger(FRangeHigh), Delta, Wrap, [Delta](int64_t x) {
          return x + static_cast<int64_t>(
                         std::nearbyint(std::clamp(Delta, -4294967296.0L, 4294967296.0L)));
        });
    if (!next) return false;
    WriteInteger(static_cast<int32_t>(*next));
  } else {
    const auto v = ReadFloat();
    if (!v) return false;
    const bool real = FDataType == nftReal;
    const auto own = [real](long double x) { return real ? RoundToDouble(x) : x; };
    const auto next =
        StepWithin<long double>(own(*v), own(RangeFloat(FRangeLow)), own(RangeFloat(FRangeHigh)),
                                Delta, Wrap, [&](long double x) { return own(x + Delta); });
    if (!next) return false;
    WriteFloat(*next);
  }
  LoadEntry();
  return true;
}

void TEfNumericEntry::RequireIntegerType() const {
  if (!IsIntegerType(FDataType)) throw EInvalidDataType();
}

TEfIntegerRead TEfNumericEntry::IntegerValue() {
  RequireIntegerType();
  TEfIntegerRead r;
  r.ValidationCode = CheckValue(false);
  if (r.ValidationCode == 0) r.Value = CutToType(ReadInteger().value_or(0), FDataType);
  return r;
}

bool TEfNumericEntry::SetIntegerValue(int32_t Value) {
  RequireIntegerType();
  if (FValidating) return false;
  WriteInteger(Value);
  return true;
}

// ---- The entry buffer -----------------------------------------------------------------------

void TEfNumericEntry::Rebuild() {
  std::string value = FEntryText.empty() ? "0" : FEntryText;
  if (value.front() == '.') value.insert(value.begin(), '0');
  if (FEntryMinus) value.insert(value.begin(), '-');
  FText = FMask.Merge(value, FIntl);
}

TEfCharOutcome TEfNumericEntry::Offer(char C) {
  const int digits = FMask.DigitPositions();
  const auto used = [&] { return (FEntryMinus ? 1 : 0) + static_cast<int>(FEntryText.size()); };
  if (used() > digits) return coOverflow;
  if (static_cast<uchar>(C) < ' ') return coRefused;
  if (C == FIntl.DecimalChar) {
    C = '.';
  } else if (C == '.') {
    return coRefused;
  }
  const auto fit = FitPictureChar(FMask.EntryChar(), C, 0, FIntl, *FUser);
  if (!fit || *fit == ' ') return coRefused;
  C = *fit;
  const size_t point = FEntryText.find('.');
  const bool hasPoint = point != std::string::npos;
  const int integerDigits = static_cast<int>(hasPoint ? point : FEntryText.size());
  if (C == '.' && (!FMask.HasDecimalPoint() || hasPoint)) return coRefused;
  if (C == '-') {
    if (FEntryMinus) {
      FEntryMinus = false;
    } else if (integerDigits < FMask.IntegerPositions() &&
               static_cast<int>(FEntryText.size()) < digits) {
      FEntryMinus = true;
    } else {
      return coRefused;
    }
    return coAccepted;
  }
  if (used() < digits) {
    if (C == '0' && FEntryText.empty()) return coAccepted;  // no leading zeros
    if (C != '.' && FMask.HasDecimalPoint() && !hasPoint &&
        integerDigits + (FEntryMinus ? 1 : 0) >= FMask.IntegerPositions()) {
      return coRefused;
    }
    // A decimal the mask cannot show would be taken unseen.
    if (hasPoint && static_cast<int>(FEntryText.size() - point - 1) >= FMask.DecimalPositions()) {
      return coRefused;
    }
    FEntryText += C;
  } else if (digits == 1 && FEntryText.size() == 1 && C != '.') {
    FEntryText.assign(1, C);
  } else {
    return coRefused;
  }
  return used() == digits ? coFilled : coAccepted;
}

bool TEfNumericEntry::Commit(const std::string& EntryBefore, bool MinusBefore, bool Force) {
  const std::string before = FText;
  if (Force || FEntryText != EntryBefore || FEntryMinus != MinusBefore) Rebuild();
  return FText != before;
}

TEfCharResult TEfNumericEntry::TypeChar(char C, bool Selected) {
  const std::string entry = FEntryText;
  const bool minus = FEntryMinus;
  TEfCharResult r;
  if (Selected && static_cast<uchar>(C) > 31) {
    FEntryText.clear();
    FEntryMinus = false;
    r.Outcome = Offer(C);
    if (r.Outcome == coRefused || r.Outcome == coOverflow) {
      FEntryText = entry;
      FEntryMinus = minus;
      return r;
    }
    r.SelectionCleared = true;
  } else {
    r.Outcome = Offer(C);
  }
  r.Changed = Commit(entry, minus, r.SelectionCleared);
  return r;
}

bool TEfNumericEntry::DeleteChar(bool Selected) {
  if (Selected) return ClearEntry();
  const std::string entry = FEntryText;
  const bool minus = FEntryMinus;
  if (!FEntryText.empty()) {
    FEntryText.pop_back();
    if (entry.size() == 2 && FEntryText == "0") FEntryText.clear();
  }
  if (FEntryText.empty()) FEntryMinus = false;
  return Commit(entry, minus, false);
}

bool TEfNumericEntry::ClearEntry() {
  const std::string entry = FEntryText;
  const bool minus = FEntryMinus;
  DropEntry();
  return Commit(entry, minus, true);
}

void TEfNumericEntry::DropEntry() {
  FEntryText.clear();
  FEntryMinus = false;
}

bool TEfNumericEntry::Paste(std::string_view Text, bool Selected) {
  const std::string entry = FEntryText;
  const bool minus = FEntryMinus;
  if (Selected) DropEntry();
  const bool parenIsMinus = FMask.HasParens() && Text.find(')') != std::string_view::npos;
  for (char c : Text) {
    if (parenIsMinus && c == '(') c = '-';
    (void)Offer(c);
  }
  return Commit(entry, minus, Selected);
}

void TEfNumericEntry::LoadEntry() {
  std::string value = ValueText();
  FEntryMinus = !value.empty() && value.front() == '-';
  if (FEntryMinus) value.erase(0, 1);
  if (value == "0") value.clear();
  FEntryText = value.substr(0, EfMaxText);
}
