#include "ExportedFiles.h"
#include "PostgresServer.h"
#include "TestDatabase.h"
#include "data/DataSet.h"
#include "data/Query.h"
#include "engine/Databases.h"
#include "ui/widgets/DBGrid.h"

#include <QCollator>
#include <QRandomGenerator>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numeric>

namespace
{

// What a value is to the reference order, whatever its column: the groups in order.
enum Group { Null, Number, NotANumber, Moment, Text, Binary };

// A number exactly, as plain digits: sign, integer digits (no zero leading), fraction
// digits (no zero trailing); zero has no digits and no sign.
struct Exact {
    int sign = 0;
    bool infinite = false;
    QByteArray whole;
    QByteArray fraction;
};

// "-0012.3400" -> { -1, "12", "34" }.
Exact exactOf(const QByteArray& plain)
{
    Exact e;
    QByteArray digits = plain;
    const bool negative = digits.startsWith('-');
    if (negative)
        digits.remove(0, 1);
    const qsizetype point = digits.indexOf('.');
    e.whole = point < 0 ? digits : digits.left(point);
    e.fraction = point < 0 ? QByteArray() : digits.mid(point + 1);
    while (e.whole.startsWith('0'))
        e.whole.remove(0, 1);
    while (e.fraction.endsWith('0'))
        e.fraction.chop(1);
    if (!e.whole.isEmpty() || !e.fraction.isEmpty())
        e.sign = negative ? -1 : 1;
    return e;
}

// A finite double's value exactly: its 53-bit integer times a power of two, worked out
// on decimal digits.
QByteArray plainOf(double value)
{
    int exponent = 0;
    const double fraction = std::frexp(std::abs(value), &exponent);
    const auto mantissa = qint64(std::ldexp(fraction, 53));
    exponent -= 53;
    QByteArray digits = QByteArray::number(mantissa); // most significant first
    const auto times = [&digits](int factor) {
        int carry = 0;
        for (qsizetype i = digits.size() - 1; i >= 0; --i) {
            const int d = (digits[i] - '0') * factor + carry;
            digits[i] = char('0' + d % 10);
            carry = d / 10;
        }
        if (carry)
            digits.prepend(char('0' + carry));
    };
    for (int i = 0; i < std::abs(exponent); ++i)
        times(exponent > 0 ? 2 : 5);
    const qsizetype places = exponent < 0 ? -exponent : 0;
    if (digits.size() <= places)
        digits.prepend(QByteArray(places - digits.size() + 1, '0'));
    digits.insert(digits.size() - places, '.');
    return (std::signbit(value) ? "-" : "") + digits;
}

int compareExact(const Exact& a, const Exact& b)
{
    if (a.sign != b.sign)
        return a.sign < b.sign ? -1 : 1;
    int size = 0;
    if (a.infinite || b.infinite)
        size = int(a.infinite) - int(b.infinite);
    else if (a.whole.size() != b.whole.size())
        size = a.whole.size() < b.whole.size() ? -1 : 1;
    else if (a.whole != b.whole)
        size = a.whole < b.whole ? -1 : 1;
    else if (a.fraction != b.fraction)
        size = a.fraction < b.fraction ? -1 : 1;
    return a.sign * size;
}

// A cell with what the reference knows of it.
struct Sample {
    CellClass cls = CellClass::Null;
    QByteArray bytes;
    qint64 integer = 0;
    double real = 0;
    Group group = Null;
    Exact exact; // numbers
    int day = 0; // moments
    QString text; // texts
};

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr qint64 k2to53 = qint64(1) << 53;

const double kReals[] = { 0.0, -0.0, 0.1, 0.5, -2.5, 1e300, -1e-300, 5e-324, std::numeric_limits<double>::max(),
    kInfinity, -kInfinity, std::numeric_limits<double>::quiet_NaN(), double(k2to53), 1234.56, -1234.56 };
const qint64 kIntegers[] = { 0, 1, -1, 42, k2to53 + 1, -k2to53 - 1, k2to53, std::numeric_limits<qint64>::max(),
    std::numeric_limits<qint64>::min() };

// Exact decimals as plain digits: a server's long ones, and the exact values of the
// floats above and beside them.
QList<QByteArray> plainDecimals()
{
    QList<QByteArray> plain { "12345678901234567890.01", "12345678901234567890.02", "-12345678901234567890.01",
        "12345678901234567890.010", "0.5", "9007199254740993", "-9007199254740993", "1234.56", "0", "-0.000",
        "1" + QByteArray(400, '0'), "0." + QByteArray(400, '0') + "1", "-0." + QByteArray(400, '0') + "1" };
    for (const double real : { 0.1, 1e300, 5e-324, std::numeric_limits<double>::max(), 1234.56 }) {
        const QByteArray exact = plainOf(real);
        plain << exact << exact + "000000000000000000001" << exact.left(exact.size() - 1);
    }
    return plain;
}

// A plain decimal written in one of the forms a number text takes.
QByteArray writtenAs(const QByteArray& plain, QRandomGenerator& random)
{
    const bool negative = plain.startsWith('-');
    QByteArray digits = negative ? plain.mid(1) : plain;
    qsizetype point = digits.indexOf('.');
    if (point < 0)
        point = digits.size();
    else
        digits.remove(point, 1);
    const QByteArray sign = negative ? "-" : random.bounded(4) == 0 ? "+" : "";
    switch (random.bounded(4)) {
    case 0:
        return sign + plain.mid(negative ? 1 : 0);
    case 1:
        return " " + sign + "00" + plain.mid(negative ? 1 : 0) + (plain.contains('.') ? "00 " : " ");
    default: {
        // The point moved, the exponent making up for it.
        const qsizetype moved = random.bounded(int(digits.size()) + 1);
        return sign + digits.left(moved) + "." + digits.mid(moved) + (random.bounded(2) ? "e" : "E")
            + QByteArray::number(point - moved);
    }
    }
}

bool isNumberType(TFieldType type)
{
    return type == ftFloat || type == ftInteger || type == ftBCD || type == ftCurrency;
}

Sample textSample(const QByteArray& bytes, Group group)
{
    Sample s;
    s.cls = CellClass::Text;
    s.bytes = bytes;
    s.group = group;
    s.text = QString::fromUtf8(bytes);
    return s;
}

// A random cell of a column of that type, of any class.
Sample randomSample(TFieldType type, QRandomGenerator& random)
{
    static const QList<QByteArray> plain = plainDecimals();
    static const QList<QByteArray> words { "abc", "Abc", "é", "e", "12,5", "", "Zoé", "zoe", "-",
        "1e99999999999999999999", "nan?", "2024-02-30" };
    static const QList<QByteArray> names { "NaN", "nan", " -NaN ", "nan(1)" };
    static const QList<QByteArray> infinities { "Infinity", "-Infinity", "inf", " -INF " };
    static const QList<QByteArray> dates { "2024-03-07", "1999-12-31", "2000-01-01", "1900-02-28" };
    static const QList<QByteArray> blobs { "", QByteArray(1, '\0'), "\x01\x02", "\x01", "a" };
    const bool numbers = isNumberType(type);
    Sample s;
    switch (random.bounded(9)) {
    case 0:
        return s;
    case 1:
        s.cls = CellClass::Integer;
        s.integer = kIntegers[random.bounded(int(std::size(kIntegers)))];
        s.group = Number;
        s.exact = exactOf(QByteArray::number(s.integer));
        return s;
    case 2:
        s.cls = CellClass::Float;
        s.real = kReals[random.bounded(int(std::size(kReals)))];
        s.group = std::isnan(s.real) ? NotANumber : Number;
        if (std::isinf(s.real))
            s.exact = { s.real < 0 ? -1 : 1, true, {}, {} };
        else if (s.group == Number)
            s.exact = exactOf(plainOf(s.real));
        return s;
    case 3:
    case 4: {
        const QByteArray& value = plain[random.bounded(int(plain.size()))];
        s = textSample(writtenAs(value, random), numbers ? Number : Text);
        s.exact = exactOf(value);
        return s;
    }
    case 5: {
        const QByteArray& name = infinities[random.bounded(int(infinities.size()))];
        s = textSample(name, numbers ? Number : Text);
        s.exact = { name.contains('-') ? -1 : 1, true, {}, {} };
        return s;
    }
    case 6:
        return textSample(names[random.bounded(int(names.size()))], numbers ? NotANumber : Text);
    case 7:
        if (type == ftDate) {
            s = textSample(dates[random.bounded(int(dates.size()))], Moment);
            s.day = int(QDate::fromString(s.text, Qt::ISODate).toJulianDay());
            return s;
        }
        return textSample(words[random.bounded(int(words.size()))], Text);
    default:
        s.cls = CellClass::Blob;
        s.bytes = blobs[random.bounded(int(blobs.size()))];
        s.group = Binary;
        return s;
    }
}

// The reference order, ascending: by group, then within each as its values compare.
// Ties keep the query's order.
class ReferenceOrder
{
public:
    explicit ReferenceOrder(const QLocale& locale)
        : m_collator(locale)
    {
    }

    bool less(const Sample& a, const Sample& b) const
    {
        if (a.group != b.group)
            return a.group < b.group;
        switch (a.group) {
        case Number:
            if (const int c = compareExact(a.exact, b.exact))
                return c < 0;
            // Equal values: a number stored as such before a text, texts byte by byte.
            if ((a.cls == CellClass::Text) != (b.cls == CellClass::Text))
                return b.cls == CellClass::Text;
            return a.cls == CellClass::Text && a.bytes < b.bytes;
        case Moment:
            return a.day < b.day;
        case Text:
            return m_collator.compare(a.text, b.text) < 0;
        case Binary:
            return a.bytes < b.bytes;
        default:
            return false;
        }
    }

private:
    QCollator m_collator;
};

// One column of samples beside the number of their row, counted from 1.
class HeldSamples : public TDataSet
{
public:
    HeldSamples(TFieldType type, const std::vector<Sample>& samples)
    {
        QueryResult result;
        result.columns = { { QStringLiteral("v"), type, 20, 0 }, { QStringLiteral("n"), ftInteger, 0, 0 } };
        result.rows = std::make_unique<ResultStore>(2);
        qint64 n = 0;
        for (const Sample& s : samples) {
            result.rows->beginRow();
            result.rows->appendCell({ s.cls, s.bytes.constData(), s.bytes.size(), s.integer, s.real });
            result.rows->appendInteger(++n);
            result.rows->endRow();
        }
        setResult(std::move(result));
    }
    void open() override { }
};

} // namespace

Q_DECLARE_METATYPE(TFieldType)

// A header sort holds for every value a column can hold: the rows come in the order
// of a reference written here, apart from the program's, or in the order a PostgreSQL
// server gives them; the grid and the text export show that order.
class TestSortOrder : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }
    void cleanupTestCase();

    void sortMatchesReference_data();
    void sortMatchesReference();
    void sortMatchesServerOrder_data();
    void sortMatchesServerOrder();

private:
    std::unique_ptr<PostgresServer> m_server; // started by the first test that needs it
};

void TestSortOrder::cleanupTestCase()
{
    Databases::closeAll();
    m_server.reset();
}

void TestSortOrder::sortMatchesReference_data()
{
    QTest::addColumn<TFieldType>("type");
    QTest::addColumn<int>("rows");
    QTest::newRow("floats") << ftFloat << 3000;
    QTest::newRow("integers") << ftInteger << 3000;
    QTest::newRow("exact decimals") << ftBCD << 3000;
    QTest::newRow("amounts") << ftCurrency << 3000;
    QTest::newRow("strings") << ftString << 3000;
    QTest::newRow("memos") << ftMemo << 3000;
    QTest::newRow("dates") << ftDate << 3000;
    QTest::newRow("blobs") << ftBlob << 3000;
    QTest::newRow("exact decimals sorted on every core") << ftBCD << 70000;
}

void TestSortOrder::sortMatchesReference()
{
    QFETCH(TFieldType, type);
    QFETCH(int, rows);
    QRandomGenerator random { quint32(qHash(QByteArray(QTest::currentDataTag()))) };
    std::vector<Sample> samples;
    for (int i = 0; i < rows; ++i)
        samples.push_back(randomSample(type, random));
    HeldSamples data(type, samples);
    const ReferenceOrder reference(data.textForms().locale);
    DataSetModel grid;
    grid.setDataSet(&data);
    for (const Qt::SortOrder order : { Qt::AscendingOrder, Qt::DescendingOrder }) {
        std::vector<int> expected(samples.size());
        std::iota(expected.begin(), expected.end(), 0);
        std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
            return order == Qt::AscendingOrder ? reference.less(samples[size_t(a)], samples[size_t(b)])
                                               : reference.less(samples[size_t(b)], samples[size_t(a)]);
        });
        QVERIFY(data.sortBy(0, order));
        const QList<QByteArray> lines = textFiles(data).first.split('\n');
        QCOMPARE(lines.size(), qsizetype(rows) + 1);
        for (int r = 0; r < rows; ++r) {
            const QString n = QString::number(expected[size_t(r)] + 1);
            const Sample& s = samples[size_t(expected[size_t(r)])];
            QVERIFY2(grid.index(r, 1).data().toString() == n,
                qPrintable(QStringLiteral("place %1: row %2 expected (%3, %4), row %5 shown")
                               .arg(r)
                               .arg(n, QString::fromLatin1(s.bytes.toHex()))
                               .arg(s.real)
                               .arg(grid.index(r, 1).data().toString())));
            QCOMPARE(lines[r].split('\t').last().trimmed(), '"' + n.toLatin1() + '"');
        }
    }
}

void TestSortOrder::sortMatchesServerOrder_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("values");
    // What follows the column in the server's ORDER BY, ascending and descending.
    QTest::addColumn<QString>("ties");
    QTest::addColumn<QString>("descendingTies");
    const QString asText = QStringLiteral(", CAST(v AS text) COLLATE \"C\"");
    QTest::newRow("numeric: not a number, infinities and long decimals")
        << "numeric"
        << "'NaN', 'Infinity', '-Infinity', '0', '-0.000', '1.5', '1.50', '12345678901234567890.01', "
           "'12345678901234567890.02', '-12345678901234567890.01', '12345678901234567890.010', '1e-30', '1e300', "
           "'-1e300', '9007199254740993', '9007199254740992', '0.1', "
           "'0.1000000000000000055511151231257827021181583404541015625', NULL"
        << asText << asText + QStringLiteral(" DESC");
    QTest::newRow("double precision: not a number and infinities")
        << "double precision"
        << "'NaN', 'Infinity', '-Infinity', '0', '1.5', '1e308', '5e-324', '-2.5', '0.1', '9007199254740993', NULL"
        << ""
        << "";
    QTest::newRow("money") << "money"
                           << "'12.34', '-5', '0', '92233720368547758.07', '-92233720368547758.08', '0.01', NULL"
                           << ""
                           << "";
}

// The server's ORDER BY is the reference: not a number above every number, numeric's
// decimals compared exactly.
void TestSortOrder::sortMatchesServerOrder()
{
    QFETCH(QString, type);
    QFETCH(QString, values);
    QFETCH(QString, ties);
    QFETCH(QString, descendingTies);
    if (!m_server)
        m_server = std::make_unique<PostgresServer>();
    if (!m_server->available() && PostgresServer::required())
        QFAIL(qPrintable(m_server->error()));
    if (!m_server->available())
        QSKIP(qPrintable(m_server->error()));
    Databases::closeAll();
    m_server->writeAlias(QStringLiteral("Velorin"));
    QCOMPARE(m_server->run(QStringLiteral("DROP TABLE IF EXISTS t; CREATE TABLE t (n serial, v %1);"
                                          "INSERT INTO t (v) SELECT (ARRAY[%2]::%1[])[1 + (g * 7919) % %3] "
                                          "FROM generate_series(1, 3000) g")
                               .arg(type, values)
                               .arg(values.count(u',') + 1)),
        QString());
    TQuery query;
    query.setDatabaseName(QStringLiteral("Velorin"));
    query.setSQL(QStringLiteral("SELECT n, v FROM t ORDER BY n"));
    query.open();
    for (const Qt::SortOrder order : { Qt::AscendingOrder, Qt::DescendingOrder }) {
        TQuery server;
        server.setDatabaseName(QStringLiteral("Velorin"));
        server.setSQL(order == Qt::AscendingOrder
                ? QStringLiteral("SELECT n, v FROM t ORDER BY v NULLS FIRST%1, n").arg(ties)
                : QStringLiteral("SELECT n, v FROM t ORDER BY v DESC NULLS LAST%1, n").arg(descendingTies));
        server.open();
        QVERIFY(query.sortBy(1, order));
        QCOMPARE(query.recordCount(), server.recordCount());
        for (qsizetype r = 0; r < query.recordCount(); ++r)
            QVERIFY2(query.cellAt(r, 0).integer == server.cellAt(r, 0).integer,
                qPrintable(QStringLiteral("place %1: %2 shown, %3 expected")
                               .arg(r)
                               .arg(query.field(1)->shownText(query.cellAt(r, 1)),
                                   server.field(1)->shownText(server.cellAt(r, 1)))));
    }
}

QTEST_MAIN(TestSortOrder)
#include "tst_sortorder.moc"
