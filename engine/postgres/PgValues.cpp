#include "engine/postgres/PgValues.h"

#include "engine/postgres/PgBinaryForms.h"

#include <bit>
#include <charconv>
#include <cstring>

namespace
{

using namespace PgBinaryForms;

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

// A value of a fixed-size type: one of another size is not the type the column was described with.
template <typename T> T whole(const char* data, int size)
{
    if (size != int(sizeof(T)))
        truncated();
    return bigEndian<T>(data, size);
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
    case kTime:
        appendTime(rows, whole<qint64>(data, size));
        return;
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
