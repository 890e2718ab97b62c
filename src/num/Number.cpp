#include <algorithm>
#include "num/Number.h"

#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "num/RuntimeError.h"

namespace num {
namespace {

Separators g_regional;

// A finite double as its 15-significant-digit decimal form:
// value = (negative ? -1 : 1) * mantissa * 10^exponent, with mantissa < 10^15.
struct Decimal15 {
    bool negative = false;
    std::int64_t mantissa = 0;
    int exponent = 0;
};

// 128-bit integers, a GCC extension.
__extension__ using U128 = unsigned __int128;

// 10^n for n up to 22, beyond 64 bits from 10^20.
constexpr U128 PowerOfTen128(int n) {
    U128 p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

// The 15 significant digits of a double from 1e-8 to 1e15 by integer arithmetic on its
// exact binary value, rounded half to even as printf rounds it: false outside that range.
bool FastDecimal15(double a, Decimal15& d) {
    // a = m 2^(binary - 53), m of 53 bits, read off its bits (a normal double).
    const auto bits = std::bit_cast<std::uint64_t>(a);
    const int biased = static_cast<int>(bits >> 52 & 0x7ff);
    if (biased == 0) return false;
    const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    const int binary = biased - 1022;
    const int shift = 53 - binary;  // a = m / 2^shift
    // The power of ten of the first digit: this, or one more (floor((binary - 1) log10 2),
    // exact in integers for exponents this small).
    int first = ((binary - 1) * 78913) >> 18;
    if (first < -8 || first > 14 || shift < 0 || shift > 120) return false;
    U128 scaled = static_cast<U128>(m) * PowerOfTen128(14 - first);
    constexpr U128 kLimit = PowerOfTen128(15);
    if ((scaled >> shift) >= kLimit) {
        if (first == 14) return false;
        ++first;
        scaled = static_cast<U128>(m) * PowerOfTen128(14 - first);
    }
    U128 q = scaled >> shift;
    if (shift > 0) {
        const U128 rest = scaled & ((static_cast<U128>(1) << shift) - 1);
        const U128 half = static_cast<U128>(1) << (shift - 1);
        if (rest > half || (rest == half && (q & 1) != 0)) ++q;
    }
    if (q == kLimit) q /= 10, ++first;  // 9,99…95 up to 10,0…
    d.mantissa = static_cast<std::int64_t>(q);
    d.exponent = first - 14;
    return true;
}

Decimal15 ToDecimal15(double x) {
    Decimal15 d;
    d.negative = std::signbit(x);
    if (x == 0) return d;
    if (FastDecimal15(std::fabs(x), d)) return d;
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::scientific, 14);
    std::string_view s(buf, static_cast<std::size_t>(res.ptr - buf));  // d.dddddddddddddde±xx
    std::int64_t m = 0;
    std::size_t i = 0;
    for (; i < s.size() && s[i] != 'e'; ++i)
        if (s[i] != '.') m = m * 10 + (s[i] - '0');
    int e = 0;
    std::from_chars(s.data() + i + 1 + (s[i + 1] == '+' ? 1 : 0), s.data() + s.size(), e);
    d.mantissa = m;
    d.exponent = e - 14;
    return d;
}

std::int64_t Pow10(int n) {
    std::int64_t p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

// The decimal digits of |x| rounded to `decimals` places, as unscaled digits (value =
// digits * 10^-decimals; no leading zeros, "0" for zero), halves away from zero or to
// even, written into `out` (`capacity` chars) without allocating: their count, or -1 when
// they do not fit. `exact`: no digit was dropped.
int RoundDigits(double x, int decimals, bool halfToEven, char* out, int capacity, bool& negative, bool& exact) {
    if (!std::isfinite(x)) throw Overflow("valor no finito");
    const Decimal15 d = ToDecimal15(x);
    negative = d.negative;
    exact = true;
    if (d.mantissa == 0) {
        negative = false;
        out[0] = '0';
        return 1;
    }
    const int drop = -decimals - d.exponent;
    if (drop <= 0) {
        char* end = std::to_chars(out, out + std::min(capacity, 20), d.mantissa).ptr;
        const int n = static_cast<int>(end - out);
        if (n - drop > capacity) return -1;
        std::memset(end, '0', static_cast<std::size_t>(-drop));
        return n - drop;
    }
    exact = false;
    std::int64_t q = 0;
    if (drop <= 15) {
        const std::int64_t p = Pow10(drop);
        q = d.mantissa / p;
        const std::int64_t rem = d.mantissa % p, half = p / 2;
        if (rem > half || (rem == half && (!halfToEven || (q % 2) != 0))) ++q;
    }
    if (q == 0) negative = false;
    return static_cast<int>(std::to_chars(out, out + std::min(capacity, 20), q).ptr - out);
}

}  // namespace

const Separators& RegionalSeparators() { return g_regional; }
void SetRegionalSeparators(Separators separators) { g_regional = std::move(separators); }

namespace {

// The power of ten of the first significant digit of a plain decimal number ("123.4"
// gives 2, "0.05" gives -2, "1e400" 400), saturating far beyond any double's range.
long long LeadingExponent(std::string_view clean) {
    std::size_t i = 0;
    if (i < clean.size() && (clean[i] == '+' || clean[i] == '-')) ++i;
    long long lead = 0;
    bool found = false, afterPoint = false;
    long long zerosAfterPoint = 0, integerDigits = 0;
    for (; i < clean.size() && clean[i] != 'e'; ++i) {
        const char c = clean[i];
        if (c == '.') {
            afterPoint = true;
        } else if (!afterPoint) {
            if (found || c != '0') {
                found = true;
                ++integerDigits;
            }
        } else if (!found) {
            if (c != '0') found = true;
            else ++zerosAfterPoint;
        }
    }
    lead = integerDigits > 0 ? integerDigits - 1 : -(zerosAfterPoint + 1);
    long long exponent = 0;
    if (i < clean.size()) {
        std::size_t j = i + 1;
        const bool negative = j < clean.size() && clean[j] == '-';
        if (j < clean.size() && (clean[j] == '+' || clean[j] == '-')) ++j;
        for (; j < clean.size(); ++j)
            exponent = std::min<long long>(exponent * 10 + (clean[j] - '0'), 1000000000LL);
        if (negative) exponent = -exponent;
    }
    return lead + exponent;
}

}  // namespace

double Val(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n') s += c;

    std::string clean;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) clean += s[i++];
    std::size_t digitsAt = clean.size();
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) clean += s[i++];
    if (i < s.size() && s[i] == '.') {
        clean += s[i++];
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) clean += s[i++];
    }
    bool anyDigit = clean.find_first_of("0123456789", digitsAt) != std::string::npos;
    if (!anyDigit) return 0.0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        std::size_t j = i + 1;
        std::string exp = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) exp += s[j++];
        std::size_t expDigits = 0;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
            exp += s[j++];
            ++expDigits;
        }
        if (expDigits > 0) clean += exp;
    }
    const char* first = clean.data();
    if (*first == '+') ++first;
    double v = 0;
    auto res = std::from_chars(first, clean.data() + clean.size(), v);
    if (res.ec == std::errc::result_out_of_range) {
        // Overflow is an error; underflow reads as zero. The decimal exponent of the
        // leading digit tells which: "1e400" and 400 nines overflow, "1e-400" underflows.
        if (LeadingExponent(clean) > 0) throw Overflow(std::string(text));
        return clean[0] == '-' ? -0.0 : 0.0;
    }
    return v;
}

std::int16_t CInt(double x) {
    double r = std::nearbyint(x);
    if (!(r >= -32768.0 && r <= 32767.0)) throw Overflow("CInt");
    return static_cast<std::int16_t>(r);
}

std::int32_t CLng(double x) {
    double r = std::nearbyint(x);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) throw Overflow("CLng");
    return static_cast<std::int32_t>(r);
}

double Int(double x) { return std::floor(x); }

double Round(double x, int decimals) {
    // Digits dropped leave at most 16 of them (a mantissa rounded up); an exact number is x.
    char text[64];
    bool negative = false, exact = false;
    char* digits = text + 1;
    const int n = RoundDigits(x, decimals, /*halfToEven=*/true, digits, 40, negative, exact);
    if (n < 0 || exact) return x;
    char* end = digits + n;
    *end++ = 'e';
    *end++ = '-';
    end = std::to_chars(end, text + sizeof text, decimals).ptr;
    const char* start = digits;
    if (negative) *--digits = '-', start = digits;
    double v = 0;
    std::from_chars(start, end, v);
    return v;
}

std::string Format(double x, std::string_view pattern, const Separators& separators) {
    std::size_t first = pattern.find_first_of("0#");
    if (first == std::string_view::npos) return std::string(pattern);
    std::size_t last = pattern.find_last_of("0#");
    std::string_view prefix = pattern.substr(0, first);
    std::string_view body = pattern.substr(first, last - first + 1);
    std::string_view suffix = pattern.substr(last + 1);

    std::size_t point = body.find('.');
    std::string_view intSpec = body.substr(0, point);
    std::string_view fracSpec = point == std::string_view::npos ? "" : body.substr(point + 1);
    bool grouping = intSpec.find(',') != std::string_view::npos;
    int minInt = 0, requiredFrac = 0, optionalFrac = 0;
    for (char c : intSpec) minInt += c == '0';
    for (char c : fracSpec) {
        requiredFrac += c == '0';
        optionalFrac += c == '#';
    }
    int decimals = requiredFrac + optionalFrac;

    // The digits in a buffer on the stack; a number too long for it (1e300 to 90 places)
    // in one on the heap.
    char small[128];
    std::string large;
    char* digits = small;
    bool negative = false, exact = false;
    int n = RoundDigits(x, decimals, /*halfToEven=*/false, small, sizeof small, negative, exact);
    if (n < 0) {
        large.resize(static_cast<std::size_t>(decimals) + 400);
        digits = large.data();
        n = RoundDigits(x, decimals, false, digits, static_cast<int>(large.size()), negative, exact);
    }
    // The integer part without leading zeros; the fraction, `decimals` digits, left-padded.
    const int intLen = std::max(0, n - decimals);
    int intStart = 0;
    while (intStart < intLen && digits[intStart] == '0') ++intStart;
    const int intDigits = intLen - intStart;
    const int fracZeros = std::max(0, decimals - n);  // zeros before the digits in the fraction
    int fracDigits = decimals;
    // Optional places dropped where they are zeros.
    const auto fracAt = [&](int i) { return i < fracZeros ? '0' : digits[intLen + i - fracZeros]; };
    while (fracDigits > requiredFrac && fracDigits > 0 && fracAt(fracDigits - 1) == '0') --fracDigits;
    const int padded = std::max(intDigits, minInt);

    std::string out;
    out.reserve(prefix.size() + suffix.size() + static_cast<std::size_t>(padded) * 2 + static_cast<std::size_t>(fracDigits) +
                separators.decimal.size() + 2);
    if (negative) out += '-';
    out += prefix;
    for (int i = 0; i < padded; ++i) {
        if (grouping && i > 0 && (padded - i) % 3 == 0) out += separators.thousands;
        out += i < padded - intDigits ? '0' : digits[intStart + i - (padded - intDigits)];
    }
    if (fracDigits > 0) {
        out += separators.decimal;
        for (int i = 0; i < fracDigits; ++i) out += fracAt(i);
    }
    out += suffix;
    return out;
}

std::string Format(double x, std::string_view pattern) {
    return Format(x, pattern, RegionalSeparators());
}

namespace {

constexpr double kPow10[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};

// |x| rounded to a whole number of 10^-decimals, as the 15-digit rounding decides it;
// false near a half, where only the 15-digit form can tell (and where halves to even and
// away from zero part), and for large values. The 15-digit form lies within 5e-15 |t| of
// t = |x| 10^decimals, and t itself is computed within 2^-53 |t|: farther than 1e-12 |t|
// from a half, both round alike.
bool Units(double x, int decimals, std::int64_t& units) {
    const double t = std::fabs(x) * kPow10[decimals];
    if (!(t < 1e15)) return false;
    const double whole = std::floor(t);
    const double fraction = t - whole;
    if (std::fabs(fraction - 0.5) <= 1e-12 * std::max(t, 1.0)) return false;
    units = static_cast<std::int64_t>(whole) + (fraction > 0.5 ? 1 : 0);
    return true;
}

}  // namespace

void AppendRounded(std::string& out, double x, int decimals, std::string_view decimal, std::string_view thousands) {
    if (decimals < 0 || decimals > 8) throw std::invalid_argument("AppendRounded: de 0 a 8 decimales");
    std::int64_t q = 0;
    if (!Units(x, decimals, q)) {
        if (!std::isfinite(x)) throw Overflow("valor no finito");
        std::string pattern = thousands.empty() ? "0" : "#,##0";
        if (decimals > 0) pattern += "." + std::string(static_cast<std::size_t>(decimals), '0');
        out += Format(Round(x, decimals), pattern, Separators{std::string(decimal), std::string(thousands)});
        return;
    }
    // The digits backwards into a buffer, then appended at once.
    char digits[24];
    char* end = digits + sizeof digits;
    char* p = end;
    std::uint64_t v = static_cast<std::uint64_t>(q);
    for (int i = 0; i < decimals; ++i, v /= 10) *--p = static_cast<char>('0' + v % 10);
    const char* fraction = p;
    do {
        *--p = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    const auto whole = static_cast<std::size_t>(fraction - p);
    if (q != 0 && x < 0) out += '-';
    if (thousands.empty() || whole <= 3) {
        out.append(p, whole);
    } else {
        for (std::size_t i = 0; i < whole; ++i) {
            if (i > 0 && (whole - i) % 3 == 0) out.append(thousands);
            out += p[i];
        }
    }
    if (decimals > 0) out.append(decimal).append(fraction, static_cast<std::size_t>(end - fraction));
}

double RoundFew(double x, int decimals) {
    if (x == 0) return x;  // Round keeps the sign of a zero
    std::int64_t q = 0;
    if (decimals < 0 || decimals > 8 || !Units(x, decimals, q) || q >= (std::int64_t{1} << 53)) return Round(x, decimals);
    if (q == 0) return 0.0;
    // Both numbers are exact in binary, so the quotient is the double nearest to
    // q 10^-decimals, as Round reads its digits back.
    const double v = static_cast<double>(q) / kPow10[decimals];
    return x < 0 ? -v : v;
}

namespace {

std::string GeneralText(double x, const std::string& decimalSep) {
    if (!std::isfinite(x)) throw Overflow("valor no finito");
    Decimal15 d = ToDecimal15(x);
    if (d.mantissa == 0) return "0";
    std::string digits = std::to_string(d.mantissa);  // 15 digits
    int e10 = d.exponent + static_cast<int>(digits.size()) - 1;  // exponent of the first digit
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out = d.negative ? "-" : "";
    if (e10 < -4 || e10 >= 15) {
        out += digits.substr(0, 1);
        if (digits.size() > 1) out += decimalSep + digits.substr(1);
        out += e10 < 0 ? "E-" : "E+";
        std::string ex = std::to_string(std::abs(e10));
        if (ex.size() < 2) ex.insert(0, "0");
        return out + ex;
    }
    if (e10 < 0) {
        return out + "0" + decimalSep + std::string(static_cast<std::size_t>(-e10 - 1), '0') + digits;
    }
    std::size_t intLen = static_cast<std::size_t>(e10) + 1;
    if (digits.size() <= intLen) return out + digits + std::string(intLen - digits.size(), '0');
    return out + digits.substr(0, intLen) + decimalSep + digits.substr(intLen);
}

}  // namespace

std::string NumberToText(double x, const Separators& separators) {
    return GeneralText(x, separators.decimal);
}

std::string NumberToText(double x) { return NumberToText(x, RegionalSeparators()); }

std::string Str(double x) {
    std::string t = GeneralText(x, ".");
    return t[0] == '-' ? t : " " + t;
}

double Finite(double x, std::string_view what) {
    if (!std::isfinite(x)) throw Overflow(std::string(what));
    return x;
}

double Div(double a, double b) {
    if (b == 0) {
        if (a == 0 || std::isnan(a)) throw Overflow("0/0");
        throw DivisionByZero();
    }
    return Finite(a / b, "división");
}

double Sqr(double x) {
    if (x < 0) throw InvalidCall("raíz cuadrada de un número negativo");
    return Finite(std::sqrt(x), "Sqr");
}

double Pow(double x, double y) {
    if (x == 0 && y < 0) throw DivisionByZero("potencia negativa de cero");
    if (x < 0 && std::isfinite(y) && y != std::floor(y))
        throw InvalidCall("potencia fraccionaria de un número negativo");
    return Finite(std::pow(x, y), "potencia");
}

}  // namespace num
