#include "data/NumericText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace
{

// The values whose shortest exact form has at most 15 significant digits, which
// rounding to 15 digits leaves unchanged, laid out as "%.15g" does: fixed notation for
// exponents from -4 to 14, else d.ddde+XX. nullptr for the values with more digits, for
// infinities, NaN and subnormal numbers.
char* writeShortFloat(char* w, double value)
{
    if (value == 0) {
        *w++ = '0'; // "0" for -0 too, as QString::number writes it
        return w;
    }
    // Subnormal numbers carry fewer digits than 15: their shortest form is shorter.
    if (!std::isfinite(value) || std::abs(value) < std::numeric_limits<double>::min())
        return nullptr;
    char shortest[40];
    const char* end = std::to_chars(shortest, shortest + sizeof shortest, value, std::chars_format::scientific).ptr;
    // shortest is [-]d[.ddd]e(+|-)XX
    const char* p = shortest;
    const bool negative = *p == '-';
    p += negative;
    char digits[20];
    int count = 0;
    for (; *p != 'e'; ++p)
        if (*p != '.')
            digits[count++] = *p;
    if (count > 15)
        return nullptr;
    int exponent = 0;
    std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
    if (negative)
        *w++ = '-';
    if (exponent >= -4 && exponent < 15) {
        if (exponent < 0) {
            *w++ = '0';
            *w++ = '.';
            for (int i = -1; i > exponent; --i)
                *w++ = '0';
            return std::copy(digits, digits + count, w);
        }
        for (int i = 0; i <= exponent; ++i)
            *w++ = i < count ? digits[i] : '0';
        if (count > exponent + 1) {
            *w++ = '.';
            w = std::copy(digits + exponent + 1, digits + count, w);
        }
        return w;
    }
    *w++ = digits[0];
    if (count > 1) {
        *w++ = '.';
        w = std::copy(digits + 1, digits + count, w);
    }
    *w++ = 'e';
    *w++ = exponent < 0 ? '-' : '+';
    const int magnitude = std::abs(exponent);
    if (magnitude < 10)
        *w++ = '0';
    return std::to_chars(w, w + 4, magnitude).ptr;
}

char* writePadded(char* w, int value, int width)
{
    char digits[12];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    for (auto n = end - digits; n < width; ++n)
        *w++ = '0';
    return std::copy(digits, end, w);
}

} // namespace

namespace NumericText
{

char* writeInteger(char* w, qint64 value)
{
    return std::to_chars(w, w + 20, value).ptr;
}

char* writeFloat(char* w, double value)
{
    if (char* end = writeShortFloat(w, value))
        return end;
    // Rounded to 15 digits by Qt: ASCII, 22 bytes at most ("-1.79769313486232e+308").
    const QByteArray text = QString::number(value, 'g', 15).toLatin1();
    return std::copy(text.begin(), text.end(), w);
}

char* writeAmount(char* w, qint64 units)
{
    // The size as unsigned: the negative of the smallest qint64 is no qint64.
    const quint64 size = units < 0 ? 0 - quint64(units) : quint64(units);
    if (units < 0)
        *w++ = '-';
    w = std::to_chars(w, w + 20, size / 10000).ptr;
    quint64 fraction = size % 10000;
    if (fraction == 0)
        return w;
    int digits = 4;
    for (; fraction % 10 == 0; fraction /= 10)
        --digits;
    *w++ = '.';
    for (int i = digits - 1; i >= 0; --i, fraction /= 10)
        w[i] = char('0' + fraction % 10);
    return w + digits;
}

bool isDecimalText(std::string_view s)
{
    size_t i = !s.empty() && s[0] == '-' ? 1 : 0;
    size_t digits = 0;
    bool point = false;
    for (; i < s.size(); ++i) {
        if (s[i] >= '0' && s[i] <= '9')
            ++digits;
        else if (s[i] == '.' && !point)
            point = true;
        else
            return false;
    }
    return digits > 0;
}

std::vector<DatePart> dateParts(const QString& format)
{
    std::vector<DatePart> parts;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        qsizetype run = 1;
        while (i + run < format.size() && format[i + run] == c)
            ++run;
        if (c == u'd' || c == u'M' || c == u'y') {
            const bool known = c == u'y' ? (run == 2 || run == 4) : run <= 2;
            if (!known)
                return {};
            parts.push_back({ char(c.unicode()), int(run), 0 });
        } else if (c.unicode() < 0x80 && !c.isLetter() && !QStringLiteral("'&<>\"").contains(c)) {
            for (qsizetype k = 0; k < run; ++k)
                parts.push_back({ 0, 0, char(c.unicode()) });
        } else {
            return {};
        }
        i += run;
    }
    if (parts.size() > kMostDateParts)
        return {};
    return parts;
}

char* writeDate(char* w, const IsoDateTime::Day& date, const std::vector<DatePart>& parts)
{
    // Each part writes 4 bytes at most: years have 4 digits in ISO texts.
    for (const DatePart& part : parts) {
        switch (part.field) {
        case 'd':
            w = writePadded(w, date.day, part.width);
            break;
        case 'M':
            w = writePadded(w, date.month, part.width);
            break;
        case 'y':
            w = writePadded(w, part.width == 2 ? date.year % 100 : date.year, part.width);
            break;
        default:
            *w++ = part.literal;
            break;
        }
    }
    return w;
}

} // namespace NumericText
