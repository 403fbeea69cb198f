#include "data/NumberOrder.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace
{

// A number text taken apart. Its value is sign * 0.DIGITS * 10^point, where DIGITS are
// head then tail (the text's digits before and after its point), the zeros that lead
// or trail them left out: no digit at all is zero.
struct Parsed {
    NumberOrder::Kind kind = NumberOrder::Kind::None;
    bool negative = false;
    bool infinite = false;
    std::string_view head;
    std::string_view tail;
    qint64 point = 0;
    std::string_view number; // the text without its blanks and '+': what from_chars reads
};

// Doubles have 767 significant digits at most: written with 767 after the first, in
// scientific notation, the text is the value exactly.
constexpr int kFloatDigits = 767;
constexpr size_t kLongestWritten = kFloatDigits + 16;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool sameLetters(std::string_view s, std::string_view lower)
{
    return s.size() == lower.size() && std::equal(s.begin(), s.end(), lower.begin(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? char(a - 'A' + 'a') : a) == b;
    });
}

// "nan", or "nan(" letters, digits and '_' ")", in any case.
bool namesNotANumber(std::string_view s)
{
    if (s.size() < 3 || !sameLetters(s.substr(0, 3), "nan"))
        return false;
    if (s.size() == 3)
        return true;
    if (s[3] != '(' || s.back() != ')')
        return false;
    return std::all_of(s.begin() + 4, s.end() - 1,
        [](char c) { return isDigit(c) || c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
}

// The digits from `at` on; at is moved past them.
std::string_view digitsAt(std::string_view s, size_t& at)
{
    const size_t begin = at;
    while (at < s.size() && isDigit(s[at]))
        ++at;
    return s.substr(begin, at - begin);
}

// The significant digits and the power of ten of the first.
void placeDigits(Parsed& p, qint64 exponent)
{
    p.point = qint64(p.head.size()) + exponent;
    while (!p.head.empty() && p.head.front() == '0') {
        p.head.remove_prefix(1);
        --p.point;
    }
    if (p.head.empty()) {
        while (!p.tail.empty() && p.tail.front() == '0') {
            p.tail.remove_prefix(1);
            --p.point;
        }
    }
    while (!p.tail.empty() && p.tail.back() == '0')
        p.tail.remove_suffix(1);
    if (p.tail.empty()) {
        while (!p.head.empty() && p.head.back() == '0')
            p.head.remove_suffix(1);
    }
}

Parsed parse(std::string_view s)
{
    Parsed p;
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        p.negative = s.front() == '-';
        s.remove_prefix(1);
    }
    p.number = p.negative ? std::string_view(s.data() - 1, s.size() + 1) : s;
    if (namesNotANumber(s)) {
        p.kind = NumberOrder::Kind::NotANumber;
        return p;
    }
    if (sameLetters(s, "inf") || sameLetters(s, "infinity")) {
        p.kind = NumberOrder::Kind::Number;
        p.infinite = true;
        return p;
    }
    size_t at = 0;
    p.head = digitsAt(s, at);
    if (at < s.size() && s[at] == '.') {
        ++at;
        p.tail = digitsAt(s, at);
    }
    if (p.head.empty() && p.tail.empty())
        return p;
    qint64 exponent = 0;
    if (at < s.size() && (s[at] == 'e' || s[at] == 'E')) {
        ++at;
        const bool negative = at < s.size() && s[at] == '-';
        if (at < s.size() && (s[at] == '-' || s[at] == '+'))
            ++at;
        const size_t begin = at;
        while (at < s.size() && s[at] == '0')
            ++at;
        const std::string_view digits = digitsAt(s, at);
        if (at == begin || digits.size() > 18)
            return p;
        std::from_chars(digits.data(), digits.data() + digits.size(), exponent);
        if (negative)
            exponent = -exponent;
    }
    if (at != s.size())
        return p;
    placeDigits(p, exponent);
    p.kind = NumberOrder::Kind::Number;
    return p;
}

bool isZero(const Parsed& p)
{
    return !p.infinite && p.head.empty() && p.tail.empty();
}

int signOf(const Parsed& p)
{
    return isZero(p) ? 0 : p.negative ? -1 : 1;
}

char digitAt(const Parsed& p, size_t i)
{
    return i < p.head.size() ? p.head[i] : p.tail[i - p.head.size()];
}

// The sizes of two numbers of the same sign, neither zero.
int compareSizes(const Parsed& a, const Parsed& b)
{
    if (a.infinite || b.infinite)
        return int(a.infinite) - int(b.infinite);
    if (a.point != b.point)
        return a.point < b.point ? -1 : 1;
    const size_t na = a.head.size() + a.tail.size();
    const size_t nb = b.head.size() + b.tail.size();
    for (size_t i = 0; i < std::min(na, nb); ++i) {
        const char da = digitAt(a, i);
        const char db = digitAt(b, i);
        if (da != db)
            return da < db ? -1 : 1;
    }
    // The longer has a digit more, which is not zero.
    return na == nb ? 0 : na < nb ? -1 : 1;
}

// The text of a number cell: a text as it is, an integer or a float written exactly.
std::string_view textOf(const CellRef& c, char* buffer)
{
    if (c.cls == CellClass::Text)
        return { c.data, size_t(c.size) };
    const char* end = c.cls == CellClass::Integer
        ? std::to_chars(buffer, buffer + kLongestWritten, c.integer).ptr
        : std::to_chars(buffer, buffer + kLongestWritten, c.real, std::chars_format::scientific, kFloatDigits).ptr;
    return { buffer, size_t(end - buffer) };
}

template <class T> int threeWay(const T& a, const T& b)
{
    return a < b ? -1 : b < a ? 1 : 0;
}

// Integers beyond 2^53 may round to the double of another.
constexpr qint64 kExactInDouble = qint64(1) << 53;

} // namespace

namespace NumberOrder
{

Reading read(const CellRef& c)
{
    switch (c.cls) {
    case CellClass::Integer:
        return { Kind::Number, double(c.integer), c.integer >= -kExactInDouble && c.integer <= kExactInDouble };
    case CellClass::Float:
        return { std::isnan(c.real) ? Kind::NotANumber : Kind::Number, c.real, true };
    case CellClass::Text:
        break;
    default:
        return {};
    }
    const Parsed p = parse({ c.data, size_t(c.size) });
    if (p.kind != Kind::Number)
        return { p.kind, 0, true };
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    if (p.infinite)
        return { Kind::Number, p.negative ? -kInfinity : kInfinity, false };
    // Rounded to the nearest double, which keeps the order; beyond the doubles, to the
    // largest or to zero, which keeps it too.
    double rounded = 0;
    const auto [end, error] = std::from_chars(p.number.data(), p.number.data() + p.number.size(), rounded);
    if (error == std::errc::result_out_of_range)
        rounded = p.point > 0 ? std::numeric_limits<double>::max() : 0.0;
    else if (error != std::errc() || end != p.number.data() + p.number.size())
        return {};
    return { Kind::Number, p.negative ? -std::abs(rounded) : std::abs(rounded), false };
}

int compareValues(const CellRef& a, const CellRef& b)
{
    if (a.cls == CellClass::Integer && b.cls == CellClass::Integer)
        return threeWay(a.integer, b.integer);
    char bufferA[kLongestWritten];
    char bufferB[kLongestWritten];
    const Parsed pa = parse(textOf(a, bufferA));
    const Parsed pb = parse(textOf(b, bufferB));
    const int sa = signOf(pa);
    const int sb = signOf(pb);
    if (sa != sb)
        return sa < sb ? -1 : 1;
    return sa == 0 ? 0 : sa * compareSizes(pa, pb);
}

int compare(const CellRef& a, const CellRef& b)
{
    if (const int values = compareValues(a, b); values != 0)
        return values;
    const bool textA = a.cls == CellClass::Text;
    const bool textB = b.cls == CellClass::Text;
    if (textA != textB)
        return textA ? 1 : -1;
    if (!textA)
        return 0;
    return threeWay(std::string_view(a.data, size_t(a.size)), std::string_view(b.data, size_t(b.size)));
}

} // namespace NumberOrder
