#include "engine/number_reading.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>
#include <vector>

#include "base/text.h"

namespace velmora {

namespace {

bool IsBlank(char16_t unit) { return unit == u' ' || unit == u'\t' || unit == u'\n'; }
bool IsDigit(char16_t unit) { return unit >= u'0' && unit <= u'9'; }

// Walks the text one significant unit at a time; a typed delay may have blanks anywhere in
// it ("4 5" is 45), a stored setting may not.
class Cursor {
 public:
  Cursor(std::u16string_view text, bool skipBlanks) : text_(text), skipBlanks_(skipBlanks) {
    SkipBlanks();
  }
  [[nodiscard]] char16_t Peek() const { return at_ < text_.size() ? text_[at_] : u'\0'; }
  [[nodiscard]] bool AtEnd() const { return at_ >= text_.size(); }
  void Next() {
    ++at_;
    SkipBlanks();
  }

 private:
  void SkipBlanks() {
    while (skipBlanks_ && at_ < text_.size() && IsBlank(text_[at_])) ++at_;
  }
  std::u16string_view text_;
  bool skipBlanks_;
  std::size_t at_ = 0;
};

struct Scanned {
  double value = 0;
  bool hasDigits = false;
};

int DigitValue(char16_t unit, int radix) {
  int digit = 99;
  if (IsDigit(unit)) digit = unit - u'0';
  if (unit >= u'a' && unit <= u'f') digit = unit - u'a' + 10;
  if (unit >= u'A' && unit <= u'F') digit = unit - u'A' + 10;
  return digit < radix ? digit : -1;
}

// "&H1F" or "&O17", cursor on the letter. A plain non-negative value: no 16-bit wrap.
Scanned ScanRadix(Cursor& cursor, int radix) {
  Scanned out;
  cursor.Next();
  for (int digit = DigitValue(cursor.Peek(), radix); digit >= 0;
       digit = DigitValue(cursor.Peek(), radix)) {
    out.value = out.value * radix + digit;
    out.hasDigits = true;
    cursor.Next();
  }
  return out;
}

// Called when the parser reports a magnitude a double cannot hold: overflow (infinity) or
// underflow (zero), told apart by the decimal exponent of the leading digit.
double OutOfRange(std::string_view number) {
  const bool negative = number.front() == '-';
  const std::size_t ePos = std::min(number.find('e'), number.size());
  const std::string_view mantissa = number.substr(negative ? 1 : 0, ePos - (negative ? 1 : 0));
  const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
  const std::size_t lead = mantissa.find_first_not_of("0.");
  // One more than the decimal exponent of the leading digit: 123.4 gives 3, 0.001 gives -2.
  double scale =
      lead < point ? static_cast<double>(point - lead) : -static_cast<double>(lead - point - 1);
  double exponent = 0;  // saturates: any exponent this long is out of range anyway
  for (const char digit : number.substr(std::min(ePos + 1, number.size()))) {
    if (digit >= '0' && digit <= '9') exponent = std::min(exponent * 10 + (digit - '0'), 1e18);
  }
  scale += ePos + 1 < number.size() && number[ePos + 1] == '-' ? -exponent : exponent;
  const double result = scale > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  return negative ? -result : result;
}

// Sign, digits, a fraction after "." or `separator`, E or D exponent. The exponent is taken
// only when digits follow it, so "5E" reads as 5 and stops before the E.
Scanned ScanDecimal(Cursor& cursor, char16_t separator) {
  Scanned out;
  std::string number;
  if (cursor.Peek() == u'-' || cursor.Peek() == u'+') {
    if (cursor.Peek() == u'-') number += '-';
    cursor.Next();
  }
  const auto takeDigits = [&] {
    bool any = false;
    for (; IsDigit(cursor.Peek()); cursor.Next()) {
      number += static_cast<char>(cursor.Peek());
      any = true;
    }
    return any;
  };
  out.hasDigits = takeDigits();
  if (cursor.Peek() == u'.' || cursor.Peek() == separator) {
    number += '.';
    cursor.Next();
    out.hasDigits = takeDigits() || out.hasDigits;
  }
  if (!out.hasDigits) return out;
  const char16_t marker = cursor.Peek();
  if (marker == u'E' || marker == u'e' || marker == u'D' || marker == u'd') {
    Cursor afterMantissa = cursor;
    const std::size_t mantissaLength = number.size();
    number += 'e';
    cursor.Next();
    if (cursor.Peek() == u'-' || cursor.Peek() == u'+') {
      number += static_cast<char>(cursor.Peek());
      cursor.Next();
    }
    if (!takeDigits()) {
      cursor = afterMantissa;
      number.resize(mantissaLength);
    }
  }
  const auto parsed = std::from_chars(number.data(), number.data() + number.size(), out.value);
  if (parsed.ec == std::errc::result_out_of_range) out.value = OutOfRange(number);
  return out;
}

Scanned Scan(Cursor& cursor, char16_t separator) {
  if (cursor.Peek() != u'&') return ScanDecimal(cursor, separator);
  Cursor letter = cursor;
  letter.Next();
  const char16_t kind = letter.Peek();
  const int radix = kind == u'H' || kind == u'h' ? 16 : kind == u'O' || kind == u'o' ? 8 : 0;
  if (radix == 0) return {};
  cursor = letter;
  return ScanRadix(cursor, radix);
}

// No "-0" leaks out to be written back as a delay.
double WithoutNegativeZero(double value) { return value == 0 ? 0.0 : value; }

// A whole number in base-1e9 limbs, least significant first: wide enough for every digit
// of a double (the smallest subnormal has 751 significant ones).
class WholeNumber {
 public:
  explicit WholeNumber(std::uint64_t value) {
    do {
      limbs_.push_back(static_cast<std::uint32_t>(value % kBase));
      value /= kBase;
    } while (value != 0);
  }
  void Multiply(std::uint32_t factor) {
    std::uint64_t carry = 0;
    for (std::uint32_t& limb : limbs_) {
      const std::uint64_t product = std::uint64_t{limb} * factor + carry;
      limb = static_cast<std::uint32_t>(product % kBase);
      carry = product / kBase;
    }
    for (; carry != 0; carry /= kBase) limbs_.push_back(static_cast<std::uint32_t>(carry % kBase));
  }
  [[nodiscard]] std::string Digits() const {
    std::string out;
    for (auto limb = limbs_.rbegin(); limb != limbs_.rend(); ++limb) {
      char nine[9];
      std::uint32_t rest = *limb;
      for (std::size_t i = sizeof nine; i-- > 0; rest /= 10) nine[i] = static_cast<char>('0' + rest % 10);
      const std::string_view text{nine, sizeof nine};
      out += limb == limbs_.rbegin() ? text.substr(std::min<std::size_t>(text.find_first_not_of('0'), 8)) : text;
    }
    return out;
  }

 private:
  static constexpr std::uint32_t kBase = 1'000'000'000;
  std::vector<std::uint32_t> limbs_;
};

struct DecimalDigits {
  std::string digits;  // no trailing zeros
  int exponent;        // decimal exponent of the first digit
};

// The first `count` significant digits of a finite positive double, rounded from its exact
// value with halves to the even neighbour, so no C runtime or locale takes part. The double is
// m * 2^e; for e < 0 that is m * 5^-e / 10^-e, so both cases are the digits of a whole number.
DecimalDigits RoundedDigits(double magnitude, int count) {
  const auto bits = std::bit_cast<std::uint64_t>(magnitude);
  const auto biased = static_cast<int>(bits >> 52);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  int binaryExponent = -1074;
  if (biased != 0) {
    mantissa |= std::uint64_t{1} << 52;
    binaryExponent = biased - 1075;
  }
  for (; (mantissa & 1) == 0 && binaryExponent < 0; mantissa >>= 1) ++binaryExponent;
  WholeNumber whole{mantissa};
  for (int left = binaryExponent; left > 0; left -= 31) whole.Multiply(std::uint32_t{1} << std::min(left, 31));
  for (int left = -binaryExponent; left > 0; left -= 13) {
    std::uint32_t power = 1;
    for (int i = std::min(left, 13); i > 0; --i) power *= 5;
    whole.Multiply(power);
  }
  DecimalDigits out{whole.Digits(), 0};
  std::string& digits = out.digits;
  out.exponent = static_cast<int>(digits.size()) - 1 + std::min(binaryExponent, 0);
  const auto kept = static_cast<std::size_t>(count);
  if (digits.size() > kept) {
    const char next = digits[kept];
    const bool beyondHalf = digits.find_first_not_of('0', kept + 1) != std::string::npos;
    const bool up = next > '5' || (next == '5' && (beyondHalf || (digits[kept - 1] - '0') % 2 == 1));
    digits.resize(kept);
    if (up) {
      const std::size_t last = digits.find_last_not_of('9');
      if (last == std::string::npos) {
        digits.assign(1, '1');
        ++out.exponent;
      } else {
        ++digits[last];
        digits.resize(last + 1);
      }
    }
  }
  digits.erase(digits.find_last_not_of('0') + 1);
  return out;
}

}  // namespace

double ReadNumber(std::u16string_view text, char16_t regionalSeparator) {
  Cursor cursor{text, true};
  return WithoutNegativeZero(Scan(cursor, regionalSeparator).value);
}

bool ReadWholeNumber(std::u16string_view text, double& value) {
  const std::size_t first = text.find_first_not_of(u" \t\n");
  if (first == std::u16string_view::npos) return false;
  const std::size_t last = text.find_last_not_of(u" \t\n");
  Cursor cursor{text.substr(first, last - first + 1), false};
  const Scanned scanned = Scan(cursor, u'.');
  if (!scanned.hasDigits || !cursor.AtEnd() || !std::isfinite(scanned.value)) return false;
  value = WithoutNegativeZero(scanned.value);
  return true;
}

std::u16string NumberText(double value, char16_t decimalSeparator) {
  if (std::isnan(value)) return u"NaN";
  if (std::isinf(value)) return value > 0 ? u"Infinity" : u"-Infinity";
  if (value == 0) return u"0";
  // Fifteen significant digits, as many as a double always carries through text and back;
  // the largest doubles round up past the top of the range at fifteen, so they take
  // seventeen and still read back as numbers.
  const int precision = std::abs(value) > 1.79769313486231e308 ? 17 : 15;
  const auto [digits, exponent] = RoundedDigits(std::abs(value), precision);
  std::u16string out = value < 0 ? u"-" : u"";
  const auto append = [&out](std::string_view part) { out.append(part.begin(), part.end()); };
  if (exponent < -4 || exponent >= precision) {
    out += static_cast<char16_t>(digits.front());
    if (digits.size() > 1) {
      out += decimalSeparator;
      append(std::string_view{digits}.substr(1));
    }
    out += exponent < 0 ? u"E-" : u"E+";
    if (std::abs(exponent) < 10) out += u'0';
    out += DecimalText(std::abs(exponent));
  } else if (exponent < 0) {
    out += u'0';
    out += decimalSeparator;
    out.append(static_cast<std::size_t>(-exponent - 1), u'0');
    append(digits);
  } else {
    const auto whole = static_cast<std::size_t>(exponent) + 1;
    append(std::string_view{digits}.substr(0, whole));
    if (digits.size() > whole) {
      out += decimalSeparator;
      append(std::string_view{digits}.substr(whole));
    } else {
      out.append(whole - digits.size(), u'0');
    }
  }
  return out;
}

std::optional<std::int32_t> RoundToInt32(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  // Explicit, so a rounding mode changed elsewhere in the host process cannot move halves.
  double rounded = std::floor(value);
  const double fraction = value - rounded;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0)) rounded += 1;
  if (rounded < std::numeric_limits<std::int32_t>::min() ||
      rounded > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(rounded);
}

}  // namespace velmora
