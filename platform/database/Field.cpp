#include "Field.h"

#include "DataSet.h"
#include "Exceptions.h"
#include "IsoDateTime.h"
#include "Utf8.h"

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

// The types whose stored text may be shown in another form (dates, times, truth values).
bool formsStoredText(TFieldType t)
{
    return t == ftDate || t == ftTime || t == ftDateTime || t == ftBoolean;
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

} // namespace

TField::TField(TDataSet* dataSet, int index, const ColumnInfo& column)
    : m_dataSet(dataSet)
    , m_index(index)
    , m_name(column.name)
    , m_type(column.type)
    , m_size(column.size)
    , m_precision(column.precision)
{
}

int TField::displayWidth() const
{
    if (m_displayWidth >= 1)
        return m_displayWidth;
    switch (m_type) {
    case ftString:
        return std::max(m_size, 0);
    case ftBoolean:
        return 4;
    case ftBCD:
        if (m_precision <= 0)
            return 10;
        return m_precision < std::numeric_limits<int>::max() ? m_precision + 1 : m_precision;
    default:
        return 10;
    }
}

CellRef TField::cell() const
{
    return m_dataSet->currentCell(m_index);
}

CellRef TField::cellAt(qsizetype row) const
{
    return m_dataSet->cellAt(row, m_index);
}

bool TField::isNull() const
{
    return cell().cls == CellClass::Null;
}

QString TField::asString() const
{
    return textOf(cell());
}

QString TField::textOf(const CellRef& c) const
{
    switch (c.cls) {
    case CellClass::Text:
        if (std::optional<QString> shown = formattedText(c))
            return *shown;
        return Utf8::decode(QByteArrayView(c.data, c.size));
    case CellClass::Blob:
        return Windows1252::decode(QByteArrayView(c.data, c.size));
    default:
        return numberText(c);
    }
}

QString TField::textStart(const CellRef& c, qsizetype units) const
{
    switch (c.cls) {
    case CellClass::Text:
        if (std::optional<QString> shown = formattedText(c))
            return *shown;
        return Utf8::decodeStart(QByteArrayView(c.data, c.size), units);
    case CellClass::Blob:
        return Windows1252::decode(QByteArrayView(c.data, qMin(c.size, qMax<qsizetype>(units, 0))));
    default:
        return numberText(c);
    }
}

QString TField::numberText(const CellRef& c) const
{
    switch (c.cls) {
    case CellClass::Integer:
        if (m_type == ftBoolean)
            return c.integer ? QStringLiteral("Vrai") : QStringLiteral("Faux");
        return QString::number(c.integer);
    case CellClass::Float:
        if (m_type == ftBoolean)
            return c.real != 0 ? QStringLiteral("Vrai") : QStringLiteral("Faux");
        if (isIntegerType(m_type) && std::abs(c.real) < 9e15 && c.real == std::trunc(c.real))
            return QString::number(qint64(c.real));
        return formatFloat(c.real, m_dataSet->textForms().decimalPoint);
    default:
        return {};
    }
}

std::optional<QString> TField::formattedText(const CellRef& c) const
{
    const TextForms& forms = m_dataSet->textForms();
    switch (m_type) {
    case ftDate:
        if (const auto stamp = IsoDateTime::stamp(bytesOf(c)))
            return forms.locale.toString(stamp->date.toDate(), forms.dateFormat);
        break;
    case ftTime:
        if (const auto time = IsoDateTime::time(bytesOf(c)))
            return forms.locale.toString(*time, forms.timeFormat);
        break;
    case ftDateTime:
        // Shown as written, whatever its zone: read as UTC, no time falls into a change
        // of daylight saving and moves.
        if (const auto stamp = IsoDateTime::stamp(bytesOf(c)))
            return forms.locale.toString(
                QDateTime(stamp->date.toDate(), stamp->time.value_or(QTime(0, 0)), Qt::UTC), forms.dateTimeFormat);
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

void TField::appendText1252(QByteArray& out, Windows1252::Unmappable policy) const
{
    const CellRef c = cell();
    switch (c.cls) {
    case CellClass::Null:
        return;
    case CellClass::Integer:
        if (m_type != ftBoolean) {
            appendInteger(out, c.integer);
            return;
        }
        break;
    case CellClass::Text: {
        if (formsStoredText(m_type)) {
            const TextForms& forms = m_dataSet->textForms();
            if (m_type == ftDate && !forms.numericDate.empty() && forms.numericDate.size() <= 16) {
                if (const auto stamp = IsoDateTime::stamp(bytesOf(c))) {
                    appendNumericDate(out, stamp->date, forms.numericDate);
                    return;
                }
            }
            if (std::optional<QString> shown = formattedText(c)) {
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
        if (m_type != ftBoolean && !isIntegerType(m_type)) {
            const int point = Windows1252::byteFor(m_dataSet->textForms().decimalPoint.unicode());
            if (point >= 0 && appendFloat(out, c.real, char(point)))
                return;
        }
        break;
    }
    Windows1252::appendEncoded(out, numberText(c), policy);
}

qint64 TField::asCurrency() const
{
    const CellRef c = cell();
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
    throw EDatabaseError(QStringLiteral("'%1' n'est pas une valeur monétaire valide").arg(asString()));
}

QByteArray TField::blobContents() const
{
    QByteArray out;
    appendBlobContents(out);
    return out;
}

void TField::appendBlobContents(QByteArray& out) const
{
    const CellRef c = cell();
    if (c.cls == CellClass::Blob || (c.cls == CellClass::Text && isBlobType(m_type) && !isMemoType(m_type)))
        out.append(c.data, c.size);
    else
        appendText1252(out, Windows1252::Unmappable::QuestionMark);
}

void TField::setAsString(const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    CellRef c;
    c.cls = CellClass::Text;
    c.data = utf8.constData();
    c.size = utf8.size();
    m_dataSet->setFieldValue(m_index, c);
}
