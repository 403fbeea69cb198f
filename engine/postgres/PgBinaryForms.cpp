#include "engine/postgres/PgBinaryForms.h"

#include "engine/ResultStore.h"
#include "platform/Exceptions.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

namespace
{

// Days from 0000-03-01 to 2000-01-01, the server's day 0.
constexpr qint64 kEpochShift = 719468 + 10957;
constexpr qint64 kMicrosecondsPerDay = qint64(86400) * 1000000;

// A text of up to 64 bytes built without allocating.
struct ShortText {
    char text[64];
    char* end = text;
    void add(char c) { *end++ = c; }
    void add(const char* s) { end = std::copy(s, s + std::strlen(s), end); }
    // value in decimal, with zeros before it up to width digits.
    void number(qint64 value, int width)
    {
        static constexpr qint64 kPowers[] = { 1, 10, 100, 1000, 10000 };
        if (width >= 1 && width <= 4 && value >= 0 && value < kPowers[width]) {
            for (int i = width - 1; i >= 0; --i, value /= 10)
                end[i] = char('0' + value % 10);
            end += width;
            return;
        }
        char digits[24];
        const char* last = std::to_chars(digits, digits + sizeof digits, value).ptr;
        for (auto n = last - digits; n < width; ++n)
            add('0');
        end = std::copy(static_cast<const char*>(digits), last, end);
    }
    void appendTo(ResultStore& rows) const { rows.appendText(text, end - text); }
};

// A day of the proleptic Gregorian calendar, counted from 2000-01-01; year 0 is 1 BC.
void addDay(ShortText& out, qint64 days, bool& bc)
{
    const qint64 z = days + kEpochShift;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    // Within an era of 400 years every number is small and positive: 32-bit unsigned
    // arithmetic, the quickest, gives the same.
    const auto dayOfEra = quint32(z - era * 146097);
    const quint32 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const quint32 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const quint32 mp = (5 * dayOfYear + 2) / 153;
    const quint32 day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const quint32 month = mp < 10 ? mp + 3 : mp - 9;
    qint64 year = qint64(yearOfEra) + era * 400 + (month <= 2);
    bc = year <= 0;
    if (bc)
        year = 1 - year;
    out.number(year, 4);
    out.add('-');
    out.number(month, 2);
    out.add('-');
    out.number(day, 2);
}

// HH:MM:SS, then the fraction of a second without its trailing zeros.
void addTimeOfDay(ShortText& out, qint64 microseconds)
{
    const qint64 seconds = microseconds / 1000000;
    qint64 fraction = microseconds % 1000000;
    out.number(seconds / 3600, 2);
    out.add(':');
    out.number(seconds / 60 % 60, 2);
    out.add(':');
    out.number(seconds % 60, 2);
    if (fraction == 0)
        return;
    int width = 6;
    while (fraction % 10 == 0) {
        fraction /= 10;
        --width;
    }
    out.add('.');
    out.number(fraction, width);
}

} // namespace

namespace PgBinaryForms
{

void truncated()
{
    throw EDatabaseError(QStringLiteral("Valeur tronquée reçue du serveur"));
}

void appendDate(ResultStore& rows, qint32 days)
{
    ShortText t;
    if (days == std::numeric_limits<qint32>::max()) {
        t.add("infinity");
    } else if (days == std::numeric_limits<qint32>::min()) {
        t.add("-infinity");
    } else {
        bool bc = false;
        addDay(t, days, bc);
        if (bc)
            t.add(" BC");
    }
    t.appendTo(rows);
}

void appendTime(ResultStore& rows, qint64 microseconds)
{
    if (microseconds < 0 || microseconds > kMicrosecondsPerDay)
        truncated();
    ShortText t;
    addTimeOfDay(t, microseconds);
    t.appendTo(rows);
}

void appendTimestamp(ResultStore& rows, qint64 microseconds)
{
    ShortText t;
    if (microseconds == std::numeric_limits<qint64>::max()) {
        t.add("infinity");
    } else if (microseconds == std::numeric_limits<qint64>::min()) {
        t.add("-infinity");
    } else {
        qint64 days = microseconds / kMicrosecondsPerDay;
        qint64 rest = microseconds % kMicrosecondsPerDay;
        if (rest < 0) {
            rest += kMicrosecondsPerDay;
            --days;
        }
        bool bc = false;
        addDay(t, days, bc);
        t.add(' ');
        addTimeOfDay(t, rest);
        if (bc)
            t.add(" BC");
    }
    t.appendTo(rows);
}

// numeric's binary form: digit count, weight of the first digit (in powers of
// 10,000), sign, display scale, then the base-10,000 digits. Written as the server
// writes it: every integer digit, then exactly `scale` decimals.
void appendNumeric(ResultStore& rows, const char* data, int size)
{
    const int count = bigEndian<qint16>(data, size);
    const int weight = bigEndian<qint16>(data + 2, size - 2);
    const auto sign = bigEndian<quint16>(data + 4, size - 4);
    const int scale = bigEndian<quint16>(data + 6, size - 6);
    if (count < 0 || size != 8 + 2 * count)
        truncated();
    const char* special = sign == 0xC000 ? "NaN" : sign == 0xD000 ? "Infinity" : sign == 0xF000 ? "-Infinity" : nullptr;
    if (special) {
        rows.appendText(special, qsizetype(std::strlen(special)));
        return;
    }
    const auto digit = [&](int i) { return i >= 0 && i < count ? int(bigEndian<qint16>(data + 8 + 2 * i, 2)) : 0; };
    // What the server never sends: another sign, a digit that is not base 10,000.
    if (sign != 0 && sign != 0x4000)
        truncated();
    for (int i = 0; i < count; ++i) {
        if (digit(i) < 0 || digit(i) > 9999)
            truncated();
    }
    QByteArray text;
    text.reserve(4 * (std::max(weight, 0) + 1) + scale + 2);
    if (sign == 0x4000)
        text.append('-');
    char group[4];
    if (weight < 0) {
        text.append('0');
    } else {
        for (int i = 0; i <= weight; ++i) {
            const int d = digit(i);
            if (i == 0) {
                const char* last = std::to_chars(group, group + 4, d).ptr;
                text.append(group, last - group);
            } else {
                for (int k = 3, v = d; k >= 0; --k, v /= 10)
                    group[k] = char('0' + v % 10);
                text.append(group, 4);
            }
        }
    }
    if (scale > 0) {
        text.append('.');
        int written = 0;
        for (int i = weight + 1; written < scale; ++i) {
            for (int k = 3, v = digit(i); k >= 0; --k, v /= 10)
                group[k] = char('0' + v % 10);
            const int take = std::min(4, scale - written);
            text.append(group, take);
            written += take;
        }
    }
    rows.appendText(text.constData(), text.size());
}

} // namespace PgBinaryForms
