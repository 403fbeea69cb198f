#include "engine/postgres/PgValues.h"

#include "platform/Exceptions.h"

#include <QtEndian>
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace
{

// Server type numbers (fixed in every PostgreSQL release).
enum : PgValues::Oid {
    kBool = 16,
    kBytea = 17,
    kChar = 18,
    kName = 19,
    kInt8 = 20,
    kInt2 = 21,
    kInt4 = 23,
    kText = 25,
    kOid = 26,
    kJson = 114,
    kXml = 142,
    kFloat4 = 700,
    kFloat8 = 701,
    kUnknown = 705,
    kMoney = 790,
    kBpchar = 1042,
    kVarchar = 1043,
    kDate = 1082,
    kTime = 1083,
    kTimestamp = 1114,
    kTimestamptz = 1184,
    kTimetz = 1266,
    kNumeric = 1700,
};

// Days from 0000-03-01 to 2000-01-01, the server's day 0.
constexpr qint64 kEpochShift = 719468 + 10957;
constexpr qint64 kMicrosecondsPerDay = qint64(86400) * 1000000;

[[noreturn]] void truncated()
{
    throw EDatabaseError(QStringLiteral("Valeur tronquée reçue du serveur"));
}

template <typename T> T bigEndian(const char* data, int size)
{
    if (size < int(sizeof(T)))
        truncated();
    return qFromBigEndian<T>(data);
}

// A value of a fixed-size type: one of another size is not the type the column was described with.
template <typename T> T whole(const char* data, int size)
{
    if (size != int(sizeof(T)))
        truncated();
    return bigEndian<T>(data, size);
}

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

// The value of a float4 as its shortest text reads as a double, as the text form gives it.
double widened(float value)
{
    char text[32];
    const char* last = std::to_chars(text, text + sizeof text, value).ptr;
    double d = value;
    std::from_chars(text, last, d);
    return d;
}

// bytea's text form: "\x" and two hex digits a byte (the server's default output).
void appendHexBytea(ResultStore& rows, const char* data, int size)
{
    if (size < 2 || data[0] != '\\' || data[1] != 'x') {
        rows.appendBlob(data, size);
        return;
    }
    const QByteArray bytes = QByteArray::fromHex(QByteArray::fromRawData(data + 2, size - 2));
    rows.appendBlob(bytes.constData(), bytes.size());
}

// money's text form under lc_monetary C: "$1,234.56", "-$0.50".
void appendMoneyText(ResultStore& rows, const char* data, int size)
{
    char digits[64];
    int n = 0;
    for (int i = 0; i < size && n < int(sizeof digits); ++i)
        if ((data[i] >= '0' && data[i] <= '9') || data[i] == '.' || data[i] == '-')
            digits[n++] = data[i];
    double value = 0;
    if (std::from_chars(digits, digits + n, value).ec == std::errc())
        rows.appendFloat(value);
    else
        rows.appendText(data, size);
}

} // namespace

namespace PgValues
{

ColumnInfo column(const QString& name, Oid type, int modifier)
{
    ColumnInfo c;
    c.name = name;
    switch (type) {
    case kBool:
        c.type = ftBoolean;
        break;
    case kInt2:
        c.type = ftSmallint;
        break;
    case kInt4:
    case kInt8:
    case kOid:
        c.type = ftInteger;
        break;
    case kFloat4:
    case kFloat8:
        c.type = ftFloat;
        break;
    case kMoney:
        c.type = ftCurrency;
        break;
    case kNumeric:
        c.type = ftBCD;
        if (modifier >= 4) {
            c.precision = ((modifier - 4) >> 16) & 0xFFFF;
            c.size = (modifier - 4) & 0xFFFF;
        }
        break;
    case kDate:
        c.type = ftDate;
        break;
    case kTime:
    case kTimetz:
        c.type = ftTime;
        break;
    case kTimestamp:
    case kTimestamptz:
        c.type = ftDateTime;
        break;
    case kBytea:
        c.type = ftBlob;
        break;
    case kVarchar:
    case kBpchar:
        if (modifier >= 4) {
            c.type = ftString;
            c.size = modifier - 4;
        } else {
            c.type = ftMemo;
        }
        break;
    case kChar:
        c.type = ftString;
        c.size = 1;
        break;
    case kName:
        c.type = ftString;
        c.size = 63;
        break;
    case kText:
    case kJson:
    case kXml:
        c.type = ftMemo;
        break;
    default:
        c.type = ftUnknown; // typed as a string as long as its longest value
        break;
    }
    return c;
}

bool readsBinary(Oid type)
{
    switch (type) {
    case kBool:
    case kBytea:
    case kChar:
    case kName:
    case kInt8:
    case kInt2:
    case kInt4:
    case kText:
    case kOid:
    case kJson:
    case kXml:
    case kFloat4:
    case kFloat8:
    case kUnknown:
    case kMoney:
    case kBpchar:
    case kVarchar:
    case kDate:
    case kTime:
    case kTimestamp:
    case kNumeric:
        return true;
    default:
        return false;
    }
}

void appendBinary(ResultStore& rows, Oid type, const char* data, int size)
{
    switch (type) {
    case kBool:
        if (size != 1)
            truncated();
        rows.appendInteger(data[0] != 0);
        return;
    case kInt2:
        rows.appendInteger(whole<qint16>(data, size));
        return;
    case kInt4:
        rows.appendInteger(whole<qint32>(data, size));
        return;
    case kOid:
        rows.appendInteger(whole<quint32>(data, size));
        return;
    case kInt8:
        rows.appendInteger(whole<qint64>(data, size));
        return;
    case kFloat4:
        rows.appendFloat(widened(std::bit_cast<float>(whole<quint32>(data, size))));
        return;
    case kFloat8:
        rows.appendFloat(std::bit_cast<double>(whole<quint64>(data, size)));
        return;
    case kMoney:
        rows.appendDecimal(whole<qint64>(data, size), 2); // cents
        return;
    case kBytea:
        rows.appendBlob(data, size);
        return;
    case kDate:
        appendDate(rows, whole<qint32>(data, size));
        return;
    case kTimestamp:
        appendTimestamp(rows, whole<qint64>(data, size));
        return;
    case kTime: {
        const qint64 microseconds = whole<qint64>(data, size);
        if (microseconds < 0 || microseconds > kMicrosecondsPerDay)
            truncated();
        ShortText t;
        addTimeOfDay(t, microseconds);
        t.appendTo(rows);
        return;
    }
    case kNumeric:
        appendNumeric(rows, data, size);
        return;
    default: // the text types: their binary form is their text
        rows.appendText(data, size);
        return;
    }
}

void appendText(ResultStore& rows, Oid type, const char* data, int size)
{
    switch (type) {
    case kBool:
        rows.appendInteger(size > 0 && data[0] == 't');
        return;
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid: {
        qint64 value = 0;
        if (std::from_chars(data, data + size, value).ec == std::errc())
            rows.appendInteger(value);
        else
            rows.appendText(data, size);
        return;
    }
    case kFloat4:
    case kFloat8: {
        double value = 0;
        if (std::from_chars(data, data + size, value).ec == std::errc())
            rows.appendFloat(value);
        else
            rows.appendText(data, size);
        return;
    }
    case kMoney:
        appendMoneyText(rows, data, size);
        return;
    case kBytea:
        appendHexBytea(rows, data, size);
        return;
    default:
        rows.appendText(data, size);
        return;
    }
}

BinaryCopy::BinaryCopy(ResultStore& rows, const std::vector<Oid>& types)
    : m_rows(rows)
    , m_types(types)
{
}

bool BinaryCopy::read(const char* data, int size)
{
    const char* p = data;
    const char* const end = data + size;
    const auto left = [&p, end] { return int(end - p); };
    if (!m_headerRead) {
        // "PGCOPY\n\377\r\n\0", the flags, then the length of an extension to skip.
        static constexpr char signature[] = "PGCOPY\n\377\r\n";
        if (size < 19 || std::memcmp(p, signature, sizeof signature) != 0)
            truncated();
        const auto extension = bigEndian<quint32>(p + 15, 4);
        if (extension > quint32(size - 19))
            truncated();
        p += 19 + extension;
        m_headerRead = true;
        if (p == end)
            return false;
    }
    const int count = bigEndian<qint16>(p, left());
    p += 2;
    if (count == -1)
        return false;
    if (count != int(m_types.size()))
        truncated();
    m_rows.beginRow();
    for (const Oid type : m_types) {
        const qint32 length = bigEndian<qint32>(p, left());
        p += 4;
        if (length == -1) {
            m_rows.appendNull();
            continue;
        }
        if (length < 0 || length > left())
            truncated();
        appendBinary(m_rows, type, p, length);
        p += length;
    }
    if (p != end)
        truncated();
    m_rows.endRow();
    return true;
}

Parameter parameter(const CellRef& cell)
{
    Parameter p;
    switch (cell.cls) {
    case CellClass::Null:
        p.null = true;
        break;
    case CellClass::Integer:
        p.bytes = QByteArray::number(cell.integer);
        break;
    case CellClass::Float: {
        char text[32];
        const char* last = std::to_chars(text, text + sizeof text, cell.real).ptr;
        p.bytes = QByteArray(text, last - text);
        break;
    }
    case CellClass::Text:
        p.bytes = QByteArray(cell.data, cell.size);
        break;
    case CellClass::Blob:
        p.bytes = QByteArray(cell.data, cell.size);
        p.binary = true;
        break;
    }
    return p;
}

} // namespace PgValues
