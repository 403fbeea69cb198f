#include "Raised.h"
#include "engine/postgres/PgValues.h"

#include <QTest>
#include <QtEndian>

// PostgreSQL's values read from the server's binary and text forms, without a server:
// the edges of the calendar, of numeric's base-10,000 digits, and values cut short.
class TestPgValues : public QObject
{
    Q_OBJECT
private slots:
    void binaryForms_data();
    void binaryForms();
    void textForms_data();
    void textForms();
    void truncatedBinaryIsRefused_data();
    void truncatedBinaryIsRefused();
    void copyStream_data();
    void copyStream();
};

namespace
{

enum : PgValues::Oid { kBool = 16, kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23, kFloat8 = 701, kMoney = 790 };
enum : PgValues::Oid { kText = 25 };
enum : PgValues::Oid { kDate = 1082, kTime = 1083, kTimestamp = 1114, kNumeric = 1700 };

template <typename T> QByteArray bigEndian(T value)
{
    QByteArray bytes(sizeof(T), Qt::Uninitialized);
    qToBigEndian(value, bytes.data());
    return bytes;
}

// numeric's binary form: digit count, weight, sign, display scale, base-10,000 digits.
QByteArray numeric(qint16 weight, quint16 sign, quint16 scale, const QList<qint16>& digits)
{
    QByteArray bytes
        = bigEndian<qint16>(qint16(digits.size())) + bigEndian(weight) + bigEndian(sign) + bigEndian(scale);
    for (const qint16 d : digits)
        bytes += bigEndian(d);
    return bytes;
}

// The cell that one value gives, shown as "class:value".
QString cellOf(bool binary, PgValues::Oid type, const QByteArray& bytes)
{
    ResultStore rows(1);
    rows.beginRow();
    if (binary)
        PgValues::appendBinary(rows, type, bytes.constData(), int(bytes.size()));
    else
        PgValues::appendText(rows, type, bytes.constData(), int(bytes.size()));
    rows.endRow();
    const CellRef c = rows.cell(0, 0);
    switch (c.cls) {
    case CellClass::Integer:
        return QStringLiteral("integer:") + QString::number(c.integer);
    case CellClass::Float:
        return QStringLiteral("float:") + QString::number(c.real, 'g', 17);
    case CellClass::Text:
        return QStringLiteral("text:") + QString::fromUtf8(c.data, c.size);
    case CellClass::Blob:
        return QStringLiteral("blob:") + QString::fromLatin1(QByteArray(c.data, c.size).toHex());
    case CellClass::Null:
        break;
    }
    return QStringLiteral("null");
}

} // namespace

void TestPgValues::binaryForms_data()
{
    QTest::addColumn<uint>("type");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("cell");
    QTest::newRow("true") << uint(kBool) << QByteArray("\x01", 1) << "integer:1";
    QTest::newRow("smallest int2") << uint(kInt2) << bigEndian<qint16>(-32768) << "integer:-32768";
    QTest::newRow("negative int4") << uint(kInt4) << bigEndian<qint32>(-2) << "integer:-2";
    QTest::newRow("largest int8") << uint(kInt8) << bigEndian<qint64>(9223372036854775807LL)
                                  << "integer:9223372036854775807";
    QTest::newRow("float8") << uint(kFloat8) << bigEndian<quint64>(0x3FB999999999999AULL)
                            << "float:0.10000000000000001";
    QTest::newRow("money in cents") << uint(kMoney) << bigEndian<qint64>(-123456) << "float:-1234.5599999999999";
    QTest::newRow("money in whole euros") << uint(kMoney) << bigEndian<qint64>(50000) << "float:500";
    QTest::newRow("money in tenths") << uint(kMoney) << bigEndian<qint64>(-10) << "float:-0.10000000000000001";
    QTest::newRow("money of 2^31 cents") << uint(kMoney) << bigEndian<qint64>(2147483648LL) << "float:21474836.48";
    QTest::newRow("money of trillions") << uint(kMoney) << bigEndian<qint64>(123456789012345LL)
                                        << "float:1234567890123.45";
    QTest::newRow("bytea with zero bytes") << uint(kBytea) << QByteArray("\x00\xff\x00", 3) << "blob:00ff00";
    QTest::newRow("day 0") << uint(kDate) << bigEndian<qint32>(0) << "text:2000-01-01";
    QTest::newRow("day before day 0") << uint(kDate) << bigEndian<qint32>(-1) << "text:1999-12-31";
    QTest::newRow("leap day of 2400") << uint(kDate) << bigEndian<qint32>(146156) << "text:2400-02-29";
    QTest::newRow("last day BC") << uint(kDate) << bigEndian<qint32>(-730120) << "text:0001-12-31 BC";
    QTest::newRow("first day of the server's calendar")
        << uint(kDate) << bigEndian<qint32>(-2451545) << "text:4714-11-24 BC";
    QTest::newRow("date infinity") << uint(kDate) << bigEndian<qint32>(2147483647) << "text:infinity";
    QTest::newRow("date minus infinity") << uint(kDate) << bigEndian<qint32>(-2147483647 - 1) << "text:-infinity";
    QTest::newRow("far date") << uint(kDate) << bigEndian<qint32>(106751982) << "text:294276-12-31";
    QTest::newRow("midnight's end") << uint(kTime) << bigEndian<qint64>(86400000000LL) << "text:24:00:00";
    QTest::newRow("time with a fraction") << uint(kTime) << bigEndian<qint64>(37815250000LL) << "text:10:30:15.25";
    QTest::newRow("a microsecond before 2000")
        << uint(kTimestamp) << bigEndian<qint64>(-1) << "text:1999-12-31 23:59:59.999999";
    QTest::newRow("timestamp BC") << uint(kTimestamp) << bigEndian<qint64>(-730120LL * 86400000000LL + 3600000000LL)
                                  << "text:0001-12-31 01:00:00 BC";
    QTest::newRow("timestamp minus infinity")
        << uint(kTimestamp) << bigEndian<qint64>(std::numeric_limits<qint64>::min()) << "text:-infinity";
    QTest::newRow("zero with a scale") << uint(kNumeric) << numeric(0, 0, 2, {}) << "text:0.00";
    QTest::newRow("digits in three groups")
        << uint(kNumeric) << numeric(1, 0, 3, { 1, 2345, 6780 }) << "text:12345.678";
    QTest::newRow("a small fraction") << uint(kNumeric) << numeric(-1, 0, 5, { 1, 2000 }) << "text:0.00012";
    QTest::newRow("a fraction past the first group")
        << uint(kNumeric) << numeric(-2, 0, 8, { 1200 }) << "text:0.00001200";
    QTest::newRow("trailing zero groups left out")
        << uint(kNumeric) << numeric(5, 0x4000, 0, { 1 }) << "text:-100000000000000000000";
    QTest::newRow("scale shorter than the digits") << uint(kNumeric) << numeric(0, 0, 1, { 7, 5000 }) << "text:7.5";
    QTest::newRow("not a number") << uint(kNumeric) << numeric(0, 0xC000, 0, {}) << "text:NaN";
    QTest::newRow("numeric infinity") << uint(kNumeric) << numeric(0, 0xD000, 0, {}) << "text:Infinity";
}

void TestPgValues::binaryForms()
{
    QFETCH(uint, type);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, cell);
    QCOMPARE(cellOf(true, type, bytes), cell);
}

void TestPgValues::textForms_data()
{
    QTest::addColumn<uint>("type");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("cell");
    QTest::newRow("true") << uint(kBool) << QByteArray("t") << "integer:1";
    QTest::newRow("false") << uint(kBool) << QByteArray("f") << "integer:0";
    QTest::newRow("int8") << uint(kInt8) << QByteArray("-9223372036854775808") << "integer:-9223372036854775808";
    QTest::newRow("float infinity") << uint(kFloat8) << QByteArray("-Infinity") << "float:-inf";
    QTest::newRow("money under lc_monetary C")
        << uint(kMoney) << QByteArray("-$1,234.56") << "float:-1234.5599999999999";
    QTest::newRow("bytea in hex") << uint(kBytea) << QByteArray("\\x00ff41") << "blob:00ff41";
    QTest::newRow("empty bytea") << uint(kBytea) << QByteArray("\\x") << "blob:";
    QTest::newRow("date as written") << uint(kDate) << QByteArray("4713-01-01 BC") << "text:4713-01-01 BC";
}

void TestPgValues::textForms()
{
    QFETCH(uint, type);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, cell);
    QCOMPARE(cellOf(false, type, bytes), cell);
}

void TestPgValues::truncatedBinaryIsRefused_data()
{
    QTest::addColumn<uint>("type");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("int8 of 4 bytes") << uint(kInt8) << bigEndian<qint32>(1);
    QTest::newRow("empty bool") << uint(kBool) << QByteArray();
    // A value longer than its type is not of the type the column was described with.
    QTest::newRow("int4 of 8 bytes") << uint(kInt4) << bigEndian<qint64>(1);
    QTest::newRow("date of 8 bytes") << uint(kDate) << bigEndian<qint64>(1);
    // Forms that the server never sends.
    QTest::newRow("numeric digit past 9999") << uint(kNumeric) << numeric(0, 0, 0, { 10000 });
    QTest::newRow("numeric with an unknown sign") << uint(kNumeric) << numeric(0, 0x1000, 0, { 1 });
    QTest::newRow("time before midnight") << uint(kTime) << bigEndian<qint64>(-1);
    QTest::newRow("date of 2 bytes") << uint(kDate) << QByteArray("\x00\x01", 2);
    QTest::newRow("numeric header cut short") << uint(kNumeric) << numeric(0, 0, 0, {}).left(6);
    QTest::newRow("numeric digits cut short") << uint(kNumeric) << numeric(0, 0, 0, { 1, 2 }).chopped(1);
}

void TestPgValues::truncatedBinaryIsRefused()
{
    QFETCH(uint, type);
    QFETCH(QByteArray, bytes);
    QCOMPARE(raised([&] { cellOf(true, type, bytes); }).message, QStringLiteral("Valeur tronquée reçue du serveur"));
}

namespace
{

QByteArray copyHeader(const QByteArray& extension = {})
{
    return QByteArray("PGCOPY\n\377\r\n\0", 11) + bigEndian<qint32>(0) + bigEndian<qint32>(qint32(extension.size()))
        + extension;
}

// A row of an int4 and a text; a null text when text is null.
QByteArray copyRow(qint32 n, const QByteArray& text)
{
    return bigEndian<qint16>(2) + bigEndian<qint32>(4) + bigEndian(n)
        + (text.isNull() ? bigEndian<qint32>(-1) : bigEndian<qint32>(qint32(text.size())) + text);
}

const QByteArray kTrailer = bigEndian<qint16>(-1);

} // namespace

void TestPgValues::copyStream_data()
{
    QTest::addColumn<QList<QByteArray>>("messages");
    QTest::addColumn<QString>("rows");
    const QString cut = QStringLiteral("Valeur tronquée reçue du serveur");
    QTest::newRow("header with the first row, a null, the trailer")
        << QList<QByteArray> { copyHeader() + copyRow(1, "a"), copyRow(2, QByteArray()), kTrailer } << "1 a|2 null|";
    QTest::newRow("header alone, no row") << QList<QByteArray> { copyHeader(), kTrailer } << "";
    QTest::newRow("header and trailer in one message") << QList<QByteArray> { copyHeader() + kTrailer } << "";
    QTest::newRow("a header extension is skipped")
        << QList<QByteArray> { copyHeader("xyz") + copyRow(3, "") } << "3 |";
    QTest::newRow("not a COPY stream") << QList<QByteArray> { "PGCOPX\n\377\r\n" + QByteArray(9, 0) } << cut;
    QTest::newRow("header cut short") << QList<QByteArray> { copyHeader().left(18) } << cut;
    QTest::newRow("extension longer than the message")
        << QList<QByteArray> { copyHeader("xyz").chopped(1) } << cut;
    QTest::newRow("a column too many")
        << QList<QByteArray> { copyHeader(), bigEndian<qint16>(3) + copyRow(1, "a").mid(2) + bigEndian<qint32>(-1) }
        << cut;
    QTest::newRow("a value longer than the message")
        << QList<QByteArray> { copyHeader(), copyRow(1, "abc").chopped(1) } << cut;
    QTest::newRow("a negative length") << QList<QByteArray> { copyHeader(), copyRow(1, "a").chopped(5) + bigEndian<qint32>(-2) }
                                       << cut;
    QTest::newRow("bytes after the row") << QList<QByteArray> { copyHeader(), copyRow(1, "a") + "!" } << cut;
}

// COPY's binary stream gives the rows that single-row results give, and a stream
// that is not well formed is refused, not read past its end.
void TestPgValues::copyStream()
{
    QFETCH(QList<QByteArray>, messages);
    QFETCH(QString, rows);
    const std::vector<PgValues::Oid> types { kInt4, kText };
    ResultStore store(2);
    PgValues::BinaryCopy stream(store, types);
    const Raised failure = raised([&] {
        for (const QByteArray& m : messages)
            stream.read(m.constData(), int(m.size()));
    });
    if (!failure.message.isEmpty()) {
        QCOMPARE(failure.message, rows);
        return;
    }
    QString read;
    for (qsizetype r = 0; r < store.rowCount(); ++r) {
        const CellRef text = store.cell(r, 1);
        read += QString::number(store.cell(r, 0).integer) + QLatin1Char(' ')
            + (text.cls == CellClass::Null ? QStringLiteral("null") : QString::fromUtf8(text.data, text.size))
            + QLatin1Char('|');
    }
    QCOMPARE(read, rows);
}

QTEST_MAIN(TestPgValues)
#include "tst_pgvalues.moc"
