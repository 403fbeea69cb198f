#include "data/TextForms.h"

#include "data/IsoDateTime.h"
#include "platform/Utf8.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace
{

QString formatFloat(double value, QChar decimalPoint)
{
    QString s = QString::number(value, 'g', 15);
    if (decimalPoint != u'.')
        s.replace(QLatin1Char('.'), decimalPoint);
    return s;
}

bool isIntegerType(TFieldType t)
{
    return t == ftSmallint || t == ftInteger || t == ftWord || t == ftAutoInc;
}

// An exact decimal as a server writes it: "-123.4500", every digit kept.
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

// A logical column's text longer than this is no truth value, whatever blanks
// surround a word: a long text is never read whole to find out.
constexpr qsizetype kLongestTruth = 256;

// The largest amount a currency value may hold, in units of 1/10,000, either side of
// zero: the value × 10,000 fits a qint64, and so does its opposite.
constexpr qint64 kLargestUnits = std::numeric_limits<qint64>::max();

// Texts that a logical column may hold.
int booleanOf(QStringView s)
{
    static const char* const truths[] = { "1", "true", "t", "vrai", "yes", "y", "oui" };
    static const char* const falsehoods[] = { "0", "false", "f", "faux", "no", "n", "non" };
    const QString lower = s.trimmed().toString().toLower();
    for (const char* t : truths)
        if (lower == QLatin1String(t))
            return 1;
    for (const char* f : falsehoods)
        if (lower == QLatin1String(f))
            return 0;
    return -1;
}

// Parses a decimal text exactly into units of 1/10,000.
bool parseCurrency(QStringView s, qint64& out)
{
    s = s.trimmed();
    if (s.isEmpty())
        return false;
    bool negative = false;
    qsizetype i = 0;
    if (s[0] == u'-' || s[0] == u'+') {
        negative = s[0] == u'-';
        ++i;
    }
    qint64 whole = 0;
    qint64 fraction = 0;
    int fractionDigits = 0;
    bool digits = false;
    bool point = false;
    for (; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c.isDigit()) {
            digits = true;
            const int d = c.digitValue();
            if (point) {
                if (fractionDigits < 4) {
                    fraction = fraction * 10 + d;
                    ++fractionDigits;
                }
            } else {
                if (whole > (kLargestUnits / 10000 - d) / 10)
                    return false;
                whole = whole * 10 + d;
            }
        } else if ((c == u'.' || c == u',') && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (!digits)
        return false;
    while (fractionDigits++ < 4)
        fraction *= 10;
    if (whole * 10000 > kLargestUnits - fraction)
        return false;
    out = whole * 10000 + fraction;
    if (negative)
        out = -out;
    return true;
}

// The exports' fast paths below write what textOf() would give, without a QString.

void appendInteger(QByteArray& out, qint64 value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end - digits);
}

// formatFloat() for the values whose shortest exact form has at most 15 significant
// digits, which rounding to 15 digits leaves unchanged, laid out as "%.15g" does: fixed
// notation for exponents from -4 to 14, else d.ddde+XX. False for the values with more
// digits, for infinities, NaN and subnormal numbers.
bool appendFloat(QByteArray& out, double value, char decimalPoint)
{
    if (value == 0) {
        out.append('0'); // "0" for -0 too, as QString::number writes it
        return true;
    }
    // Subnormal numbers carry fewer digits than 15: their shortest form is shorter.
    if (!std::isfinite(value) || std::abs(value) < std::numeric_limits<double>::min())
        return false;
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
        return false;
    int exponent = 0;
    std::from_chars(p + 1 + (p[1] == '+'), end, exponent);
    char text[40];
    char* w = text;
    if (negative)
        *w++ = '-';
    if (exponent >= -4 && exponent < 15) {
        if (exponent < 0) {
            *w++ = '0';
            *w++ = decimalPoint;
            for (int i = -1; i > exponent; --i)
                *w++ = '0';
            w = std::copy(digits, digits + count, w);
        } else {
            for (int i = 0; i <= exponent; ++i)
                *w++ = i < count ? digits[i] : '0';
            if (count > exponent + 1) {
                *w++ = decimalPoint;
                w = std::copy(digits + exponent + 1, digits + count, w);
            }
        }
    } else {
        *w++ = digits[0];
        if (count > 1) {
            *w++ = decimalPoint;
            w = std::copy(digits + 1, digits + count, w);
        }
        *w++ = 'e';
        *w++ = exponent < 0 ? '-' : '+';
        const int magnitude = std::abs(exponent);
        if (magnitude < 10)
            *w++ = '0';
        w = std::to_chars(w, text + sizeof text, magnitude).ptr;
    }
    out.append(text, w - text);
    return true;
}

// An amount in units of 1/10,000 as plain digits with its decimals, trailing zeros left
// out, in integer arithmetic: "-1234.5" for -12,345,000 units. Writes 22 bytes at most.
char* writeAmount(char* w, qint64 units, char decimalPoint)
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
    *w++ = decimalPoint;
    for (int i = digits - 1; i >= 0; --i, fraction /= 10)
        w[i] = char('0' + fraction % 10);
    return w + digits;
}

char* writePadded(char* w, int value, int width)
{
    char digits[12];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    for (auto n = end - digits; n < width; ++n)
        *w++ = '0';
    return std::copy(digits, end, w);
}

// A date in a numeric short date format.
void appendNumericDate(QByteArray& out, const IsoDateTime::Day& date, const std::vector<NumericDatePart>& format)
{
    // Each part writes 4 bytes at most: years have 4 digits in ISO texts.
    char text[16 * 4];
    char* w = text;
    for (const NumericDatePart& part : format) {
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
    out.append(text, w - text);
}

std::string_view bytesOf(const CellRef& c)
{
    return { c.data, size_t(c.size) };
}

std::vector<NumericDatePart> numericDateParts(const QString& format)
{
    std::vector<NumericDatePart> parts;
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
    return parts;
}

} // namespace

TextForms TextForms::current()
{
    TextForms f;
    f.locale = QLocale();
    f.decimalPoint = f.locale.decimalPoint().isEmpty() ? QChar(u'.') : f.locale.decimalPoint().front();
    f.dateFormat = f.locale.dateFormat(QLocale::ShortFormat);
    f.timeFormat = f.locale.timeFormat(QLocale::ShortFormat);
    f.dateTimeFormat = f.locale.dateTimeFormat(QLocale::ShortFormat);
    // Locales that write their own digits keep to QLocale.
    if (f.locale.zeroDigit() == QLatin1String("0"))
        f.numericDate = numericDateParts(f.dateFormat);
    return f;
}

QString TextForms::textOf(const CellRef& c, TFieldType type) const
{
    switch (c.cls) {
    case CellClass::Text:
        if (std::optional<QString> shown = formattedText(c, type))
            return *shown;
        return Utf8::decode(QByteArrayView(c.data, c.size));
    case CellClass::Blob:
        return Windows1252::decode(QByteArrayView(c.data, c.size));
    default:
        return numberText(c, type);
    }
}

QString TextForms::textStart(const CellRef& c, TFieldType type, qsizetype units) const
{
    switch (c.cls) {
    case CellClass::Text:
        if (std::optional<QString> shown = formattedText(c, type))
            return *shown;
        return Utf8::decodeStart(QByteArrayView(c.data, c.size), units);
    case CellClass::Blob:
        return Windows1252::decode(QByteArrayView(c.data, qMin(c.size, qMax<qsizetype>(units, 0))));
    default:
        return numberText(c, type);
    }
}

QString TextForms::numberText(const CellRef& c, TFieldType type) const
{
    switch (c.cls) {
    case CellClass::Integer:
        if (type == ftBoolean)
            return c.integer ? QStringLiteral("Vrai") : QStringLiteral("Faux");
        return QString::number(c.integer);
    case CellClass::Float:
        if (type == ftBoolean)
            return c.real != 0 ? QStringLiteral("Vrai") : QStringLiteral("Faux");
        if (isIntegerType(type) && std::abs(c.real) < 9e15 && c.real == std::trunc(c.real))
            return QString::number(qint64(c.real));
        if (type == ftCurrency) {
            if (const std::optional<qint64> units = currencyUnits(c)) {
                char text[24];
                QString amount = QString::fromLatin1(text, writeAmount(text, *units, '.') - text);
                if (decimalPoint != u'.')
                    amount.replace(QLatin1Char('.'), decimalPoint);
                return amount;
            }
        }
        return formatFloat(c.real, decimalPoint);
    default:
        return {};
    }
}

std::optional<QString> TextForms::formattedText(const CellRef& c, TFieldType type) const
{
    switch (type) {
    case ftDate:
        if (const auto stamp = IsoDateTime::stamp(bytesOf(c)))
            return locale.toString(stamp->date.toDate(), dateFormat);
        break;
    case ftTime:
        if (const auto time = IsoDateTime::time(bytesOf(c)))
            return locale.toString(*time, timeFormat);
        break;
    case ftDateTime:
        // Shown as written, whatever its zone: read as UTC, no time falls into a change
        // of daylight saving and moves.
        if (const auto stamp = IsoDateTime::stamp(bytesOf(c)))
            return locale.toString(
                QDateTime(stamp->date.toDate(), stamp->time.value_or(QTime(0, 0)), Qt::UTC), dateTimeFormat);
        break;
    case ftBCD:
        // Every digit as stored, with the user's decimal separator.
        if (decimalPoint != u'.' && isDecimalText(bytesOf(c))) {
            QString text = QString::fromLatin1(c.data, c.size);
            text.replace(QLatin1Char('.'), decimalPoint);
            return text;
        }
        break;
    case ftBoolean:
        if (c.size <= kLongestTruth) {
            if (const int b = booleanOf(Utf8::decode(QByteArrayView(c.data, c.size))); b >= 0)
                return b ? QStringLiteral("Vrai") : QStringLiteral("Faux");
        }
        break;
    default:
        break;
    }
    return std::nullopt;
}

void TextForms::appendText1252(QByteArray& out, CellRef c, TFieldType type, Windows1252::Unmappable policy) const
{
    switch (c.cls) {
    case CellClass::Null:
        return;
    case CellClass::Integer:
        if (type != ftBoolean) {
            appendInteger(out, c.integer);
            return;
        }
        break;
    case CellClass::Text: {
        if (formsStoredText(type)) {
            if (type == ftDate && !numericDate.empty() && numericDate.size() <= 16) {
                if (const auto stamp = IsoDateTime::stamp(bytesOf(c))) {
                    appendNumericDate(out, stamp->date, numericDate);
                    return;
                }
            }
            // An exact decimal is ASCII: written straight, with a comma for the point
            // where the user writes one, as formattedText() would give it.
            if (type == ftBCD && (decimalPoint == u',' || decimalPoint == u'.') && isDecimalText(bytesOf(c))) {
                const qsizetype at = out.size();
                out.append(c.data, c.size);
                std::replace(out.begin() + at, out.end(), '.', char(decimalPoint.unicode()));
                return;
            }
            if (std::optional<QString> shown = formattedText(c, type)) {
                Windows1252::appendEncoded(out, *shown, policy);
                return;
            }
        }
        Windows1252::appendFromUtf8(out, c.data, c.size, policy);
        return;
    }
    case CellClass::Blob:
        Windows1252::appendBytes(out, QByteArrayView(c.data, c.size), policy);
        return;
    case CellClass::Float:
        if (type != ftBoolean && !isIntegerType(type)) {
            const int point = Windows1252::byteFor(decimalPoint.unicode());
            if (point >= 0 && type == ftCurrency) {
                if (const std::optional<qint64> units = currencyUnits(c)) {
                    char text[24];
                    out.append(text, writeAmount(text, *units, char(point)) - text);
                    return;
                }
            }
            if (point >= 0 && appendFloat(out, c.real, char(point)))
                return;
        }
        break;
    }
    Windows1252::appendEncoded(out, numberText(c, type), policy);
}

QStringList TextForms::widestTexts(TFieldType type) const
{
    // The samples go through textOf(), as stored values do. Dates fall on a two-digit
    // day of every month and, the 22nd to the 28th, on every day of the week; times on
    // two-digit hours, morning and evening; amounts reach ten million, with cents and a
    // sign.
    // Only the types that have a widest text make the samples: every column asks.
    if (type != ftDate && type != ftTime && type != ftDateTime && type != ftBoolean && type != ftCurrency)
        return {};
    QStringList days;
    if (type == ftDate || type == ftDateTime)
        for (int month = 1; month <= 12; ++month)
            for (int day = 22; day <= 28; ++day)
                days << QStringLiteral("2000-%1-%2").arg(month, 2, 10, QLatin1Char('0')).arg(day);
    const QStringList hours { QStringLiteral("10:58:58"), QStringLiteral("22:58:58") };
    QStringList stored;
    switch (type) {
    case ftDate:
        stored = days;
        break;
    case ftTime:
        stored = hours;
        break;
    case ftDateTime:
        for (const QString& day : std::as_const(days))
            for (const QString& hour : hours)
                stored << day + u' ' + hour;
        break;
    case ftBoolean:
        stored = { QStringLiteral("1"), QStringLiteral("0") };
        break;
    case ftCurrency: {
        CellRef amount;
        amount.cls = CellClass::Float;
        amount.real = -9999999.99;
        return { textOf(amount, type) };
    }
    default:
        return {};
    }
    QStringList texts;
    texts.reserve(stored.size());
    for (const QString& text : std::as_const(stored)) {
        const QByteArray utf8 = text.toUtf8();
        CellRef cell;
        cell.cls = CellClass::Text;
        cell.data = utf8.constData();
        cell.size = utf8.size();
        texts << textOf(cell, type);
    }
    return texts;
}

bool TextForms::formsStoredText(TFieldType t)
{
    return t == ftDate || t == ftTime || t == ftDateTime || t == ftBoolean || t == ftBCD;
}

std::optional<qint64> TextForms::currencyUnits(const CellRef& c)
{
    switch (c.cls) {
    case CellClass::Null:
        return 0;
    case CellClass::Integer:
        if (c.integer < -(kLargestUnits / 10000) || c.integer > kLargestUnits / 10000)
            break;
        return c.integer * 10000;
    case CellClass::Float: {
        // Below 2^63 in size (false for NaN): rounds to a qint64 other than its minimum.
        const double units = c.real * 10000.0;
        if (!(std::abs(units) < 9223372036854775808.0))
            break;
        return std::llround(units);
    }
    case CellClass::Text: {
        qint64 v = 0;
        if (parseCurrency(Utf8::decode(QByteArrayView(c.data, c.size)), v))
            return v;
        break;
    }
    case CellClass::Blob:
        break;
    }
    return std::nullopt;
}
