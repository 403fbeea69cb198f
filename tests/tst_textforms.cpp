#include "QueryFixture.h"
#include "Raised.h"
#include "engine/FieldType.h"

#include <QTest>
#include <cmath>
#include <cstring>
#include <limits>

namespace
{

// Rows as a server may send them: every number class in a column of every type,
// including values that SQLite cannot store (NaN), and exact decimals as text.
class HeldRows : public TDataSet
{
public:
    static constexpr TFieldType kTypes[]
        = { ftFloat, ftInteger, ftSmallint, ftCurrency, ftBCD, ftBoolean, ftString, ftDate, ftMemo };

    void open() override
    {
        QueryResult result;
        for (TFieldType type : kTypes)
            result.columns.push_back({ QStringLiteral("c%1").arg(int(type)), type, 10, 18 });
        result.rows = std::make_unique<ResultStore>(int(result.columns.size()));
        constexpr double kReals[] = { std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
            -std::numeric_limits<double>::infinity(), -0.0, std::numeric_limits<double>::denorm_min(),
            std::numeric_limits<double>::max(), -9.3e18, 9.2e15 };
        for (double real : kReals) {
            result.rows->beginRow();
            for (size_t c = 0; c < result.columns.size(); ++c)
                result.rows->appendFloat(real);
            result.rows->endRow();
        }
        for (qint64 integer : { std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max() }) {
            result.rows->beginRow();
            for (size_t c = 0; c < result.columns.size(); ++c)
                result.rows->appendInteger(integer);
            result.rows->endRow();
        }
        // Texts as a server sends exact decimals, and some that only look like them.
        for (const char* text : { "-12345678901234567890.50", "0.000123", "-.5", "7.", "1.2.3", "--1" }) {
            result.rows->beginRow();
            for (size_t c = 0; c < result.columns.size(); ++c)
                result.rows->appendText(text, qsizetype(std::strlen(text)));
            result.rows->endRow();
        }
        setResult(std::move(result));
    }
};

} // namespace

// The exports write a field's text straight as Windows-1252 bytes; those bytes must be
// the field's text form, under every regional setting.
class TestTextForms : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }
    void cleanupTestCase() { QLocale::setDefault(QLocale(QLocale::French, QLocale::France)); }

    void bytesMatchTextForm_data();
    void bytesMatchTextForm();
    void numbersAtTheEdgesReadAlike();
    void datesKeepTheirCenturyAndTimesTheirSeconds_data();
    void datesKeepTheirCenturyAndTimesTheirSeconds();
    void textReadsAsAmount_data();
    void textReadsAsAmount();
};

void TestTextForms::bytesMatchTextForm_data()
{
    QTest::addColumn<QLocale>("locale");
    const QList<std::pair<const char*, QLocale>> locales = {
        { "C", QLocale::c() },
        { "French", QLocale(QLocale::French, QLocale::France) },
        { "English, United States", QLocale(QLocale::English, QLocale::UnitedStates) },
        { "German", QLocale(QLocale::German, QLocale::Germany) },
        { "Japanese", QLocale(QLocale::Japanese, QLocale::Japan) },
        { "Arabic, Egypt", QLocale(QLocale::Arabic, QLocale::Egypt) },
        { "Bengali digits", QLocale(QLocale::Bengali, QLocale::Bangladesh) },
    };
    for (const auto& [name, locale] : locales)
        QTest::newRow(name) << locale;
}

void TestTextForms::bytesMatchTextForm()
{
    QFETCH(QLocale, locale);
    QLocale::setDefault(locale);
    QueryFixture f(
        QStringLiteral("CREATE TABLE t (d DATE, r REAL, i INTEGER, s VARCHAR(20));"
                       "INSERT INTO t VALUES ('2024-03-07', 1234.5, -7, 'Łódź é'), ('0987-12-31', 0.1, 0, ''),"
                       " ('2023-02-30', -0.0, 9223372036854775807, NULL), ('2024-03-07 10:30', 1e21, NULL, 'x'),"
                       " ('7 mars', 123456789.123456789, NULL, NULL), (NULL, 1.5e-7, NULL, NULL),"
                       " ('2000-01-01', 33110032036284.25, NULL, NULL), (NULL, 4.9406564584124654e-324, NULL, NULL),"
                       " ('2024-01-01junk', 9e999, -9223372036854775808, CAST(X'C0BC41C0BE' AS TEXT)),"
                       " (CAST(X'323032342D30312D3031FF' AS TEXT), -9e999, NULL, CAST(X'EFBBBF41E282' AS TEXT)),"
                       " ('2024-01-01 10:00:00', 2.2250738585072014e-308, NULL, CAST(X'41C0A242F4908080' AS TEXT)),"
                       " ('2024-01-01T25:00', -1.7976931348623157e308, NULL, NULL)"));
    for (f.query.first(); !f.query.eof(); f.query.next()) {
        for (int c = 0; c < f.query.fieldCount(); ++c) {
            const TField* field = f.query.field(c);
            QByteArray bytes;
            field->appendText1252(bytes, Windows1252::Unmappable::QuestionMark);
            QCOMPARE(bytes, Windows1252::encode(field->asString()));
        }
    }
}

void TestTextForms::numbersAtTheEdgesReadAlike()
{
    HeldRows rows;
    rows.open();
    for (rows.first(); !rows.eof(); rows.next()) {
        for (int c = 0; c < rows.fieldCount(); ++c) {
            const TField* field = rows.field(c);
            QByteArray bytes;
            field->appendText1252(bytes, Windows1252::Unmappable::QuestionMark);
            QCOMPARE(bytes, Windows1252::encode(field->asString()));
            if (field->dataType() != ftCurrency || field->cell().cls == CellClass::Text)
                continue;
            // A currency value is its amount, or the error when the amount is no number
            // or × 10,000 leaves a qint64 (every amount here is far from that edge).
            const CellRef cell = field->cell();
            const double amount = cell.cls == CellClass::Float ? cell.real : double(cell.integer);
            const bool inRange = std::abs(amount) < 9.2e14;
            const QString message = QStringLiteral("'%1' n'est pas une valeur monétaire valide").arg(field->asString());
            QCOMPARE(raised([field] { (void)field->asCurrency(); }).message, inRange ? QString() : message);
        }
    }
}

void TestTextForms::datesKeepTheirCenturyAndTimesTheirSeconds_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("texts");
    // A spreadsheet reads a two-digit year into its own century window: 1924 would come
    // back as 2024 and 2031 as 1931.
    QTest::newRow("C") << QLocale::c() << "1 Mar 1924|23:59:59|25 Dec 2031 00:00:01";
    QTest::newRow("French") << QLocale(QLocale::French, QLocale::France) << "01/03/1924|23:59:59|25/12/2031 00:00:01";
    QTest::newRow("English, United States")
        << QLocale(QLocale::English, QLocale::UnitedStates) << "3/1/1924|11:59:59 PM|12/25/2031 12:00:01 AM";
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << "01.03.1924|23:59:59|25.12.2031 00:00:01";
    QTest::newRow("Korean, year first") << QLocale(QLocale::Korean, QLocale::SouthKorea)
                                        << "1924. 3. 1.|오후 11:59:59|2031. 12. 25. 오전 12:00:01";
}

void TestTextForms::datesKeepTheirCenturyAndTimesTheirSeconds()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, texts);
    QLocale::setDefault(locale);
    QueryFixture f(QStringLiteral("CREATE TABLE t (d DATE, h TIME, ts DATETIME);"
                                  "INSERT INTO t VALUES ('1924-03-01', '23:59:59', '2031-12-25 00:00:01')"));
    QStringList shown;
    for (int c = 0; c < f.query.fieldCount(); ++c) {
        const TField* field = f.query.field(c);
        QByteArray bytes;
        field->appendText1252(bytes, Windows1252::Unmappable::QuestionMark);
        QCOMPARE(bytes, Windows1252::encode(field->asString()));
        shown << field->asString();
    }
    QCOMPARE(shown.join(u'|'), texts);
}

void TestTextForms::textReadsAsAmount_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("isAmount");
    QTest::addColumn<qint64>("units");
    QTest::newRow("whole") << QByteArray("12") << true << qint64(120000);
    QTest::newRow("decimal comma") << QByteArray("12,5") << true << qint64(125000);
    QTest::newRow("blanks and sign") << QByteArray(" -3.14159 ") << true << qint64(-31415);
    QTest::newRow("plus sign") << QByteArray("+0.0001") << true << qint64(1);
    QTest::newRow("point alone after digits") << QByteArray("7.") << true << qint64(70000);
    QTest::newRow("largest amount") << QByteArray("922337203685477.5807") << true << std::numeric_limits<qint64>::max();
    QTest::newRow("smallest amount") << QByteArray("-922337203685477.5807") << true
                                     << -std::numeric_limits<qint64>::max();
    QTest::newRow("one unit past the largest") << QByteArray("922337203685477.5808") << false << qint64(0);
    QTest::newRow("ten times too large") << QByteArray("9223372036854775") << false << qint64(0);
    QTest::newRow("empty") << QByteArray("") << false << qint64(0);
    QTest::newRow("sign alone") << QByteArray("-") << false << qint64(0);
    QTest::newRow("two points") << QByteArray("1.2.3") << false << qint64(0);
    QTest::newRow("grouped thousands") << QByteArray("1 000") << false << qint64(0);
    QTest::newRow("word") << QByteArray("douze") << false << qint64(0);
}

void TestTextForms::textReadsAsAmount()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, isAmount);
    QFETCH(qint64, units);
    CellRef cell;
    cell.cls = CellClass::Text;
    cell.data = text.constData();
    cell.size = text.size();
    const std::optional<qint64> amount = TextForms::currencyUnits(cell);
    QCOMPARE(amount.has_value(), isAmount);
    if (isAmount)
        QCOMPARE(*amount, units);
}

QTEST_MAIN(TestTextForms)
#include "tst_textforms.moc"
