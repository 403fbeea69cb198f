#include "ExportedFiles.h"
#include "TestDatabase.h"
#include "data/DataSet.h"
#include "data/RowFilter.h"
#include "ui/widgets/DBGrid.h"

#include <QAbstractItemModelTester>
#include <QTest>
#include <limits>

using RowFilter::Condition;
using RowFilter::Test;

namespace
{

// A data set over cells given as values: an invalid QVariant is a null, a qint64 an
// integer, a double a float, a QString a text, a QByteArray binary contents. Column 0
// holds them as type says; column 1 numbers the rows from 0.
class HeldCells : public TDataSet
{
public:
    HeldCells(const QList<QList<QVariant>>& rows, const QList<TFieldType>& types)
    {
        QueryResult result;
        for (int c = 0; c < types.size(); ++c)
            result.columns.push_back({ QStringLiteral("c%1").arg(c), types[c], 40, 0 });
        result.rows = std::make_unique<ResultStore>(int(types.size()));
        for (const QList<QVariant>& row : rows) {
            result.rows->beginRow();
            for (const QVariant& v : row) {
                if (!v.isValid()) {
                    result.rows->appendNull();
                } else if (v.typeId() == QMetaType::LongLong) {
                    result.rows->appendInteger(v.toLongLong());
                } else if (v.typeId() == QMetaType::Double) {
                    result.rows->appendFloat(v.toDouble());
                } else if (v.typeId() == QMetaType::QByteArray) {
                    const QByteArray b = v.toByteArray();
                    result.rows->appendBlob(b.constData(), b.size());
                } else {
                    const QByteArray t = v.toString().toUtf8();
                    result.rows->appendText(t.constData(), t.size());
                }
            }
            result.rows->endRow();
        }
        setResult(std::move(result));
    }
    // One column of cells, numbered in a second one.
    HeldCells(const QVariantList& cells, TFieldType type)
        : HeldCells(numbered(cells), { type, ftInteger })
    {
    }
    void open() override { }

    // Column 1 of each row shown.
    QList<qint64> shown() const
    {
        QList<qint64> numbers;
        for (qsizetype r = 0; r < recordCount(); ++r)
            numbers << cellAt(r, 1).integer;
        return numbers;
    }

private:
    static QList<QList<QVariant>> numbered(const QVariantList& cells)
    {
        QList<QList<QVariant>> rows;
        for (const QVariant& v : cells)
            rows.append({ v, QVariant(qint64(rows.size())) });
        return rows;
    }
};

QVariant text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

QVariant integer(qint64 n)
{
    return QVariant(n);
}

Condition condition(Test test, const QString& value = {}, const QString& upTo = {})
{
    return { test, value, upTo };
}

} // namespace

Q_DECLARE_METATYPE(TFieldType)
Q_DECLARE_METATYPE(Condition)

// A filter keeps the rows whose cell passes its condition, exactly for every value a
// column can hold; several combine, and the sort and the exports follow them.
class TestRowFilter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { initTestEnvironment(); }

    void conditionKeepsRows_data();
    void conditionKeepsRows();
    void problemsAreNamed_data();
    void problemsAreNamed();
    void filtersCombineAndFollowTheSort();
    void allRowsComeBackForAWhile();
    void stoppedFilterChangesNothing();
};

void TestRowFilter::conditionKeepsRows_data()
{
    QTest::addColumn<TFieldType>("type");
    QTest::addColumn<QVariantList>("cells");
    QTest::addColumn<Condition>("condition");
    QTest::addColumn<QList<qint64>>("kept");

    const QVariantList names { text("Élodie"), text("élise"), text("ELODIE"), text("Eloïse"), text("ELOÏSE"), {},
        text("Dupont"), text("dupont"), text("Dupont "), QString(QChar(0xFEFF)) + QStringLiteral("Dupont") };
    QTest::newRow("text contains, accented capitals") << ftString << names << condition(Test::Contains, "ÉLO")
                                                      << QList<qint64> { 0 };
    QTest::newRow("text contains, accent inside") << ftString << names << condition(Test::Contains, "oï")
                                                  << QList<qint64> { 3, 4 };
    QTest::newRow("text contains, ascii case ignored")
        << ftString << names << condition(Test::Contains, "DUP") << QList<qint64> { 6, 7, 8, 9 };
    QTest::newRow("text equals keeps case and blanks, not the byte order mark")
        << ftString << names << condition(Test::Equals, "Dupont") << QList<qint64> { 6, 9 };
    QTest::newRow("memo equals") << ftMemo << names << condition(Test::Equals, "élise") << QList<qint64> { 1 };

    const QVariantList empties { {}, text(""), text(" "), text("x"), QByteArray(), QByteArray("a") };
    QTest::newRow("empty: null, no text, no byte") << ftString << empties << condition(Test::Empty)
                                                   << QList<qint64> { 0, 1, 4 };
    QTest::newRow("not empty") << ftString << empties << condition(Test::NotEmpty) << QList<qint64> { 2, 3, 5 };
    QTest::newRow("empty number") << ftInteger << QVariantList { integer(0), {}, text("") } << condition(Test::Empty)
                                  << QList<qint64> { 1, 2 };

    const QVariantList decimals { text("12345678901234567890.12345678901234567891"),
        text("12345678901234567890.12345678901234567890"), 1.5, text("1.50"), integer(2), {}, text("abc"),
        text("0.30000000000000000001"), 0.3, text("0.3") };
    QTest::newRow("long decimal equals, comma typed")
        << ftBCD << decimals << condition(Test::Equals, "12345678901234567890,1234567890123456789")
        << QList<qint64> { 1 };
    QTest::newRow("float and texts of one value") << ftBCD << decimals << condition(Test::Equals, "1,5")
                                                  << QList<qint64> { 2, 3 };
    QTest::newRow("point typed") << ftBCD << decimals << condition(Test::Equals, "1.50") << QList<qint64> { 2, 3 };
    QTest::newRow("not a number typed: the text") << ftBCD << decimals << condition(Test::Equals, "abc")
                                                  << QList<qint64> { 6 };
    QTest::newRow("the float 0.3 as the database reads it")
        << ftBCD << decimals << condition(Test::Between, "0,3", "0,3") << QList<qint64> { 8, 9 };
    QTest::newRow("between long decimals") << ftBCD << decimals
                                           << condition(Test::Between, "0,30000000000000000001", "0,31")
                                           << QList<qint64> { 7, 8 };
    QTest::newRow("between, no upper bound") << ftBCD << decimals << condition(Test::Between, "2", "")
                                             << QList<qint64> { 0, 1, 4 };

    const qint64 big = (qint64(1) << 53) + 1;
    const QVariantList integers { integer(big), integer(big - 1), double(big - 1),
        integer(std::numeric_limits<qint64>::min()), integer(std::numeric_limits<qint64>::max()) };
    QTest::newRow("integer past 2^53 exactly, a float as it reads")
        << ftInteger << integers << condition(Test::Equals, "9007199254740993") << QList<qint64> { 0, 2 };
    QTest::newRow("integer and float of 2^53") << ftInteger << integers
                                               << condition(Test::Equals, "9 007 199 254 740 992")
                                               << QList<qint64> { 1, 2 };
    QTest::newRow("largest integers")
        << ftInteger << integers << condition(Test::Between, "9223372036854775807", "1e30") << QList<qint64> { 4 };
    QTest::newRow("smallest integer") << ftInteger << integers
                                      << condition(Test::Between, "", "-9223372036854775808") << QList<qint64> { 3 };

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const QVariantList floats { -1.0, 0.0, -0.0, 0.5, 2.0, nan, infinity, {}, text("nan") };
    QTest::newRow("between zeros") << ftFloat << floats << condition(Test::Between, "-0", "0,5")
                                   << QList<qint64> { 1, 2, 3 };
    QTest::newRow("up to zero") << ftFloat << floats << condition(Test::Between, "", "0") << QList<qint64> { 0, 1, 2 };
    QTest::newRow("from one: infinity, never not a number")
        << ftFloat << floats << condition(Test::Between, "1", "") << QList<qint64> { 4, 6 };
    QTest::newRow("past the largest float: infinity") << ftFloat << floats << condition(Test::Equals, "1e400")
                                                      << QList<qint64> { 6 };
    QTest::newRow("contains in the text shown") << ftFloat << QVariantList { 1.5, 2.25, 15.0 }
                                                << condition(Test::Contains, ",2") << QList<qint64> { 1 };

    const QVariantList dates { text("2024-03-07"), text("2024-03-08"), {}, text("junk"), text("2023-12-31") };
    QTest::newRow("date equals, short format") << ftDate << dates << condition(Test::Equals, "07/03/2024")
                                               << QList<qint64> { 0 };
    QTest::newRow("date equals, ISO") << ftDate << dates << condition(Test::Equals, "2024-03-08")
                                      << QList<qint64> { 1 };
    QTest::newRow("date not a date: the text") << ftDate << dates << condition(Test::Equals, "junk")
                                               << QList<qint64> { 3 };
    QTest::newRow("dates between") << ftDate << dates << condition(Test::Between, "31/12/2023", "07/03/2024")
                                   << QList<qint64> { 0, 4 };

    const QVariantList stamps { text("2024-03-07 00:00:00"), text("2024-03-07 23:59:59.999"),
        text("2024-03-08 00:00:00"), text("2024-03-07T10:30:45"), text("2024-03-07"), text("2024-03-31 02:30:00") };
    QTest::newRow("a date covers its day") << ftDateTime << stamps << condition(Test::Equals, "07/03/2024")
                                           << QList<qint64> { 0, 1, 3, 4 };
    QTest::newRow("a minute covers its seconds")
        << ftDateTime << stamps << condition(Test::Between, "07/03/2024 10:00", "07/03/2024 10:30")
        << QList<qint64> { 3 };
    QTest::newRow("an hour that daylight saving skips in France")
        << ftDateTime << stamps << condition(Test::Equals, "31/03/2024 02:30") << QList<qint64> { 5 };
    QTest::newRow("to the second") << ftDateTime << stamps << condition(Test::Equals, "07/03/2024 10:30:45")
                                   << QList<qint64> { 3 };

    const QVariantList times { text("10:30"), text("10:30:59"), text("10:31"), text("09:00:00.500"), {} };
    QTest::newRow("time to the minute") << ftTime << times << condition(Test::Equals, "10:30")
                                        << QList<qint64> { 0, 1 };
    QTest::newRow("times up to a second") << ftTime << times << condition(Test::Between, "", "10:30:00")
                                          << QList<qint64> { 0, 3 };
}

void TestRowFilter::conditionKeepsRows()
{
    QFETCH(TFieldType, type);
    QFETCH(QVariantList, cells);
    QFETCH(Condition, condition);
    QFETCH(QList<qint64>, kept);
    HeldCells data(cells, type);
    QCOMPARE(RowFilter::problem(condition, type, data.textForms()), QString());
    QVERIFY(data.filterBy(0, condition));
    QCOMPARE(data.shown(), kept);
}

void TestRowFilter::problemsAreNamed_data()
{
    QTest::addColumn<TFieldType>("type");
    QTest::addColumn<Condition>("condition");
    QTest::addColumn<QString>("problem");
    QTest::newRow("number") << ftInteger << condition(Test::Between, "abc") << "« abc » n'est pas un nombre";
    QTest::newRow("date") << ftDate << condition(Test::Between, "", "32/01/2024")
                          << "« 32/01/2024 » n'est pas une date";
    QTest::newRow("time") << ftTime << condition(Test::Between, "25:00") << "« 25:00 » n'est pas une heure";
    QTest::newRow("interval of texts") << ftString << condition(Test::Between, "a", "b")
                                       << "Seuls les nombres, les dates et les heures se filtrent entre deux bornes";
    QTest::newRow("no bound") << ftFloat << condition(Test::Between) << "Saisir au moins une des deux bornes";
    QTest::newRow("bounds reversed") << ftFloat << condition(Test::Between, "5", "1,5")
                                     << "La première borne dépasse la seconde";
    QTest::newRow("nothing to look for") << ftString << condition(Test::Contains)
                                         << "Saisir la valeur cherchée, ou choisir « est vide »";
}

void TestRowFilter::problemsAreNamed()
{
    QFETCH(TFieldType, type);
    QFETCH(Condition, condition);
    QFETCH(QString, problem);
    HeldCells data(QVariantList { integer(1), text("2024-01-01"), {} }, type);
    QCOMPARE(RowFilter::problem(condition, type, data.textForms()), problem);
    // Filtering by it fails with that message and leaves the rows as they were.
    QVERIFY(data.filterBy(0, ::condition(Test::Empty)));
    try {
        (void)data.filterBy(0, condition);
        QFAIL("no error");
    } catch (const Exception& e) {
        QCOMPARE(e.message(), problem);
    }
    QCOMPARE(data.shown(), QList<qint64> { 2 });
    QCOMPARE(data.filterOf(0)->test, Test::Empty);
}

void TestRowFilter::filtersCombineAndFollowTheSort()
{
    HeldCells data({ { text("Paris"), integer(0), integer(4) }, { text("Lyon"), integer(1), integer(9) },
                       { text("Nantes"), integer(2), integer(2) }, { text("Arles"), integer(3), integer(7) },
                       { text("Caen"), integer(4), integer(5) } },
        { ftString, ftInteger, ftInteger });
    DataSetModel grid;
    QAbstractItemModelTester tester(&grid, QAbstractItemModelTester::FailureReportingMode::QtTest);
    grid.setDataSet(&data);
    data.moveTo(3);
    QVERIFY(data.filterBy(0, condition(Test::Contains, QStringLiteral("A"))));
    QCOMPARE(data.shown(), (QList<qint64> { 0, 2, 3, 4 }));
    QCOMPARE(data.recNo(), 2); // Arles stays current
    QVERIFY(data.filterBy(2, condition(Test::Between, QStringLiteral("3"), QStringLiteral("7"))));
    QCOMPARE(data.shown(), (QList<qint64> { 0, 3, 4 }));
    QCOMPARE(grid.rowCount(), 3);
    QCOMPARE(grid.headerData(2, Qt::Horizontal, Qt::ToolTipRole).toString(),
        QStringLiteral("Filtre : est compris entre « 3 » et « 7 »\n3 enregistrements affichés sur 5"));
    QVERIFY(!grid.headerData(1, Qt::Horizontal, Qt::DecorationRole).isValid());
    QVERIFY(grid.headerData(0, Qt::Horizontal, Qt::DecorationRole).isValid());

    // The sort orders the rows shown; the exports and the grid see them.
    QVERIFY(data.sortBy(2, Qt::DescendingOrder));
    QCOMPARE(data.shown(), (QList<qint64> { 3, 4, 0 }));
    QCOMPARE(textFiles(data).first, QByteArray("\"Arles\"\t\"3\"\t\"7\"\r\n\"Caen\"\t\"4\"\t\"5\"\r\n"
                                               "\"Paris\"\t\"0\"\t\"4\"\r\n"));
    QCOMPARE(grid.index(0, 0).data().toString(), QStringLiteral("Arles"));

    // A field's new condition replaces its old one; the current record goes to the
    // first row shown when it no longer passes.
    data.moveTo(1);
    QVERIFY(data.filterBy(0, condition(Test::Equals, QStringLiteral("Paris"))));
    QCOMPARE(data.shown(), QList<qint64> { 0 });
    QCOMPARE(data.recNo(), 0);
    QVERIFY(data.filterBy(0, condition(Test::Equals, QStringLiteral("Brest"))));
    QCOMPARE(data.recordCount(), 0);
    QCOMPARE(data.recNo(), -1);
    QVERIFY(data.eof());
    QCOMPARE(grid.headerData(0, Qt::Horizontal, Qt::ToolTipRole).toString(),
        QStringLiteral("Filtre : est égal à « Brest »\nAucun enregistrement affiché sur 5"));

    data.removeFilters();
    QVERIFY(!data.filtered());
    QCOMPARE(data.shown(), (QList<qint64> { 1, 3, 4, 0, 2 }));
    QVERIFY(data.sortBy(-1));
    QCOMPARE(data.shown(), (QList<qint64> { 0, 1, 2, 3, 4 }));
    QCOMPARE(grid.rowCount(), 5);
}

void TestRowFilter::allRowsComeBackForAWhile()
{
    HeldCells data(QVariantList { text("b"), text("a"), text("c"), text("a") }, ftString);
    QVERIFY(data.sortBy(0));
    QVERIFY(data.filterBy(0, condition(Test::Equals, QStringLiteral("a"))));
    data.moveTo(1);
    {
        const TDataSet::AllRows all(data);
        QCOMPARE(data.shown(), (QList<qint64> { 1, 3, 0, 2 }));
        QVERIFY(data.filtered());
        QCOMPARE(textFiles(data).first.count('\n'), 4);
    }
    QCOMPARE(data.shown(), (QList<qint64> { 1, 3 }));
    QCOMPARE(data.recNo(), 0); // the walk of the export ended past the last row
}

void TestRowFilter::stoppedFilterChangesNothing()
{
    HeldCells data(QVariantList { text("a"), text("b") }, ftString);
    QVERIFY(data.filterBy(0, condition(Test::Equals, QStringLiteral("a"))));
    QVERIFY(!data.filterBy(0, condition(Test::Equals, QStringLiteral("b")), [] { return false; }));
    QCOMPARE(data.shown(), QList<qint64> { 0 });
    QCOMPARE(data.filterOf(0)->value, QStringLiteral("a"));
}

QTEST_MAIN(TestRowFilter)
#include "tst_rowfilter.moc"
